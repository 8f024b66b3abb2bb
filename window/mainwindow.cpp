#include "window/mainwindow.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), dailyCheck(false), appVersion(0)
{
    setFixedSize(500, 310);
    setWindowTitle(QStringLiteral("Glimmerpane Update"));
}

MainWindow::~MainWindow() = default;

void MainWindow::anotherInstanceMessage(QString message)
{
    if (message.compare(QStringLiteral("raise_window_noop"), Qt::CaseInsensitive) != 0)
        return;
    dailyCheck = false;
    raiseWindow();
}

void MainWindow::raiseWindow()
{
    const Qt::WindowFlags flags = windowFlags();
    setWindowFlags(flags | Qt::WindowStaysOnTopHint);
    show();
    setWindowFlags(flags & ~Qt::WindowStaysOnTopHint);
    showNormal();
}
