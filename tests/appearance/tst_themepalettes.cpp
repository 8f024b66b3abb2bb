#include "appearance/themepalettes.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QPalette>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(QPalette::ColorRole)

class TestThemePalettes : public QObject
{
    Q_OBJECT

private slots:
    void brushes_data();
    void brushes();
    void otherRolesKeepTheirBrushes_data();
    void otherRolesKeepTheirBrushes();

private:
    static QPalette sourcePalette();
};

using PaletteBuilder = std::function<void(QPalette &)>;

// A palette whose every brush differs from the themes, so an untouched role shows.
QPalette TestThemePalettes::sourcePalette()
{
    QPalette palette;
    for (int role = 0; role < QPalette::NColorRoles; ++role)
        palette.setBrush(QPalette::All, QPalette::ColorRole(role),
                         QBrush(QColor(10 + role, 20, 30), Qt::Dense4Pattern));
    return palette;
}

void TestThemePalettes::brushes_data()
{
    QTest::addColumn<PaletteBuilder>("build");
    QTest::addColumn<QPalette::ColorRole>("role");
    QTest::addColumn<QColor>("activeAndInactive");
    QTest::addColumn<QColor>("disabled");

    struct Row
    {
        const char *name;
        QPalette::ColorRole role;
        QColor light, lightDisabled, dark, darkDisabled;
    };
    const QColor placeholderLight(0, 0, 0, 128);
    const QColor placeholderDark(255, 255, 255, 128);
    const Row rows[] = {
        {"WindowText", QPalette::WindowText, "#000000", "#787878", "#FFFFFF", "#9D9D9D"},
        {"Button", QPalette::Button, "#F0F0F0", "#F0F0F0", "#3C3C3C", "#3C3C3C"},
        {"Light", QPalette::Light, "#FFFFFF", "#FFFFFF", "#787878", "#787878"},
        {"Midlight", QPalette::Midlight, "#E3E3E3", "#F7F7F7", "#5A5A5A", "#5A5A5A"},
        {"Dark", QPalette::Dark, "#A0A0A0", "#A0A0A0", "#1E1E1E", "#1E1E1E"},
        {"Mid", QPalette::Mid, "#A0A0A0", "#A0A0A0", "#282828", "#282828"},
        {"Text", QPalette::Text, "#000000", "#787878", "#FFFFFF", "#9D9D9D"},
        {"BrightText", QPalette::BrightText, "#FFFFFF", "#FFFFFF", "#FAA683", "#FAA683"},
        {"ButtonText", QPalette::ButtonText, "#000000", "#787878", "#FFFFFF", "#9D9D9D"},
        {"Base", QPalette::Base, "#FFFFFF", "#F0F0F0", "#2D2D2D", "#1E1E1E"},
        {"Window", QPalette::Window, "#F0F0F0", "#F0F0F0", "#1E1E1E", "#1E1E1E"},
        {"Shadow", QPalette::Shadow, "#696969", "#000000", "#000000", "#000000"},
        {"Highlight", QPalette::Highlight, "#CCDFF8", "#CCDFF8", "#666666", "#666666"},
        {"HighlightedText", QPalette::HighlightedText, "#000000", "#FFFFFF", "#FFFFFF", "#FFFFFF"},
        {"Link", QPalette::Link, "#0000FF", "#0000FF", "#E2241A", "#308CC6"},
        {"LinkVisited", QPalette::LinkVisited, "#FF00FF", "#FF00FF", "#6B0605", "#FF00FF"},
        {"AlternateBase", QPalette::AlternateBase, "#E9E7E3", "#F7F7F7", "#6B0605", "#343434"},
        {"ToolTipBase", QPalette::ToolTipBase, "#FFFFDC", "#FFFFDC", "#3C3C3C", "#FFFFDC"},
        {"ToolTipText", QPalette::ToolTipText, "#000000", "#000000", "#D4D4D4", "#000000"},
        {"PlaceholderText", QPalette::PlaceholderText, placeholderLight, placeholderLight,
         placeholderDark, placeholderDark},
    };
    for (const Row &row : rows) {
        QTest::addRow("light %s", row.name)
            << PaletteBuilder(buildLightPalette) << row.role << row.light << row.lightDisabled;
        QTest::addRow("dark %s", row.name)
            << PaletteBuilder(buildDarkPalette) << row.role << row.dark << row.darkDisabled;
    }
}

void TestThemePalettes::brushes()
{
    QFETCH(PaletteBuilder, build);
    QFETCH(QPalette::ColorRole, role);
    QFETCH(QColor, activeAndInactive);
    QFETCH(QColor, disabled);

    QPalette palette = sourcePalette();
    build(palette);
    const struct
    {
        QPalette::ColorGroup group;
        QColor expected;
    } groups[] = {{QPalette::Active, activeAndInactive},
                  {QPalette::Inactive, activeAndInactive},
                  {QPalette::Disabled, disabled}};
    for (const auto &group : groups) {
        const QBrush brush = palette.brush(group.group, role);
        QCOMPARE(brush.style(), Qt::SolidPattern);
        QCOMPARE(brush.color().rgba(), group.expected.rgba());
    }
}

void TestThemePalettes::otherRolesKeepTheirBrushes_data()
{
    QTest::addColumn<PaletteBuilder>("build");
    QTest::newRow("light") << PaletteBuilder(buildLightPalette);
    QTest::newRow("dark") << PaletteBuilder(buildDarkPalette);
}

// NoRole (and Accent, where this Qt has it) come from the copied palette.
void TestThemePalettes::otherRolesKeepTheirBrushes()
{
    QFETCH(PaletteBuilder, build);
    const QPalette source = sourcePalette();
    QPalette palette = source;
    build(palette);

    int changedRoles = 0;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        bool changed = false;
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            changed |= palette.brush(group, QPalette::ColorRole(role)) !=
                       source.brush(group, QPalette::ColorRole(role));
        changedRoles += changed ? 1 : 0;
        if (role == QPalette::NoRole)
            QVERIFY(!changed);
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        if (role == QPalette::Accent)
            QVERIFY(!changed);
#endif
    }
    QCOMPARE(changedRoles, 20);
}

UPDATER_TEST_MAIN(TestThemePalettes)

#include "tst_themepalettes.moc"
