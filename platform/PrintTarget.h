#pragma once

// Where printed pages go, as a platform service: a printer of the print system in the program, a
// recording in tests. The print code asks for a document on a named printer with a page size,
// orientation and document name, paints its pages with the document's painter, and ends it.
// The real service is in place unless a ScopedPrintCapture is installed.

#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPicture>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QPainter;
class QPrinter;

namespace platform {

struct PrintRequest {
    QString printerName;
    QPageSize pageSize;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QString documentName;
};

// One print document, open on its first page.
class PrintDocument {
public:
    virtual ~PrintDocument() = default;
    // The painter of the current page; (0, 0) is the top-left corner of the printable area.
    virtual QPainter& painter() = 0;
    // The printable area in device pixels, at (0, 0).
    virtual QRect pageRect() const = 0;
    virtual int resolutionX() const = 0;
    virtual int resolutionY() const = 0;
    // Ends the current page and starts the next.
    virtual bool newPage() = 0;
    // Ends the document and hands it to the printer.
    virtual bool finish() = 0;
};

class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    // Starts a document; nothing when the print system refuses it.
    virtual std::unique_ptr<PrintDocument> startDocument(const PrintRequest& request) = 0;
    // Points a printer at the request's printer, page and orientation, for a preview that
    // paints on it. False when the printer cannot be set up.
    virtual bool configurePrinter(QPrinter& printer, const PrintRequest& request) = 0;
};

PrintTarget& printTarget();

// Points a printer at the request's page: the exact size, the orientation, the document name, and
// the whole printable area as the page rectangle (no margins beyond those the device needs). A
// printer of the print system is also told the size as the driver's custom page size.
void applyPage(QPrinter& printer, const PrintRequest& request);

// The driver's custom page size option for an exact size: "Custom.241x93.3mm".
QString customPageSizeOption(const QPageSize& size);
void setPrintTarget(PrintTarget* target);

// Records documents instead of printing them: every request, and every page as a picture that a
// test can read the texts of or render into an image. Finished documents can also be written to
// a PDF file. Previews print into a PDF file in a folder of the capture's own.
class ScopedPrintCapture : public PrintTarget {
public:
    struct Document {
        PrintRequest request;
        QList<QPicture> pages;
        bool finished = false;
    };

    explicit ScopedPrintCapture(int resolution = 96);
    ~ScopedPrintCapture() override;
    ScopedPrintCapture(const ScopedPrintCapture&) = delete;
    ScopedPrintCapture& operator=(const ScopedPrintCapture&) = delete;

    // The print system refuses the documents started from now on.
    void setRefuse(bool refuse) { m_refuse = refuse; }
    // Each finished document is also written to this PDF file (the last one wins).
    void setPdfPath(const QString& path) { m_pdfPath = path; }

    std::unique_ptr<PrintDocument> startDocument(const PrintRequest& request) override;
    bool configurePrinter(QPrinter& printer, const PrintRequest& request) override;

    const QList<Document>& documents() const { return m_documents; }
    const QList<PrintRequest>& previewRequests() const { return m_previews; }
    int refusedCount() const { return m_refused; }
    // The texts drawn on a page, in drawing order.
    QStringList pageTexts(int document, int page) const;
    // A page painted on white, at the capture's resolution.
    QImage pageImage(int document, int page) const;
    // The page in pixels at the capture's resolution.
    QSize pageSize(int document) const;

private:
    friend class CapturedDocument;
    void finished(int index);

    int m_resolution;
    bool m_refuse = false;
    int m_refused = 0;
    QString m_pdfPath;
    QList<Document> m_documents;
    QList<PrintRequest> m_previews;
    QTemporaryDir m_previewDir;
    PrintTarget* m_previous;
};

} // namespace platform
