#pragma once

// The papers receipts are printed on. Sizes are in tenths of a millimetre; every size goes to the
// printer as a custom page, never as a standard A4 or B5 size.

#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>

inline constexpr int kPaperCount = 7;
inline constexpr int kPaperA4 = 4;
inline constexpr int kPaperB5 = 5;
inline constexpr int kPaperCustom = 6;

struct PaperSpec {
    QString name;
    int width = 0;  // tenths of a millimetre
    int length = 0; // tenths of a millimetre
};

// A stored paper index the catalogue knows; anything else counts as index 0.
int normalisedPaperIndex(int index);

// The names of the paper list, in index order.
QStringList paperNames();

// The paper of an index; index 6 takes the custom size in appSettings().
PaperSpec paperSpec(int index);

// The page of an index as a custom size in millimetres (241 × 93.3 for index 1).
QPageSize paperPageSize(int index);

// "0" in appSettings().orientation prints portrait, anything else landscape.
QPageLayout::Orientation paperOrientation();

// Whether several receipts share one page of this paper (A4 and B5).
bool isSheetPaper(int index);
