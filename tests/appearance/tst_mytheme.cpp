#include "appearance/mytheme.h"

#include "appearance/framelesswindow.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "tests/support/testsupport.h"

#include <QApplication>
#include <QTest>

// The shell that re-themes when the palette changes; the colours on screen are tst_mainwindow's
// (the focus frame against the panel) and tst_e2e_windows' (settingsFromRegistry).
class TestMyTheme : public QObject
{
    Q_OBJECT

private slots:
    void shellRethemesOnPaletteChange();
};

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
