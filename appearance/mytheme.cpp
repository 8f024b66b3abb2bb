#include "appearance/mytheme.h"

#include "appearance/logcategory.h"
#include "appearance/panelshadow.h"
#include "appearance/settings.h"
#include "appearance/systemtheme.h"
#include "appearance/themepalettes.h"
#include "core/resourcepaths.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QSettings>
#include <QStyleFactory>
#include <QTextStream>
#include <QWidget>

#include <utility>

MyTheme *MyTheme::theInstance = nullptr;

MyTheme::MyTheme(QObject *parent) : QObject(parent) {}

MyTheme::~MyTheme()
{
    // A later init makes a new one instead of handing out a dead object.
    if (theInstance == this)
        theInstance = nullptr;
}

void MyTheme::init(QObject *parent)
{
    if (theInstance)
        return;
    theInstance = new MyTheme(parent);
    theInstance->initPalettes();
}

MyTheme *MyTheme::instance()
{
    return theInstance;
}

void MyTheme::initPalettes()
{
    desktopPalette = QGuiApplication::palette();
    lightPalette = QGuiApplication::palette();
    darkPalette = QGuiApplication::palette();
    buildDarkPalette(darkPalette);
    buildLightPalette(lightPalette);
}

void MyTheme::applyTheme(QWidget *widget, int *currentTheme)
{
    const int theme = Settings::settings()
                          ->value(QStringLiteral("server/applicationTheme"), QVariant(FollowSystem))
                          .toInt();
    if (theme != FollowSystem)
        setTheme(widget, theme, currentTheme);
    else
        followSystemTheme(widget, currentTheme);
}

void MyTheme::followSystemTheme(QWidget *widget, int *currentTheme)
{
    setTheme(widget, systemPrefersDark(desktopPalette) ? Dark : Light, currentTheme);
}

void MyTheme::setTheme(QWidget *widget, int theme, int *currentTheme)
{
    if (*currentTheme == theme)
        return;
    if (styleNotSet) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        styleNotSet = false;
    }
    if (theme != Light && theme != Dark)
        return;
    // The widget's value is written before the palette is set: setPalette sends
    // ApplicationPaletteChange, which comes straight back into applyTheme through the
    // shell's event filter, and that call must stop at the check above.
    *currentTheme = theme;
    if (appliedPalette != theme) {
        QApplication::setPalette(theme == Dark ? darkPalette : lightPalette);
        appliedPalette = theme;
    }
    QStringList sheets = theme == Dark ? darkStyleSheets() : lightStyleSheets();
    applyStyleSheet(widget, sheets);
}

void MyTheme::applyStyleSheet(QWidget *widget, QStringList &styleSheets)
{
    if (styleSheets.isEmpty())
        styleSheets = lightStyleSheets();
    QString styleSheet;
    for (const QString &path : std::as_const(styleSheets)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qCDebug(lcAppearance) << "fail to open: " << path;
            continue;
        }
        QTextStream stream(&file);
        styleSheet += QLatin1Char('\n') + stream.readAll();
        file.close();
    }
    // Colours the sheets take from the theme rather than spell out: the panel, and the focus
    // frame that must stand out from it.
    const QColor panel = panelColour(appliedPalette == Dark);
    styleSheet.replace(QStringLiteral("@panel@"), panel.name());
    styleSheet.replace(QStringLiteral("@focus@"),
                       focusFrameColour(QGuiApplication::palette(), panel).name());
    widget->setStyleSheet(styleSheet);
}

void MyTheme::addShadow(QWidget *widget)
{
    auto *shadow = new PanelShadow(this);
    shadow->setOffset(0, 0);
    shadow->setBlurRadius(20.0);
    shadow->setColor(QColor(131, 139, 139, 200));
    widget->setGraphicsEffect(shadow);
}

QStringList MyTheme::lightStyleSheets()
{
    return {qssPath(QStringLiteral("common.qss")), qssPath(QStringLiteral("light_theme.qss")),
            qssPath(QStringLiteral("focus.qss"))};
}

QStringList MyTheme::darkStyleSheets()
{
    return {qssPath(QStringLiteral("common.qss")), qssPath(QStringLiteral("dark_theme.qss")),
            qssPath(QStringLiteral("focus.qss"))};
}
