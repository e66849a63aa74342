// Renders the window offscreen into a PNG for the README:
//   droskal-screenshot OUT.png [RECORDING [STEPS [gps|timeline]]]
// Without a recording it shows the window in its design state; with one it starts the
// window as the program does, steps forward STEPS pictures, optionally switches to the map
// view or shows the timeline strip, and saves what the window shows.
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

#include "app/Form1.h"
#include "app/QtDesktop.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: droskal-screenshot OUT.png [RECORDING [STEPS [gps|timeline]]]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    droskal::StartupInfo startup;
    startup.commandLine = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    startup.appDir = QCoreApplication::applicationDirPath();
    startup.appName = "DroskalScreenshot";  // keeps the user's own settings out of it
    droskal::QtDesktop desktop;
    droskal::Form1 form(desktop, startup);
    if (argc > 2) form.Form_Load();  // without a recording: the design state
    const bool timeline = argc > 4 && QString(argv[4]) == "timeline";
    if (form.timeView.timelineOn != timeline) form.ToggleTimeline();
    form.show();
    while (argc > 2 && form.streamFile.isOpen() && !form.timeView.complete) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const int steps = argc > 3 ? std::atoi(argv[3]) : 0;
    for (int i = 0; i < steps; ++i) form.cmdUp_Click();
    if (argc > 4 && QString(argv[4]) == "gps") {
        form.chkGps->setChecked(true);
        form.chkGps_Click();
    }
    QApplication::processEvents();
    const QPixmap shot = form.grab();
    if (timeline) form.ToggleTimeline();  // the remembered setting back off for the next shot
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
