#include "appearance/mytheme.h"

#include "appearance/framelesswindow.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "resources/resourcepaths.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QStyle>
#include <QTest>

static QString readQss(const char *name)
{
    QFile file(qssPath(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class TestMyTheme : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void palettesDifferEverywhere();
    void decisions_data();
    void decisions();
    void shellRethemesOnPaletteChange();

private:
    // Marker palette and sheet go in before each decision, so "marker" afterwards means the
    // decision set neither.
    QPalette light, dark, marker;
    QStringList sheets;
    QWidget widget;
    int currentTheme = -1;
    int fusionInstalls = 0;
    QPointer<QStyle> style;
};

void TestMyTheme::initTestCase()
{
    Settings::init(qApp);
    MyTheme::init(qApp); // the desktop palette it keeps is Qt's light default
    light = dark = marker = QGuiApplication::palette();
    buildLightPalette(light);
    buildDarkPalette(dark);
    marker.setColor(QPalette::Base, QColor(1, 2, 3));
    sheets = QStringList{"\n" + readQss("common.qss") + "\n" + readQss("light_theme.qss"),
                         "\n" + readQss("common.qss") + "\n" + readQss("dark_theme.qss"),
                         "/* marker */"};
    style = QApplication::style();
}

// The builders write every role of every group (a forgotten one would keep the marker) and
// light and dark are not the same palette.
void TestMyTheme::palettesDifferEverywhere()
{
    QPalette marked;
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        marked.setBrush(QPalette::ColorRole(role), QBrush(QColor(1, 2, 3), Qt::Dense4Pattern));
    QPalette builtLight = marked, builtDark = marked;
    buildLightPalette(builtLight);
    buildDarkPalette(builtDark);
    for (const QPalette &built : {builtLight, builtDark}) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const auto each = QPalette::ColorRole(role);
                const bool untouched = built.brush(group, each) == marked.brush(group, each);
                QVERIFY2(untouched == (each == QPalette::NoRole),
                         qPrintable(QString::number(role)));
            }
        }
    }
    QVERIFY(!(builtLight == builtDark));
}

// One widget through successive decisions, in this order: the manager, the style and the
// application palette carry over from row to row, as they do in the updater.
void TestMyTheme::decisions_data()
{
    QTest::addColumn<QString>("stored");   // "none": absent; a leading "^": the widget starts over
    QTest::addColumn<QString>("expected"); // widget's value, palette, sheet, Fusion installs

    const auto row = [](const char *name, const char *stored, const char *expected) {
        QTest::newRow(name) << stored << expected;
    };
    row("unknown value: Fusion once, nothing else", "7", "-1 marker marker 1");
    row("unknown value again", "7", "-1 marker marker 1");
    row("value equal to the widget's -1", "-1", "-1 marker marker 1");
    row("0 follows the light system", "0", "1 light light 1");
    row("absent is the same decision: nothing", "none", "1 marker marker 1");
    row("2 is dark", "2", "2 dark dark 1");
    row("palette already dark, new widget", "^2", "2 marker dark 1");
    row("1 is light", "1", "1 light light 1");
}

void TestMyTheme::decisions()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);

    if (stored.startsWith('^')) {
        stored.remove(0, 1);
        currentTheme = -1;
    }
    writeMainAppSetting("server/applicationTheme", stored == "none" ? QVariant() : stored);
    QApplication::setPalette(marker);
    widget.setStyleSheet(sheets.last());

    MyTheme::instance()->applyTheme(&widget, &currentTheme);

    if (QApplication::style() != style) {
        style = QApplication::style();
        fusionInstalls += style->name().compare("fusion", Qt::CaseInsensitive) == 0 ? 1 : 100;
    }
    const QStringList names{"light", "dark", "marker"};
    const int palette = QList<QPalette>{light, dark, marker}.indexOf(QGuiApplication::palette());
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                 .arg(currentTheme)
                 .arg(names.value(palette, "other"))
                 .arg(names.value(sheets.indexOf(widget.styleSheet()), "other"))
                 .arg(fusionInstalls),
             expected);
}

// Someone else's palette change reaches the shell's filter, which applies the stored theme
// again; the theme's own palette change must end there rather than start another round.
void TestMyTheme::shellRethemesOnPaletteChange()
{
    FrameLessWindow shell;
    shell.setObjectName("centralWidget"); // the name the style sheets style
    shell.resize(100, 60);
    writeMainAppSetting("server/applicationTheme", 2);
    {
        EventCounter changes(qApp, QEvent::ApplicationPaletteChange);
        QApplication::setPalette(QPalette(Qt::darkCyan));
        QCOMPARE(changes.count, 2);
    }
    QCOMPARE(QGuiApplication::palette(), dark);
    // The panel paints its style sheet: the dark background with rounded corners.
    const QImage image = shell.grab().toImage();
    QCOMPARE(image.pixelColor(50, 30), QColor(0x2b, 0x2b, 0x2b));
    QVERIFY(image.pixelColor(1, 1) != QColor(0x2b, 0x2b, 0x2b));
}

UPDATER_TEST_MAIN(TestMyTheme)
#include "tst_mytheme.moc"
