#include "singleinstance/qtsingleapplication.h"
#include "tests/singleinstance/helperprocess.h"
#include "tests/support/testsandbox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcessEnvironment>
#include <QTest>

#include <unistd.h>

namespace {

const QString updaterId = QStringLiteral("{114AB953-3656-C303-C1C3-427FE303B9F0}-update");

QString updaterServerName()
{
    return QStringLiteral("qtsingleapp-ABCCCF-11d3-") + QString::number(::getuid(), 16);
}

} // namespace

// This test process is the updater's primary; helper processes are the later starts.
class TestQtSingleApplication : public QObject
{
    Q_OBJECT

public:
    explicit TestQtSingleApplication(QtSingleApplication *app, QObject *parent = nullptr)
        : QObject(parent), app(app)
    {}

private slots:
    void firstStartIsPrimary();
    void sendMessageOnPrimaryFails();
    void handOff_data();
    void handOff();
    void killedPrimaryIsReplaced();
    void unopenableLockFile_data();
    void unopenableLockFile();

private:
    QtSingleApplication *app;
};

void TestQtSingleApplication::firstStartIsPrimary()
{
    QVERIFY(!app->anotherInstanceRunning());
    const QString socketPath = QDir::tempPath() + QLatin1Char('/') + updaterServerName();
    QVERIFY(QFileInfo::exists(socketPath + QStringLiteral("-lockfile")));
    const QFileDevice::Permissions othersAccess = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                  QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFileInfo(socketPath).permissions() & othersAccess, QFileDevice::Permissions());

    auto *server = app->findChild<QLocalServer *>();
    QVERIFY(server);
    QSignalSpy handled(server, &QLocalServer::newConnection);
    QLocalSocket probe;
    probe.connectToServer(updaterServerName());
    QVERIFY(probe.waitForConnected(2000));
    probe.disconnectFromServer();
    QTest::ignoreMessage(QtWarningMsg, "QtLocalPeer: Peer disconnected");
    QTRY_COMPARE(handled.count(), 1);

    QVERIFY(!app->anotherInstanceRunning());
}

void TestQtSingleApplication::sendMessageOnPrimaryFails()
{
    QSignalSpy received(app, &QtSingleApplication::messageReceived);
    QVERIFY(!app->sendMessage(QStringLiteral("raise_window_noop"), 400));
    QCOMPARE(received.count(), 0);
}

void TestQtSingleApplication::handOff_data()
{
    QTest::addColumn<QString>("message");

    QTest::newRow("raise window") << "raise_window_noop";
    QTest::newRow("empty") << "";
    QTest::newRow("non-ASCII") << "Grüße, 更新";
}

void TestQtSingleApplication::handOff()
{
    QFETCH(QString, message);

    QSignalSpy received(app, &QtSingleApplication::messageReceived);
    HelperProcess secondary;
    QElapsedTimer wallClock;
    wallClock.start();
    secondary.run({QStringLiteral("guard"), updaterId, message, QStringLiteral("400")});
    QCOMPARE(secondary.nextLine(), QStringLiteral("role=secondary"));
    QCOMPARE(secondary.nextLine(), QStringLiteral("sent=true"));
    const QString handOffTime = secondary.nextLine();
    QVERIFY(secondary.finishes());
    qInfo("second start: %lld ms wall time, %s", wallClock.elapsed(), qPrintable(handOffTime));

    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), message);
}

void TestQtSingleApplication::killedPrimaryIsReplaced()
{
    const QString id = QStringLiteral("killed primary test");
    HelperProcess first;
    first.run({QStringLiteral("guard"), id});
    QCOMPARE(first.nextLine(), QStringLiteral("role=primary"));
    first.kill(); // SIGKILL: no clean-up, the socket file stays behind
    QVERIFY(first.finishes());

    HelperProcess next;
    next.run({QStringLiteral("guard"), id});
    QCOMPARE(next.nextLine(), QStringLiteral("role=primary"));
    HelperProcess secondary;
    secondary.run({QStringLiteral("guard"), id, QStringLiteral("hello"), QStringLiteral("400")});
    QCOMPARE(secondary.nextLine(), QStringLiteral("role=secondary"));
    QCOMPARE(secondary.nextLine(), QStringLiteral("sent=true"));
    QCOMPARE(next.nextLine(), QStringLiteral("message=hello"));
    QVERIFY(secondary.finishes());
    next.kill();
    QVERIFY(next.finishes());
}

void TestQtSingleApplication::unopenableLockFile_data()
{
    QTest::addColumn<QString>("temporaryFolder");

    const QString base = testSandboxPath() + QStringLiteral("/unopenable");
    QDir().mkpath(base + QStringLiteral("/taken/") + updaterServerName() +
                  QStringLiteral("-lockfile"));
    QFile plain(base + QStringLiteral("/plain"));
    plain.open(QIODevice::WriteOnly);

    QTest::newRow("temporary folder below a plain file") << base + QStringLiteral("/plain/tmp");
    QTest::newRow("lock file name taken by a folder") << base + QStringLiteral("/taken");
}

// No primary listens in that temporary folder, so the hand-off fails.
void TestQtSingleApplication::unopenableLockFile()
{
    QFETCH(QString, temporaryFolder);

    HelperProcess secondary;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporaryFolder);
    secondary.setProcessEnvironment(environment);
    secondary.run({QStringLiteral("guard"), updaterId, QStringLiteral("raise_window_noop"),
                   QStringLiteral("400")});
    QCOMPARE(secondary.nextLine(), QStringLiteral("role=secondary"));
    QCOMPARE(secondary.nextLine(), QStringLiteral("sent=false"));
    QVERIFY(secondary.finishes());
    QVERIFY(secondary.readAllStandardError().contains("QtLockedFile::lock(): file is not opened"));
}

int main(int argc, char *argv[])
{
    enterTestSandbox();
    QtSingleApplication app(updaterId, argc, argv);
    TestQtSingleApplication tc(&app);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_qtsingleapplication.moc"
