#pragma once

#include <QPoint>
#include <QWidget>

class QMouseEvent;

// The rounded, themed panel that fills the frameless main window. It carries the theme and
// the drop shadow, re-themes on every application palette change, and holds the logic that
// drags the frameless window with the left mouse button.
class FrameLessWindow : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrameLessWindow)

public:
    explicit FrameLessWindow(QWidget *parent = nullptr);
    ~FrameLessWindow() override;

    // Fed by the window's own mouse handlers; window is the window to move.
    void handleMousePress(QWidget *window, QMouseEvent *event);
    void handleMouseMove(QWidget *window, QMouseEvent *event);
    void handleMouseRelease(QWidget *window, QMouseEvent *event);

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int currentTheme = -1;
    QPoint dragAnchor; // global pointer position minus the window frame's top-left corner
    bool pressed = false;
};
