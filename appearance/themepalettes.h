#pragma once

class QColor;
class QPalette;

// Write the theme's 60 brushes (20 roles x Active, Disabled, Inactive) into the palette;
// every other role keeps what the palette had.
void buildLightPalette(QPalette &palette);
void buildDarkPalette(QPalette &palette);

// The background of the rounded panel that every control of the window sits on.
QColor panelColour(bool dark);
// WCAG 2 contrast ratio of two opaque colours, from 1 (same luminance) to 21.
double contrastRatio(const QColor &a, const QColor &b);
// The keyboard focus frame: the palette's highlight, darkened on a light panel or lightened on
// a dark one until it stands at least 3:1 against the panel and the palette's window and base.
QColor focusFrameColour(const QPalette &palette, const QColor &panel);
