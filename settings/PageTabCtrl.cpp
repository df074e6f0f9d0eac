#include "settings/PageTabCtrl.h"

#include <QTabBar>

CPageTabCtrl::CPageTabCtrl(QWidget* parent) : QTabWidget(parent) {
    // Every tab as wide as the widest title, as a fixed-width strip shows them.
    tabBar()->setExpanding(false);
    connect(this, &QTabWidget::currentChanged, this, &CPageTabCtrl::OnSelChange);
}

bool CPageTabCtrl::AddPage(const QString& title, QWidget* page, int resourceId) {
    if (m_nPages >= kMaxPages || !page)
        return false;
    QPushButton* defaultButton = nullptr;
    for (QPushButton* b : page->findChildren<QPushButton*>())
        if (b->isDefault())
            defaultButton = b;
    m_pages[std::size_t(m_nPages++)] = Page{title, page, resourceId, defaultButton};
    return true;
}

void CPageTabCtrl::CreatePages() {
    for (int i = 0; i < m_nPages; ++i) {
        const Page& p = m_pages[std::size_t(i)];
        insertTab(i, p.page, p.title);
        p.page->setAccessibleName(p.title);
    }
    m_nShown = 0;
    PlacePages();
}

void CPageTabCtrl::PlacePages() {
    // The stacked page area of the tab widget gives every page the same rectangle under the
    // strip; only the shown page is visible in it.
    if (m_nPages == 0)
        return;
    setCurrentIndex(m_nShown);
    MakeShownDefault();
}

void CPageTabCtrl::MakeShownDefault() {
    // A dialog answers Enter with its one default button, and only while it is visible: the
    // shown page's own default must hold that mark.
    if (QPushButton* b = m_pages[std::size_t(m_nShown)].defaultButton)
        b->setDefault(true);
}

void CPageTabCtrl::OnSelChange(int index) {
    if (index < 0 || index == m_nShown)
        return;
    m_nShown = index;
    MakeShownDefault();
    // The page's own focus widget takes the keyboard, unless the strip itself has it.
    QWidget* page = m_pages[std::size_t(index)].page;
    if (page && !tabBar()->hasFocus() && page->focusWidget())
        page->focusWidget()->setFocus();
}
