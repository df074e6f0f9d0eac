#pragma once

// A tab strip that owns up to 16 page dialogs: pages are registered first, then created as tabs;
// a click on a tab shows its page and hides the one shown before. A page's default button (the
// one marked default when it is registered) answers Enter while that page is shown.

#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTabWidget>

#include <array>

class CPageTabCtrl : public QTabWidget {
    Q_OBJECT

public:
    static constexpr int kMaxPages = 16;

    explicit CPageTabCtrl(QWidget* parent = nullptr);

    // Registers a page; false (and nothing added) when 16 are registered already. Register each
    // page before the next is made: the dialog holds one default button, and a later page's
    // default takes that mark from an earlier one.
    bool AddPage(const QString& title, QWidget* page, int resourceId);
    // Puts the registered pages on the strip in order and shows the first.
    void CreatePages();
    // Shows the current page in the page area and keeps the others hidden there.
    void PlacePages();

    int pageCount() const { return m_nPages; }
    int shownPage() const { return m_nShown; }
    int pageResourceId(int index) const { return m_pages[std::size_t(index)].resourceId; }

private:
    void OnSelChange(int index);
    void MakeShownDefault();

    struct Page {
        QString title;
        QWidget* page = nullptr;
        int resourceId = 0;
        QPointer<QPushButton> defaultButton;
    };
    std::array<Page, kMaxPages> m_pages{};
    int m_nPages = 0;
    int m_nShown = 0;
};
