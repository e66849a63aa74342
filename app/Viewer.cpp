#include "app/Viewer.h"

#include <QFileInfo>

namespace droskal {

StartupInfo StartupFromArguments(const QStringList& arguments, const QString& executablePath) {
    StartupInfo startup;
    startup.commandLine = arguments.mid(1).join(' ');
    // One argument is one exact path (a file manager's or a quoting shell's): start-up drops
    // one leading and one trailing quote, so a name that has one of its own is wrapped.
    const QString& line = startup.commandLine;
    if (arguments.size() == 2 && (line.startsWith('"') || line.endsWith('"'))) {
        startup.commandLine = '"' + line + '"';
    }
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
