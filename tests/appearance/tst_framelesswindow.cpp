#include "appearance/framelesswindow.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "appearance/themepalettes.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

namespace {

struct MouseStep
{
    QEvent::Type type;
    Qt::MouseButton button;
    QPointF globalPosition;
};

void writeThemeSetting(int theme)
{
    QSettings mainApplication(QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("Halvenord"), QStringLiteral("Glimmerpane"));
    mainApplication.setValue(QStringLiteral("server/applicationTheme"), theme);
}

// Counts the palette changes that reach the application object itself.
class PaletteChangeCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
            ++count;
        return false;
    }
};

} // namespace

Q_DECLARE_METATYPE(QList<MouseStep>)

class TestFrameLessWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void drag_data();
    void drag();
    void paintsRoundedThemedBackground_data();
    void paintsRoundedThemedBackground();
    void paletteChangeRethemes_data();
    void paletteChangeRethemes();
    void eventsPassUnconsumed();

private:
    QPalette lightPalette;
    QPalette darkPalette;
};

void TestFrameLessWindow::initTestCase()
{
    lightPalette = darkPalette = QGuiApplication::palette();
    buildLightPalette(lightPalette);
    buildDarkPalette(darkPalette);
    writeThemeSetting(1);
    Settings::init(qApp);
    MyTheme::init(qApp);
}

void TestFrameLessWindow::drag_data()
{
    QTest::addColumn<QList<MouseStep>>("steps");
    QTest::addColumn<QPoint>("expectedTopLeft"); // the window's frame starts at (100, 100)
    QTest::addColumn<int>("acceptedMoves");

    const auto press = QEvent::MouseButtonPress;
    const auto move = QEvent::MouseMove;
    const auto release = QEvent::MouseButtonRelease;
    // Grab point (50, 21) after rounding (150.4, 120.6); moves keep it under the pointer.
    QTest::newRow("left drag follows the pointer")
        << QList<MouseStep>{{press, Qt::LeftButton, {150.4, 120.6}},
                            {move, Qt::NoButton, {200.5, 180.5}},
                            {move, Qt::NoButton, {90.2, 61.5}}}
        << QPoint(90 - 50, 62 - 21) << 2;
    QTest::newRow("halves round away from zero")
        << QList<MouseStep>{{press, Qt::LeftButton, {100.5, 100.5}},
                            {move, Qt::NoButton, {-20.5, -30.5}}}
        << QPoint(-21 - 1, -31 - 1) << 1;
    QTest::newRow("right press does not drag")
        << QList<MouseStep>{{press, Qt::RightButton, {150, 150}}, {move, Qt::NoButton, {300, 300}}}
        << QPoint(100, 100) << 0;
    QTest::newRow("move before any press")
        << QList<MouseStep>{{move, Qt::NoButton, {300, 300}}} << QPoint(100, 100) << 0;
    QTest::newRow("right release keeps the left drag")
        << QList<MouseStep>{{press, Qt::LeftButton, {110, 110}},
                            {release, Qt::RightButton, {110, 110}},
                            {move, Qt::NoButton, {210, 160}}}
        << QPoint(200, 150) << 1;
    QTest::newRow("left release ends the drag")
        << QList<MouseStep>{{press, Qt::LeftButton, {110, 110}},
                            {move, Qt::NoButton, {210, 160}},
                            {release, Qt::LeftButton, {210, 160}},
                            {move, Qt::NoButton, {400, 400}}}
        << QPoint(200, 150) << 1;
}

void TestFrameLessWindow::drag()
{
    QFETCH(QList<MouseStep>, steps);
    QFETCH(QPoint, expectedTopLeft);
    QFETCH(int, acceptedMoves);

    QWidget window;
    auto *shell = new FrameLessWindow(&window);
    (new QHBoxLayout(&window))->addWidget(shell);
    window.resize(300, 200);
    window.move(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.frameGeometry().topLeft(), QPoint(100, 100));

    int accepted = 0;
    for (const MouseStep &step : steps) {
        const QPointF local = step.globalPosition - window.frameGeometry().topLeft();
        const Qt::MouseButtons held =
            step.type == QEvent::MouseButtonPress ? step.button : Qt::NoButton;
        QMouseEvent event(step.type, local, step.globalPosition, step.button, held, Qt::NoModifier);
        event.setAccepted(false);
        if (step.type == QEvent::MouseButtonPress) {
            shell->handleMousePress(&window, &event);
        } else if (step.type == QEvent::MouseMove) {
            shell->handleMouseMove(&window, &event);
            accepted += event.isAccepted() ? 1 : 0;
        } else {
            shell->handleMouseRelease(&window, &event);
        }
    }
    QCOMPARE(window.frameGeometry().topLeft(), expectedTopLeft);
    QCOMPARE(accepted, acceptedMoves);
}

void TestFrameLessWindow::paintsRoundedThemedBackground_data()
{
    QTest::addColumn<int>("theme");
    QTest::addColumn<QColor>("background");
    QTest::newRow("light") << 1 << QColor(0xF8, 0xF4, 0xF4);
    QTest::newRow("dark") << 2 << QColor(0x2b, 0x2b, 0x2b);
}

void TestFrameLessWindow::paintsRoundedThemedBackground()
{
    QFETCH(int, theme);
    QFETCH(QColor, background);
    writeThemeSetting(theme);

    QWidget window;
    auto *shell = new FrameLessWindow(&window);
    shell->setObjectName(QStringLiteral("centralWidget"));
    auto *layout = new QHBoxLayout(&window);
    layout->setContentsMargins(11, 11, 11, 11);
    layout->addWidget(shell);
    window.resize(200, 120);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QImage image = window.grab().toImage();
    const QPoint centre = shell->geometry().center();
    const QPoint corner = shell->geometry().topLeft() + QPoint(1, 1);
    QCOMPARE(image.pixelColor(centre), background);
    QVERIFY2(image.pixelColor(corner) != background, "the corner is not rounded");
}

void TestFrameLessWindow::paletteChangeRethemes_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("light to dark") << 1 << 2;
    QTest::newRow("dark to light") << 2 << 1;
}

// The shell's own palette change comes back through its filter while setPalette runs; that
// call must end at once instead of setting palettes over and over.
void TestFrameLessWindow::paletteChangeRethemes()
{
    QFETCH(int, before);
    QFETCH(int, after);
    writeThemeSetting(before);
    FrameLessWindow shell;
    QCOMPARE(QGuiApplication::palette(), before == 1 ? lightPalette : darkPalette);
    const QString sheetBefore = shell.styleSheet();

    writeThemeSetting(after);
    PaletteChangeCounter counter;
    qApp->installEventFilter(&counter);
    QApplication::setPalette(QPalette(Qt::darkCyan)); // someone else changes the palette
    qApp->removeEventFilter(&counter);

    QCOMPARE(QGuiApplication::palette(), after == 1 ? lightPalette : darkPalette);
    QVERIFY(shell.styleSheet() != sheetBefore);
    QVERIFY(shell.styleSheet().contains(after == 1 ? "#F8F4F4" : "#2b2b2b"));
    QCOMPARE(counter.count, 2); // the outside change and the theme's own, nothing more
}

void TestFrameLessWindow::eventsPassUnconsumed()
{
    FrameLessWindow shell;
    QObject *asFilter = &shell;
    for (QEvent::Type type :
         {QEvent::ApplicationPaletteChange, QEvent::KeyPress, QEvent::Paint, QEvent::Close}) {
        QEvent event(type);
        QVERIFY(!asFilter->eventFilter(&shell, &event));
    }

    QLineEdit edit;
    edit.show();
    QTest::keyClicks(&edit, QStringLiteral("typed"));
    QCOMPARE(edit.text(), QStringLiteral("typed"));
}

UPDATER_TEST_MAIN(TestFrameLessWindow)

#include "tst_framelesswindow.moc"
