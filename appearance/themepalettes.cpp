#include "appearance/themepalettes.h"

#include <QColor>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

struct RoleColours
{
    QPalette::ColorRole role;
    QRgb activeAndInactive;
    QRgb disabled;
};

const QRgb placeholderLight = qRgba(0x00, 0x00, 0x00, 128);
const QRgb placeholderDark = qRgba(0xFF, 0xFF, 0xFF, 128);

// In QPalette::ColorRole order.
const RoleColours lightColours[] = {
    {QPalette::WindowText, 0xFF000000, 0xFF787878},
    {QPalette::Button, 0xFFF0F0F0, 0xFFF0F0F0},
    {QPalette::Light, 0xFFFFFFFF, 0xFFFFFFFF},
    {QPalette::Midlight, 0xFFE3E3E3, 0xFFF7F7F7},
    {QPalette::Dark, 0xFFA0A0A0, 0xFFA0A0A0},
    {QPalette::Mid, 0xFFA0A0A0, 0xFFA0A0A0},
    {QPalette::Text, 0xFF000000, 0xFF787878},
    {QPalette::BrightText, 0xFFFFFFFF, 0xFFFFFFFF},
    {QPalette::ButtonText, 0xFF000000, 0xFF787878},
    {QPalette::Base, 0xFFFFFFFF, 0xFFF0F0F0},
    {QPalette::Window, 0xFFF0F0F0, 0xFFF0F0F0},
    {QPalette::Shadow, 0xFF696969, 0xFF000000},
    {QPalette::Highlight, 0xFFCCDFF8, 0xFFCCDFF8},
    {QPalette::HighlightedText, 0xFF000000, 0xFFFFFFFF},
    {QPalette::Link, 0xFF0000FF, 0xFF0000FF},
    {QPalette::LinkVisited, 0xFFFF00FF, 0xFFFF00FF},
    {QPalette::AlternateBase, 0xFFE9E7E3, 0xFFF7F7F7},
    {QPalette::ToolTipBase, 0xFFFFFFDC, 0xFFFFFFDC},
    {QPalette::ToolTipText, 0xFF000000, 0xFF000000},
    {QPalette::PlaceholderText, placeholderLight, placeholderLight},
};

const RoleColours darkColours[] = {
    {QPalette::WindowText, 0xFFFFFFFF, 0xFF9D9D9D},
    {QPalette::Button, 0xFF3C3C3C, 0xFF3C3C3C},
    {QPalette::Light, 0xFF787878, 0xFF787878},
    {QPalette::Midlight, 0xFF5A5A5A, 0xFF5A5A5A},
    {QPalette::Dark, 0xFF1E1E1E, 0xFF1E1E1E},
    {QPalette::Mid, 0xFF282828, 0xFF282828},
    {QPalette::Text, 0xFFFFFFFF, 0xFF9D9D9D},
    {QPalette::BrightText, 0xFFFAA683, 0xFFFAA683},
    {QPalette::ButtonText, 0xFFFFFFFF, 0xFF9D9D9D},
    {QPalette::Base, 0xFF2D2D2D, 0xFF1E1E1E},
    {QPalette::Window, 0xFF1E1E1E, 0xFF1E1E1E},
    {QPalette::Shadow, 0xFF000000, 0xFF000000},
    {QPalette::Highlight, 0xFF666666, 0xFF666666},
    {QPalette::HighlightedText, 0xFFFFFFFF, 0xFFFFFFFF},
    {QPalette::Link, 0xFFE2241A, 0xFF308CC6},
    {QPalette::LinkVisited, 0xFF6B0605, 0xFFFF00FF},
    {QPalette::AlternateBase, 0xFF6B0605, 0xFF343434},
    {QPalette::ToolTipBase, 0xFF3C3C3C, 0xFFFFFFDC},
    {QPalette::ToolTipText, 0xFFD4D4D4, 0xFF000000},
    {QPalette::PlaceholderText, placeholderDark, placeholderDark},
};

template <std::size_t N> void applyColours(QPalette &palette, const RoleColours (&colours)[N])
{
    for (const RoleColours &entry : colours) {
        const QBrush activeAndInactive(QColor::fromRgba(entry.activeAndInactive), Qt::SolidPattern);
        palette.setBrush(QPalette::Active, entry.role, activeAndInactive);
        palette.setBrush(QPalette::Disabled, entry.role,
                         QBrush(QColor::fromRgba(entry.disabled), Qt::SolidPattern));
        palette.setBrush(QPalette::Inactive, entry.role, activeAndInactive);
    }
}

double relativeLuminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

const double focusFrameContrast = 3.0;

} // namespace

QColor panelColour(bool dark)
{
    return dark ? QColor(0x2B, 0x2B, 0x2B) : QColor(0xF8, 0xF4, 0xF4);
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const double first = relativeLuminance(a), second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor focusFrameColour(const QPalette &palette, const QColor &panel)
{
    const QColor backgrounds[] = {panel, palette.color(QPalette::Active, QPalette::Window),
                                  palette.color(QPalette::Active, QPalette::Base)};
    const auto standsOut = [&](const QColor &colour) {
        return std::all_of(std::begin(backgrounds), std::end(backgrounds), [&](const QColor &b) {
            return contrastRatio(colour, b) >= focusFrameContrast;
        });
    };
    // Same hue and saturation as the highlight; only the lightness moves, away from the panel.
    const bool darken = relativeLuminance(panel) > 0.18;
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight).toHsl();
    QColor colour = highlight;
    for (int lightness = highlight.lightness(); !standsOut(colour);) {
        lightness += darken ? -1 : 1;
        if (lightness < 0 || lightness > 255)
            return darken ? QColor(Qt::black) : QColor(Qt::white);
        colour = QColor::fromHsl(highlight.hslHue(), highlight.hslSaturation(), lightness);
    }
    return colour.toRgb();
}

void buildLightPalette(QPalette &palette)
{
    applyColours(palette, lightColours);
}

void buildDarkPalette(QPalette &palette)
{
    applyColours(palette, darkColours);
}
