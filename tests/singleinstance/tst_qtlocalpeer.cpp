#include "singleinstance/qtlocalpeer.h"
#include "tests/singleinstance/helperprocess.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

namespace {

const QString badPeerId = QStringLiteral("bad peer test");
const int shortWaitLimitMs = 500;

QString userPart()
{
    return QLatin1Char('-') + QString::number(::getuid(), 16);
}

} // namespace

class TestQtLocalPeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serverName_data();
    void serverName();
    void badPeer_data();
    void badPeer();
};

void TestQtLocalPeer::initTestCase()
{
    QtLocalPeer::setMessageWaitLimit(shortWaitLimitMs);
}

void TestQtLocalPeer::serverName_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name"); // before the user part

    // Checksums are CRC-16/X-25 of the UTF-8 bytes, worked out independently.
    QTest::newRow("updater id") << "{114AB953-3656-C303-C1C3-427FE303B9F0}-update"
                                << "qtsingleapp-ABCCCF-11d3";
    QTest::newRow("no letters") << "2024-0001"
                                << "qtsingleapp--b9a4";
    QTest::newRow("short prefix") << "ab1"
                                  << "qtsingleapp-ab-efb2";
    QTest::newRow("non-ASCII letters dropped") << "Ärger über Öl"
                                               << "qtsingleapp-rgerbe-521e";
}

void TestQtLocalPeer::serverName()
{
    QFETCH(QString, id);
    QFETCH(QString, name);
    const QString serverName = name + userPart();

    QtLocalPeer peer(nullptr, id);
    QVERIFY(QFileInfo::exists(QDir::tempPath() + QLatin1Char('/') + serverName +
                              QStringLiteral("-lockfile")));
    QVERIFY(!peer.isSecondary());
    QLocalSocket probe;
    probe.connectToServer(serverName);
    QVERIFY(probe.waitForConnected(2000));
}

void TestQtLocalPeer::badPeer_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("hangsUp");
    QTest::addColumn<QString>("warning"); // regular expression, empty for none
    QTest::addColumn<QStringList>("emitted");

    const QByteArray shortFrame = QByteArray("\0\0\0\x0a", 4) + "abc";
    QTest::newRow("hangs up before the length")
        << QByteArray(2, '\0') << true << "^QtLocalPeer: Peer disconnected$" << QStringList();
    QTest::newRow("announces 4 GiB")
        << QByteArray(4, '\xff') << false
        << "^QtLocalPeer: Message reception failed \\(announced length 4294967295 is over"
        << QStringList();
    QTest::newRow("sends nothing") << QByteArray() << false
                                   << "^QtLocalPeer: Message reception failed \\(no message "
                                      "length within 500 ms\\)$"
                                   << QStringList();
    QTest::newRow("hangs up mid-message") << shortFrame << true << "" << QStringList{"abc"};
    QTest::newRow("stops short and stays") << shortFrame << false << "" << QStringList{"abc"};
}

// Whatever a peer does, the primary goes on answering proper senders.
void TestQtLocalPeer::badPeer()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, hangsUp);
    QFETCH(QString, warning);
    QFETCH(QStringList, emitted);

    QtLocalPeer peer(nullptr, badPeerId);
    QVERIFY(!peer.isSecondary());
    QSignalSpy received(&peer, &QtLocalPeer::messageReceived);
    auto *server = peer.findChild<QLocalServer *>();
    QVERIFY(server);
    QSignalSpy handled(server, &QLocalServer::newConnection); // after the peer's own slot

    QLocalSocket bad;
    bad.connectToServer(server->serverName());
    QVERIFY(bad.waitForConnected(2000));
    if (!sent.isEmpty()) {
        bad.write(sent);
        QVERIFY(bad.waitForBytesWritten(2000));
    }
    if (hangsUp)
        bad.disconnectFromServer();
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 1, 10000);
    QStringList messages;
    for (const QList<QVariant> &arguments : received)
        messages << arguments.at(0).toString();
    QCOMPARE(messages, emitted);
    if (!hangsUp && !emitted.isEmpty()) {
        QVERIFY(bad.bytesAvailable() > 0 || bad.waitForReadyRead(2000));
        QCOMPARE(bad.readAll(), QByteArray("ack"));
    }

    HelperProcess sender;
    sender.run({QStringLiteral("guard"), badPeerId, QStringLiteral("raise_window_noop"),
                QStringLiteral("400")});
    QCOMPARE(sender.nextLine(), QStringLiteral("role=secondary"));
    QCOMPARE(sender.nextLine(), QStringLiteral("sent=true"));
    QVERIFY(sender.finishes());
    QCOMPARE(received.count(), emitted.size() + 1);
    QCOMPARE(received.last().at(0).toString(), QStringLiteral("raise_window_noop"));
}

UPDATER_TEST_MAIN(TestQtLocalPeer)

#include "tst_qtlocalpeer.moc"
