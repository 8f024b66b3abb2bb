#include "appearance/mytheme.h"

#include "appearance/framelesswindow.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QTest>

// The theme's palettes, and the shell that re-themes when the palette changes; the colours on
// screen are tst_e2e_windows' (settingsFromRegistry).
class TestMyTheme : public QObject
{
    Q_OBJECT

private slots:
    void palettesDifferEverywhere();
    void shellRethemesOnPaletteChange();
};

// The builders write every role of every group (a forgotten one would keep the marker) and
// light and dark are not the same palette.
void TestMyTheme::palettesDifferEverywhere()
{
    QPalette marked;
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        marked.setBrush(QPalette::ColorRole(role), QBrush(QColor(1, 2, 3), Qt::Dense4Pattern));
    QPalette light = marked, dark = marked;
    buildLightPalette(light);
    buildDarkPalette(dark);
    QVERIFY(!(light == dark));
    for (const QPalette &built : {light, dark}) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const auto each = QPalette::ColorRole(role);
                QVERIFY2((built.brush(group, each) == marked.brush(group, each)) ==
                             (each == QPalette::NoRole),
                         qPrintable(QString::number(role)));
            }
        }
    }
}

// Someone else's palette change reaches the shell's filter, which applies the stored theme
// again; the theme's own palette change must end there rather than start another round.
void TestMyTheme::shellRethemesOnPaletteChange()
{
    Settings::init(qApp);
    MyTheme::init(qApp);
    QPalette dark = QGuiApplication::palette();
    buildDarkPalette(dark);
    FrameLessWindow shell;
    writeMainAppSetting("server/applicationTheme", 2);
    EventCounter changes(qApp, QEvent::ApplicationPaletteChange);
    QApplication::setPalette(QPalette(Qt::darkCyan));
    QCOMPARE(changes.count, 2);
    QCOMPARE(QGuiApplication::palette(), dark);
}

UPDATER_TEST_MAIN(TestMyTheme)
#include "tst_mytheme.moc"
