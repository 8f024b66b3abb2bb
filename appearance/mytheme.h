#pragma once

#include <QObject>
#include <QPalette>
#include <QStringList>

class QWidget;

// Decides between the light and the dark look and applies it: the Fusion style, one of two
// application palettes and a style sheet on the themed widget. One object per process.
//
// A themed widget keeps the Theme value last applied to it (-1 before the first) in an int that
// the manager reads and writes.
class MyTheme : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MyTheme)

public:
    // As the main application stores it under "server/applicationTheme".
    enum Theme { FollowSystem = 0, Light = 1, Dark = 2 };

    // Creates the manager and builds both palettes on the first call; later calls do nothing.
    static void init(QObject *parent);
    static MyTheme *instance();
    ~MyTheme() override;

    // Reads "server/applicationTheme" anew and applies the theme it names.
    void applyTheme(QWidget *widget, int *currentTheme);
    void followSystemTheme(QWidget *widget, int *currentTheme);
    void setTheme(QWidget *widget, int theme, int *currentTheme);
    // An empty list is replaced by the light list, in the caller's variable too.
    void applyStyleSheet(QWidget *widget, QStringList &styleSheets);
    void addShadow(QWidget *widget);

    static QStringList lightStyleSheets();
    static QStringList darkStyleSheets();

private:
    explicit MyTheme(QObject *parent);
    void initPalettes();

    int appliedPalette = -1; // the Theme whose palette the application has
    bool styleNotSet = true;
    QPalette lightPalette;
    QPalette darkPalette;
    // The application palette before any theme: the desktop's look, for following the system.
    QPalette desktopPalette;

    static MyTheme *theInstance;
};
