#include "appearance/settings.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void readsTheMainApplicationsStoreAndNeverWrites();
};

void TestSettings::readsTheMainApplicationsStoreAndNeverWrites()
{
    QSettings mainApplication(QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("Halvenord"), QStringLiteral("Glimmerpane"));
    mainApplication.setValue(QStringLiteral("server/language"), QStringLiteral("中文"));
    mainApplication.sync();
    const QString path = mainApplication.fileName();
    const QDateTime written = QFileInfo(path).lastModified();
    QVERIFY(written.isValid());

    QObject firstParent;
    QObject otherParent;
    Settings::init(&firstParent);
    QSettings *store = Settings::settings();
    QCOMPARE(store->value(QStringLiteral("server/language")).toString(), QStringLiteral("中文"));
    QCOMPARE(QCoreApplication::organizationName() + '/' + QCoreApplication::applicationName(),
             QStringLiteral("Halvenord/Glimmerpane"));
    Settings::init(&otherParent); // changes nothing
    QCOMPARE(Settings::settings(), store);
    QCOMPARE(store->parent(), &firstParent);
    QCoreApplication::processEvents(); // a pending write would happen here
    QCOMPARE(QFileInfo(path).lastModified(), written);
}

UPDATER_TEST_MAIN(TestSettings)

#include "tst_settings.moc"
