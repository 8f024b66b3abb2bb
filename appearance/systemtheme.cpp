#include "appearance/systemtheme.h"

#include <QPalette>

#ifdef Q_OS_WIN
#include <QSettings>
#include <QVariant>
#endif

bool systemPrefersDark(const QPalette &desktopPalette)
{
#ifdef Q_OS_WIN
    Q_UNUSED(desktopPalette)
    // Read anew each time: the user may switch while the updater runs. A missing value means light.
    QSettings personalize(QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\"
                                         "CurrentVersion\\Themes\\Personalize"),
                          QSettings::NativeFormat);
    return personalize.value(QStringLiteral("AppsUseLightTheme")) == QVariant(0);
#else
    return desktopPalette.color(QPalette::Active, QPalette::Window).lightness() <
           desktopPalette.color(QPalette::Active, QPalette::WindowText).lightness();
#endif
}
