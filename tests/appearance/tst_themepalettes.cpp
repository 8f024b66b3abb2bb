#include "appearance/themepalettes.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QMetaEnum>
#include <QPalette>
#include <QTest>

#include <tuple>

// Differs from every theme brush, so a role the builder leaves alone shows.
static const QBrush sourceBrush(QColor(10, 20, 30), Qt::Dense4Pattern);

class TestThemePalettes : public QObject
{
    Q_OBJECT

private slots:
    void brushes_data();
    void brushes();
};

void TestThemePalettes::brushes_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QPalette::ColorRole>("role");
    QTest::addColumn<QBrush>("activeAndInactive");
    QTest::addColumn<QBrush>("disabled");

    using Row = std::tuple<QPalette::ColorRole, QColor, QColor, QColor, QColor>;
    const Row rows[] = {
        {QPalette::WindowText, "#000000", "#787878", "#FFFFFF", "#9D9D9D"},
        {QPalette::Button, "#F0F0F0", "#F0F0F0", "#3C3C3C", "#3C3C3C"},
        {QPalette::Light, "#FFFFFF", "#FFFFFF", "#787878", "#787878"},
        {QPalette::Midlight, "#E3E3E3", "#F7F7F7", "#5A5A5A", "#5A5A5A"},
        {QPalette::Dark, "#A0A0A0", "#A0A0A0", "#1E1E1E", "#1E1E1E"},
        {QPalette::Mid, "#A0A0A0", "#A0A0A0", "#282828", "#282828"},
        {QPalette::Text, "#000000", "#787878", "#FFFFFF", "#9D9D9D"},
        {QPalette::BrightText, "#FFFFFF", "#FFFFFF", "#FAA683", "#FAA683"},
        {QPalette::ButtonText, "#000000", "#787878", "#FFFFFF", "#9D9D9D"},
        {QPalette::Base, "#FFFFFF", "#F0F0F0", "#2D2D2D", "#1E1E1E"},
        {QPalette::Window, "#F0F0F0", "#F0F0F0", "#1E1E1E", "#1E1E1E"},
        {QPalette::Shadow, "#696969", "#000000", "#000000", "#000000"},
        {QPalette::Highlight, "#CCDFF8", "#CCDFF8", "#666666", "#666666"},
        {QPalette::HighlightedText, "#000000", "#FFFFFF", "#FFFFFF", "#FFFFFF"},
        {QPalette::Link, "#0000FF", "#0000FF", "#E2241A", "#308CC6"},
        {QPalette::LinkVisited, "#FF00FF", "#FF00FF", "#6B0605", "#FF00FF"},
        {QPalette::AlternateBase, "#E9E7E3", "#F7F7F7", "#6B0605", "#343434"},
        {QPalette::ToolTipBase, "#FFFFDC", "#FFFFDC", "#3C3C3C", "#FFFFDC"},
        {QPalette::ToolTipText, "#000000", "#000000", "#D4D4D4", "#000000"},
        {QPalette::PlaceholderText, "#80000000", "#80000000", "#80FFFFFF", "#80FFFFFF"},
    };
    const QMetaEnum roles = QMetaEnum::fromType<QPalette::ColorRole>();
    for (const auto &[role, light, lightDisabled, dark, darkDisabled] : rows) {
        QTest::addRow("light %s", roles.valueToKey(role))
            << false << role << QBrush(light) << QBrush(lightDisabled);
        QTest::addRow("dark %s", roles.valueToKey(role))
            << true << role << QBrush(dark) << QBrush(darkDisabled);
    }
    // Roles outside the table keep the copied brushes.
    for (bool dark : {false, true}) {
        const char *theme = dark ? "dark" : "light";
        QTest::addRow("%s NoRole", theme) << dark << QPalette::NoRole << sourceBrush << sourceBrush;
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        QTest::addRow("%s Accent", theme) << dark << QPalette::Accent << sourceBrush << sourceBrush;
#endif
    }
}

void TestThemePalettes::brushes()
{
    QFETCH(bool, dark);
    QFETCH(QPalette::ColorRole, role);
    QFETCH(QBrush, activeAndInactive);
    QFETCH(QBrush, disabled);

    QPalette palette;
    for (int each = 0; each < QPalette::NColorRoles; ++each)
        palette.setBrush(QPalette::ColorRole(each), sourceBrush);
    (dark ? buildDarkPalette : buildLightPalette)(palette);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QBrush &expected = group == QPalette::Disabled ? disabled : activeAndInactive;
        QCOMPARE(palette.brush(group, role).color(), expected.color());
        QCOMPARE(palette.brush(group, role).style(), expected.style());
    }
}

UPDATER_TEST_MAIN(TestThemePalettes)

#include "tst_themepalettes.moc"
