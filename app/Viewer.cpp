#include "app/Viewer.h"

#include <QFileInfo>

namespace droskal {

StartupInfo StartupFromArguments(const QStringList& arguments, const QString& executablePath) {
    StartupInfo startup;
    startup.commandLine = arguments.mid(1).join(' ');
    const QFileInfo executable(executablePath);
    startup.appDir = executable.absolutePath();
    startup.appName = executable.completeBaseName();
    return startup;
}

std::unique_ptr<Form1> StartViewer(Desktop& desktop, const StartupInfo& startup) {
    auto form = std::make_unique<Form1>(desktop, startup);
    form->Form_Load();  // before the window takes input
    form->show();
    return form;
}

}  // namespace droskal
