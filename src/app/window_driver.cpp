#include "app/window_driver.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "window/control_ids.h"

namespace {

// The middle of the painted start button.
constexpr QPoint kStartButton(685, 390);
// How long a box stays up before it is answered: long enough to be seen in its picture.
constexpr int kBoxShownMs = 800;

std::string OneLine(const QString& text) {
    QString line = text;
    line.replace('\n', " / ");
    return line.toStdString();
}

}  // namespace

bool SaveScreenArea(QWidget* window, const QRect& area, const QString& path) {
    // What the display shows: the web panels draw through the GPU path, which a widget grab does not
    // always see.
    QPixmap picture = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    return !picture.isNull() && picture.save(path, "PNG");
}

DrivenHost::DrivenHost(DriveOptions options) : m_options(std::move(options)) {
    if (!m_options.shots.empty()) QDir().mkpath(QString::fromStdString(m_options.shots));
    if (m_options.drive) onBoxShown = [this](QMessageBox& box) { OnBox(box); };
}

void DrivenHost::Say(const std::string& line) {
    std::printf("orl-drive: %s\n", line.c_str());
    std::fflush(stdout);
}

void DrivenHost::ShowWindow() {
    QtDialogHost::ShowWindow();
    if (!m_options.drive) return;
    Say("window opened");
    QTimer::singleShot(m_options.delayMs, &m_timers, [this] {
        Shot("window");
        PressStart();
    });
}

void DrivenHost::DestroyWindow() {
    if (Window() != nullptr && IsWindowAlive()) {
        Shot("closing");
        if (m_options.drive) Say("window closes");
    }
    QtDialogHost::DestroyWindow();
}

// The progress label: one picture when a phase passes half way.
void DrivenHost::SetControlText(int id, const std::string& text) {
    QtDialogHost::SetControlText(id, text);
    if (id != IDC_PERCENT) return;
    int percent = std::atoi(text.c_str());
    if (percent < 50) {
        m_progressShot = false;
    } else if (!m_progressShot && percent < 100) {
        m_progressShot = true;
        QTimer::singleShot(0, &m_timers, [this] { Shot("progress"); });
    }
}

void DrivenHost::PressStart() {
    QWidget* window = Window();
    if (window == nullptr) return;
    Say("presses the start button");
    QPoint global = window->mapToGlobal(kStartButton);
    QMouseEvent press(QEvent::MouseButtonPress, kStartButton, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, kStartButton, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(window, &release);
}

// Each box is answered with OK. A completed install is followed by the next press of the start
// button, as the player would; a warning ends the drive with the window closed.
void DrivenHost::OnBox(QMessageBox& box) {
    Say("box \"" + OneLine(box.windowTitle()) + "\": " + OneLine(box.text()));
    QTimer::singleShot(kBoxShownMs, &box, [this, &box] {
        Shot("box", &box);
        bool completed = box.text() == "Installation has been Completed.";
        bool warning = box.icon() == QMessageBox::Warning || box.icon() == QMessageBox::Critical;
        Say("answers OK");
        box.button(QMessageBox::Ok)->click();
        if (completed) QTimer::singleShot(m_options.delayMs, &m_timers, [this] { PressStart(); });
        if (warning)
            QTimer::singleShot(1000, &m_timers, [this] {
                Say("stops after the warning");
                DestroyWindow();
            });
    });
}

void DrivenHost::Shot(const std::string& stage, QWidget* box) {
    QWidget* window = Window();
    if (m_options.shots.empty() || window == nullptr) return;
    QRect area = window->frameGeometry();
    if (box != nullptr) area = area.united(box->frameGeometry());
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%s.png", ++m_shots, stage.c_str());
    QString path = QDir(QString::fromStdString(m_options.shots)).filePath(name);
    if (!SaveScreenArea(window, area, path)) {
        std::fprintf(stderr, "orl: cannot write %s\n", path.toStdString().c_str());
        return;
    }
    Say("saved " + path.toStdString());
}
