#include <QApplication>

#include "app/QtDesktop.h"
#include "app/Viewer.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    droskal::QtDesktop desktop;
    const auto form = droskal::StartViewer(
        desktop, droskal::StartupFromArguments(QCoreApplication::arguments(),
                                               QCoreApplication::applicationFilePath()));
    desktop.setParentWidget(form.get());
    return app.exec();
}
