// Runs the window tests headless, with the user's folders replaced by temporary ones, and fails any test
// that shows a message box it did not expect.
#include "TestSupport.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const ocu::test::TempDir config;
    const ocu::test::TempDir runtime;
    const ocu::test::TempDir cache;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.Path().c_str(), 1);
    // The simulated camera, whatever the environment says, for tests that do not record.
    setenv("OCUSNAP_CAMERA", "sim", 1);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ocu::test::FailOnUnexpectedMessageBoxes();
    return RUN_ALL_TESTS();
}
