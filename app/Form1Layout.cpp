// The window in its design state: every control with its name, place, stacking, tab order,
// texts, colours and fonts.
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include "Version.h"
#include "app/Artwork.h"
#include "app/Form1.h"
#include "app/Twips.h"

namespace droskal {

namespace {

const QColor kGrey(128, 128, 128);
const QColor kDarkGrey(64, 64, 64);
const QColor kLightGrey(192, 192, 192);
const QColor kBlack(0, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 255, 0);
const QColor kDimGreen(0, 192, 0);
const QColor kOlive(192, 192, 0);

// Linux has no Courier New or Book Antiqua; ask for them by name and let metric-compatible
// faces stand in.
void RegisterFontSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
        QFont::insertSubstitutions("Book Antiqua", {"TeX Gyre Pagella", "DejaVu Serif"});
        return true;
    }();
    (void)done;
}

QFont MakeFont(const char* face, double points, bool bold) {
    QFont font(face);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void SetColours(QWidget* widget, const QColor& background, const QColor& text, bool opaque) {
    QPalette palette = widget->palette();
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Button, background);
    }
    if (text.isValid()) {
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::ButtonText, text);
        palette.setColor(QPalette::Text, text);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(opaque);
}

Label* MakeLabel(QWidget* parent, const char* name, float l, float t, float w, float h,
                 const QString& text, const QColor& background, const QColor& colour,
                 Qt::Alignment align, const QFont& font, int tab) {
    auto* label = new Label(parent, name);
    label->setTwips(l, t, w, h);
    label->setText(text);
    label->setFont(font);
    label->setAlignment(align | Qt::AlignTop);
    SetColours(label, background, colour, background.isValid());
    label->setProperty("TabIndex", tab);
    return label;
}

PictureButton* MakeButton(QWidget* parent, const char* name, float l, float t, float w, float h,
                          int tab) {
    auto* button = new PictureButton(parent, name);
    button->setGeometry(TwipsToPixels(l), TwipsToPixels(t), TwipsToPixels(w), TwipsToPixels(h));
    SetColours(button, kLightGrey, QColor(), false);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setProperty("TabIndex", tab);
    return button;
}

Shape* MakeRectangle(QWidget* parent, const char* name, float l, float t, float w, float h,
                     const QColor& fill, const QColor& outline) {
    auto* shape = new Shape(parent, name, Shape::Kind::Rectangle);
    shape->setTwips(l, t, w, h);
    shape->setFill(fill);
    shape->setOutline(outline);
    return shape;
}

}  // namespace

Form1::Form1(Desktop& desktop, StartupInfo startup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      desktop_(desktop),
      startup_(std::move(startup)) {
    RegisterFontSubstitutes();
    setObjectName("Form1");
    setWindowTitle(QString("Droskal  ") + kDroskalVersion);
    setWindowIcon(WindowIcon());
    SetColours(this, kGrey, QColor(), true);
    setFixedSize(TwipsToPixels(9630), TwipsToPixels(5805));

    imglPic = MakeImglPic();
    imglFlag = MakeImglFlag();
    BuildControls();
    ConnectHandlers();
    InstallActions();
    // The picture area takes the first focus: a stray Space or Enter then presses nothing.
    Pic1->setFocusPolicy(Qt::ClickFocus);
    Pic1->setFocus();
    InitRouteView();

    // First shown centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

Form1::~Form1() = default;

// The designed controls in the design's order, each with its place, font and caption; kept as
// one list so it reads side by side with the design it follows.
void Form1::BuildControls() {
    const QFont courierBig = MakeFont("Courier New", 15.75, true);
    const QFont courierMid = MakeFont("Courier New", 12, true);
    const QFont courierSmall = MakeFont("Courier New", 9.75, false);
    const QFont antiqua = MakeFont("Book Antiqua", 8.25, false);

    // Widgets created later lie above earlier ones, so each container's list is built
    // bottom first; the windowed controls come after the surface drawings of their container.
    lblnoMap = MakeLabel(this, "lblnoMap", 735, 1920, 8175, 255,
                         "Brak mapy dla niżej wymienionych współrzędnych !", QColor(), kGreen,
                         Qt::AlignHCenter, courierMid, 22);
    lblLat = MakeLabel(this, "lblLat", 3120, 2520, 5055, 375, "Lat: 52°", QColor(), kYellow,
                       Qt::AlignLeft, courierBig, 23);
    lblLon = MakeLabel(this, "lblLon", 3120, 3000, 5055, 375, "Lon: 52.3456°", QColor(), kYellow,
                       Qt::AlignLeft, courierBig, 24);

    fraCmd = new MouseFrame(this, "fraCmd");
    fraCmd->setGeometry(TwipsToPixels(0), TwipsToPixels(3720), TwipsToPixels(9615),
                        TwipsToPixels(2055));
    SetColours(fraCmd, kGrey, QColor(), true);
    fraCmd->setFocusPolicy(Qt::NoFocus);
    fraCmd->setProperty("TabIndex", 1);

    Pic1 = new PictureBox(this, "Pic1", kDarkGrey);
    Pic1->setTwips(0, 0, 9630, 3630);
    Pic1->setFocusPolicy(Qt::NoFocus);
    Pic1->setProperty("TabIndex", 0);
    Pic1->Cls();

    shPoint = new Shape(Pic1, "shPoint", Shape::Kind::Circle);
    shPoint->setTwips(1680, 2640, 165, 165);
    shPoint->setFill(QColor(255, 0, 0));
    shPoint->hide();

    QWidget* f = fraCmd;
    Shape3 = MakeRectangle(f, "Shape3", 0, 0, 9615, 1335, kDarkGrey, kBlack);
    shPlay = MakeRectangle(f, "shPlay", 120, 360, 1455, 255, kOlive, QColor());
    shFile = MakeRectangle(f, "shFile", 120, 360, 9375, 255, QColor(), kBlack);
    linCut2 = new Line(f, "linCut2", QColor(0, 0, 192), 2);
    linCut2->setPoints(2520, 600, 2520, 360);
    linCut2->hide();
    linCut1 = new Line(f, "linCut1", QColor(192, 0, 0), 2);
    linCut1->setPoints(1440, 360, 1440, 600);
    linCut1->hide();
    lblPlay = MakeLabel(f, "lblPlay", 0, 600, 375, 255, "0%", QColor(), kOlive, Qt::AlignHCenter,
                        antiqua, 17);
    // The widest caption, "100%", must fit where the label stands: a stand-in font wider
    // than the design's gets its letters set closer.
    QFont counterFont = lblPlay->font();
    for (double spacing = -0.25;
         spacing >= -1.0 && QFontMetrics(counterFont).horizontalAdvance("100%") > lblPlay->width();
         spacing -= 0.25) {
        counterFont.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    lblPlay->setFont(counterFont);
    Shape4 = MakeRectangle(f, "Shape4", 0, 1440, 9615, 615, kDarkGrey, kBlack);
    lblFile = MakeLabel(f, "lblFile", 1200, 840, 5535, 255, "lblFile", kDarkGrey, kOlive,
                        Qt::AlignLeft, antiqua, 18);
    lblTime = MakeLabel(f, "lblTime", 3548, 0, 2535, 255, "30.03.2006 22:34:16", kBlack, kDimGreen,
                        Qt::AlignHCenter, courierSmall, 19);
    lblSpeed = MakeLabel(f, "lblSpeed", 120, 0, 1215, 255, "123 km/h", kBlack, kDimGreen,
                         Qt::AlignHCenter, courierSmall, 20);

    cmdCut = MakeButton(f, "cmdCut", 6840, 840, 540, 330, 2);
    cmdCut->setToolTip("Zaznaczenie początku i końca sekwecji przeznaczonej do zapisu");
    SetCutPicture(1);
    cmdCut->setEnabled(false);
    cmdSaveCut = MakeButton(f, "cmdSaveCut", 7440, 840, 855, 330, 3);
    cmdSaveCut->setToolTip("Zapis zaznaczonego fragmentu w formacie MPEG-1");
    cmdSaveCut->setPicture(SaveCutButtonPicture());
    cmdSaveCut->setEnabled(false);
    cmdBmp = MakeButton(f, "cmdBmp", 8520, 840, 855, 330, 4);
    cmdBmp->setToolTip("Zapis wybranego obrazka w formacie BMP");
    cmdBmp->setPicture(BmpButtonPicture());
    cmdFile = MakeButton(f, "cmdFile", 240, 840, 855, 330, 5);
    cmdFile->setToolTip("Wczytanie nowego pliku w formacie MPEG-1");
    cmdFile->setPicture(FileButtonPicture());

    struct NavButton {
        PictureButton** button;
        const char* name;
        float left, width;
        int tab;
    };
    const NavButton nav[] = {
        {&cmdDownFF, "DownFF", 1440, 495, 6}, {&cmdDownFFF, "DownFFF", 840, 495, 7},
        {&cmdUpFF, "UpFF", 7680, 495, 8},     {&cmdUpFFF, "UpFFF", 8280, 495, 9},
        {&cmdDownE, "DownE", 240, 495, 10},   {&cmdUpE, "UpE", 8880, 495, 11},
        {&cmdStop, "Stop", 4208, 1215, 12},   {&cmdDown, "Down", 3360, 615, 13},
        {&cmdDownF, "DownF", 2280, 855, 14},  {&cmdUpF, "UpF", 6480, 855, 15},
        {&cmdUp, "Up", 5640, 615, 16},
    };
    for (const NavButton& b : nav) {
        const QString name = QString("cmd") + b.name;
        *b.button = MakeButton(f, name.toLatin1().constData(), b.left, 1560, b.width, 330, b.tab);
        SetButtonPicture(*b.button, b.name);
    }

    chkGps = new QCheckBox("GPS", f);
    chkGps->setObjectName("chkGps");
    chkGps->setGeometry(TwipsToPixels(8520), 0, TwipsToPixels(975), TwipsToPixels(255));
    chkGps->setFont(courierSmall);
    SetColours(chkGps, kBlack, kDimGreen, true);
    chkGps->setFocusPolicy(Qt::StrongFocus);
    chkGps->setProperty("TabIndex", 21);

    // Keyboard order follows the tab indexes of the focusable controls.
    QList<QWidget*> focusable = {cmdCut,   cmdSaveCut, cmdBmp,   cmdFile, cmdDownFF, cmdDownFFF,
                                 cmdUpFF,  cmdUpFFF,   cmdDownE, cmdUpE,  cmdStop,   cmdDown,
                                 cmdDownF, cmdUpF,     cmdUp,    chkGps};
    for (int i = 0; i + 1 < focusable.size(); ++i) setTabOrder(focusable[i], focusable[i + 1]);
}

void Form1::ConnectHandlers() {
    const struct {
        PictureButton* button;
        void (Form1::*handler)();
    } clicks[] = {
        {cmdUp, &Form1::cmdUp_Click},         {cmdDown, &Form1::cmdDown_Click},
        {cmdUpE, &Form1::cmdUpE_Click},       {cmdDownE, &Form1::cmdDownE_Click},
        {cmdUpF, &Form1::cmdUpF_Click},       {cmdUpFF, &Form1::cmdUpFF_Click},
        {cmdUpFFF, &Form1::cmdUpFFF_Click},   {cmdDownF, &Form1::cmdDownF_Click},
        {cmdDownFF, &Form1::cmdDownFF_Click}, {cmdDownFFF, &Form1::cmdDownFFF_Click},
        {cmdStop, &Form1::cmdStop_Click},     {cmdFile, &Form1::cmdFile_Click},
        {cmdCut, &Form1::cmdCut_Click},       {cmdSaveCut, &Form1::cmdSaveCut_Click},
        {cmdBmp, &Form1::cmdBmp_Click},
    };
    for (const auto& click : clicks) {
        connect(click.button, &QPushButton::clicked, this, click.handler);
    }
    connect(chkGps, &QCheckBox::clicked, this, &Form1::chkGps_Click);
    fraCmd->onMouseDown = [this](int b, int s, float x, float y) { fraCmd_MouseDown(b, s, x, y); };
    fraCmd->onMouseMove = [this](int b, int s, float x, float y) { fraCmd_MouseMove(b, s, x, y); };
    fraCmd->onMouseUp = [this](int b, int s, float x, float y) { fraCmd_MouseUp(b, s, x, y); };
}

void Form1::SetButtonPicture(PictureButton* button, const QString& key) {
    button->setPicture(imglPic.byKey(key), key);
}

}  // namespace droskal
