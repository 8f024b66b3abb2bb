#include "update/versioncheck.h"

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

// Every kind of reply the service can give, from the body to what the update keeps.
void TestVersionCheck::replies_data()
{
    QTest::addColumn<QByteArray>("body");       // for an installed 108
    QTest::addColumn<QString>("installerName"); // empty: nothing offered
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("errorText");

    const auto reply = [](const char *latest, const QByteArray &more = "") {
        return QByteArray(R"({"code":200,"data":{"appVersion":")") + latest +
               R"(","updateAddress":"https://host/setup","updateLog":"n")" + more + "}}";
    };
    const auto row = [](const char *name, const QByteArray &body, const char *installer,
                        const char *logLine = "", const char *errorText = "") {
        QTest::newRow(name) << body << installer << logLine << errorText;
    };
    row("invalid JSON", "{\"code\": 200,", "", "JSON format err", "can not parse response");
    row("code 404", R"({"code":404})", "", "", "code is: 404");
    row("code beyond int", R"({"code":1e300})", "", "", "code is: -2147483648");
    row("data as array", R"({"code":200,"data":[1]})", "", "", "not contains data");
    row("data without updateLog", R"({"code":200,"data":{"appVersion":"109","updateAddress":"x"}})",
        "", "", "not contains update info");
    row("newer version", reply("109"), "Glimmerpane109.exe");
    row("same version", reply("108"), "");

    // The installer's integrity: stated members must be well formed, and with a vendor key
    // ("key: " rows) an offered update must be signed.
    const QByteArray hex(64, 'a'), signature = QByteArray(64, 's').toBase64();
    const QByteArray good =
        R"(,"size":3,"sha256":")" + hex.toUpper() + R"(","signature":")" + signature + "\"";
    row("size, digest and signature", reply("109", good), "Glimmerpane109.exe");
    row("key: signed", reply("109", good), "Glimmerpane109.exe");
    row("key: nothing newer needs no signature", reply("108"), "");
    const auto bad = [&](const char *name, const QByteArray &members) {
        row(name, reply("109", members), "", "invalid integrity info", "not contains update info");
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
}

void TestVersionCheck::replies()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, installerName);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);

    if (QByteArray(QTest::currentDataTag()).startsWith("key: "))
        qputenv("GLIMMERPANE_UPDATE_PUBLIC_KEY", QByteArray(32, 'k').toBase64());
    const VersionCheck check = evaluateVersionReply(body, 108);
    qunsetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
    QCOMPARE(check.logLine, logLine);
    QCOMPARE(check.errorText, errorText);
    QCOMPARE(check.installerName, installerName);
}

UPDATER_TEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
