#include "resources/resourcepaths.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include <functional>

using PathFunction = std::function<QString(const QString &)>;

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void paths_data();
    void paths();
    void icons_data();
    void icons();
    void styleSheetIconsReachButtons();
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
    QCOMPARE(chinese.language(), QStringLiteral("zh_CN"));
    QCOMPARE(english.language(), QStringLiteral("en_US"));
}

void TestResources::paths_data()
{
    QTest::addColumn<PathFunction>("function");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("png") << PathFunction(pngPath) << "update-1.svg"
                         << ":/resources/png/update-1.svg";
    QTest::newRow("qss") << PathFunction(qssPath) << "dark_theme.qss"
                         << ":/resources/qss/dark_theme.qss";
    QTest::newRow("i18n") << PathFunction(i18nPath) << "i18N_zh_CN_update.qm"
                          << ":/resources/i18n/i18N_zh_CN_update.qm";
}

void TestResources::paths()
{
    QFETCH(PathFunction, function);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(function(name), expected);
    QVERIFY(QFile::exists(expected));
}

void TestResources::icons_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("update") << ":/resources/png/update-1.svg";
    QTest::newRow("update, as the style sheet writes it") << ":./resources/png/update-1.svg";
    QTest::newRow("close") << ":/resources/png/close.svg";
    QTest::newRow("minimise") << ":/resources/png/min.svg";
}

// Also fails when the SVG icon engine or image format plugin is missing.
void TestResources::icons()
{
    QFETCH(QString, path);
    const QIcon icon(path);
    QVERIFY(!icon.isNull());
    const QImage image = icon.pixmap(32, 32).toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    int drawnPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawnPixels += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    QVERIFY2(drawnPixels > 20, qPrintable(QString::number(drawnPixels)));
}

void TestResources::styleSheetIconsReachButtons()
{
    QFile common(qssPath(QStringLiteral("common.qss")));
    QVERIFY(common.open(QIODevice::ReadOnly));
    QWidget panel;
    panel.setObjectName(QStringLiteral("centralWidget"));
    for (const char *name : {"closeBtn", "miniBtn", "updateIcon"})
        (new QPushButton(&panel))->setObjectName(QString::fromLatin1(name));
    panel.setStyleSheet(QString::fromUtf8(common.readAll()));
    panel.ensurePolished();
    for (QPushButton *button : panel.findChildren<QPushButton *>()) {
        button->ensurePolished();
        QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
    }
}

void TestResources::translations_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    const QList<QPair<QString, QString>> chineseTable = {
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
    QCOMPARE(chineseTable.size(), 23);
    for (const auto &[source, chinese] : chineseTable) {
        const QString english =
            source == QLatin1String("MainWindow") ? QStringLiteral("Glimmerpane Update") : source;
        QTest::addRow("zh_CN '%s'", qPrintable(source)) << "zh_CN" << source << chinese;
        QTest::addRow("en_US '%s'", qPrintable(source)) << "en_US" << source << english;
    }
    for (const QString catalogue : {"zh_CN", "en_US"})
        QTest::addRow("%s text not in the catalogue", qPrintable(catalogue))
            << catalogue << "download finished, starting installer"
            << "download finished, starting installer";
}

void TestResources::translations()
{
    QFETCH(QString, catalogue);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    QTranslator *translator = catalogue == QLatin1String("zh_CN") ? &chinese : &english;
    QVERIFY(QCoreApplication::installTranslator(translator));
    const QByteArray utf8 = source.toUtf8();
    const QString translated = QCoreApplication::translate("MainWindow", utf8.constData());
    QCoreApplication::removeTranslator(translator);
    QCOMPARE(translated, expected);
}

UPDATER_TEST_MAIN(TestResources)

#include "tst_resources.moc"
