#pragma once

#include <QObject>
#include <QPoint>
#include <QProcess>

// An Xvfb server of this test on a free display number, and real input through xdotool.
class XvfbDisplay : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(XvfbDisplay)

public:
    explicit XvfbDisplay(QObject *parent = nullptr);
    ~XvfbDisplay() override;

    // False with errorString() when Xvfb or xdotool is missing or the server does not come up.
    bool start();
    QString errorString() const { return error; }
    QString name() const { return displayName; }

    // Ids of the mapped windows whose title starts with the text.
    QStringList visibleWindows(const QString &titleStart) const;
    // A real left click at this point of the window.
    bool click(const QString &window, const QPoint &point) const;

private:
    bool xdotool(const QStringList &arguments, QByteArray *output = nullptr) const;

    QProcess server;
    QString displayName;
    QString error;
};

// A point of the update button in the 500x310 updater window, measured from screenshots: inside
// the button whether it reads "Check Update", "Download Update" or "Cancel".
inline constexpr QPoint updateButtonCentre(445, 274);
