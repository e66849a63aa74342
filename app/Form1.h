#pragma once

#include <QCheckBox>
#include <QWidget>

#include <cstdint>

#include "app/Controls.h"
#include "app/Desktop.h"
#include "app/ViewerState.h"

namespace droskal {

// How the program was started: the command-line text (arguments joined with single
// blanks), the folder of the executable and the settings' application name.
struct StartupInfo {
    QString commandLine;
    QString appDir;
    QString appName = "Droskal";
};

// The one window. Its controls, state record, handlers and operations are public so that
// tests drive it exactly as the events would; the methods live in one source file per concern.
class Form1 : public QWidget {
public:
    Form1(Desktop& desktop, StartupInfo startup, QWidget* parent = nullptr);
    ~Form1() override;

    ViewerState state;

    // Image lists.
    ImageList imglPic;
    ImageList imglFlag;

    // Children of the window.
    PictureBox* Pic1 = nullptr;
    MouseFrame* fraCmd = nullptr;
    Label* lblLon = nullptr;
    Label* lblLat = nullptr;
    Label* lblnoMap = nullptr;
    // Child of Pic1.
    Shape* shPoint = nullptr;
    // Children of fraCmd.
    QCheckBox* chkGps = nullptr;
    PictureButton* cmdUp = nullptr;
    PictureButton* cmdUpF = nullptr;
    PictureButton* cmdDownF = nullptr;
    PictureButton* cmdDown = nullptr;
    PictureButton* cmdStop = nullptr;
    PictureButton* cmdUpE = nullptr;
    PictureButton* cmdDownE = nullptr;
    PictureButton* cmdUpFFF = nullptr;
    PictureButton* cmdUpFF = nullptr;
    PictureButton* cmdDownFFF = nullptr;
    PictureButton* cmdDownFF = nullptr;
    PictureButton* cmdFile = nullptr;
    PictureButton* cmdBmp = nullptr;
    PictureButton* cmdSaveCut = nullptr;
    PictureButton* cmdCut = nullptr;
    Label* lblSpeed = nullptr;
    Label* lblTime = nullptr;
    Label* lblFile = nullptr;
    Shape* Shape4 = nullptr;
    Label* lblPlay = nullptr;
    Line* linCut1 = nullptr;
    Line* linCut2 = nullptr;
    Shape* shFile = nullptr;
    Shape* shPlay = nullptr;
    Shape* Shape3 = nullptr;

    // Button state sets.
    void UnActiveCmd();
    void ActiveCmd();
    void ActiveUpCmd();
    void UnActiveUpCmd();
    void ActiveDownCmd();
    void UnActiveDownCmd();

    // Position display.
    void SetPlayCounter(bool reset);

    // Sets a navigation button's picture from imglPic.
    void SetButtonPicture(PictureButton* button, const QString& key);

private:
    void BuildControls();

    Desktop& desktop_;
    StartupInfo startup_;
};

}  // namespace droskal
