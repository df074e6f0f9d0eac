#pragma once

// The print preview: a maximised window showing the receipt on the chosen printer's paper, drawn
// by the caller's drawing. It prints nothing itself (the operator prints with the main window's
// button) but saves the page as a PDF file; the window it was opened from is hidden while it is
// open.

#include "print/ReceiptLayout.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
class QPainter;
class QPrinter;
class QPrintPreviewWidget;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // Draws one page: the painter, the page rectangle in device pixels and the device's scale.
    using DrawCallback = std::function<void(QPainter&, const PrintRect& page, const PrintScale& scale)>;

    // Opens the preview. Without a printer it shows the paper alone, so that the receipt can still
    // be looked at and saved as a PDF file. The frame deletes itself when closed.
    static CMainFrame* OpenPreview(DrawCallback draw, QWidget* windowToHide, const QString& title = {});
    ~CMainFrame() override;

    QPrintPreviewWidget* previewWidget() const { return m_preview; }
    QPrinter* printer() const { return m_printer.get(); }
    QAction* printAction() const { return m_printAction; }
    QAction* closeAction() const { return m_closeAction; }
    QAction* pdfAction() const { return m_pdfAction; }

    // The receipt number the PDF file's proposed name carries.
    void setReceiptNumber(const QString& number) { m_receiptNumber = number; }

    void OnPrint();
    void OnExportPdf();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CMainFrame(DrawCallback draw, QWidget* windowToHide, const QString& title);
    void buildToolBar();
    void paintPages(QPrinter* printer);
    void restoreHiddenWindow();

    DrawCallback m_draw;
    QPointer<QWidget> m_windowToHide;
    std::unique_ptr<QPrinter> m_printer;
    QPrintPreviewWidget* m_preview = nullptr;
    QAction* m_printAction = nullptr;
    QAction* m_closeAction = nullptr;
    QAction* m_pdfAction = nullptr;
    QString m_receiptNumber;
};
