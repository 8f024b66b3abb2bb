#include "singleinstance/qtsingleapplication.h"
#include "tests/singleinstance/helperprocess.h"
#include "tests/support/testsandbox.h"

#include <QDir>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

namespace {

const QString updaterId = QStringLiteral("{114AB953-3656-C303-C1C3-427FE303B9F0}-update");
const QString sentReport = QStringLiteral("secondary sent=true");

const QString updaterServerName =
    QStringLiteral("qtsingleapp-ABCCCF-11d3-") + QString::number(::getuid(), 16);

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
    QVERIFY(!app->anotherInstanceRunning());
    const auto *server = app->findChild<QLocalServer *>();
    QVERIFY(server && server->isListening());
    QCOMPARE(server->serverName(), updaterServerName);
    QVERIFY(QFileInfo::exists(server->fullServerName() + QStringLiteral("-lockfile")));
    const QFileDevice::Permissions othersAccess = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                  QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFileInfo(server->fullServerName()).permissions() & othersAccess,
             QFileDevice::Permissions());
    QVERIFY(!app->sendMessage(QStringLiteral("raise_window_noop"), 400)); // nobody to send to
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
    QCOMPARE(handOffFromLaterStart(updaterId, message), sentReport);
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), message);
}

void TestQtSingleApplication::killedPrimaryIsReplaced()
{
    const QString id = QStringLiteral("killed primary test");
    HelperProcess first({QStringLiteral("guard"), id});
    QCOMPARE(first.nextLine(), QStringLiteral("primary"));
    first.kill(); // SIGKILL: no clean-up, the socket file stays behind
    QVERIFY(first.finishes());

    HelperProcess next({QStringLiteral("guard"), id});
    QCOMPARE(next.nextLine(), QStringLiteral("primary"));
    QCOMPARE(handOffFromLaterStart(id, QStringLiteral("hello")), sentReport);
    QCOMPARE(next.nextLine(), QStringLiteral("message=hello"));
    next.kill();
    QVERIFY(next.finishes());
}

void TestQtSingleApplication::unopenableLockFile_data()
{
    QTest::addColumn<QString>("temporaryFolder");
    const QString base = testSandboxPath() + QStringLiteral("/unopenable");
    QVERIFY(QDir().mkpath(base + "/taken/" + updaterServerName + "-lockfile"));
    QFile plain(base + QStringLiteral("/plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QTest::newRow("temporary folder below a plain file") << base + "/plain/tmp";
    QTest::newRow("lock file name taken by a folder") << base + "/taken";
}

// No primary listens in that temporary folder, so the hand-off fails.
void TestQtSingleApplication::unopenableLockFile()
{
    QFETCH(QString, temporaryFolder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporaryFolder);
    QCOMPARE(handOffFromLaterStart(updaterId, QStringLiteral("raise_window_noop"), environment),
             QStringLiteral("secondary sent=false"));
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
