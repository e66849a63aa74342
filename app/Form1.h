#pragma once

#include <QCheckBox>
#include <QSaveFile>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/Controls.h"
#include "app/Desktop.h"
#include "app/TimeView.h"
#include "app/ViewerState.h"
#include "config/IniFile.h"
#include "decoder/Decoder.h"
#include "recording/PictureIndex.h"
#include "recording/Trips.h"
#include "stream/FrameBuffer.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"

namespace droskal {

class LibraryWindow;

// lblFile's caption for a name: the last 37 characters behind "..." when it is longer than 40.
QString FileCaption(const QString& name);
// The system's description of an errno value.
QString SystemReason(int error);

// How the program was started: the command-line text (arguments joined with single
// blanks), the folder of the executable and the settings' application name.
struct StartupInfo {
    QString commandLine;
    QString appDir;
    QString appName = "Droskal";
};

// The one window. Its controls, state record, handlers and operations are public so that
// tests drive it exactly as the events would; the methods live in one source file per concern.
class Form1 : public QWidget, public StreamObserver {
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

    // Button state sets (Form1Buttons.cpp).
    void UnActiveCmd();
    void ActiveCmd();
    void ActiveUpCmd();
    void UnActiveUpCmd();
    void ActiveDownCmd();
    void UnActiveDownCmd();

    // Position display (Form1Stream.cpp).
    void SetPlayCounter(bool reset) override;

    // Stream searches on the open recording (file number 1) (Form1Stream.cpp).
    bool FindStartUp(int FileNumber);
    bool FindPicStart(int FileNumber);
    bool FindStartDown(int FileNumber);
    bool ReadFrame(int FileNumber, FrameBuffer& buffer);

    // GPS labels (Form1Stream.cpp).
    void ShowNmea() override;
    void GpsOn();
    void GpsOff();

    // Opening a file and its picture format (Form1Open.cpp).
    bool NewFile(const QString& FileName);
    void cmdFile_Click();
    bool CheckSize(int FileNumber);
    void SetFormat(std::uint8_t code);

    // Picture decoding and drawing (Form1Picture.cpp).
    bool ShowPic();
    void DrawPic(PictureBox* target, int width, int height, const std::vector<std::uint8_t>& buffer,
                 int x, int y);

    // Stepping and end jumps (Form1Navigation.cpp).
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdUpE_Click();
    void cmdDownE_Click();
    void UpEnd();
    void DownEnd();

    // Continuous playback (Form1Playback.cpp).
    void cmdUpF_Click();
    void cmdUpFF_Click();
    void cmdUpFFF_Click();
    void cmdDownF_Click();
    void cmdDownFF_Click();
    void cmdDownFFF_Click();
    void cmdStop_Click();
    // Runs action at once when no playback loop is running, otherwise right after the
    // running loop has left: a key that stops playback and then steps uses it.
    void AfterPlayback(std::function<void()> action);
    bool PlaybackLoopRunning() const { return loopRunning_; }
    // Between a stop request and the loop's exit: queues action for after the exit and
    // returns true; otherwise returns false and the caller goes on.
    bool DeferredUntilLoopLeft(const std::function<void()>& action);

    // Position bar (Form1PositionBar.cpp).
    void fraCmd_MouseDown(int Button, int Shift, float X, float Y);
    void fraCmd_MouseMove(int Button, int Shift, float X, float Y);
    void fraCmd_MouseUp(int Button, int Shift, float X, float Y);

    // Map view (Form1Map.cpp).
    void ShowPos();
    void chkGps_Click();

    // The route, map sources, clicks and the wheel in map view (Form1Route.cpp).
    // Map view through the route and map sources; false leaves it to the classic ShowPos.
    bool ShowRoutePos();
    void ToggleRoute();
    bool RouteShown() const;
    // Map sources named on the command line, tried before the configured ones.
    void SetCommandLineMapSources(const QStringList& sources);
    // A click at a Pic1 pixel seeks to the nearest fix; the wheel zooms about the cursor.
    void MapClick(QPoint pixel);
    void MapWheel(QPoint pixel, int angleDelta);
    // What map view keeps beyond the classic state: sources, route, zoom.
    std::shared_ptr<struct RouteView> routeView;

    // Fragment marks and saving (Form1Fragment.cpp); picture snapshot (Form1Snapshot.cpp).
    void cmdCut_Click();
    void cmdSaveCut_Click();
    void cmdBmp_Click();
    // What a snapshot saves: Pic1's persistent image, with the map point in map view.
    QImage SnapshotImage() const;

    // Evidence pack of the marked stretch (key E), made off the interface thread, and its
    // remembered map inset (Shift+E) (Form1Evidence.cpp).
    void EvidencePack_Click();
    void ToggleEvidenceMinimap();
    bool EvidenceMinimapOn() const;

    // Start-up and shutdown (Form1Startup.cpp).
    void GetIniParam(const std::string& Param);
    void Form_Load();
    void Form_QueryUnload(int& Cancel, int UnloadMode);
    void InitVlc();

    // The one open recording, the frame buffer and the decoder's state.
    StreamFile streamFile;
    std::unique_ptr<FrameBuffer> frameBuf = std::make_unique<FrameBuffer>();
    Decoder decoder;

    // Called after every picture shown (decoded or as a map point): lets tests and the
    // playback benchmark follow the pictures.
    std::function<void()> onPictureShown;

    // Time zone and speed unit of the captions, the timeline strip, events and going to a
    // time (Form1Time.cpp, Form1Timeline.cpp).
    TimeView timeView;
    class TimelineStrip* timeline = nullptr;
    void LoadTimeSettings();
    void ApplyTimeCaption();
    void ChooseTimeZone();
    void CycleSpeedUnit();
    void GoToTime();
    void ToggleTimeline();
    void PlaceTimeline();
    double TimelineTwips() const;
    void OnRecordingOpened();
    bool GoToPicture(std::int64_t streamPosition);
    void SeekTime(double utc);
    void NextEvent(int direction);
    // The sample of the picture shown, or nullptr.
    const PictureSample* CurrentSample() const;

    // Sets a navigation button's picture from imglPic (Form1Layout.cpp).
    void SetButtonPicture(PictureButton* button, const QString& key);

    // Trips: a folder's recordings played as one drive (Form1Trips.cpp).
    static bool IsFolder(const QString& name);
    bool NewFolder(const QString& folder);
    bool OpenTrip(std::size_t index);
    void cmdFolder_Click();
    // The previous or next trip of the open folder (PgUp / PgDn); a beep where there is none.
    void StepTrip(bool next);
    void ShowPictureFile();
    // A search that failed because reading did: the reason in lblFile, the disk-check question
    // for a failing disk.
    void ReportReadFailure();
    void OfferDiskCheck(int error);
    // The common tail of opening a recording or a trip: layout, buttons, format check and the
    // picture index; false with "Bad  file !" when the format check fails.
    bool StreamOpened(const std::vector<std::string>& paths);
    std::vector<Trip> trips;  // of the open folder; empty when a single file is open
    std::size_t currentTrip = 0;
    // Built in the background for the open recording or trip; the window works without it.
    PictureIndex pictureIndex;

    // Opening a chosen name: the open dialog's answer or a dropped recording.
    void OpenChosen(const QString& FileName);

    // Keys (the table is app/Actions.cpp; the handlers Form1Keys.cpp). During playback the
    // moves stop it first and run once the loop has left.
    void StepPictures(int count);  // negative: backward
    void StepMinute(bool forward);
    void PlayFaster(bool forward);
    void JumpToTenth(int tenth);
    void MarkStart();
    void MarkEnd();
    void ShowKeyList();
    QWidget* keyList = nullptr;

    // Zoom and full screen (Form1View.cpp).
    void ZoomBy(int steps, QPointF at);  // at: Pic1 pixels
    void ZoomBy(int steps);              // toward the middle of the picture
    void ZoomReset();
    double ZoomFactor() const;
    void ToggleFullScreen();
    void LeaveFullScreen();
    bool FullScreenOn() const { return fullScreen_; }
    // What the picture area shows, zoomed or not, with the map point; Shift+S saves it as PNG.
    QImage ShownView() const;
    void SaveViewPng();

    // Drag and drop (Form1Drop.cpp): dropped names, opened as the open dialog would.
    void OpenDropped(const QStringList& paths);

    // The library window (Form1Library.cpp): Ctrl+L shows it; a trip chosen there opens here.
    void ShowLibrary();
    void OpenLibraryTrip(const std::vector<std::string>& files);
    LibraryWindow* libraryWindow = nullptr;  // made at the first Ctrl+L, a child of the window

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildControls();
    void ConnectHandlers();
    void InitRouteView();
    void UpdateRoute();  // the route from the picture index, when it has grown
    void DrawRouteWindow();
    void SeekToPicture(std::int64_t picturePos);
    // The configuration fields of the state record, as one value.
    MapCalibration Calibration() const;
    void SetCalibration(const MapCalibration& calibration);
    // The last step of every way of reaching a picture: the map point in map view,
    // the decoded picture otherwise.
    void ShowReadPicture();
    // Saves through SaveWhole; a failure is shown with the system's reason.
    bool SaveReporting(const QString& name,
                       const std::function<bool(QSaveFile&, QString& error)>& write);
    // Leaves map view: the check box unchecked, the picture area shown without the point.
    void LeaveMapView();
    // Both fragment marks unset, their lines hidden, nothing to save.
    void ClearMarks();
    // cmdCut shows flag 1 (no marks), 2 (start marked) or 3 (both marked) of imglFlag.
    void SetCutPicture(int index);
    float MarkLinePlace(std::int64_t position) const;
    // The 640 x 480 window of the map at the stored origin, into Pic1.
    void DrawMapWindow();
    // One play handler: speed 1, 2 or 3, forward or backward.
    void Play(PictureButton* button, const QString& activeKey, bool forward, int speed);
    bool PictureStep();
    void ProcessEvents();
    void WaitForNextPicture(double t0);
    bool InThumbZone(float X, float Y) const;
    bool InsideBar(float X, float Y) const;
    // The jump of a release on the position bar, to the thumb's place.
    void SeekToThumb();
    // True after a missing-values stop: the remembered file name is then left alone.
    bool startupStopped_ = false;
    bool pictureShown_ = false;  // a picture of the open file has been shown
    bool loopRunning_ = false;   // a Play loop is on the stack
    std::vector<std::function<void()>> afterPlayback_;
    bool playQueued_ = false;  // a play press waits for the running loop to leave
    int iniMessages_ = 0;      // configuration messages shown so far

    // Keys, mouse, zoom and full screen.
    void InstallActions();
    void ShowFoundPicture(bool forward);
    void GoPictures(bool forward, int most, const std::function<bool()>& arrived);
    bool ViewOf(QRectF& source, QRectF& target) const;
    QRectF PictureContent() const;
    void LayOutFullScreen();
    int zoomStep_ = 0;    // 0 = 1x ... 6 = 8x, in steps of the square root of two
    QPointF zoomCentre_;  // Pic1 image pixels
    bool panning_ = false;
    QPointF panFrom_;
    bool fullScreen_ = false;
    QRect normalGeometry_;
    QPoint normalFraPos_;
    int wheelPicture_ = 0, wheelBar_ = 0, wheelZoom_ = 0;  // eighths of a degree not yet used
    QString pngFileName_;

    Desktop& desktop_;
    StartupInfo startup_;
};

}  // namespace droskal
