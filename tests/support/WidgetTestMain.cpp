// Test main for rooms whose tests build real widgets and dialogs. The suite
// runs them under Qt's offscreen platform, on a screen of desktop size,
// unless the caller chose another.
#include "tests/support/FailingErrorDisplay.h"

#include <QApplication>

#include <gtest/gtest.h>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WIDGET_TESTS_UNDER_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(WIDGET_TESTS_UNDER_TSAN)
// Qt is not built for ThreadSanitizer, so the locks of its own worker
// threads (Qt Gui scales and converts images for the styles on a thread
// pool) are invisible and their copies look like races; so are those of
// GLib, which Qt's event dispatcher runs on each of its threads. Accesses
// that these libraries make through the runtime's memory functions are not
// checked; our code, being instrumented, still is, on every thread.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", TEST_PLATFORM);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    InstallFailingErrorDisplay();
    return RUN_ALL_TESTS();
}
