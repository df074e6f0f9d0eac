#include "print/MainFrame.h"
#include "platform/PrintTarget.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PdfExport.h"
#include "print/PrintJob.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QToolBar>

namespace {

// The preview's own lookup: the chosen printer, else the default one (which becomes the chosen
// one for the run).
bool findPreviewPrinter() {
    AppSettings& app = appSettings();
    if (GetPrinterDevice(app.printerName))
        return true;
    app.printerName = platform::defaultPrinterName();
    return GetPrinterDevice(app.printerName);
}

void hideWindow(QWidget* w) {
    // A dialog hidden the usual way would also end its exec(); the main window must run on.
    if (qobject_cast<QDialog*>(w))
        w->QWidget::setVisible(false);
    else
        w->hide();
}

} // namespace

CMainFrame* CMainFrame::OpenPreview(DrawCallback draw, QWidget* windowToHide, const QString& title) {
    const bool hasPrinter = findPreviewPrinter();
    auto* frame = new CMainFrame(std::move(draw), windowToHide, title);
    const platform::PrintRequest request =
        SetupPrinterPaper(appSettings().printerName, appSettings().paperIndex);
    if (!hasPrinter) {
        // Nothing is printed from here, so the paper alone is enough to look at the receipt and
        // to save it as a PDF file; printing from the main window still reports the missing printer.
        frame->m_printer->setOutputFormat(QPrinter::PdfFormat);
        platform::applyPage(*frame->m_printer, request);
    } else if (!platform::printTarget().configurePrinter(*frame->m_printer, request)) {
        delete frame;
        platform::messageBox(windowToHide, NoPrinterText());
        return nullptr;
    }
    frame->m_preview = new QPrintPreviewWidget(frame->m_printer.get(), frame);
    frame->setCentralWidget(frame->m_preview);
    connect(frame->m_preview, &QPrintPreviewWidget::paintRequested, frame, &CMainFrame::paintPages);
    frame->buildToolBar();
    frame->showMaximized();
    if (windowToHide)
        hideWindow(windowToHide);
    return frame;
}

CMainFrame::CMainFrame(DrawCallback draw, QWidget* windowToHide, const QString& title)
    : QMainWindow(windowToHide, Qt::Window), m_draw(std::move(draw)), m_windowToHide(windowToHide),
      m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title.isEmpty() ? QStringLiteral("收款收据（打印预览）") : title);
    if (windowToHide)
        setWindowIcon(windowToHide->windowIcon());
    setGeometry(200, 200, 300, 300);
}

CMainFrame::~CMainFrame() {
    // The preview widget paints with the printer: it goes first.
    delete m_preview;
    m_preview = nullptr;
}

void CMainFrame::buildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("打印预览"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_printAction = bar->addAction(QStringLiteral("打印(&P)..."), this, &CMainFrame::OnPrint);
    m_pdfAction = bar->addAction(QStringLiteral("导出PDF(&D)..."), this, &CMainFrame::OnExportPdf);
    bar->addSeparator();
    bar->addAction(QStringLiteral("首页"), m_preview, [this] { m_preview->setCurrentPage(1); });
    bar->addAction(QStringLiteral("上一页(&V)"), m_preview,
                   [this] { m_preview->setCurrentPage(m_preview->currentPage() - 1); });
    bar->addAction(QStringLiteral("下一页(&N)"), m_preview,
                   [this] { m_preview->setCurrentPage(m_preview->currentPage() + 1); });
    bar->addAction(QStringLiteral("末页"), m_preview,
                   [this] { m_preview->setCurrentPage(m_preview->pageCount()); });
    bar->addSeparator();
    bar->addAction(QStringLiteral("放大(&I)"), m_preview, [this] { m_preview->zoomIn(); });
    bar->addAction(QStringLiteral("缩小(&O)"), m_preview, [this] { m_preview->zoomOut(); });
    bar->addAction(QStringLiteral("适合宽度"), m_preview, &QPrintPreviewWidget::fitToWidth);
    bar->addAction(QStringLiteral("整页显示"), m_preview, &QPrintPreviewWidget::fitInView);
    bar->addSeparator();
    m_closeAction = bar->addAction(QStringLiteral("关闭(&C)"), this, &QWidget::close);
}

void CMainFrame::paintPages(QPrinter* printer) {
    if (!m_draw)
        return;
    QPainter painter(printer);
    const QRect page(QPoint(0, 0), printer->pageRect(QPrinter::DevicePixel).size().toSize());
    m_draw(painter, PrintRect::fromQRect(page),
           ScaleForDevice(printer->logicalDpiX(), printer->logicalDpiY(), m_windowToHide.data()));
}

void CMainFrame::OnPrint() {
    platform::messageBox(this, QStringLiteral("请使用主窗口上的“打印并保存”按钮进行打印！"),
                         QStringLiteral("提示"), platform::MsgIcon::Information);
    close();
}

void CMainFrame::OnExportPdf() {
    ExportReceiptPagePdf(m_draw, m_receiptNumber, this);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    restoreHiddenWindow();
    QMainWindow::closeEvent(event);
}

void CMainFrame::restoreHiddenWindow() {
    if (m_windowToHide)
        m_windowToHide->show();
}
