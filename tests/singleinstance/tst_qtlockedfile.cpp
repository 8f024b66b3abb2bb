#include "singleinstance/qtlockedfile.h"

#include "singleinstance/guardfolder.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using QtLP_Private::QtLockedFile;

// The lock's named mutexes live in a folder that only this user may use.
class TestQtLockedFile : public QObject
{
    Q_OBJECT

private slots:
    void unsafeMutexFolder_data();
    void unsafeMutexFolder();
};

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
#ifndef Q_OS_UNIX
    QSKIP("the mutex folder exists only on Unix");
#else
    if (setup == "foreign" && ::geteuid() != 0)
        QSKIP("giving a folder to another user needs root");
    const QString folder = guardFolder() + "/named-mutexes-" + QString::number(::getuid(), 16);
    const QByteArray native = QFile::encodeName(folder);
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    if (setup == "symlink") {
        QVERIFY(QDir().mkpath(testSandboxPath() + "/elsewhere"));
        QVERIFY(QFile::link(testSandboxPath() + "/elsewhere", folder));
    } else {
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(::chmod(native.constData(), setup == "open" ? 0777 : 0700), 0);
        if (setup == "foreign")
            QCOMPARE(::chown(native.constData(), ::getuid() + 4242, ::getgid()), 0);
    }

    QtLockedFile file(testSandboxPath() + "/locked-file");
    QVERIFY(file.open(QIODevice::ReadWrite));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^NamedMutex: refusing"));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("CreateMutex failed"));
    QVERIFY(!file.lock(QtLockedFile::ExclusiveLock, false));
    QFile::remove(folder);
    QDir(folder).removeRecursively();
#endif
}

UPDATER_TEST_MAIN(TestQtLockedFile)
#include "tst_qtlockedfile.moc"
