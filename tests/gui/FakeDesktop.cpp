#include "FakeDesktop.h"

#include <QCoreApplication>

namespace droskal {

Desktop::Answer FakeDesktop::MessageBox(const QString& text, Icon icon, Buttons buttons) {
    messages.push_back({text, icon, buttons});
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

QString FakeDesktop::NextAnswer(bool save, const QString& filter, const QString& initialName,
                                const QString& unanswered) {
    dialogs.push_back({save, filter, initialName});
    if (dialogAnswers.empty()) return unanswered;
    const QString name = dialogAnswers.front();
    dialogAnswers.pop_front();
    return name;
}

double FakeDesktop::MonotonicSeconds() {
    const double now = clock;
    clock += clockStep;
    return now;
}

void FakeDesktop::WaitForEvents(double seconds) {
    waits.push_back(seconds);
    clock += seconds;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString FakeDesktop::GetSetting(const QString& appName, const QString& section, const QString& key,
                                const QString& defaultValue) {
    return settings.value(appName + "/" + section + "/" + key, defaultValue);
}

void FakeDesktop::SaveSetting(const QString& appName, const QString& section, const QString& key,
                              const QString& value) {
    settings.insert(appName + "/" + section + "/" + key, value);
    ++settingWrites;
}

bool FakeDesktop::InputText(const QString&, QString& value) {
    if (inputAnswers.empty()) return false;
    value = inputAnswers.front();
    inputAnswers.pop_front();
    return true;
}

}  // namespace droskal
