#pragma once

#include <QObject>

class QSettings;

// Read-only view of the main application's per-user settings. One object per process.
class Settings : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    // Creates the object and the store on the first call; later calls change nothing.
    static void init(QObject *parent);
    // The store, or null before init. The updater only reads it.
    static QSettings *settings();

    ~Settings() override;

private:
    explicit Settings(QObject *parent);

    QSettings *store = nullptr; // not owned: it shares the parent handed to init

    static Settings *instance;
};
