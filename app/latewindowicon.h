#pragma once

#include <QObject>
#include <QString>

class QEvent;
class QWindow;

// Gives the application its window icon once the watched window has first been exposed, and then
// goes. Reading the SVG icon and rendering it at the six sizes X11 takes for a window icon was a
// large share of the start-up before the window was mapped (bench/README.md); after the first
// paint it keeps no one waiting.
class LateWindowIcon : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LateWindowIcon)

public:
    // window: the native window of the main window (created by show()); owns the watcher.
    LateWindowIcon(QWindow *window, const QString &iconPath);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString iconPath;
};
