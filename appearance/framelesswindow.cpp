#include "appearance/framelesswindow.h"

#include "appearance/mytheme.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

FrameLessWindow::FrameLessWindow(QWidget *parent) : QWidget(parent)
{
    MyTheme::instance()->applyTheme(this, &currentTheme);
    MyTheme::instance()->addShadow(this);
    // Application-wide, so that a palette change anywhere re-themes the panel.
    QCoreApplication::instance()->installEventFilter(this);
}

FrameLessWindow::~FrameLessWindow() = default;

bool FrameLessWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ApplicationPaletteChange)
        MyTheme::instance()->applyTheme(this, &currentTheme);
    return QObject::eventFilter(watched, event);
}

void FrameLessWindow::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    // A plain QWidget subclass draws no style-sheet background by itself.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void FrameLessWindow::handleMousePress(QWidget *window, QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressed = true;
    dragAnchor = event->globalPosition().toPoint() - window->frameGeometry().topLeft();
}

void FrameLessWindow::handleMouseMove(QWidget *window, QMouseEvent *event)
{
    if (!pressed)
        return;
    window->move(event->globalPosition().toPoint() - dragAnchor);
    event->accept();
}

void FrameLessWindow::handleMouseRelease(QWidget *window, QMouseEvent *event)
{
    Q_UNUSED(window)
    if (event->button() == Qt::LeftButton)
        pressed = false;
}
