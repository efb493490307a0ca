// Drives the real launcher window without a player, for the demo and the end-to-end tests: it
// presses the start button, answers each message box once it has shown by clicking its OK button,
// and saves the window as PNG files at each stage. Everything it does is printed on standard output.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <string>

#include "window/qt/qt_dialog_host.h"

class QMessageBox;
class QWidget;

struct DriveOptions {
    bool drive = false;  // press start and answer the boxes
    int delayMs = 3000;  // from the window opening, or an install completing, to the press
    std::string shots;   // folder for the stage pictures; none when empty
};

// Saves what the display shows in area of window's screen as a PNG file; false when it could not.
bool SaveScreenArea(QWidget* window, const QRect& area, const QString& path);

// The window host with the driver's eyes on it: it sees the progress label, the window closing and
// the message boxes.
class DrivenHost : public QtDialogHost {
public:
    explicit DrivenHost(DriveOptions options);

    void ShowWindow() override;
    void DestroyWindow() override;
    void SetControlText(int id, const std::string& text) override;

private:
    void OnBox(QMessageBox& box);
    void PressStart();
    void Shot(const std::string& stage, QWidget* box = nullptr);
    void Say(const std::string& line);

    // The context of the driver's timers: they die with the host.
    QObject m_timers;
    DriveOptions m_options;
    int m_shots = 0;
    bool m_progressShot = false;
};
