#include "singleinstance/qtlocalpeer.h"
#include "tests/singleinstance/helperprocess.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

class TestQtLocalPeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QtLocalPeer::setMessageWaitLimit(500); }
    void serverName_data();
    void serverName();
    void badPeer_data();
    void badPeer();
};

void TestQtLocalPeer::serverName_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name"); // before the user part

    // Checksums are CRC-16/X-25 of the UTF-8 bytes, worked out independently.
    QTest::newRow("updater id") << "{114AB953-3656-C303-C1C3-427FE303B9F0}-update"
                                << "qtsingleapp-ABCCCF-11d3";
    QTest::newRow("no letters") << "2024-0001"
                                << "qtsingleapp--b9a4";
    QTest::newRow("non-ASCII letters dropped") << "Ärger über Öl"
                                               << "qtsingleapp-rgerbe-521e";
}

void TestQtLocalPeer::serverName()
{
    QFETCH(QString, id);
    QFETCH(QString, name);
    QtLocalPeer peer(nullptr, id);
    QVERIFY(!peer.isSecondary());
    QLocalSocket probe;
    probe.connectToServer(name + QLatin1Char('-') + QString::number(::getuid(), 16));
    QVERIFY(probe.waitForConnected(2000));
}

void TestQtLocalPeer::badPeer_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("hangsUp");
    QTest::addColumn<QString>("warning");   // regular expression, empty for none
    QTest::addColumn<QString>("delivered"); // empty for nothing

    const auto row = [](const char *name, const QByteArray &sent, bool hangsUp,
                        const QString &warning, const QString &delivered) {
        QTest::newRow(name) << sent << hangsUp << warning << delivered;
    };
    const QString failed = QStringLiteral("^QtLocalPeer: Message reception failed \\(");
    const QByteArray shortFrame = QByteArray("\0\0\0\x0a", 4) + "abc";
    row("hangs up before the length", QByteArray(2, '\0'), true, "^QtLocalPeer: Peer disconnected$",
        "");
    row("announces 4 GiB", QByteArray(4, '\xff'), false,
        failed + "announced length 4294967295 is over", "");
    row("sends nothing", QByteArray(), false, failed + "no message length within 500 ms\\)$", "");
    row("hangs up mid-message", shortFrame, true, "", "abc");
    row("stops short and stays", shortFrame, false, "", "abc");
}

// Whatever a peer does, the primary goes on answering proper senders.
void TestQtLocalPeer::badPeer()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, hangsUp);
    QFETCH(QString, warning);
    QFETCH(QString, delivered);

    const QString id = QStringLiteral("bad peer test");
    QtLocalPeer peer(nullptr, id);
    QVERIFY(!peer.isSecondary());
    QSignalSpy received(&peer, &QtLocalPeer::messageReceived);
    auto *server = peer.findChild<QLocalServer *>();
    QVERIFY(server);
    QSignalSpy handled(server, &QLocalServer::newConnection); // after the peer's own slot

    QLocalSocket bad;
    bad.connectToServer(server->serverName());
    QVERIFY(bad.waitForConnected(2000));
    bad.write(sent);
    QVERIFY(sent.isEmpty() || bad.waitForBytesWritten(2000));
    if (hangsUp)
        bad.disconnectFromServer();
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 1, 10000);

    QCOMPARE(handOffFromLaterStart(id, QStringLiteral("raise_window_noop")),
             QStringLiteral("secondary sent=true"));
    QStringList messages;
    for (const QList<QVariant> &arguments : received)
        messages << arguments.at(0).toString();
    const QStringList expected = delivered.isEmpty() ? QStringList() : QStringList{delivered};
    QCOMPARE(messages, expected + QStringList{"raise_window_noop"});
}

UPDATER_TEST_MAIN(TestQtLocalPeer)

#include "tst_qtlocalpeer.moc"
