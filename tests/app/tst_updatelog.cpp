#include "app/updatelog.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// The log file object lives for the whole process, so each case runs a child process of this
// test with its own data folder.
class TestUpdateLog : public QObject
{
    Q_OBJECT

private slots:
    void openAndWrite_data();
    void openAndWrite();
};

void TestUpdateLog::openAndWrite_data()
{
    QTest::addColumn<QString>("fileAt"); // a plain file put there beforehand, below the data folder
    QTest::addColumn<QString>("folderAt"); // a folder made there beforehand
    QTest::addColumn<QString>("expectedDebug");
    QTest::addColumn<QString>("expectedLog"); // regular expression on its content

    const QString line = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d - ");
    const QString written = line + "中文 two\nlines\n" + line + "\n$";
    const QString noLog = QStringLiteral("^none$");
    const auto row = [](const char *name, const QString &fileAt, const QString &folderAt,
                        const QString &debug, const QString &log) {
        QTest::newRow(name) << fileAt << folderAt << debug << log;
    };
    row("no folders yet", "", "", "", "^" + written);
    row("product folder without log folder", "", "Glimmerpane", "", "^" + written);
    row("earlier content kept", "Glimmerpane/log/update.log", "", "", "^earlier line\n" + written);
    row("product name taken by a file", "Glimmerpane", "",
        "create log folder failed\ncan not open log file", noLog);
    row("log name taken by a folder", "", "Glimmerpane/log/update.log", "can not open log file",
        noLog);
    row("root below a file", "..", "", "create Glimmerpane folder failed\ncan not open log file",
        noLog);
}

void TestUpdateLog::openAndWrite()
{
    QFETCH(QString, fileAt);
    QFETCH(QString, folderAt);
    QFETCH(QString, expectedDebug);
    QFETCH(QString, expectedLog);

    const QString dataHome = testSandboxPath() + "/" + QTest::currentDataTag() + "/share";
    if (!folderAt.isEmpty())
        QVERIFY(QDir().mkpath(dataHome + "/" + folderAt));
    if (!fileAt.isEmpty()) {
        const QString path = QDir::cleanPath(dataHome + "/" + fileAt);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier line\n");
    }

    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome)); // the child inherits it
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
    QVERIFY(child.waitForFinished(30000));
    QVERIFY(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0);
    QCOMPARE(QString::fromUtf8(child.readAllStandardError()).trimmed(), expectedDebug);

    QFile log(dataHome + "/Glimmerpane/log/update.log");
    const QString content =
        log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QStringLiteral("none");
    QVERIFY2(QRegularExpression(expectedLog).match(content).hasMatch(), qPrintable(content));
}

int main(int argc, char *argv[])
{
    // Child side: a fresh process, so the process-wide log starts closed.
    if (argc == 2 && qstrcmp(argv[1], "--child") == 0) {
        QCoreApplication app(argc, argv);
        writeUpdateLog(QStringLiteral("dropped before open"));
        openUpdateLog();
        writeUpdateLog(QStringLiteral("中文 two\nlines"));
        writeUpdateLog(QString());
        return 0;
    }
    enterTestSandbox();
    QApplication app(argc, argv);
    TestUpdateLog tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_updatelog.moc"
