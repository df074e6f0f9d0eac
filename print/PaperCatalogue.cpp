#include "print/PaperCatalogue.h"
#include "print/AppSettings.h"

#include <QSizeF>

namespace {

struct FixedPaper {
    const char16_t* name;
    int width;
    int length;
};

constexpr FixedPaper kPapers[kPaperCount] = {
    {u"241mm二等分", 2410, 1400}, {u"241mm三等分", 2410, 933}, {u"190mm二等分", 1900, 1400},
    {u"190mm三等分", 1900, 933},  {u"A4", 2100, 2970},         {u"B5", 1820, 2570},
    {u"自定义尺寸", 0, 0},
};

} // namespace

int normalisedPaperIndex(int index) {
    return index >= 0 && index < kPaperCount ? index : 0;
}

QStringList paperNames() {
    QStringList names;
    for (const FixedPaper& p : kPapers)
        names << QString::fromUtf16(p.name);
    return names;
}

PaperSpec paperSpec(int index) {
    index = normalisedPaperIndex(index);
    const FixedPaper& p = kPapers[index];
    PaperSpec paper{QString::fromUtf16(p.name), p.width, p.length};
    if (index == kPaperCustom) {
        paper.width = appSettings().customPaperWidth;
        paper.length = appSettings().customPaperHeight;
    }
    return paper;
}

QPageSize paperPageSize(int index) {
    const PaperSpec paper = paperSpec(index);
    // Exact match: a fuzzy one would turn 210 × 297 into the printer's own A4.
    return QPageSize(QSizeF(paper.width / 10.0, paper.length / 10.0), QPageSize::Millimeter, paper.name,
                     QPageSize::ExactMatch);
}

QPageLayout::Orientation paperOrientation() {
    return appSettings().orientation == QLatin1String("0") ? QPageLayout::Portrait : QPageLayout::Landscape;
}

bool isSheetPaper(int index) {
    index = normalisedPaperIndex(index);
    return index == kPaperA4 || index == kPaperB5;
}
