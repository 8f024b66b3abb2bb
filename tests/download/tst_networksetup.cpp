#include "download/networksetup.h"
#include "tests/support/testsupport.h"
#include "tools/httpsserver/localhttpsserver.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTest>

class TestNetworkSetup : public QObject
{
    Q_OBJECT

private slots:
    void extraCaCertificates_data();
    void extraCaCertificates();

private:
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
};

void TestNetworkSetup::extraCaCertificates_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("warning"); // empty: none expected
    QTest::addColumn<int>("added");

    const QString missing = testSandboxPath() + "/missing.pem";
    const QString keyOnly = testDataPath("server.key");
    QTest::newRow("not set") << QString() << QString() << 0;
    QTest::newRow("missing file") << missing << "GLIMMERPANE_EXTRA_CA_CERTS: cannot read " + missing
                                  << 0;
    QTest::newRow("no certificate in the file")
        << keyOnly << "GLIMMERPANE_EXTRA_CA_CERTS: no certificate in " + keyOnly << 0;
    QTest::newRow("test CA") << testDataPath("ca.pem") << QString() << 1;
    // It never ends: read, it would eat all memory.
    const QString cannotRead = "GLIMMERPANE_EXTRA_CA_CERTS: cannot read ";
    QTest::newRow("endless device") << "/dev/zero" << cannotRead + "/dev/zero" << 0;
}

void TestNetworkSetup::extraCaCertificates()
{
    QFETCH(QString, path);
    QFETCH(QString, warning);
    QFETCH(int, added);
    LocalHttpsServer server(LocalHttpsServer::Scheme::Https);
    QVERIFY(server.setCertificate(testDataPath("server.pem"), testDataPath("server.key")));
    server.setHandler([](const HttpRequest &, HttpResponse &response) { response.setBody("ok"); });
    QVERIFY2(server.listen(), qPrintable(server.errorString()));
    QSslConfiguration::setDefaultConfiguration(original);
    qputenv("GLIMMERPANE_EXTRA_CA_CERTS", QFile::encodeName(path));
    if (warning.isEmpty())
        QTest::failOnWarning(QRegularExpression("GLIMMERPANE_EXTRA_CA_CERTS"));
    else
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));

    setUpNetwork();

    QCOMPARE(QSslConfiguration::defaultConfiguration().caCertificates().size(),
             original.caCertificates().size() + added);
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(server.url("/")));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(reply->error(),
             added ? QNetworkReply::NoError : QNetworkReply::SslHandshakeFailedError);
}

UPDATER_TEST_MAIN(TestNetworkSetup)
#include "tst_networksetup.moc"
