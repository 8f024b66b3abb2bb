#pragma once

#include "fixtures/httpsserver/localhttpsserver.h"

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QProcessEnvironment>
#include <QString>
#include <QVariant>

#include <functional>

class QImage;
class QProcess;

// The user folders (HOME, XDG_*, TMPDIR) of a test user living below `root`, created 0700.
QProcessEnvironment userFoldersBelow(const QString &root);

// Points this process's user folders at a fresh temporary folder before anything reads them,
// so that no test touches the real user's folders. GLIMMERPANE_KEEP_SANDBOX=1 keeps it.
QString enterTestSandbox();
QString testSandboxPath();

// A file of tests/data, found wherever the test runs from (ctest, an IDE, gdb).
QString testDataPath(const QString &name);
// Trusts the test CA for this process's TLS connections.
void trustTestCa();
// A file's bytes (empty when it cannot be read), and writing them (false on failure).
QByteArray readFileBytes(const QString &path);
bool writeFileBytes(const QString &path, const QByteArray &bytes);
// The version service's answer offering `latest`, compact as the service sends it.
QByteArray versionServiceReply(const QString &latest, const QString &address, const QString &notes);
// Starts `server` with the test certificate as this process's version service, trusted, with
// time limits of 1.5 s, and opens the update log.
bool serveAsVersionService(LocalHttpsServer &server);
// Lets `server` offer 109 with `notes` and, when given, the installer's SHA-256; the installer
// itself, at "/installer", is `installer`'s answer.
void offerUpdate(LocalHttpsServer &server, const LocalHttpsServer::Handler &installer,
                 const QString &notes = QStringLiteral("n"), const QByteArray &sha256 = {});
// What the update log of this process holds so far.
QString updateLogText();
// Writes one key of the main application's settings; a null value removes it.
void writeMainAppSetting(const QString &key, const QVariant &value);

// The child ends with the test process, so a test killed by its time-out leaves nothing behind.
void endWithTestProcess(QProcess &process);
// Whether the process ends within the time; runs the event loop meanwhile.
bool finishesWithin(QProcess *process, int timeoutMs);

// xdotool's output; a search that finds nothing gives nothing.
QString xdotool(const QStringList &arguments);
// Ids of the mapped windows whose title starts with "Glimmerpane".
QStringList visibleWindows();
// What the X server shows of a window (ImageMagick's import); null when it cannot be read.
QImage screenshot(const QString &windowId);

// Clicks `at` in `window` until `effect` shows, five times at most: a window that has not had
// the focus may take the first click for its activation.
bool clickUntil(const QString &window, QPoint at, const std::function<bool()> &effect);
// The same with any xdotool input, such as keys.
bool xdotoolUntil(const QStringList &arguments, const std::function<bool()> &effect);

// Counts the events of one type that reach an object itself, from construction on.
class EventCounter : public QObject
{
public:
    EventCounter(QObject *watched, QEvent::Type type) : watched(watched), type(type)
    {
        watched->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        count += object == watched && event->type() == type ? 1 : 0;
        return false;
    }

private:
    QObject *watched;
    QEvent::Type type;
};

// Runs a QTest class inside the sandbox, with a QApplication.
#define UPDATER_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        enterTestSandbox();                                                                        \
        QApplication app(argc, argv);                                                              \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
