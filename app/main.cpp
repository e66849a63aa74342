#include <QApplication>
#include <QFileInfo>

#include "app/Form1.h"
#include "app/QtDesktop.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    droskal::StartupInfo startup;
    // The whole command line is one file name; the blanks that split it into arguments
    // are put back.
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    startup.commandLine = arguments.join(' ');
    startup.appDir = QCoreApplication::applicationDirPath();
    startup.appName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();

    droskal::QtDesktop desktop;
    droskal::Form1 form(desktop, startup);
    desktop.setParentWidget(&form);
    form.show();
    return app.exec();
}
