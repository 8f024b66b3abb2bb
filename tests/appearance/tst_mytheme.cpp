#include "appearance/mytheme.h"

#include "appearance/framelesswindow.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QTest>

// The theme's palettes, and the shell that re-themes when the palette changes.
class TestMyTheme : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void palettesDifferEverywhere();
    void shellRethemesOnPaletteChange();

private:
    QPalette dark;
};

void TestMyTheme::initTestCase()
{
    Settings::init(qApp);
    MyTheme::init(qApp);
    dark = QGuiApplication::palette();
    buildDarkPalette(dark);
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
