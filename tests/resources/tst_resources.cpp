#include "resources/resourcepaths.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void icons();
    void translations_data();
    void translations();

private:
    QTranslator chinese;
    QTranslator english;
};

void TestResources::initTestCase()
{
    QVERIFY(chinese.load(i18nPath(QStringLiteral("i18N_zh_CN_update.qm"))));
    QVERIFY(english.load(i18nPath(QStringLiteral("i18N_en_update.qm"))));
}

// The tray icon by its path and the title-bar icons through common.qss (which writes one of
// them as ":./resources/..."); drawing them needs the SVG support too.
void TestResources::icons()
{
    QWidget panel;
    for (const char *name : {"closeBtn", "miniBtn", "updateIcon"})
        (new QPushButton(&panel))->setObjectName(QLatin1String(name));
    QFile common(qssPath(QStringLiteral("common.qss")));
    QVERIFY(common.open(QIODevice::ReadOnly));
    panel.setStyleSheet(QString::fromUtf8(common.readAll()));
    QVERIFY(!QIcon(pngPath(QStringLiteral("update-1.svg"))).pixmap(32, 32).isNull());
    for (QPushButton *button : panel.findChildren<QPushButton *>()) {
        button->ensurePolished();
        QVERIFY2(!button->icon().pixmap(32, 32).isNull(), qPrintable(button->objectName()));
    }
}

void TestResources::translations_data()
{
    QTest::addColumn<QTranslator *>("catalogue");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    const std::pair<const char *, const char *> chineseTable[] = {
        {"Cancel", "取消"},
        {"Check Update", "检查更新"},
        {"Download Update", "下载更新"},
        {"Download failed", "下载失败"},
        {"Downloading...", "正在下载..."},
        {"Glimmerpane Update", "Glimmerpane 更新"},
        {"Installing", "正在安装"},
        {"Latest app version is: ", "最新版本为:"},
        {"MainWindow", "Glimmerpane 更新"},
        {"No", "否"},
        {"Offical Site", "官网"},
        {"Ok", "好"},
        {"There are currently no updates", "暂时没有更新"},
        {"Update", "更新"},
        {"We do not receive app version, you need start this program from Glimmerpane",
         "我们没有收到app的版本信息, 你需要从Glimmerpane启动该程序"},
        {"Yes", "是"},
        {"You are downloading update, are you sure exit?", "你正在下载更新, 是否要退出?"},
        {"Your app version is: ", "当前版本为:"},
        {"can not parse response", "解析更新信息失败"},
        {"code is: ", "错误码为: "},
        {"not contains data", "没有获取到数据"},
        {"not contains update info", "没有更新信息"},
        {"response is null", "没有获取到数据"},
    };
    for (const auto &[source, translation] : chineseTable) {
        const QString english = qstrcmp(source, "MainWindow") ? source : "Glimmerpane Update";
        QTest::addRow("zh_CN '%s'", source) << &chinese << QString(source) << QString(translation);
        QTest::addRow("en_US '%s'", source) << &this->english << QString(source) << english;
    }
    const QString logLine = QStringLiteral("download finished, starting installer");
    QTest::newRow("zh_CN text not in the catalogue") << &chinese << logLine << logLine;
    QTest::newRow("en_US text not in the catalogue") << &english << logLine << logLine;
}

void TestResources::translations()
{
    QFETCH(QTranslator *, catalogue);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    QVERIFY(QCoreApplication::installTranslator(catalogue));
    const QString translated =
        QCoreApplication::translate("MainWindow", source.toUtf8().constData());
    QCoreApplication::removeTranslator(catalogue);
    QCOMPARE(translated, expected);
}

UPDATER_TEST_MAIN(TestResources)

#include "tst_resources.moc"
