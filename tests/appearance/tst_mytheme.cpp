#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "resources/resourcepaths.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStyle>
#include <QTest>

#include <tuple>

static QString readQss(const char *name)
{
    QFile file(qssPath(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class TestMyTheme : public QObject
{
    Q_OBJECT

private slots:
    void styleSheetComposition();
    void decisions_data();
    void decisions();
};

void TestMyTheme::styleSheetComposition()
{
    QWidget widget;
    QStringList empty;
    MyTheme::instance()->applyStyleSheet(&widget, empty);
    QCOMPARE(empty, QStringList({qssPath("common.qss"), qssPath("light_theme.qss")}));
    QCOMPARE(widget.styleSheet(), "\n" + readQss("common.qss") + "\n" + readQss("light_theme.qss"));

    // A file that cannot be opened is named once on the debug channel and skipped.
    const QString missing = qssPath(QStringLiteral("missing.qss"));
    QStringList list{missing, qssPath(QStringLiteral("dark_theme.qss"))};
    const QString line = QStringLiteral("fail to open:  \"%1\"").arg(missing);
    QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    static QStringList messages; // every message, also those that ignoreMessage swallows
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            messages << message;
            previous(type, context, message);
        });
    MyTheme::instance()->applyStyleSheet(&widget, list);
    qInstallMessageHandler(previous);
    QCOMPARE(messages, QStringList{line});
    QCOMPARE(widget.styleSheet(), "\n" + readQss("dark_theme.qss"));
}

// Each row runs in a fresh process: the manager, the style and the application palette are
// process-wide. Steps are the values stored before successive decisions on one widget ("none":
// absent; "^": the widget starts over at -1). The child prints one line per decision.
void TestMyTheme::decisions_data()
{
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("expected");

    using Row = std::tuple<const char *, const char *, const char *, const char *>;
    const Row rows[] = {
        {"0, light system", "light", "0", "1 light light 1"},
        {"0, dark system", "dark", "0", "2 dark dark 1"},
        {"absent, dark system", "dark", "none", "2 dark dark 1"},
        {"1, dark system", "dark", "1", "1 light light 1"},
        {"2, light system", "light", "2", "2 dark dark 1"},
        {"same decision twice", "light", "2,2", "2 dark dark 1|2 marker marker 1"},
        {"switch 1 to 2", "light", "1,2", "1 light light 1|2 dark dark 1"},
        {"unknown value: Fusion once, nothing else", "light", "7,7,1",
         "-1 marker marker 1|-1 marker marker 1|1 light light 1"},
        {"palette already set, new widget", "light", "2,^2", "2 dark dark 1|2 marker dark 1"},
        {"value equal to the widget's -1", "light", "-1,2", "-1 marker marker 0|2 dark dark 1"},
    };
    for (const auto &[name, system, steps, expected] : rows)
        QTest::newRow(name) << QString(system) << QString(steps) << QString(expected);
}

void TestMyTheme::decisions()
{
    QFETCH(QString, system);
    QFETCH(QString, steps);
    QFETCH(QString, expected);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"-platform", "offscreen", "decide", system, steps});
    QVERIFY(child.waitForFinished(30000));
    QVERIFY2(child.exitCode() == 0, child.readAllStandardError().constData());
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), expected);
}

// Child side: per decision "<widget's value> <application palette> <widget's sheet> <Fusion
// installs>". A marker palette and sheet go in before each decision, so "marker" means the
// decision set neither (and read no file).
static int runDecisions(const QString &system, const QString &steps)
{
    if (system == QLatin1String("dark"))
        QApplication::setPalette(QPalette(QColor(0x20, 0x22, 0x24)));
    QPalette light = QGuiApplication::palette(), dark = light, marker = light;
    buildLightPalette(light);
    buildDarkPalette(dark);
    marker.setColor(QPalette::Base, QColor(1, 2, 3));
    const QList<QPalette> palettes{light, dark, marker};
    const QStringList sheets{"\n" + readQss("common.qss") + "\n" + readQss("light_theme.qss"),
                             "\n" + readQss("common.qss") + "\n" + readQss("dark_theme.qss"),
                             QStringLiteral("/* marker */")};
    const QStringList names{"light", "dark", "marker"};

    Settings::init(qApp);
    MyTheme::init(qApp);
    QSettings mainApplication(QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("Halvenord"), QStringLiteral("Glimmerpane"));
    QWidget widget;
    int currentTheme = -1;
    int fusionInstalls = 0;
    QPointer<QStyle> style = QApplication::style();
    QStringList lines;
    for (QString step : steps.split(QLatin1Char(','))) {
        if (step.startsWith(QLatin1Char('^'))) {
            step.remove(0, 1);
            currentTheme = -1;
        }
        if (step != QLatin1String("none"))
            mainApplication.setValue(QStringLiteral("server/applicationTheme"), step);
        QApplication::setPalette(marker);
        widget.setStyleSheet(sheets.last());

        MyTheme::instance()->applyTheme(&widget, &currentTheme);

        if (QApplication::style() != style) {
            style = QApplication::style();
            fusionInstalls += style->name().compare("fusion", Qt::CaseInsensitive) == 0 ? 1 : 100;
        }
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(currentTheme)
                     .arg(names.value(palettes.indexOf(QGuiApplication::palette()), "other"))
                     .arg(names.value(sheets.indexOf(widget.styleSheet()), "other"))
                     .arg(fusionInstalls);
    }
    QTextStream(stdout) << lines.join(QLatin1Char('|'));
    return 0;
}

int main(int argc, char *argv[])
{
    enterTestSandbox(); // the child gets a fresh one of its own
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("decide"))
        return runDecisions(arguments.value(2), arguments.value(3));
    MyTheme::init(&app);
    TestMyTheme test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mytheme.moc"
