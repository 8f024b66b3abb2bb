#include "singleinstance/qtlockedfile.h"
#include "tests/singleinstance/helperprocess.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using QtLP_Private::QtLockedFile;

// Locks between real processes: a helper process holds or waits for a lock on the same file.
class TestQtLockedFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openModes_data();
    void openModes();
    void againstHolder_data();
    void againstHolder();
    void blockingExclusive_data();
    void blockingExclusive();
    void unsafeMutexFolder_data();
    void unsafeMutexFolder();

private:
    QString lockPath;
};

void TestQtLockedFile::initTestCase()
{
    lockPath = testSandboxPath() + QStringLiteral("/locked-file");
}

void TestQtLockedFile::openModes_data()
{
    QTest::addColumn<QIODevice::OpenMode>("mode");
    QTest::addColumn<bool>("opens");

    QTest::newRow("read-write") << QIODevice::OpenMode(QIODevice::ReadWrite) << true;
    QTest::newRow("write-only truncate") << (QIODevice::WriteOnly | QIODevice::Truncate) << false;
    QTest::newRow("read-write truncate") << (QIODevice::ReadWrite | QIODevice::Truncate) << false;
}

void TestQtLockedFile::openModes()
{
    QFETCH(QIODevice::OpenMode, mode);
    QFETCH(bool, opens);

    QtLockedFile file(lockPath);
    if (!opens)
        QTest::ignoreMessage(QtWarningMsg, "QtLockedFile::open(): Truncate mode not allowed.");
    QCOMPARE(file.open(mode), opens);
    QCOMPARE(file.isOpen(), opens);
}

void TestQtLockedFile::againstHolder_data()
{
    QTest::addColumn<QString>("held");
    QTest::addColumn<QtLockedFile::LockKind>("wanted");
    QTest::addColumn<bool>("granted");
    QTest::addColumn<QString>("path");

    QTest::newRow("shared beside shared")
        << "shared" << QtLockedFile::SharedLock << true << lockPath;
    QTest::newRow("exclusive against shared")
        << "shared" << QtLockedFile::ExclusiveLock << false << lockPath;
    QTest::newRow("shared against exclusive")
        << "exclusive" << QtLockedFile::SharedLock << false << lockPath;
    QTest::newRow("exclusive against exclusive")
        << "exclusive" << QtLockedFile::ExclusiveLock << false << lockPath;
    // Mutex names contain the path; this one is too long to be a file name as it is.
    const QString deepFolder =
        testSandboxPath() + QLatin1Char('/') + QString(200, QLatin1Char('d'));
    QDir().mkpath(deepFolder);
    QTest::newRow("long path, exclusive against shared")
        << "shared" << QtLockedFile::ExclusiveLock << false << deepFolder + "/locked-file";
}

void TestQtLockedFile::againstHolder()
{
    QFETCH(QString, held);
    QFETCH(QtLockedFile::LockKind, wanted);
    QFETCH(bool, granted);
    QFETCH(QString, path);

    HelperProcess holder;
    holder.run({QStringLiteral("lock"), path, held, QStringLiteral("try")});
    QCOMPARE(holder.nextLine(), QStringLiteral("waiting"));
    QCOMPARE(holder.nextLine(), QStringLiteral("locked"));

    QtLockedFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QCOMPARE(file.lock(wanted, false), granted);
    QCOMPARE(file.lockMode(), granted ? wanted : QtLockedFile::Unlocked);
    QVERIFY(file.unlock());

    holder.closeWriteChannel();
    QCOMPARE(holder.nextLine(), QStringLiteral("released"));
    QVERIFY(holder.finishes());
    QVERIFY(file.lock(QtLockedFile::ExclusiveLock, false));
}

void TestQtLockedFile::blockingExclusive_data()
{
    QTest::addColumn<QString>("held");
    QTest::addColumn<bool>("holderKilled");

    QTest::newRow("shared holder releases") << "shared" << false;
    QTest::newRow("exclusive holder releases") << "exclusive" << false;
    QTest::newRow("shared holder is killed") << "shared" << true;
    QTest::newRow("exclusive holder is killed") << "exclusive" << true;
}

void TestQtLockedFile::blockingExclusive()
{
    QFETCH(QString, held);
    QFETCH(bool, holderKilled);

    HelperProcess holder;
    holder.run({QStringLiteral("lock"), lockPath, held, QStringLiteral("try")});
    QCOMPARE(holder.nextLine(), QStringLiteral("waiting"));
    QCOMPARE(holder.nextLine(), QStringLiteral("locked"));

    HelperProcess waiter;
    waiter.run(
        {QStringLiteral("lock"), lockPath, QStringLiteral("exclusive"), QStringLiteral("block")});
    QCOMPARE(waiter.nextLine(), QStringLiteral("waiting"));
    QCOMPARE(waiter.nextLine(300), QString()); // still blocked while the lock is held

    if (holderKilled)
        holder.kill();
    else
        holder.closeWriteChannel();
    QCOMPARE(waiter.nextLine(), QStringLiteral("locked"));
    QVERIFY(holder.finishes());
    waiter.closeWriteChannel();
    QVERIFY(waiter.finishes());
}

void TestQtLockedFile::unsafeMutexFolder_data()
{
    QTest::addColumn<QString>("setup");

    QTest::newRow("plain file") << "file";
    QTest::newRow("symbolic link to a folder") << "symlink";
    QTest::newRow("folder of another user") << "foreign";
    QTest::newRow("folder open to others") << "open";
}

void TestQtLockedFile::unsafeMutexFolder()
{
    QFETCH(QString, setup);

    const QString folder =
        QDir::tempPath() + QStringLiteral("/named-mutexes-") + QString::number(::getuid(), 16);
    const QByteArray nativeFolder = QFile::encodeName(folder);
    QFile::remove(folder);
    QDir(folder).removeRecursively();
    if (setup == QLatin1String("file")) {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else if (setup == QLatin1String("symlink")) {
        QVERIFY(QDir().mkpath(testSandboxPath() + QStringLiteral("/elsewhere")));
        QVERIFY(QFile::link(testSandboxPath() + QStringLiteral("/elsewhere"), folder));
    } else {
        QVERIFY(QDir().mkdir(folder));
        const bool foreign = setup == QLatin1String("foreign");
        QCOMPARE(::chmod(nativeFolder.constData(), foreign ? 0700 : 0777), 0);
        if (foreign)
            QCOMPARE(::chown(nativeFolder.constData(), ::getuid() + 4242, ::getgid()), 0);
    }

    QtLockedFile file(lockPath);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^NamedMutex: refusing .*named-mutexes")));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral(
                                            "^QtLockedFile::lock\\(\\): CreateMutex failed \\(")));
    QVERIFY(!file.lock(QtLockedFile::ExclusiveLock, false));
    QVERIFY(!file.isLocked());

    QFile::remove(folder);
    QDir(folder).removeRecursively();
}

UPDATER_TEST_MAIN(TestQtLockedFile)

#include "tst_qtlockedfile.moc"
