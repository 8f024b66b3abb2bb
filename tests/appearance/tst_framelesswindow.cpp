#include "appearance/framelesswindow.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

struct MouseStep
{
    QEvent::Type type;
    Qt::MouseButton button;
    QPointF globalPosition;
};

// Counts the palette changes that reach the application object itself.
class PaletteChangeCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        count += watched == qApp && event->type() == QEvent::ApplicationPaletteChange ? 1 : 0;
        return false;
    }
};

class TestFrameLessWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void drag_data();
    void drag();
    void paletteChangeRethemes();

private:
    QSettings mainApplication{QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("Halvenord"), QStringLiteral("Glimmerpane")};
    const QString themeKey = QStringLiteral("server/applicationTheme");
};

void TestFrameLessWindow::initTestCase()
{
    mainApplication.setValue(themeKey, 1);
    Settings::init(qApp);
    MyTheme::init(qApp);
}

void TestFrameLessWindow::drag_data()
{
    QTest::addColumn<QList<MouseStep>>("steps");
    QTest::addColumn<QPoint>("expectedTopLeft"); // the window starts at (100, 100)

    const auto press = QEvent::MouseButtonPress;
    const auto move = QEvent::MouseMove;
    const auto release = QEvent::MouseButtonRelease;
    // Grabbed at (50, 21): (150.4, 120.6) rounds to (150, 121); halves round away from zero.
    QTest::newRow("left drag keeps the grab point under the pointer")
        << QList<MouseStep>{{press, Qt::LeftButton, {150.4, 120.6}},
                            {move, Qt::NoButton, {200.5, 180.5}},
                            {move, Qt::NoButton, {-20.5, -30.5}}}
        << QPoint(-21 - 50, -31 - 21);
    QTest::newRow("right press does not drag")
        << QList<MouseStep>{{press, Qt::RightButton, {150, 150}}, {move, Qt::NoButton, {300, 300}}}
        << QPoint(100, 100);
    QTest::newRow("move before any press")
        << QList<MouseStep>{{move, Qt::NoButton, {300, 300}}} << QPoint(100, 100);
    QTest::newRow("right release keeps the left drag")
        << QList<MouseStep>{{press, Qt::LeftButton, {110, 110}},
                            {release, Qt::RightButton, {110, 110}},
                            {move, Qt::NoButton, {210, 160}}}
        << QPoint(200, 150);
    QTest::newRow("left release ends the drag")
        << QList<MouseStep>{{press, Qt::LeftButton, {110, 110}},
                            {release, Qt::LeftButton, {110, 110}},
                            {move, Qt::NoButton, {400, 400}}}
        << QPoint(100, 100);
}

void TestFrameLessWindow::drag()
{
    QFETCH(QList<MouseStep>, steps);
    QFETCH(QPoint, expectedTopLeft);

    QWidget window;
    auto *shell = new FrameLessWindow(&window);
    window.move(100, 100);
    for (const MouseStep &step : steps) {
        QMouseEvent event(step.type, step.globalPosition, step.globalPosition, step.button,
                          step.type == QEvent::MouseButtonPress ? step.button : Qt::NoButton,
                          Qt::NoModifier);
        if (step.type == QEvent::MouseButtonPress)
            shell->handleMousePress(&window, &event);
        else if (step.type == QEvent::MouseMove)
            shell->handleMouseMove(&window, &event);
        else
            shell->handleMouseRelease(&window, &event);
    }
    QCOMPARE(window.frameGeometry().topLeft(), expectedTopLeft);
}

// Someone else's palette change reaches the shell's filter, which applies the stored theme
// again; the theme's own palette change must end there rather than start another round.
void TestFrameLessWindow::paletteChangeRethemes()
{
    FrameLessWindow shell;
    shell.setObjectName(QStringLiteral("centralWidget")); // the name the style sheets style
    shell.resize(100, 60);
    QCOMPARE(QGuiApplication::palette().color(QPalette::Window), QColor(0xF0, 0xF0, 0xF0));

    mainApplication.setValue(themeKey, 2);
    PaletteChangeCounter counter;
    qApp->installEventFilter(&counter);
    QApplication::setPalette(QPalette(Qt::darkCyan));
    qApp->removeEventFilter(&counter);
    QCOMPARE(counter.count, 2);
    QCOMPARE(QGuiApplication::palette().color(QPalette::Window), QColor(0x1E, 0x1E, 0x1E));

    // The panel paints its style sheet: the dark background with rounded corners.
    const QImage image = shell.grab().toImage();
    QCOMPARE(image.pixelColor(50, 30), QColor(0x2b, 0x2b, 0x2b));
    QVERIFY(image.pixelColor(1, 1) != QColor(0x2b, 0x2b, 0x2b));

    for (QEvent::Type type : {QEvent::ApplicationPaletteChange, QEvent::KeyPress, QEvent::Paint}) {
        QEvent event(type);
        QVERIFY2(!static_cast<QObject &>(shell).eventFilter(qApp, &event), "event consumed");
    }
}

UPDATER_TEST_MAIN(TestFrameLessWindow)

#include "tst_framelesswindow.moc"
