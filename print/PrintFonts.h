#pragma once

// The four application-wide print fonts (body, title, table caption, bottom remark) and the file
// "FontSet.ini" in the current directory that keeps them between runs, one GBK line per font.

#include "print/LogFont.h"

#include <array>

// The fonts in force, indexed by PrintFontIndex.
std::array<LogFont, 4>& printFonts();

// Start-up: reads "FontSet.ini"; a missing file is created with the factory lines. A line that is
// missing or does not parse gives that role its factory font.
void LoadPrintFonts();

// Makes the fonts the application's fonts at once, then writes them to "FontSet.ini". False when
// the file cannot be written; the fonts stay applied for this run.
bool SavePrintFonts(const std::array<LogFont, 4>& fonts);

// Writes the factory lines to "FontSet.ini" and applies the factory fonts. False when the file
// cannot be written; the fonts in force are then left as they were.
bool RestoreFactoryFonts();

// The font file's name, relative to the current directory.
QString fontFileName();
