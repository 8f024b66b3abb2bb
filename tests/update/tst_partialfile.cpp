// The resume rules without a network: what a response head means for the kept bytes, and what a
// partial file keeps, checks and places.
#include "tests/support/testsupport.h"
#include "update/partialfile.h"
#include "update/resumedecision.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(ResumeAction)

class TestPartialFile : public QObject
{
    Q_OBJECT

private slots:
    void resume_data();
    void resume();
    void keptBytes_data();
    void keptBytes();
    void endlessBodyKeepsTheMargin();

private:
    const QByteArray bytes = QByteArray(1000, 'i') + "nstaller";
    const QByteArray sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
};

void TestPartialFile::resume_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentRange");
    QTest::addColumn<QByteArray>("validator"); // the response's; "1" was sent
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<ResumeAction>("action");

    const auto row = [](const char *name, int status, const char *range, qint64 offset, qint64 size,
                        ResumeAction action, const char *validator = "1") {
        QTest::newRow(name) << status << QByteArray(range) << QByteArray(validator) << offset
                            << size << action;
    };
    row("200, nothing kept", 200, "", 0, 100, ResumeAction::Append);
    row("200 to a range: the file changed", 200, "", 40, 100, ResumeAction::StartOver);
    row("206 from the kept end", 206, "bytes 40-99/100", 40, 100, ResumeAction::Append);
    row("206, another start", 206, "bytes 0-99/100", 40, 100, ResumeAction::Refuse);
    row("206, another length", 206, "bytes 40-119/120", 40, 100, ResumeAction::Refuse);
    row("206 without a stated size", 206, "bytes 40-99/100", 40, -1, ResumeAction::Refuse);
    row("416: the kept bytes are the whole", 416, "bytes */100", 100, 100, ResumeAction::Refuse);
    row("206 of a file changed since", 206, "bytes 40-99/100", 40, 100, ResumeAction::Refuse, "2");
    row("206 naming no validator", 206, "bytes 40-99/100", 40, 100, ResumeAction::Append, "");
}

void TestPartialFile::resume()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentRange);
    QFETCH(QByteArray, validator);
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QTEST(decideResume({status, contentRange, "1", validator, offset, size}), "action");
}

void TestPartialFile::keptBytes_data()
{
    QTest::addColumn<QString>("kept");  // what stands at "<name>_tmp" and its state beforehand
    QTest::addColumn<qint64>("offset"); // where the download goes on
    QTest::addColumn<QString>("check"); // after the rest is written: "whole", or the log line

    QTest::newRow("nothing kept") << "" << qint64(0) << "whole";
    QTest::newRow("this release's bytes") << "state" << qint64(400) << "whole";
    QTest::newRow("another address's") << "state other-address" << qint64(0) << "whole";
    QTest::newRow("longer than stated") << "state longer" << qint64(0) << "whole";
    QTest::newRow("a link to another file") << "state link" << qint64(0) << "whole";
#ifdef Q_OS_LINUX
    QTest::newRow("a second name of another file") << "state hardlink" << qint64(0) << "whole";
#endif
    QTest::newRow("bytes changed on disk") << "state tampered" << qint64(400) << "checksum";
    QTest::newRow("a byte short") << "state short" << qint64(400) << "size";
}

void TestPartialFile::keptBytes()
{
    QFETCH(QString, kept);
    QFETCH(qint64, offset);
    QFETCH(QString, check);
    QTemporaryDir folder;
    const QString target = folder.filePath("setup.exe"),
                  victim = folder.filePath("elsewhere/victim");
    QVERIFY(QDir(folder.path()).mkdir("elsewhere"));
    PartialFile partial(target);
    const PartialDownload release{"https://host/setup.exe", bytes.size(), sha256, {}};
    QByteArray before = kept.contains("longer") ? bytes + "x" : bytes.left(400);
    before[7] = kept.contains("tampered") ? 'X' : before[7];
    QVERIFY(writeFileBytes(kept.contains("link") ? victim : partial.tempPath(), before));
    QVERIFY(!kept.endsWith(" link") || QFile::link(victim, partial.tempPath()));
#ifdef Q_OS_LINUX
    QVERIFY(!kept.endsWith("hardlink") ||
            ::link(qPrintable(victim), qPrintable(partial.tempPath())) == 0);
#endif
    PartialDownload state = release;
    state.url += kept.contains("other-address") ? "?v=2" : "";
    state.validator = "\"1\"";
    QVERIFY(!kept.startsWith("state") || state.write(partial.statePath()));
    QVERIFY(writeFileBytes(target, "older installer"));

    QVERIFY(partial.open(release));
    QCOMPARE(partial.size(), offset);
    QCOMPARE(QFileInfo::exists(partial.statePath()), offset > 0);
    QVERIFY(partial.write(bytes.mid(offset, bytes.size() - offset - int(kept.contains("short")))));
    QVERIFY(partial.close());
    QCOMPARE(readFileBytes(victim), kept.contains("link") ? before : QByteArray());
    const PartialFile::Check result = partial.check();
    QCOMPARE(result == PartialFile::Check::Whole          ? "whole"
             : result == PartialFile::Check::SizeMismatch ? "size"
                                                          : "checksum",
             check);
    if (result != PartialFile::Check::Whole)
        return;
    QCOMPARE(partial.moveIntoPlace(), QString());
    QCOMPARE(readFileBytes(target), bytes);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"setup.exe"});
}

// A body of no stated size stops short of the volume's free-space margin, on a small tmpfs.
void TestPartialFile::endlessBodyKeepsTheMargin()
{
    QTemporaryDir volume;
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=24m", "tmpfs", volume.path()}) !=
        0) {
        if (qEnvironmentVariableIsEmpty("CI"))
            QSKIP("mounting a tmpfs needs root");
        QFAIL("cannot mount a tmpfs");
    }
    {
        PartialFile partial(volume.filePath("setup.exe"));
        QVERIFY(partial.open({"https://host/setup.exe", -1, {}, {}}));
        const QByteArray mebibyte(1024 * 1024, 'x');
        int written = 0;
        while (written < 64 && partial.write(mebibyte))
            ++written;
        QVERIFY(written > 0 && written < 64);
        QVERIFY(QStorageInfo(volume.path()).bytesAvailable() >= 16 * 1024 * 1024);
    }
    QCOMPARE(QProcess::execute("umount", {volume.path()}), 0);
}

UPDATER_TEST_MAIN(TestPartialFile)
#include "tst_partialfile.moc"
