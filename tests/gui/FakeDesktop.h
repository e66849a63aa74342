#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

#include "app/Desktop.h"

namespace droskal {

// Answers dialogs from queues and records everything the window asked of the desktop.
class FakeDesktop : public Desktop {
public:
    struct Message {
        QString text;
        Icon icon;
        Buttons buttons;
    };
    struct Dialog {
        bool save;
        QString filter;
        QString initialName;
    };

    std::vector<Message> messages;
    std::deque<Answer> answers;           // for message boxes; Ok / No when empty
    std::vector<Dialog> dialogs;
    std::deque<QString> dialogAnswers;    // names the dialogs return; initial name when empty
    int beeps = 0;
    std::vector<QStringList> started;     // program followed by its arguments
    QMap<QString, QString> programs;      // installed programs: name -> path
    double clock = 0;                     // seconds; advanced by clockStep at every read
    double clockStep = 0;
    QMap<QString, QString> settings;      // "app/section/key" -> value
    int settingWrites = 0;
    std::function<void()> onMessage;      // runs while a message box would be open

    Answer MessageBox(const QString& text, Icon icon, Buttons buttons) override;
    QString OpenFileDialog(const QString& filter, const QString& initialName) override;
    QString SaveFileDialog(const QString& filter, const QString& initialName) override;
    void Beep() override { ++beeps; }
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    QString FindExecutable(const QString& name) override { return programs.value(name); }
    double MonotonicSeconds() override;
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
};

}  // namespace droskal
