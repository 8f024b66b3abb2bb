// The floor for the updater's window: a plain Qt Widgets program with a 500 x 310 window holding
// the same kinds of widgets (a label, a text view with a few lines, a progress bar, two push
// buttons), without a theme, style sheet, translator, tray icon or network.
//
//   minimalwindow [--quit-after-show]
//
// With --quit-after-show it quits as soon as the window has been exposed and painted once.
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cstring>

namespace {

// Quits the application once its window is exposed: the paint that exposure starts runs
// before the zero timer fires.
class QuitOnExpose : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed())
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    bool quitAfterShow = false;
    for (int i = 1; i < argc; ++i)
        quitAfterShow = quitAfterShow || std::strcmp(argv[i], "--quit-after-show") == 0;

    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal window"));
    window.setFixedSize(500, 310);

    auto *title = new QLabel(QStringLiteral("Glimmerpane Update"));
    auto *notes = new QTextBrowser;
    notes->append(QStringLiteral("Your app version is: 108"));
    notes->append(QStringLiteral("Latest app version is: 109"));
    notes->append(QStringLiteral("- Faster start-up on large libraries"));
    notes->append(QStringLiteral("- The dark theme follows the system again"));
    auto *progress = new QProgressBar;
    progress->setRange(0, 100);
    auto *site = new QPushButton(QStringLiteral("Official Site"));
    auto *update = new QPushButton(QStringLiteral("Download Update"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(site);
    buttons->addStretch();
    buttons->addWidget(update);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(title);
    layout->addWidget(notes);
    layout->addWidget(progress);
    layout->addLayout(buttons);

    QuitOnExpose quitter;
    window.winId(); // creates the native window, so the filter can watch it from the start
    if (quitAfterShow)
        window.windowHandle()->installEventFilter(&quitter);
    window.show();
    return QApplication::exec();
}
