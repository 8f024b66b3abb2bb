#include "appearance/settings.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTest>

// The store is process-wide, so the steps build on each other in declaration order.
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void absentSettingsGiveDefaultsAndNoFile();
    void readsTheMainApplicationsFileAndNeverWrites();
    void secondInitKeepsTheFirstStore();

private:
    static QByteArray fileContent();
    QObject firstParent;
};

static const QString settingsFile = QStringLiteral("/home/.config/Halvenord/Glimmerpane.conf");

QByteArray TestSettings::fileContent()
{
    QFile file(testSandboxPath() + settingsFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestSettings::absentSettingsGiveDefaultsAndNoFile()
{
    QVERIFY(!Settings::settings());
    Settings::init(&firstParent);
    QSettings *store = Settings::settings();
    QVERIFY(store);
    QCOMPARE(store->parent(), &firstParent);
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Halvenord"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Glimmerpane"));
    QCOMPARE(store->fileName(), testSandboxPath() + settingsFile);
    QCOMPARE(store->value(QStringLiteral("server/applicationTheme"), QVariant(0)).toInt(), 0);
    QCoreApplication::processEvents();
    QVERIFY(!QFile::exists(store->fileName()));
}

void TestSettings::readsTheMainApplicationsFileAndNeverWrites()
{
    {
        QSettings mainApplication(QSettings::NativeFormat, QSettings::UserScope,
                                  QStringLiteral("Halvenord"), QStringLiteral("Glimmerpane"));
        mainApplication.setValue(QStringLiteral("server/language"), QStringLiteral("中文"));
        mainApplication.setValue(QStringLiteral("server/applicationTheme"), 2);
    }
    const QByteArray written = fileContent();
    QVERIFY(!written.isEmpty());
    QSettings *store = Settings::settings();
    QCOMPARE(store->value(QStringLiteral("server/language")).toString(), QStringLiteral("中文"));
    QCOMPARE(store->value(QStringLiteral("server/applicationTheme")).toInt(), 2);
    QCoreApplication::processEvents(); // a pending write would be flushed here
    QCOMPARE(fileContent(), written);
}

void TestSettings::secondInitKeepsTheFirstStore()
{
    QSettings *first = Settings::settings();
    QObject otherParent;
    Settings::init(&otherParent);
    QCOMPARE(Settings::settings(), first);
    QCOMPARE(first->parent(), &firstParent);
}

UPDATER_TEST_MAIN(TestSettings)

#include "tst_settings.moc"
