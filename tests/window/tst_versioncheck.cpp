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
    const QStringList none, nothingNewer{"There are currently no updates"};
    const auto refused = [&](const char *name, const QByteArray &body, const char *logLine,
                             const QString &errorText) {
        QTest::newRow(name) << body << qint64(108) << logLine << errorText << none << "";
    };
    const auto answered = [](const char *name, const QByteArray &body, qint64 appVersion,
                             const QStringList &lines, const char *installer) {
        QTest::newRow(name) << body << appVersion << ""
                            << "" << lines << installer;
    };
    const QString parseError = "can not parse response";
    refused("invalid JSON", "{\"code\": 200,", "JSON format err", parseError);
    refused("top-level array", "[200]", "", "code is: -1");
    refused("code 404", R"({"code":404})", "", "code is: 404");
    refused("code beyond int", R"({"code":1e300})", "", "code is: -2147483648");
    refused("data as array", R"({"code":200,"data":[1]})", "", "not contains data");
    refused("data without updateLog",
            R"({"code":200,"data":{"appVersion":"109","updateAddress":"x"}})", "",
            "not contains update info");
    answered("code 200.7 counts as 200", QByteArray(reply("109")).replace("200", "200.7"), 108,
             versions(108, 109) + QStringList{"\n", "n"}, "Glimmerpane109.exe");
    answered("newer version, notes of two lines", reply("109", R"(Fixes.\nMore.)"), 108,
             versions(108, 109) + QStringList{"\n", "Fixes.\nMore."}, "Glimmerpane109.exe");
    answered("same version", reply("109"), 109, versions(109, 109) + nothingNewer, "");
    answered("appVersion with dots is 0", reply("1.0.9"), 108, versions(108, 0) + nothingNewer, "");
    answered("1.0.10 against 110 offers nothing", reply("110"), 1010,
             versions(1010, 110) + nothingNewer, "");

    // The installer's integrity: stated members must be well formed, and with a vendor key
    // ("key: " rows) an offered update must be signed.
    const QByteArray hex(64, 'a'), signature = QByteArray(64, 's').toBase64();
    const QByteArray good =
        R"(,"size":3,"sha256":")" + hex.toUpper() + R"(","signature":")" + signature + "\"";
    for (const char *name : {"size, digest and signature", "key: signed"})
        answered(name, reply("109", "n", good), 108, versions(108, 109) + QStringList{"\n", "n"},
                 "Glimmerpane109.exe");
    const auto bad = [&](const char *name, const QByteArray &members) {
        refused(name, reply("109", "n", members), "invalid integrity info",
                "not contains update info");
    };
    bad("negative size", R"(,"size":-1)");
    bad("fractional size", R"(,"size":2.5)");
    bad("size as string", R"(,"size":"3")");
    bad("digest of 63 digits", R"(,"sha256":")" + hex.left(63) + "\"");
    bad("digest and a newline", R"(,"sha256":")" + hex + R"(\n")");
    bad("digest not hex", R"(,"sha256":")" + QByteArray(64, 'g') + "\"");
    bad("signature of 63 bytes", R"(,"signature":")" + QByteArray(63, 's').toBase64() + "\"");
    bad("signature not base64", R"(,"signature":"@@@@")");
    bad("key: digest without signature", R"(,"sha256":")" + hex + "\"");
    bad("key: digest and signature without size", good.mid(good.indexOf(',', 1)));
    answered("key: nothing newer needs no signature", reply("109"), 109,
             versions(109, 109) + nothingNewer, "");
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
