// The silent daily check, also against failing services, and a crashed primary, as real runs of
// GlimmerpaneUpdater against the real version service program.
#include "tests/e2e/updaterhome.h"
#include "tests/e2e/versionserviceprocess.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

class TestDailyCheckRun : public QObject
{
    Q_OBJECT

private slots:
    void endsQuietly_data();
    void endsQuietly();
    void killedPrimaryIsReplaced();
};

namespace {

const QString jsonError = QStringLiteral(" - JSON format err");

// An origin on which nothing listens any more.
QString deadOrigin()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("https://127.0.0.1:%1").arg(port);
}

} // namespace

void TestDailyCheckRun::endsQuietly_data()
{
    QTest::addColumn<QStringList>("serviceOptions"); // {"down"}: no service at all
    QTest::addColumn<bool>("logsJsonError");
    QTest::addColumn<int>("withinMs");

    QTest::newRow("no newer version") << QStringList{"--latest-version", "108"} << false << 10000;
    QTest::newRow("service down") << QStringList{"down"} << true << 15000;
    QTest::newRow("invalid JSON") << QStringList{"--fault", "invalid-json"} << true << 15000;
    QTest::newRow("code 500") << QStringList{"--code", "500"} << false << 15000;
    // The updater gives up on a silent service after 30 s in all.
    QTest::newRow("stalled service") << QStringList{"--fault", "stall"} << true << 70000;
}

// The window would keep the process alive: ending is what shows that it stayed hidden.
void TestDailyCheckRun::endsQuietly()
{
    QFETCH(QStringList, serviceOptions);
    QFETCH(bool, logsJsonError);
    QFETCH(int, withinMs);

    const bool serviceUp = serviceOptions != QStringList{"down"};
    VersionServiceProcess service;
    if (serviceUp)
        QVERIFY2(service.start(serviceOptions), qPrintable(service.output()));
    UpdaterHome home(serviceUp ? service.origin() : deadOrigin());

    QElapsedTimer clock;
    clock.start();
    QProcess *updater = home.start({QStringLiteral("version=1.0.8"), QStringLiteral("dailyCheck")});
    QVERIFY(finishesWithin(updater, withinMs));
    qInfo("the daily check ended after %lld ms", clock.elapsed());
    QCOMPARE(updater->exitStatus(), QProcess::NormalExit);
    QCOMPARE(updater->exitCode(), 0);
    QCOMPARE(home.readLog().contains(jsonError), logsJsonError);
    if (serviceUp)
        QCOMPARE(service.requests(), QStringList{versionRequestLine});
}

void TestDailyCheckRun::killedPrimaryIsReplaced()
{
    VersionServiceProcess service;
    QVERIFY2(service.start({}), qPrintable(service.output()));
    UpdaterHome home(service.origin());

    // Offered a newer version, the first run keeps its window open until it is killed.
    QProcess *first = home.start({QStringLiteral("version=1.0.8")});
    QTRY_COMPARE_WITH_TIMEOUT(service.requests().size(), 1, 10000);
    QCOMPARE(first->state(), QProcess::Running);
    first->kill();
    QVERIFY(finishesWithin(first, 5000));

    // A secondary would hand off and end without asking; a primary asks, then ends quietly.
    QProcess *second = home.start({QStringLiteral("version=1.0.9"), QStringLiteral("dailyCheck")});
    QVERIFY(finishesWithin(second, 10000));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(service.requests(), QStringList(2, versionRequestLine));
}

UPDATER_TEST_MAIN(TestDailyCheckRun)
#include "tst_e2e_dailycheck.moc"
