// The table of keyboard actions and the names the key list gives their keys.
#include "app/Actions.h"

#include "app/Form1.h"

namespace droskal {

bool Available(const PictureButton* button) {
    // Unavailable pictures are the keys ending in U ("UpU", "StopU"); the marking buttons
    // use the enabled flag instead.
    return button->isEnabled() && !button->pictureKey().endsWith('U');
}

namespace {

bool Open(const Form1& f) {
    return f.streamFile.isOpen();
}

}  // namespace

// One table for every key the window answers: it is data, one row an action, and splitting
// it would only scatter the list the key help and the README are printed from.
const std::vector<Action>& Actions() {
    using F = Form1;
    using C = const Form1;
    static const std::vector<Action> table = {
        {{Qt::Key_Space},
         "Odtwarzanie do przodu / zatrzymanie",
         [](F& f, int) { f.state.playing ? f.cmdStop_Click() : f.cmdUpF_Click(); },
         [](C& f) { return Available(f.state.playing ? f.cmdStop : f.cmdUpF); }},
        {{Qt::Key_K},
         "Zatrzymanie",
         [](F& f, int) { f.cmdStop_Click(); },
         [](C& f) { return Available(f.cmdStop); }},
        {{Qt::Key_L},
         "Odtwarzanie do przodu; ponownie: o jedną prędkość szybciej",
         [](F& f, int) { f.PlayFaster(true); },
         [](C& f) { return f.state.playing || Available(f.cmdUpF); }},
        {{Qt::Key_J},
         "Odtwarzanie do tyłu; ponownie: o jedną prędkość szybciej",
         [](F& f, int) { f.PlayFaster(false); },
         [](C& f) { return f.state.playing || Available(f.cmdDownF); }},
        {{Qt::Key_Right, Qt::Key_Period},
         "Jeden obraz do przodu",
         [](F& f, int) { f.StepPictures(1); },
         Open,
         true},
        {{Qt::Key_Left, Qt::Key_Comma},
         "Jeden obraz do tyłu",
         [](F& f, int) { f.StepPictures(-1); },
         Open,
         true},
        {{Qt::SHIFT | Qt::Key_Right},
         "10 obrazów do przodu",
         [](F& f, int) { f.StepPictures(10); },
         Open,
         true},
        {{Qt::SHIFT | Qt::Key_Left},
         "10 obrazów do tyłu",
         [](F& f, int) { f.StepPictures(-10); },
         Open,
         true},
        {{Qt::Key_Up},
         "Minuta nagrania do przodu (wg czasu GPS, bez niego 600 obrazów)",
         [](F& f, int) { f.StepMinute(true); },
         Open,
         true},
        {{Qt::Key_Down},
         "Minuta nagrania do tyłu (wg czasu GPS, bez niego 600 obrazów)",
         [](F& f, int) { f.StepMinute(false); },
         Open,
         true},
        {{Qt::Key_Home},
         "Pierwszy obraz",
         [](F& f, int) { f.cmdDownE_Click(); },
         [](C& f) { return Available(f.cmdDownE); }},
        {{Qt::Key_End},
         "Ostatni obraz",
         [](F& f, int) { f.cmdUpE_Click(); },
         [](C& f) { return Available(f.cmdUpE); }},
        {{Qt::Key_0, Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5, Qt::Key_6, Qt::Key_7,
          Qt::Key_8, Qt::Key_9},
         "Skok do 0%, 10%, … 90% pliku",
         [](F& f, int key) { f.JumpToTenth(key); },
         [](C& f) { return f.state.barEnabled && Open(f); },
         false,
         "0 … 9"},
        {{Qt::Key_G},
         "Widok mapy (GPS) włącz / wyłącz",
         [](F& f, int) { f.chkGps->click(); },
         [](C& f) { return f.chkGps->isVisibleTo(&f) && f.chkGps->isEnabled(); }},
        {{Qt::Key_I},
         "Początek fragmentu w bieżącym obrazie",
         [](F& f, int) { f.MarkStart(); },
         [](C& f) { return f.cmdCut->isEnabled(); }},
        {{Qt::Key_O},
         "Koniec fragmentu w bieżącym obrazie",
         [](F& f, int) { f.MarkEnd(); },
         [](C& f) { return f.cmdCut->isEnabled(); }},
        {{Qt::CTRL | Qt::Key_S},
         "Zapis fragmentu (MPEG-1)",
         [](F& f, int) { f.cmdSaveCut_Click(); },
         [](C& f) { return f.cmdSaveCut->isEnabled(); }},
        {{Qt::Key_S},
         "Zapis obrazu (BMP, cały obraz 1:1)",
         [](F& f, int) { f.cmdBmp_Click(); },
         [](C& f) { return f.cmdBmp->isEnabled(); }},
        {{Qt::SHIFT | Qt::Key_S},
         "Zapis widoku, jak widać na ekranie (PNG)",
         [](F& f, int) { f.SaveViewPng(); },
         [](C& f) { return !f.state.playing; }},
        {{Qt::Key_E},
         "Materiał dowodowy z fragmentu (film z opisem, ślad, raport, sumy SHA-256)",
         [](F& f, int) { f.EvidencePack_Click(); },
         [](C& f) { return Open(f) && !f.state.playing; }},
        {{Qt::SHIFT | Qt::Key_E},
         "Mapka trasy w rogu filmu materiału dowodowego włącz / wyłącz",
         [](F& f, int) { f.ToggleEvidenceMinimap(); },
         nullptr},
        {{Qt::CTRL | Qt::Key_O},
         "Otwarcie pliku",
         [](F& f, int) { f.cmdFile_Click(); },
         [](C& f) { return f.cmdFile->isEnabled(); }},
        {{Qt::Key_F, Qt::Key_F11},
         "Pełny ekran włącz / wyłącz",
         [](F& f, int) { f.ToggleFullScreen(); },
         nullptr},
        {{Qt::Key_Escape},
         "Wyjście z pełnego ekranu",
         [](F& f, int) { f.LeaveFullScreen(); },
         [](C& f) { return f.FullScreenOn(); }},
        {{Qt::Key_Plus, Qt::Key_Equal},
         "Powiększenie obrazu (do 8x)",
         [](F& f, int) { f.ZoomBy(1); },
         nullptr,
         true},
        {{Qt::Key_Minus}, "Pomniejszenie obrazu", [](F& f, int) { f.ZoomBy(-1); }, nullptr, true},
        {{Qt::CTRL | Qt::Key_0},
         "Obraz bez powiększenia (1x)",
         [](F& f, int) { f.ZoomReset(); },
         nullptr},
        {{Qt::Key_R},
         "Trasa na mapie włącz / wyłącz (widok mapy)",
         [](F& f, int) { f.ToggleRoute(); },
         nullptr},
        {{Qt::Key_PageUp},
         "Poprzednia podróż folderu",
         [](F& f, int) { f.StepTrip(false); },
         nullptr},
        {{Qt::Key_PageDown},
         "Następna podróż folderu",
         [](F& f, int) { f.StepTrip(true); },
         nullptr},
        {{Qt::Key_T},
         "Pasek czasu z prędkością i zdarzeniami włącz / wyłącz",
         [](F& f, int) { f.ToggleTimeline(); },
         nullptr},
        {{Qt::Key_N}, "Następne zdarzenie", [](F& f, int) { f.NextEvent(1); }, nullptr},
        {{Qt::Key_P}, "Poprzednie zdarzenie", [](F& f, int) { f.NextEvent(-1); }, nullptr},
        {{Qt::CTRL | Qt::Key_G},
         "Przejście do daty i godziny",
         [](F& f, int) { f.GoToTime(); },
         nullptr},
        {{Qt::Key_Z},
         "Strefa czasowa (UTC, lokalna, nazwana)",
         [](F& f, int) { f.ChooseTimeZone(); },
         nullptr},
        {{Qt::Key_U},
         "Jednostka prędkości (km/h, mph, kn)",
         [](F& f, int) { f.CycleSpeedUnit(); },
         nullptr},
        {{Qt::CTRL | Qt::Key_L}, "Biblioteka nagrań", [](F& f, int) { f.ShowLibrary(); }, nullptr},
        {{Qt::Key_F1, Qt::Key_Question},
         "Lista klawiszy",
         [](F& f, int) { f.ShowKeyList(); },
         nullptr},
    };
    return table;
}

const std::vector<MouseAction>& MouseActions() {
    static const std::vector<MouseAction> table = {
        {"Kółko nad obrazem", "Jeden obraz na ząbek (w dół: do przodu)"},
        {"Kółko nad paskiem położenia", "10 obrazów na ząbek"},
        {"Ctrl+kółko nad obrazem", "Powiększenie w stronę kursora (1x … 8x)"},
        {"Przeciąganie obrazu lewym przyciskiem", "Przesuwanie powiększonego obrazu"},
        {"Dwuklik na obrazie", "Pełny ekran włącz / wyłącz"},
        {"Upuszczenie pliku lub folderu na okno", "Otwarcie nagrania (*.m1v)"},
    };
    return table;
}

namespace {

QString KeyName(QKeyCombination combination) {
    QString name;
    if (combination.keyboardModifiers() & Qt::ControlModifier) name += "Ctrl+";
    if (combination.keyboardModifiers() & Qt::AltModifier) name += "Alt+";
    if (combination.keyboardModifiers() & Qt::ShiftModifier) name += "Shift+";
    switch (combination.key()) {
        case Qt::Key_Space:
            return name + "Spacja";
        case Qt::Key_Left:
            return name + "←";
        case Qt::Key_Right:
            return name + "→";
        case Qt::Key_Up:
            return name + "↑";
        case Qt::Key_Down:
            return name + "↓";
        case Qt::Key_Escape:
            return name + "Esc";
        case Qt::Key_Minus:
            return name + "−";
        default:
            return name + QKeySequence(combination.key()).toString(QKeySequence::PortableText);
    }
}

}  // namespace

QString KeysText(const Action& action) {
    if (!action.keysText.isEmpty()) return action.keysText;
    QStringList names;
    for (const QKeySequence& key : action.keys) names << KeyName(key[0]);
    return names.join(" lub ");
}

QString KeysMarkdown() {
    QString text = "| klawisz | działanie |\n|---|---|\n";
    for (const Action& action : Actions()) {
        text += "| " + KeysText(action).replace("|", "\\|") + " | " + action.label + " |\n";
    }
    for (const MouseAction& mouse : MouseActions()) {
        text += "| " + mouse.what + " | " + mouse.label + " |\n";
    }
    return text;
}

}  // namespace droskal
