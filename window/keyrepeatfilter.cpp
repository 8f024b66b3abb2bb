#include "window/keyrepeatfilter.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

KeyRepeatFilter::KeyRepeatFilter(QWidget *window) : QObject(window), window(window)
{
    // On the application, so that the focused control never sees the repeat either.
    QCoreApplication::instance()->installEventFilter(this);
}

bool KeyRepeatFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    const int code = key->key();
    if ((code != Qt::Key_Return && code != Qt::Key_Enter && code != Qt::Key_Space) ||
        !watched->isWidgetType() || static_cast<QWidget *>(watched)->window() != window)
        return false;
    if (key->isAutoRepeat())
        return true;
    // Qt marks a repeat only when the server's next press has arrived with its release; under
    // load it has not, and the pair passes as a release and a new press. The press is known by
    // its release's time stamp, and without it a button neither clicks again nor is pressed.
    if (event->type() == QEvent::KeyRelease) {
        releasedKey = code;
        releasedAt = key->timestamp();
        return false;
    }
    return code == releasedKey && releasedAt != 0 && key->timestamp() == releasedAt;
}
