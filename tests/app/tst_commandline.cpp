#include "app/commandline.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QTest>

#include <vector>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("appVersion");
    QTest::addColumn<bool>("dailyCheck");

    QTest::newRow("nothing") << QStringList{} << qint64(0) << false;
    QTest::newRow("plain version") << QStringList{"version=1.0.8"} << qint64(108) << false;
    QTest::newRow("keywords ignore case, any order")
        << QStringList{"DAILYCHECK", "Version=2.10.3"} << qint64(2103) << true;
    QTest::newRow("dailyCheck=1 is no keyword")
        << QStringList{"dailyCheck=1"} << qint64(0) << false;
    QTest::newRow("unusable values keep the earlier one")
        << QStringList{"version=1.0.8", "version=", "version==1.0", "version=1.0=2", ""}
        << qint64(108) << false;
    QTest::newRow("letters give 0")
        << QStringList{"version=1.0.8", "version=1.0.8b"} << qint64(0) << false;
    QTest::newRow("last usable wins, others ignored")
        << QStringList{"version=1.2.3", "--foo", "version=4.5.6"} << qint64(456) << false;
    QTest::newRow("too large for 64 bits gives 0")
        << QStringList{"version=99999999999999999999"} << qint64(0) << false;
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(qint64, appVersion);
    QFETCH(bool, dailyCheck);

    std::vector<QByteArray> storage{QByteArrayLiteral("GlimmerpaneUpdater")};
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<const char *> argv;
    for (const QByteArray &argument : storage)
        argv.push_back(argument.constData());
    argv.push_back(nullptr);

    const CommandLine result = parseCommandLine(int(storage.size()), argv.data());
    QCOMPARE(result.appVersion, appVersion);
    QCOMPARE(result.dailyCheck, dailyCheck);
}

UPDATER_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
