#pragma once

#include <QElapsedTimer>

#include "app/Desktop.h"

class QWidget;

namespace droskal {

class QtDesktop : public Desktop {
  public:
    explicit QtDesktop(QWidget* parent = nullptr);
    void SetParentWidget(QWidget* parent) { parent_ = parent; }

    Answer MessageBox(const QString& text, Icon icon, Buttons buttons) override;
    QString OpenFileDialog(const QString& filter, const QString& initialName) override;
    QString SaveFileDialog(const QString& filter, const QString& initialName) override;
    QString FolderDialog(const QString& title, const QString& initialFolder) override;
    bool ShiftHeld() override;
    void Beep() override;
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    QString FindExecutable(const QString& name) override;
    double MonotonicSeconds() override;
    void WaitForEvents(double seconds) override;
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    void SaveSetting(const QString& appName, const QString& section, const QString& key,
                     const QString& value) override;
    bool InputText(const QString& prompt, QString& value) override;

  private:
    QWidget* parent_;
    QElapsedTimer clock_;
};

// "*.M1V (MPEG-1)|*.M1V" -> "*.M1V (MPEG-1) (*.M1V)", the form Qt's dialogs take.
QString QtFilterFromPipeFilter(const QString& filter);

}  // namespace droskal
