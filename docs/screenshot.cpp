// Renders the window offscreen into a PNG for the README:
//   droskal-screenshot OUT.png [RECORDING [STEPS [gps]]]
// It starts the window as the program does, steps forward STEPS pictures, optionally
// switches to the map view, and saves what the window shows.
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>

#include <cstdio>

#include "app/Form1.h"
#include "app/QtDesktop.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: droskal-screenshot OUT.png [RECORDING [STEPS [gps]]]\n");
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
    form.show();
    const QPixmap shot = form.grab();
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
