#pragma once

#include <QString>

// Points HOME, XDG_* and TMPDIR at a fresh temporary folder before anything reads them,
// so that no test touches the real user's folders. Call first thing in main().
QString enterTestSandbox();

// The sandbox folder of this test process.
QString testSandboxPath();

// Runs a QTest class inside the sandbox, with a QApplication.
#define UPDATER_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        enterTestSandbox();                                                                        \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
