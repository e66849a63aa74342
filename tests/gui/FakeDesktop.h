#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <deque>
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

    std::vector<Message> messages;  // every box is answered Ok, or No when it asks
    std::vector<Dialog> dialogs;
    std::deque<QString> dialogAnswers;  // names the dialogs return; initial name when empty
    int beeps = 0;
    double clock = 0;  // seconds; advanced by clockStep at every read
    double clockStep = 0;
    QMap<QString, QString> settings;  // "app/section/key" -> value
    int settingWrites = 0;
    std::deque<QString> inputAnswers;  // typed answers; cancelled when empty

    Answer MessageBox(const QString& text, Icon icon, Buttons buttons) override;
    QString OpenFileDialog(const QString& filter, const QString& initialName) override {
        return NextAnswer(false, filter, initialName, initialName);
    }
    QString SaveFileDialog(const QString& filter, const QString& initialName) override {
        return NextAnswer(true, filter, initialName, QString());
    }
    // Recorded as an open dialog with the title as its filter; answers like SaveFileDialog.
    QString FolderDialog(const QString& title, const QString& initialFolder) override {
        return NextAnswer(false, title, initialFolder, QString());
    }
    bool ShiftHeld() override { return shiftHeld; }
    bool shiftHeld = false;
    void Beep() override { ++beeps; }
    bool StartDetached(const QString&, const QStringList&) override { return true; }
    QString FindExecutable(const QString&) override { return QString(); }
    double MonotonicSeconds() override;
    // Processes the pending events at once and moves the clock on by the time asked for.
    void WaitForEvents(double seconds) override;
    std::vector<double> waits;  // every sleep asked for, in seconds
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
    bool InputText(const QString& prompt, QString& value) override;

  private:
    // Records the dialog and hands back the next queued answer, or `unanswered`.
    QString NextAnswer(bool save, const QString& filter, const QString& initialName,
                       const QString& unanswered);
};

}  // namespace droskal
