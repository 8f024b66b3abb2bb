#include "window/versioncheck.h"

#include "tests/support/testsupport.h"

#include <QApplication>
#include <QTest>

class TestVersionCheck : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
};

// Every kind of reply the service can give, from the body to what the window shows and keeps.
void TestVersionCheck::replies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("appVersion");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QStringList>("infoLines");
    QTest::addColumn<QString>("installerName"); // empty: nothing offered

    const auto reply = [](const char *latest, const char *notes = "n", const char *more = "") {
        return QByteArray(R"({"code":200,"data":{"appVersion":")") + latest +
               R"(","updateAddress":"https://host/setup","updateLog":")" + notes + "\"" + more +
               "}}";
    };
    const auto versions = [](int installed, int latest) {
        return QStringList{QStringLiteral("Your app version is: %1").arg(installed),
                           QStringLiteral("Latest app version is: %1").arg(latest)};
    };
    const QStringList none;
    const QStringList nothingNewer{"There are currently no updates"};
    const QString parseError = "can not parse response";
    QTest::newRow("invalid JSON") << QByteArray("{\"code\": 200,") << qint64(108)
                                  << "JSON format err" << parseError << none << "";
    QTest::newRow("empty body") << QByteArray() << qint64(108) << "JSON format err" << parseError
                                << none << "";
    QTest::newRow("top-level array") << QByteArray("[200]") << qint64(108) << ""
                                     << "code is: -1" << none << "";
    QTest::newRow("code as string") << QByteArray(R"({"code":"200"})") << qint64(108) << ""
                                    << "code is: -1" << none << "";
    QTest::newRow("code 404") << QByteArray(R"({"code":404})") << qint64(108) << ""
                              << "code is: 404" << none << "";
    QTest::newRow("code beyond int") << QByteArray(R"({"code":1e300})") << qint64(108) << ""
                                     << "code is: -2147483648" << none << "";
    QTest::newRow("data as array") << QByteArray(R"({"code":200,"data":[1]})") << qint64(108) << ""
                                   << "not contains data" << none << "";
    QTest::newRow("data without updateLog")
        << QByteArray(R"({"code":200,"data":{"appVersion":"109","updateAddress":"x"}})")
        << qint64(108) << ""
        << "not contains update info" << none << "";
    QTest::newRow("code 200.7 counts as 200")
        << QByteArray(reply("109")).replace("200", "200.7") << qint64(108) << ""
        << "" << versions(108, 109) + QStringList{"\n", "n"} << "Glimmerpane109.exe";
    QTest::newRow("newer version, notes of two lines")
        << reply("109", R"(Fixes.\nMore.)") << qint64(108) << ""
        << "" << versions(108, 109) + QStringList{"\n", "Fixes.\nMore."} << "Glimmerpane109.exe";
    QTest::newRow("same version") << reply("109") << qint64(109) << ""
                                  << "" << versions(109, 109) + nothingNewer << "";
    QTest::newRow("appVersion with dots is 0") << reply("1.0.9") << qint64(108) << ""
                                               << "" << versions(108, 0) + nothingNewer << "";
    QTest::newRow("1.0.10 against 110 offers nothing")
        << reply("110") << qint64(1010) << ""
        << "" << versions(1010, 110) + nothingNewer << "";
    QTest::newRow("markup in the notes stays text")
        << reply("109", R"(<img src=\"/dev/zero\">)") << qint64(108) << ""
        << "" << versions(108, 109) + QStringList{"\n", R"(<img src="/dev/zero">)"}
        << "Glimmerpane109.exe";

    // The installer's integrity: stated members must be well formed, and with a vendor key
    // ("key: " rows) an offered update must be signed.
    const QByteArray hex(64, 'a'), signature = QByteArray(64, 's').toBase64();
    const QByteArray good =
        R"(,"size":3,"sha256":")" + hex.toUpper() + R"(","signature":")" + signature + "\"";
    for (const char *name : {"size, digest and signature", "key: signed"})
        QTest::newRow(name) << reply("109", "n", good) << qint64(108) << ""
                            << "" << versions(108, 109) + QStringList{"\n", "n"}
                            << "Glimmerpane109.exe";
    const auto bad = [&](const char *name, const QByteArray &members) {
        QTest::newRow(name) << reply("109", "n", members) << qint64(108) << "invalid integrity info"
                            << "not contains update info" << none << "";
    };
    bad("negative size", R"(,"size":-1)");
    bad("fractional size", R"(,"size":2.5)");
    bad("size as string", R"(,"size":"3")");
    bad("digest of 63 digits", R"(,"sha256":")" + hex.left(63) + "\"");
    bad("digest not hex", R"(,"sha256":")" + QByteArray(64, 'g') + "\"");
    bad("signature of 63 bytes", R"(,"signature":")" + QByteArray(63, 's').toBase64() + "\"");
    bad("signature not base64", R"(,"signature":"@@@@")");
    bad("key: digest without signature", R"(,"sha256":")" + hex + "\"");
    QTest::newRow("key: nothing newer needs no signature")
        << reply("109") << qint64(109) << ""
        << "" << versions(109, 109) + nothingNewer << "";
}

void TestVersionCheck::replies()
{
    QFETCH(QByteArray, body);
    QFETCH(qint64, appVersion);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);
    QFETCH(QStringList, infoLines);
    QFETCH(QString, installerName);

    if (QByteArray(QTest::currentDataTag()).startsWith("key: "))
        qputenv("GLIMMERPANE_UPDATE_PUBLIC_KEY", QByteArray(32, 'k').toBase64());
    const VersionCheck check = evaluateVersionReply(body, appVersion);
    qunsetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
    QCOMPARE(check.logLine, logLine);
    QCOMPARE(check.errorText, errorText);
    QCOMPARE(check.infoLines, infoLines);
    QCOMPARE(check.answered, errorText.isEmpty());
    QCOMPARE(check.hasUpdate, !installerName.isEmpty());
    QCOMPARE(check.installerName, installerName);
    QCOMPARE(check.updateAddress, installerName.isEmpty() ? "" : "https://host/setup");
    QCOMPARE(check.expectation.size, body.contains("\"size\":3") ? 3 : -1);
    QCOMPARE(check.expectation.sha256.size(),
             body.contains("\"sha256\"") && check.hasUpdate ? 32 : 0);
}

UPDATER_TEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
