#include "app/QtDesktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace droskal {

namespace {
const char* const kTitle = "Droskal";
// Settings live in INI files under the user's config folder: ~/.config/Droskal/<app>.ini.
const char* const kOrganization = "Droskal";
}  // namespace

QtDesktop::QtDesktop(QWidget* parent) : parent_(parent) {
    clock_.start();
}

Desktop::Answer QtDesktop::MessageBox(const QString& text, Icon icon, Buttons buttons) {
    QMessageBox box(parent_);
    box.setWindowTitle(kTitle);
    box.setText(text);
    switch (icon) {
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

bool QtDesktop::ShiftHeld() {
    return (QApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

QString QtFilterFromPipeFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    if (parts.size() < 2) return filter;
    return parts[0] + " (" + parts[1] + ")";
}

QString QtDesktop::OpenFileDialog(const QString& filter, const QString& initialName) {
    const QString chosen =
        QFileDialog::getOpenFileName(parent_, kTitle, initialName, QtFilterFromPipeFilter(filter));
    // A cancelled dialog leaves the name it was given.
    return chosen.isEmpty() ? initialName : chosen;
}

QString QtDesktop::FolderDialog(const QString& title, const QString& initialFolder) {
    return QFileDialog::getExistingDirectory(parent_, title, initialFolder);
}

QString QtDesktop::SaveFileDialog(const QString& filter, const QString& initialName) {
    // Cancelling a save must not write anything, so it answers empty.
    return QFileDialog::getSaveFileName(parent_, kTitle, initialName,
                                        QtFilterFromPipeFilter(filter));
}

void QtDesktop::Beep() {
    QApplication::beep();
}

bool QtDesktop::StartDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

QString QtDesktop::FindExecutable(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

double QtDesktop::MonotonicSeconds() {
    return static_cast<double>(clock_.nsecsElapsed()) * 1e-9;
}

void QtDesktop::WaitForEvents(double seconds) {
    // The timer's own event ends the sleep when nothing else arrives first.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(std::max(1, static_cast<int>(std::ceil(std::min(seconds, 3600.0) * 1000))));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QString QtDesktop::GetSetting(const QString& appName, const QString& section, const QString& key,
                              const QString& defaultValue) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganization, appName);
    return settings.value(section + "/" + key, defaultValue).toString();
}

void QtDesktop::SaveSetting(const QString& appName, const QString& section, const QString& key,
                            const QString& value) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganization, appName);
    settings.setValue(section + "/" + key, value);
    settings.sync();
}

bool QtDesktop::InputText(const QString& prompt, QString& value) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent_, kTitle, prompt, QLineEdit::Normal, value, &ok);
    if (ok) value = answer;
    return ok;
}

}  // namespace droskal
