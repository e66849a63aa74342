#include <QApplication>

#include "app/QtDesktop.h"
#include "app/Viewer.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    droskal::QtDesktop desktop;
    QStringList arguments = QCoreApplication::arguments();
    const QStringList mapSources = droskal::TakeMapSourceOptions(arguments);
    const auto form = droskal::StartViewer(
        desktop, droskal::StartupFromArguments(arguments, QCoreApplication::applicationFilePath()));
    form->SetCommandLineMapSources(mapSources);
    desktop.SetParentWidget(form.get());
    return app.exec();
}
