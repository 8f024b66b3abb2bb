#include "app/latewindowicon.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QWindow>

LateWindowIcon::LateWindowIcon(QWindow *window, const QString &iconPath)
    : QObject(window), iconPath(iconPath)
{
    window->installEventFilter(this);
}

bool LateWindowIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
        watched->removeEventFilter(this);
        // Queued, so that the paint this exposure starts comes first.
        QMetaObject::invokeMethod(
            this,
            [this] {
                QApplication::setWindowIcon(QIcon(iconPath));
                deleteLater();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
