// The two ends of the program's life: Form_Load and the close request.
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/Form1.h"
#include "app/MapPicture.h"
#include "app/ProgramFiles.h"
#include "config/IniFile.h"

namespace droskal {

namespace {

// Droskal.ini holds five short lines; anything past this is not a configuration file.
constexpr qint64 kLargestIniFile = 16 * 1024 * 1024;
// A damaged file can hold thousands of bad items; one modal box each would keep the user
// clicking for hours. The first few tell what is wrong.
constexpr int kMostIniMessages = 10;

bool IsRegularFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

QString FromFileText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MapCalibration Form1::Calibration() const {
    return state;
}

void Form1::SetCalibration(const MapCalibration& calibration) {
    static_cast<MapCalibration&>(state) = calibration;
}

void Form1::GetIniParam(const std::string& Param) {
    MapCalibration values = Calibration();
    const auto message = droskal::GetIniParam(Param, values);
    SetCalibration(values);
    if (message && iniMessages_++ < kMostIniMessages) {
        desktop_.MessageBox(FromFileText(*message), Desktop::Icon::Information,
                            Desktop::Buttons::Ok);
    }
}

void Form1::InitVlc() {
    decoder.InitVlc();
}

void Form1::Form_Load() {
    GpsOff();
    LoadTimeSettings();

    const QString iniPath = ProgramFile(startup_.appDir, "Droskal.ini");
    if (IsRegularFile(iniPath)) {
        QFile file(iniPath);
        QByteArray text;
        if (file.open(QIODevice::ReadOnly)) text = file.read(kLargestIniFile);
        for (const std::string& item :
             ReadIniItems(std::string_view(text.constData(), static_cast<size_t>(text.size())))) {
            GetIniParam(item);
        }
        const auto calibration = CalibrationFrom(Calibration());
        if (!calibration) {
            // Equal calibration values land here too: they would give an infinite scale.
            desktop_.MessageBox(FromFileText(std::string(kIniMissingValuesMessage)),
                                Desktop::Icon::Critical, Desktop::Buttons::Ok);
            startupStopped_ = true;
            return;
        }
        state.latScale = calibration->latScale;
        state.lonScale = calibration->lonScale;
    } else {
        SetCalibration(DefaultCalibration());
    }

    QString name = startup_.commandLine;
    if (name.startsWith('"')) name.remove(0, 1);
    if (name.endsWith('"')) name.chop(1);
    // Remembered and shown as a full path, made from the folder the program was started
    // in, so that a start from another folder finds it again.
    if (!name.isEmpty()) name = QDir::cleanPath(QDir::current().absoluteFilePath(name));
    state.mpegFileName = name;
    if (state.mpegFileName.isEmpty()) {
        state.mpegFileName = desktop_.GetSetting(startup_.appName, "Setup", "MpegFile", "");
    }
    state.bmpFileName = desktop_.GetSetting(startup_.appName, "Setup", "BmpFile", "");

    NewFile(state.mpegFileName);
    InitVlc();
    UnActiveDownCmd();

    const QString mapPath = ProgramFile(startup_.appDir, "map.gif");
    if (IsRegularFile(mapPath)) state.mapPicture = LoadMapPicture(mapPath);
}

void Form1::Form_QueryUnload(int& Cancel, int /*UnloadMode*/) {
    // After a stopped start-up no name was ever taken; saving it would forget the
    // remembered recording.
    if (!startupStopped_) {
        desktop_.SaveSetting(startup_.appName, "Setup", "MpegFile", state.mpegFileName);
    }
    if (state.playing) {
        Cancel = 1;
        state.playing = false;
        state.unloadPending = true;
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel != 0) {
        event->ignore();
    } else {
        event->accept();
    }
}

}  // namespace droskal
