#include "singleinstance/qtsingleapplication.h"
#include "singleinstance/sessionpart.h"
#include "tests/support/childprocess.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

// This user's id, as the guard's folder names carry it: the owner of what the test makes.
QString userId()
{
    return QString::number(QFileInfo(testSandboxPath()).ownerId());
}

const QString updaterId = QStringLiteral("{114AB953-3656-C303-C1C3-427FE303B9F0}-update");
const QString sentReport = QStringLiteral("secondary sent=true");

// The helper as a later start of the guard that hands the message over; returns its report.
QString handOffFromLaterStart(
    const QString &appId, const QString &message,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    ChildProcess later(SINGLEINSTANCE_HELPER, {appId, message}, environment);
    const QString report = later.nextLine();
    return later.finishes() ? report : "still running after: " + report;
}

} // namespace

// This test process is the updater's primary; helper processes are the later starts, and raw
// sockets play peers that misbehave.
class TestQtSingleApplication : public QObject
{
    Q_OBJECT

public:
    explicit TestQtSingleApplication(QtSingleApplication *app) : app(app) {}

private slots:
    void firstStartIsPrimary();
    void manyHandOffs();
    void badPeer_data();
    void badPeer();
    void guardFolders_data();
    void guardFolders();

private:
    QtSingleApplication *app;
};

void TestQtSingleApplication::firstStartIsPrimary()
{
    QVERIFY(!app->anotherInstanceRunning());
    const auto *server = app->findChild<QLocalServer *>();
    QVERIFY(server && server->isListening());
    // No /run/user/<uid> here: our folder in the temporary one. Checksum: CRC-16/X-25.
    QCOMPARE(server->serverName(), QDir::tempPath() + "/glimmerpane-guard-" + userId() +
                                       "/qtsingleapp-ABCCCF-11d3-" + sessionPart());
    QVERIFY(QFileInfo::exists(server->fullServerName() + "-lockfile"));
    const auto othersAccess =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    QVERIFY(!(QFileInfo(server->fullServerName()).permissions() & othersAccess));
    QVERIFY(!app->sendMessage("raise_window_noop", 400)); // the primary has nobody to send to
}

// The primary under load: after 50 later starts have handed over, it holds no more objects
// and open files than before.
void TestQtSingleApplication::manyHandOffs()
{
    QSignalSpy received(app, &QtSingleApplication::messageReceived);
    const auto held = [this] {
        return app->findChildren<QObject *>().size() + QDir("/proc/self/fd").count();
    };
    const qsizetype before = held();
    for (int start = 0; start < 50; ++start)
        QCOMPARE(handOffFromLaterStart(updaterId, "raise_window_noop"), sentReport);
    QTRY_COMPARE(received.count(), 50);
    QTRY_COMPARE(held(), before);
}

void TestQtSingleApplication::badPeer_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("hangsUp");
    QTest::addColumn<QString>("warning");   // regular expression, empty for none
    QTest::addColumn<QString>("delivered"); // besides the proper sender's message, sorted

    const QString failed = "^QtLocalPeer: Message reception failed \\(";
    const QByteArray shortFrame = QByteArray("\0\0\0\x0a", 4) + "abc";
    const auto row = [](const char *name, const QByteArray &sent, bool hangsUp,
                        const QString &warning, const char *delivered) {
        QTest::newRow(name) << sent << hangsUp << warning << delivered;
    };
    row("hangs up before the length", QByteArray(2, '\0'), true, "^QtLocalPeer: Peer disconnected$",
        "");
    row("announces 4 GiB", QByteArray(4, '\xff'), false,
        failed + "announced length 4294967295 is over", "");
    row("sends nothing", "", false, failed + "no message length within 2000 ms\\)$", "");
    row("hangs up mid-message", shortFrame, true, failed + ".* after 3 of 10 bytes\\)$", "");
    row("stops short and stays", shortFrame, false, "", "abc ");
}

// Whatever a peer does, the primary answers proper senders meanwhile and ends its connection.
void TestQtSingleApplication::badPeer()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, hangsUp);
    QFETCH(QString, warning);
    QFETCH(QString, delivered);

    QSignalSpy received(app, &QtSingleApplication::messageReceived);
    auto *server = app->findChild<QLocalServer *>();
    QLocalSocket bad;
    bad.connectToServer(server->serverName());
    QVERIFY(bad.waitForConnected(2000));
    bad.write(sent);
    QVERIFY(sent.isEmpty() || bad.waitForBytesWritten(2000));
    if (hangsUp)
        bad.disconnectFromServer();
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));

    // Served while the bad peer is still open: the sender waits only 400 ms for its reply.
    QCOMPARE(handOffFromLaterStart(updaterId, "raise_window_noop"), sentReport);
    QTRY_VERIFY_WITH_TIMEOUT(app->findChildren<QLocalSocket *>().isEmpty(), 10000);
    QStringList messages;
    for (const QList<QVariant> &arguments : received)
        messages << arguments.at(0).toString();
    messages.sort();
    QCOMPARE(messages.join(' '), delivered + "raise_window_noop");
}

void TestQtSingleApplication::guardFolders_data()
{
    QTest::addColumn<QString>("runtime");    // /run/user/<uid>'s QFile::Permissions; empty: none
    QTest::addColumn<QString>("temporary");  // TMPDIR
    QTest::addColumn<QString>("lockFolder"); // where the lock file goes

    const QString base = testSandboxPath() + "/guard/";
    const auto folder = [&](const QString &name) {
        QDir().mkpath(base + name);
        return base + name;
    };
    QTest::newRow("runtime folder private: used")
        << "7000" << folder("t1") << "t1-run-user/" + userId();
    QTest::newRow("runtime folder open to others: temporary folder")
        << "7777" << folder("t2") << "t2/glimmerpane-guard-" + userId();
    // A temporary folder too long for a Unix socket in it: the socket moves to /tmp, the lock
    // file stays.
    const QString deep = QString(90, 'd');
    QTest::newRow("long temporary folder")
        << "" << folder(deep) << deep + "/glimmerpane-guard-" + userId();
}

// Whichever folder the guard settles on, one process is primary and the next hands over; a
// folder that other users may enter or own is never used, and XDG_RUNTIME_DIR changes nothing.
void TestQtSingleApplication::guardFolders()
{
    QFETCH(QString, runtime);
    QFETCH(QString, temporary);
    QFETCH(QString, lockFolder);
    const QString root = temporary + "-run-user";
    if (!runtime.isEmpty()) {
        QVERIFY(QDir().mkpath(root + "/" + userId()));
        QVERIFY(QFile::setPermissions(root + "/" + userId(),
                                      QFile::Permissions(runtime.toUInt(nullptr, 16))));
    }
    const QString id = "guard folder test";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(), without;
    environment.insert("TMPDIR", temporary);
    environment.insert("GLIMMERPANE_USER_RUNTIME_ROOT", root);
    (without = environment).remove("XDG_RUNTIME_DIR");
    const QString lockName = "qtsingleapp-guardf-f41f-" + sessionPart() + "-lockfile";

    ChildProcess first(SINGLEINSTANCE_HELPER, {id}, environment);
    QCOMPARE(first.nextLine(), "primary");
    QCOMPARE(handOffFromLaterStart(id, "hello", without), sentReport);
    QCOMPARE(first.nextLine(), "message=hello");
    QVERIFY(QFileInfo(testSandboxPath() + "/guard/" + lockFolder + "/" + lockName).isFile());
}

int main(int argc, char *argv[])
{
    enterTestSandbox();
    qputenv("GLIMMERPANE_TIME_LIMIT_MS", "2000"); // a silent peer is dropped after that
    QtSingleApplication app(updaterId, argc, argv);
    TestQtSingleApplication tc(&app);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_qtsingleapplication.moc"
