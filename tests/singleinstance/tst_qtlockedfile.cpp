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

// Locks between real processes: a helper process holds a lock on the same file.
class TestQtLockedFile : public QObject
{
    Q_OBJECT

private slots:
    void againstHolder_data();
    void againstHolder();
    void unsafeMutexFolder_data();
    void unsafeMutexFolder();
};

void TestQtLockedFile::againstHolder_data()
{
    QTest::addColumn<QString>("held");
    QTest::addColumn<QtLockedFile::LockKind>("wanted");
    QTest::addColumn<bool>("granted");
    QTest::addColumn<bool>("holderKilled"); // otherwise it unlocks and ends
    QTest::addColumn<QString>("path");

    const QString path = testSandboxPath() + QStringLiteral("/locked-file");
    QTest::newRow("shared beside shared")
        << "shared" << QtLockedFile::SharedLock << true << false << path;
    QTest::newRow("exclusive against shared, holder killed")
        << "shared" << QtLockedFile::ExclusiveLock << false << true << path;
    QTest::newRow("shared against exclusive")
        << "exclusive" << QtLockedFile::SharedLock << false << false << path;
    QTest::newRow("exclusive against exclusive, holder killed")
        << "exclusive" << QtLockedFile::ExclusiveLock << false << true << path;
    // Mutex names contain the path; this one is too long to be a file name as it is.
    const QString deepFolder = testSandboxPath() + QLatin1Char('/') + QString(200, 'd');
    QDir().mkpath(deepFolder);
    QTest::newRow("long path, exclusive against shared")
        << "shared" << QtLockedFile::ExclusiveLock << false << false << deepFolder + "/locked";
}

void TestQtLockedFile::againstHolder()
{
    QFETCH(QString, held);
    QFETCH(QtLockedFile::LockKind, wanted);
    QFETCH(bool, granted);
    QFETCH(bool, holderKilled);
    QFETCH(QString, path);

    HelperProcess holder({QStringLiteral("lock"), path, held});
    QCOMPARE(holder.nextLine(), QStringLiteral("locked"));

    QtLockedFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QCOMPARE(file.lock(wanted, false), granted);
    QCOMPARE(file.lockMode(), granted ? wanted : QtLockedFile::Unlocked);
    QVERIFY(file.unlock());

    if (holderKilled) {
        holder.kill(); // an owner that ends without unlocking abandons its mutexes
    } else {
        holder.closeWriteChannel();
        QCOMPARE(holder.nextLine(), QStringLiteral("released"));
    }
    QVERIFY(holder.finishes());
    QVERIFY(file.lock(QtLockedFile::ExclusiveLock, false)); // nothing of the holder's lock is left
}

void TestQtLockedFile::unsafeMutexFolder_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("symbolic link to a folder") << "symlink";
    QTest::newRow("folder of another user") << "foreign";
    QTest::newRow("folder open to others") << "open";
}

// Another user must not be able to plant or watch our mutexes.
void TestQtLockedFile::unsafeMutexFolder()
{
    QFETCH(QString, setup);

    const QString folder =
        QDir::tempPath() + QStringLiteral("/named-mutexes-") + QString::number(::getuid(), 16);
    const QByteArray native = QFile::encodeName(folder);
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    if (setup == QLatin1String("symlink")) {
        QVERIFY(QDir().mkpath(testSandboxPath() + QStringLiteral("/elsewhere")));
        QVERIFY(QFile::link(testSandboxPath() + QStringLiteral("/elsewhere"), folder));
    } else {
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(::chmod(native.constData(), setup == QLatin1String("open") ? 0777 : 0700), 0);
        if (setup == QLatin1String("foreign"))
            QCOMPARE(::chown(native.constData(), ::getuid() + 4242, ::getgid()), 0);
    }

    QtLockedFile file(testSandboxPath() + QStringLiteral("/locked-file"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NamedMutex: refusing")));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("CreateMutex failed")));
    QVERIFY(!file.lock(QtLockedFile::ExclusiveLock, false));
    QFile::remove(folder);
    QDir(folder).removeRecursively();
}

UPDATER_TEST_MAIN(TestQtLockedFile)

#include "tst_qtlockedfile.moc"
