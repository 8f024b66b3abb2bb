#pragma once

class QPalette;

// Write the theme's 60 brushes (20 roles x Active, Disabled, Inactive) into the palette;
// every other role keeps what the palette had.
void buildLightPalette(QPalette &palette);
void buildDarkPalette(QPalette &palette);
