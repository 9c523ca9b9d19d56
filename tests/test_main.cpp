// Runs the suite with the application offscreen, a private settings file and scripted popups.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/ui.h"
#include "shell/callbacks.h"
#include "test_support.h"

// Sanitizer builds: the system font library keeps a cache for the life of the process; it is not
// a leak of the program's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    if (!std::getenv("QT_LOGGING_RULES")) qputenv("QT_LOGGING_RULES", QByteArray("*.debug=false;qt.qpa.*=false"));
    // Every test run gets a settings file of its own, so no user's remembered values are touched.
    QTemporaryDir settingsDir(QDir::tempPath() + "/rq55-settings-XXXXXX");
    const std::string settings = settingsDir.path().toStdString() + "/settings.ini";
    qputenv("RQ55_SETTINGS", QByteArray::fromStdString(settings));
    InitRunTime(argc, argv);
    RegisterProgramCallbacks();
    testsupport::InstallDefaultResponder();
    return RUN_ALL_TESTS();
}
