#pragma once

#include <QObject>
#include <QString>

class QEvent;
class QWindow;

// Gives the application its window icon once the watched window has first been exposed, and then
// goes. Rendering the SVG icon at every size X11 takes for a window icon, with the SVG plugin
// loaded for it, made up a fifth of what the updater did beyond a bare window before its window
// was mapped; after the first paint it costs the user no waiting.
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
