#include "appearance/settings.h"

#include <QCoreApplication>
#include <QSettings>

Settings *Settings::instance = nullptr;

Settings::Settings(QObject *parent) : QObject(parent) {}

Settings::~Settings()
{
    // A later init makes a new one instead of handing out a dead object.
    if (instance == this)
        instance = nullptr;
}

void Settings::init(QObject *parent)
{
    if (instance)
        return;
    instance = new Settings(parent);
    QCoreApplication::setOrganizationName(QStringLiteral("Halvenord"));
    QCoreApplication::setApplicationName(QStringLiteral("Glimmerpane"));
    instance->store = new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                    QCoreApplication::organizationName(),
                                    QCoreApplication::applicationName(), parent);
    // The only sync: the main application owns these settings, so nothing is ever written.
    instance->store->sync();
}

QSettings *Settings::settings()
{
    return instance ? instance->store : nullptr;
}
