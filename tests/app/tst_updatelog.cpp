#include "app/productroot.h"
#include "app/updatelog.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// The log file object lives for the whole process, so each scenario runs in a child
// process of this test (started with the scenario's name) with its own data folder.
class TestUpdateLog : public QObject
{
    Q_OBJECT

private slots:
    void scenarios_data();
    void scenarios();
    void lineFormat();

private:
    static QString runScenario(const QString &name, const QString &dataHome,
                               QByteArray *debugOutput);
};

static QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString TestUpdateLog::runScenario(const QString &name, const QString &dataHome,
                                   QByteArray *debugOutput)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("UPDATELOG_SCENARIO"), name);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(30000))
        return QStringLiteral("child hung");
    *debugOutput = child.readAllStandardError();
    return child.exitCode() == 0 ? QString() : QStringLiteral("child failed");
}

void TestUpdateLog::scenarios_data()
{
    QTest::addColumn<QString>("prepare");  // what stands in the data folder beforehand
    QTest::addColumn<QString>("expectedDebug");
    QTest::addColumn<QString>("expectedContent"); // regular expression; empty: no file

    const QString stamp = QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d - ");
    QTest::newRow("no folders yet") << "" << "" << "^" + stamp + "first\n" + stamp + "second\n$";
    QTest::newRow("product folder without log folder")
        << "product" << "" << "^" + stamp + "first\n" + stamp + "second\n$";
    QTest::newRow("earlier content kept")
        << "earlier" << "" << "^earlier line\n" + stamp + "first\n" + stamp + "second\n$";
    QTest::newRow("product name taken by a file")
        << "product-file" << "create log folder failed\ncan not open log file" << QString();
    QTest::newRow("log name taken by a file")
        << "log-file" << "can not open log file" << QString();
    QTest::newRow("root below a file") << "root-under-file"
                                       << "create Glimmerpane folder failed\ncan not open log file"
                                       << QString();
}

void TestUpdateLog::scenarios()
{
    QFETCH(QString, prepare);
    QFETCH(QString, expectedDebug);
    QFETCH(QString, expectedContent);

    const QString base = testSandboxPath() + QStringLiteral("/") + QTest::currentDataTag();
    QString dataHome = base + QStringLiteral("/share");
    QDir().mkpath(dataHome);
    const QString product = dataHome + QStringLiteral("/Glimmerpane");
    auto writeFile = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    if (prepare == QLatin1String("product")) {
        QVERIFY(QDir().mkdir(product));
    } else if (prepare == QLatin1String("earlier")) {
        QVERIFY(QDir().mkpath(product + QStringLiteral("/log")));
        writeFile(product + QStringLiteral("/log/update.log"), "earlier line\n");
    } else if (prepare == QLatin1String("product-file")) {
        writeFile(product, "not a folder");
    } else if (prepare == QLatin1String("log-file")) {
        QVERIFY(QDir().mkpath(product + QStringLiteral("/log/update.log")));
    } else if (prepare == QLatin1String("root-under-file")) {
        writeFile(base + QStringLiteral("/blocker"), "x");
        dataHome = base + QStringLiteral("/blocker/share");
    }

    QByteArray debug;
    QCOMPARE(runScenario(QStringLiteral("write-two-lines"), dataHome, &debug), QString());
    if (expectedDebug.isEmpty())
        QVERIFY2(debug.isEmpty(), debug.constData());
    else
        QCOMPARE(QString::fromUtf8(debug).trimmed(), expectedDebug);

    const QString content = readAll(product + QStringLiteral("/log/update.log"));
    if (expectedContent.isEmpty()) {
        QVERIFY(!QFileInfo(product + QStringLiteral("/log/update.log")).isFile());
    } else {
        QVERIFY2(QRegularExpression(expectedContent).match(content).hasMatch(),
                 qPrintable(content));
    }
}

void TestUpdateLog::lineFormat()
{
    const QString dataHome = testSandboxPath() + QStringLiteral("/format/share");
    QDir().mkpath(dataHome);
    QByteArray debug;
    QCOMPARE(runScenario(QStringLiteral("special-messages"), dataHome, &debug), QString());
    const QString content = readAll(dataHome + QStringLiteral("/Glimmerpane/log/update.log"));
    const QStringList lines = content.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d - $"))
                .match(lines.at(0))
                .hasMatch());
    QVERIFY(lines.at(1).endsWith(QStringLiteral(" - two")));
    QCOMPARE(lines.at(2), QStringLiteral("lines"));
    QVERIFY(lines.at(3).endsWith(QStringLiteral(" - 中文 ok")));
    QCOMPARE(lines.at(4), QString());
}

// Child side: a scenario run in a fresh process, so the process-wide log starts closed.
static int runChildScenario(const QByteArray &scenario)
{
    writeUpdateLog(QStringLiteral("dropped before open"));
    openUpdateLog();
    if (scenario == "write-two-lines") {
        writeUpdateLog(QStringLiteral("first"));
        writeUpdateLog(QStringLiteral("second"));
    } else if (scenario == "special-messages") {
        writeUpdateLog(QString());
        writeUpdateLog(QStringLiteral("two\nlines"));
        writeUpdateLog(QStringLiteral("中文 ok"));
    }
    return 0;
}

int main(int argc, char *argv[])
{
    const QByteArray scenario = qgetenv("UPDATELOG_SCENARIO");
    if (!scenario.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runChildScenario(scenario);
    }
    enterTestSandbox();
    QApplication app(argc, argv);
    TestUpdateLog tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_updatelog.moc"
