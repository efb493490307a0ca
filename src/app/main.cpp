// main() of orl, the launcher: the Qt window host, the X11 key state and display modes, and the
// application object's start-up and loop.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/plx_app.h"
#include "app/window_driver.h"
#include "core/crash_record.h"
#include "platform/command_line.h"
#include "platform/x11/display_modes_xrandr.h"
#include "platform/x11/key_state_x11.h"

namespace {

// The crash record is armed when the program's static objects are made, before main and the
// toolkit's start-up: a fault there leaves a record too.
[[maybe_unused]] const int g_crashHandlerArmed = InstallCrashHandler();

constexpr const char* kUsage =
    "Usage: orl [language:N] [server:N] [other launcher arguments]\n"
    "Velmora launcher and updater. Run it from the launcher's working folder.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "  --screenshot FILE [--screenshot-after MS]\n"
    "             save the window as a PNG file MS milliseconds (default 5000) after it opened,\n"
    "             then close it (for demos and tests)\n"
    "  --drive    drive the window without a player: press the start button, answer every box with\n"
    "             OK once it has shown, press start again after an install, stop after a warning\n"
    "  --drive-delay MS\n"
    "             wait MS milliseconds (default 3000) before each press of the start button\n"
    "  --shots DIR\n"
    "             save the window as DIR/NN-STAGE.png at each stage: opened, half way through each\n"
    "             progress, each box, closing\n";

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orl %s\n", ORL_VERSION);
            return 0;
        }
    }
    std::string screenshot;
    int screenshotAfterMs = 5000;
    DriveOptions drive;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--drive") == 0) drive.drive = true;
        if (i + 1 == argc) break;
        if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];
        if (std::strcmp(argv[i], "--screenshot-after") == 0) screenshotAfterMs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--drive-delay") == 0) drive.delayMs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--shots") == 0) drive.shots = argv[i + 1];
    }
    platform::SetCommandLineArguments(std::vector<std::string>(argv, argv + argc));

    // Qt aborts the process when it finds no display; say why in one line instead.
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM")) {
        std::fputs(
            "orl: no display to show the launcher window on (DISPLAY and WAYLAND_DISPLAY are not set)\n",
            stderr);
        return 1;
    }
    // WebEngine refuses to start as root with its sandbox on, and only reads the switch from the
    // environment before the application object exists.
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);

    DrivenHost host(drive);
    platform::X11KeyState keys;
    platform::XRandrModeSource modes;
    CPLXApp app(host, keys);
    app.m_dlg.m_modeSource = &modes;
    app.InitInstance();
    if (!screenshot.empty()) {
        QTimer::singleShot(screenshotAfterMs, [&] {
            QWidget* window = host.Window();
            if (window == nullptr ||
                !SaveScreenArea(window, window->frameGeometry(), QString::fromStdString(screenshot)))
                std::fprintf(stderr, "orl: cannot write %s\n", screenshot.c_str());
            host.DestroyWindow();
        });
    }
    return app.Run();
}
