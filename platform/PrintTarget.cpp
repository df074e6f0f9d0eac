#include "platform/PrintTarget.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintEngine>
#include <QPrinter>

namespace platform {

namespace {

void applyRequest(QPrinter& printer, const PrintRequest& request) {
    printer.setPrinterName(request.printerName);
    applyPage(printer, request);
}

class SystemDocument : public PrintDocument {
public:
    explicit SystemDocument(const PrintRequest& request) : m_printer(QPrinter::HighResolution) {
        applyRequest(m_printer, request);
    }
    bool begin() { return m_painter.begin(&m_printer); }

    QPainter& painter() override { return m_painter; }
    QRect pageRect() const override {
        return QRect(QPoint(0, 0), m_printer.pageRect(QPrinter::DevicePixel).size().toSize());
    }
    int resolutionX() const override { return m_printer.logicalDpiX(); }
    int resolutionY() const override { return m_printer.logicalDpiY(); }
    bool newPage() override { return m_printer.newPage(); }
    bool finish() override { return m_painter.isActive() ? m_painter.end() : false; }

private:
    QPrinter m_printer;
    QPainter m_painter;
};

class SystemPrintTarget : public PrintTarget {
public:
    std::unique_ptr<PrintDocument> startDocument(const PrintRequest& request) override {
        auto document = std::make_unique<SystemDocument>(request);
        if (!document->begin())
            return nullptr;
        return document;
    }
    bool configurePrinter(QPrinter& printer, const PrintRequest& request) override {
        applyRequest(printer, request);
        return printer.isValid();
    }
};

SystemPrintTarget g_systemTarget;
PrintTarget* g_target = &g_systemTarget;

// A device that keeps the texts painted on it and ignores everything else.
class TextRecordingEngine : public QPaintEngine {
public:
    TextRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawLines(const QLineF*, int) override {}
    void drawRects(const QRectF*, int) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override { texts << item.text(); }
    Type type() const override { return QPaintEngine::User; }

    QStringList texts;
};

class TextRecordingDevice : public QPaintDevice {
public:
    TextRecordingDevice(QSize size, int resolution) : m_size(size), m_resolution(resolution) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }
    QStringList texts() const { return m_engine.texts; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / (10 * m_resolution);
        case PdmHeightMM:
            return m_size.height() * 254 / (10 * m_resolution);
        case PdmNumColors:
            return 2;
        case PdmDepth:
            return 1;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return m_resolution;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    QSize m_size;
    int m_resolution;
    mutable TextRecordingEngine m_engine;
};

} // namespace

QString customPageSizeOption(const QPageSize& size) {
    const QSizeF mm = size.size(QPageSize::Millimeter);
    return QStringLiteral("Custom.%1x%2mm").arg(mm.width()).arg(mm.height());
}

void applyPage(QPrinter& printer, const PrintRequest& request) {
    printer.setPageSize(request.pageSize);
    printer.setPageOrientation(request.orientation);
    printer.setDocName(request.documentName);
    // (0, 0) is the corner of what the device can print, and the page reaches as far as it can:
    // Qt's default margins would move the receipt off the places the pre-printed paper expects.
    printer.setFullPage(false);
    printer.setPageMargins(printer.pageLayout().minimumMargins(), printer.pageLayout().units());
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        // The print system swaps a size the driver knows (A4, JIS B5) for the driver's own paper,
        // whose size differs from ours; the driver's page size option carries the exact size.
        constexpr auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
        printer.printEngine()->setProperty(
            kCupsOptions, QStringList{QStringLiteral("PageSize"), customPageSizeOption(request.pageSize)});
    }
}

PrintTarget& printTarget() {
    return *g_target;
}
void setPrintTarget(PrintTarget* target) {
    g_target = target ? target : &g_systemTarget;
}

// ---- capture -------------------------------------------------------------------------------

class CapturedDocument : public PrintDocument {
public:
    CapturedDocument(ScopedPrintCapture& capture, int index, QSize size, int resolution)
        : m_capture(capture), m_index(index), m_size(size), m_resolution(resolution) {
        m_painter.begin(&m_page);
    }
    ~CapturedDocument() override {
        // A document abandoned without finish() keeps the pages drawn so far, unfinished.
        if (m_painter.isActive())
            endPage();
    }

    QPainter& painter() override { return m_painter; }
    QRect pageRect() const override { return QRect(QPoint(0, 0), m_size); }
    int resolutionX() const override { return m_resolution; }
    int resolutionY() const override { return m_resolution; }
    bool newPage() override {
        if (!m_painter.isActive())
            return false;
        endPage();
        m_page = QPicture();
        return m_painter.begin(&m_page);
    }
    bool finish() override {
        if (!m_painter.isActive())
            return false;
        endPage();
        m_capture.finished(m_index);
        return true;
    }

private:
    void endPage() {
        m_painter.end();
        m_capture.m_documents[m_index].pages << m_page;
    }

    ScopedPrintCapture& m_capture;
    int m_index;
    QSize m_size;
    int m_resolution;
    QPicture m_page;
    QPainter m_painter;
};

ScopedPrintCapture::ScopedPrintCapture(int resolution) : m_resolution(resolution), m_previous(g_target) {
    g_target = this;
}

ScopedPrintCapture::~ScopedPrintCapture() {
    g_target = m_previous;
}

std::unique_ptr<PrintDocument> ScopedPrintCapture::startDocument(const PrintRequest& request) {
    if (m_refuse) {
        ++m_refused;
        return nullptr;
    }
    m_documents.append(Document{request, {}, false});
    const int index = int(m_documents.size() - 1);
    return std::make_unique<CapturedDocument>(*this, index, pageSize(index), m_resolution);
}

bool ScopedPrintCapture::configurePrinter(QPrinter& printer, const PrintRequest& request) {
    m_previews << request;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_previewDir.filePath(QStringLiteral("preview.pdf")));
    applyPage(printer, request);
    return true;
}

QSize ScopedPrintCapture::pageSize(int document) const {
    const PrintRequest& r = m_documents.at(document).request;
    QSize size = r.pageSize.sizePixels(m_resolution);
    if (r.orientation == QPageLayout::Landscape)
        size.transpose();
    return size;
}

QStringList ScopedPrintCapture::pageTexts(int document, int page) const {
    TextRecordingDevice device(pageSize(document), m_resolution);
    QPainter painter(&device);
    QPicture picture = m_documents.at(document).pages.at(page);
    picture.play(&painter);
    painter.end();
    return device.texts();
}

QImage ScopedPrintCapture::pageImage(int document, int page) const {
    QImage image(pageSize(document), QImage::Format_RGB32);
    const int dotsPerMeter = int(m_resolution / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    QPicture picture = m_documents.at(document).pages.at(page);
    picture.play(&painter);
    return image;
}

void ScopedPrintCapture::finished(int index) {
    Document& doc = m_documents[index];
    doc.finished = true;
    if (m_pdfPath.isEmpty())
        return;
    QPdfWriter writer(m_pdfPath);
    writer.setResolution(m_resolution);
    writer.setPageLayout(QPageLayout(doc.request.pageSize, doc.request.orientation, QMarginsF()));
    writer.setTitle(doc.request.documentName);
    QPainter painter(&writer);
    for (qsizetype i = 0; i < doc.pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        doc.pages[i].play(&painter);
    }
}

} // namespace platform
