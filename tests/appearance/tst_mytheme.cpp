#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "resources/resourcepaths.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStyle>
#include <QTest>
#include <QTextStream>

#include <memory>

namespace {

QString readResource(const QString &name)
{
    QFile file(qssPath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString composed(const QString &themeFile)
{
    return QLatin1Char('\n') + readResource(QStringLiteral("common.qss")) + QLatin1Char('\n') +
           readResource(themeFile);
}

QStringList capturedMessages;
QtMessageHandler previousHandler = nullptr;

// Records every message and still hands it on, so QTest::ignoreMessage keeps working.
void recordingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedMessages << message;
    previousHandler(type, context, message);
}

} // namespace

class TestMyTheme : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void styleSheetComposition_data();
    void styleSheetComposition();
    void missingStyleSheetFile();
    void dropShadow();
    void decisions_data();
    void decisions();
};

void TestMyTheme::initTestCase()
{
    Settings::init(qApp);
    MyTheme::init(qApp);
    QVERIFY(MyTheme::instance());
}

void TestMyTheme::styleSheetComposition_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("listAfterwards");
    QTest::addColumn<QString>("expectedSheet");

    const QStringList light = {qssPath("common.qss"), qssPath("light_theme.qss")};
    const QStringList dark = {qssPath("common.qss"), qssPath("dark_theme.qss")};
    QTest::newRow("light list") << MyTheme::lightStyleSheets() << light
                                << composed("light_theme.qss");
    QTest::newRow("dark list") << MyTheme::darkStyleSheets() << dark << composed("dark_theme.qss");
    QTest::newRow("empty list falls back to light")
        << QStringList() << light << composed("light_theme.qss");
    QTest::newRow("order is list order")
        << QStringList{qssPath("dark_theme.qss"), qssPath("common.qss")}
        << QStringList{qssPath("dark_theme.qss"), qssPath("common.qss")}
        << "\n" + readResource("dark_theme.qss") + "\n" + readResource("common.qss");
}

void TestMyTheme::styleSheetComposition()
{
    QFETCH(QStringList, list);
    QFETCH(QStringList, listAfterwards);
    QFETCH(QString, expectedSheet);

    QVERIFY(!readResource("common.qss").isEmpty());
    QWidget widget;
    MyTheme::instance()->applyStyleSheet(&widget, list);
    QCOMPARE(list, listAfterwards);
    QCOMPARE(widget.styleSheet(), expectedSheet);
}

void TestMyTheme::missingStyleSheetFile()
{
    const QString missing = qssPath(QStringLiteral("missing_theme.qss"));
    QStringList list = {missing, qssPath(QStringLiteral("dark_theme.qss"))};
    QWidget widget;
    widget.setStyleSheet(QStringLiteral("QWidget { color: green; }"));

    const QString expectedLine = QStringLiteral("fail to open:  \"%1\"").arg(missing);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(expectedLine));
    capturedMessages.clear();
    previousHandler = qInstallMessageHandler(recordingHandler);
    MyTheme::instance()->applyStyleSheet(&widget, list);
    qInstallMessageHandler(previousHandler);

    QCOMPARE(capturedMessages, QStringList{expectedLine});
    QCOMPARE(widget.styleSheet(), "\n" + readResource(QStringLiteral("dark_theme.qss")));
}

void TestMyTheme::dropShadow()
{
    QWidget widget;
    MyTheme::instance()->addShadow(&widget);
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(widget.graphicsEffect());
    QVERIFY(shadow);
    QCOMPARE(shadow->parent(), MyTheme::instance());
    QCOMPARE(shadow->offset(), QPointF(0, 0));
    QCOMPARE(shadow->blurRadius(), 20.0);
    QCOMPARE(shadow->color(), QColor(0x83, 0x8B, 0x8B, 200));
}

// Each row runs in a fresh process: the manager, the Fusion style and the application palette
// are process-wide. The child prints one line per decision:
//   <widget's theme value> <application palette> <widget's style sheet> <Fusion installs>
// Before each decision the child sets a marker palette and a marker sheet, so "marker" means
// that decision did not set them.
void TestMyTheme::decisions_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<QStringList>("steps"); // stored setting per decision; "@new": fresh widget
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("follow system, light desktop")
        << "light" << QStringList{"0"} << QStringList{"1 light light 1"};
    QTest::newRow("follow system, dark desktop")
        << "dark" << QStringList{"0"} << QStringList{"2 dark dark 1"};
    QTest::newRow("setting absent follows dark desktop")
        << "dark" << QStringList{"none"} << QStringList{"2 dark dark 1"};
    QTest::newRow("text setting reads as 0")
        << "dark" << QStringList{"abc"} << QStringList{"2 dark dark 1"};
    QTest::newRow("light on a dark desktop")
        << "dark" << QStringList{"1"} << QStringList{"1 light light 1"};
    QTest::newRow("dark on a light desktop")
        << "light" << QStringList{"2"} << QStringList{"2 dark dark 1"};
    QTest::newRow("same decision twice")
        << "light" << QStringList{"2", "2"} << QStringList{"2 dark dark 1", "2 marker marker 1"};
    QTest::newRow("switch light to dark")
        << "light" << QStringList{"1", "2"} << QStringList{"1 light light 1", "2 dark dark 1"};
    QTest::newRow("second widget, palette already applied")
        << "light" << QStringList{"2", "2@new"} << QStringList{"2 dark dark 1", "2 marker dark 1"};
    QTest::newRow("unknown value installs Fusion only, once")
        << "light" << QStringList{"7", "7", "1"}
        << QStringList{"-1 marker marker 1", "-1 marker marker 1", "1 light light 1"};
    QTest::newRow("value equal to the widget's -1 does nothing")
        << "light" << QStringList{"-1", "2"} << QStringList{"-1 marker marker 0", "2 dark dark 1"};
}

void TestMyTheme::decisions()
{
    QFETCH(QString, desktop);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString configHome = testSandboxPath() + QStringLiteral("/decisions/") +
                               QString::fromLatin1(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(configHome));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("THEME_DESKTOP"), desktop);
    env.insert(QStringLiteral("THEME_STEPS"), steps.join(QLatin1Char(',')));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    const QString errors = QString::fromUtf8(child.readAllStandardError());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(errors));
    const QString output = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    QCOMPARE(output.split(QLatin1Char('\n')), expected);
}

// Child side of decisions().
static int runDecisions(const QString &desktop, const QStringList &steps)
{
    if (desktop == QLatin1String("dark")) {
        QPalette darkDesktop = QGuiApplication::palette();
        darkDesktop.setColor(QPalette::Window, QColor(0x20, 0x22, 0x24));
        darkDesktop.setColor(QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0));
        QApplication::setPalette(darkDesktop);
    }
    QPalette light = QGuiApplication::palette();
    QPalette dark = QGuiApplication::palette();
    buildLightPalette(light);
    buildDarkPalette(dark);
    QPalette marker = QGuiApplication::palette();
    marker.setColor(QPalette::Base, QColor(1, 2, 3));
    const QString markerSheet = QStringLiteral("/* marker */");

    QObject owner;
    Settings::init(&owner);
    MyTheme::init(&owner);
    QSettings mainApplication(QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("Halvenord"), QStringLiteral("Glimmerpane"));
    const QString key = QStringLiteral("server/applicationTheme");

    auto widget = std::make_unique<QWidget>();
    int currentTheme = -1;
    QPointer<QStyle> style = QApplication::style();
    int fusionInstalls = 0;
    QTextStream out(stdout);
    for (QString step : steps) {
        if (step.endsWith(QLatin1String("@new"))) {
            step.chop(4);
            widget = std::make_unique<QWidget>();
            currentTheme = -1;
        }
        if (step == QLatin1String("none"))
            mainApplication.remove(key);
        else
            mainApplication.setValue(key, step);
        mainApplication.sync();
        QApplication::setPalette(marker);
        widget->setStyleSheet(markerSheet);

        MyTheme::instance()->applyTheme(widget.get(), &currentTheme);

        if (QApplication::style() != style) {
            style = QApplication::style();
            fusionInstalls +=
                style->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0 ? 1 : 100;
        }
        const QPalette palette = QGuiApplication::palette();
        const QString paletteName = palette == light    ? QStringLiteral("light")
                                    : palette == dark   ? QStringLiteral("dark")
                                    : palette == marker ? QStringLiteral("marker")
                                                        : QStringLiteral("other");
        const QString sheet = widget->styleSheet();
        const QString sheetName =
            sheet == composed(QStringLiteral("light_theme.qss"))  ? QStringLiteral("light")
            : sheet == composed(QStringLiteral("dark_theme.qss")) ? QStringLiteral("dark")
            : sheet == markerSheet                                ? QStringLiteral("marker")
                                                                  : QStringLiteral("other");
        out << currentTheme << ' ' << paletteName << ' ' << sheetName << ' ' << fusionInstalls
            << '\n';
    }
    return 0;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("THEME_STEPS")) {
        QApplication app(argc, argv);
        return runDecisions(qEnvironmentVariable("THEME_DESKTOP"),
                            qEnvironmentVariable("THEME_STEPS").split(QLatin1Char(',')));
    }
    enterTestSandbox();
    QApplication app(argc, argv);
    TestMyTheme tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_mytheme.moc"
