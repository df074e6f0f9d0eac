#pragma once

// "设置名目": the pick-lists of room addresses, remarks and staff names; one list at a time,
// chosen with the category box, with its entries added, changed and deleted.

#include <QWidget>

#include <memory>

namespace Ui {
class CItemsPage;
}

class CItemsPage : public QWidget {
    Q_OBJECT

public:
    explicit CItemsPage(QWidget* parent = nullptr);
    ~CItemsPage() override;

    void FillItemList();
    void AddItem();
    bool ItemExists(const QString& text) const;
    void OnSelchangeCategory();
    void OnModify();
    void OnDelete();
    void OnClickList();

    QString currentTable() const { return m_strTable; }
    QStringList listedItems() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void setUpList(const QString& caption);
    int firstSelectedRow() const;
    // Focuses the list and makes the row the only selected one and the selection mark.
    void markRow(int row);

    std::unique_ptr<Ui::CItemsPage> ui;
    QString m_strTable = QStringLiteral("addr_items");
    QString m_strEdit;
    QString m_strOldItem;
    QString m_strItem;
    QString m_strCaption;
    bool m_filling = false;
};
