// A version service that answers the head and then falls silent: the daily check still ends.
#include "tests/e2e/updaterhome.h"
#include "tests/e2e/versionserviceprocess.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

class TestStalledService : public QObject
{
    Q_OBJECT

private slots:
    void dailyCheckEndsAfterTimeOut();
};

void TestStalledService::dailyCheckEndsAfterTimeOut()
{
    VersionServiceProcess service;
    QVERIFY2(service.start({QStringLiteral("--fault"), QStringLiteral("stall")}),
             qPrintable(service.output()));
    UpdaterHome home(service.origin());

    QElapsedTimer clock;
    clock.start();
    QProcess *updater = home.start({QStringLiteral("version=1.0.8"), QStringLiteral("dailyCheck")});
    QVERIFY(finishesWithin(updater, 70000));
    qInfo("daily check against a stalled service ended after %lld ms", clock.elapsed());
    QCOMPARE(updater->exitStatus(), QProcess::NormalExit);
    QCOMPARE(updater->exitCode(), 0);
    QVERIFY(home.readLog().contains(QStringLiteral(" - JSON format err")));
    QCOMPARE(service.requests(), QStringList{versionRequestLine});
}

UPDATER_TEST_MAIN(TestStalledService)
#include "tst_e2e_stall.moc"
