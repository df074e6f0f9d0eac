#pragma once

// Receipts saved as PDF files instead of printed: the preview's receipt on one page, or the
// selected list rows in the batch print's order and page rules (two to a sheet on A4 and B5).
// The pages are drawn by the printing code on a PDF page of the paper's exact size without
// margins, so lines stay lines and text stays text. No printer is involved.
//
// A file is written whole or not at all: the pages are made in memory and the file replaces its
// target in one step, so a failed or cancelled export leaves the folder as it was.

#include "print/ReceiptLayout.h"

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>

#include <functional>

class QPainter;
class QWidget;

// Draws one receipt page: the painter, the page rectangle in device pixels, the device's scale.
using ReceiptPageDraw = std::function<void(QPainter&, const PrintRect& page, const PrintScale& scale)>;

// The PDF's resolution in dots per inch: a high-resolution printer's, so the layout's truncated
// lengths come out as finely as on paper.
inline constexpr int kPdfResolution = 1200;

// The export shows a progress dialog, which may cancel it, from this many receipts on.
inline constexpr int kReceiptsWorthAProgressDialog = 50;

enum class PdfWriteResult { Written, Cancelled, Failed };

// Reports receipts done of the total; false cancels the export.
using PdfProgress = std::function<bool(int done, int total)>;

// The page of a paper index as the PDF's page: the paper's size, the orientation setting, no
// margins. An index whose size is empty (a custom size of 0) gives an invalid layout.
QPageLayout PdfPageLayout(int paperIndex);

// One receipt page drawn by draw on the paper of the index.
PdfWriteResult WriteReceiptPagePdf(const QString& path, int paperIndex, const ReceiptPageDraw& draw,
                                   const QWidget* screenWindow = nullptr);

// The receipts, in the order given, on the paper of the first one: one a page on pre-cut paper,
// two a sheet on A4 and B5. progress is called after each receipt.
PdfWriteResult WriteReceiptsPdf(const QString& path, const QList<ReceiptPrintData>& receipts,
                                const QWidget* screenWindow = nullptr, const PdfProgress& progress = {});

// The name proposed in the save dialog: "收据0000123.pdf" for one receipt, "收据0000123-0000130.pdf"
// for several (the first and the last in the file's order), in the folder a PDF was last saved
// into, else in the documents folder, else (neither is there) in the home folder.
QString ProposedPdfFileName(const QStringList& receiptNumbers);

// The preview's "导出PDF(&D)...": asks where to save, writes the page, tells the operator how
// it went. False when nothing was written.
bool ExportReceiptPagePdf(const ReceiptPageDraw& draw, const QString& receiptNumber, QWidget* owner);

// The records list's "导出选中记录为PDF(&F)...": the selected rows (any order) as receipts rebuilt
// from their cells (rowCells gives the 25 texts of a row), the prices, captions and settings
// taken from the form. From kReceiptsWorthAProgressDialog receipts on, a progress dialog shows
// and may cancel. False when nothing was written.
bool ExportSelectedRowsPdf(const QList<int>& selectedRows,
                           const std::function<QStringList(int row)>& rowCells, const ReceiptPrintData& form,
                           QString (*capitalWords)(double), QWidget* owner);
