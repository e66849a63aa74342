#pragma once

#include <QString>
#include <QStringList>

namespace droskal {

// Everything the window does modally or outside its own process. Production uses Qt
// (QtDesktop); tests inject a fake that answers dialogs and records what was shown.
class Desktop {
  public:
    enum class Icon { Information, Exclamation, Critical };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Desktop() = default;

    // Modal message box titled with the program's title.
    virtual Answer MessageBox(const QString& text, Icon icon, Buttons buttons) = 0;
    // File dialogs; the filter is "description|pattern". Return the chosen name, or the
    // initial name when cancelled (the dialog's own behaviour), or empty.
    virtual QString OpenFileDialog(const QString& filter, const QString& initialName) = 0;
    virtual QString SaveFileDialog(const QString& filter, const QString& initialName) = 0;
    // Choice of an existing folder; empty when cancelled.
    virtual QString FolderDialog(const QString& title, const QString& initialFolder) = 0;
    // Whether Shift is held now (a button pressed with Shift does its second job).
    virtual bool ShiftHeld() = 0;
    virtual void Beep() = 0;
    virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;
    // Full path of an installed program, or empty.
    virtual QString FindExecutable(const QString& name) = 0;
    // Seconds on a monotonic clock: midnight and clock changes do not disturb it.
    virtual double MonotonicSeconds() = 0;
    // Processes the window's pending events, sleeping (no busy loop) until one arrives or
    // `seconds` have passed on the monotonic clock.
    virtual void WaitForEvents(double seconds) = 0;
    // Per-user settings store, addressed by application name, section and key.
    virtual QString GetSetting(const QString& appName, const QString& section, const QString& key,
                               const QString& defaultValue) = 0;
    virtual void SaveSetting(const QString& appName, const QString& section, const QString& key,
                             const QString& value) = 0;
    // A one-line text asked for in a small dialog titled with the program's title: false when
    // cancelled, `value` holds the initial text on entry and the answer on return.
    virtual bool InputText(const QString& prompt, QString& value) = 0;
};

}  // namespace droskal
