#pragma once

#include <QObject>

class QWidget;

// Drops the auto-repeated presses and releases of Return, Enter and Space in one window, its
// buttons included: a key held down acts once, instead of starting and cancelling a download
// with every repeat.
class KeyRepeatFilter : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyRepeatFilter)

public:
    // Watches the whole application for `window`'s widgets, and goes with the window.
    explicit KeyRepeatFilter(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
    // The last release of one of the keys: the X server gives a repeat's release and its press
    // one time stamp.
    int releasedKey = 0;
    quint64 releasedAt = 0;
};
