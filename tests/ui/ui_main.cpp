// The user-interface tests run without a screen: Qt's offscreen platform renders every window, web
// views included, into memory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QLoggingCategory>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    setenv("QT_LOGGING_RULES", "qt.webenginecontext=false", 1);
    // WebEngine wants a private runtime folder; a fresh one per run also keeps runs apart.
    char runtime[] = "/tmp/orl-ui-XXXXXX";
    if (mkdtemp(runtime) == nullptr) return 1;
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    // One offscreen screen of 1920 x 1080, the size the window's placement is checked on.
    std::string screens = std::string(runtime) + "/screens.json";
    std::ofstream(screens) << R"({"screens":[{"name":"main","x":0,"y":0,"width":1920,"height":1080,)"
                           << R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
    if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    int result = 0;
    {
        QApplication application(argc, argv);
        // The rules in the environment reach WebEngine's helper processes; this process read its
        // rules before main() began.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext=false"));
        testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    return result;
}
