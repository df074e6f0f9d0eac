#include "settings/ItemsPage.h"
#include "controls/OpenLedger.h"
#include "ui_ItemsPage.h"

#include "controls/TitleTip.h"

#include "data/Database.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "settings/ItemLists.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QStyle>

namespace {

constexpr int kEntryColumn = 1;

} // namespace

CItemsPage::CItemsPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::CItemsPage>()) {
    ui->setupUi(this);
    // Entries too long for their column show whole as a tip under the pointer.
    new CListTitleTip(ui->items);
    ui->icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32));
    ui->entry->installEventFilter(this);
    connect(ui->category, &QComboBox::currentIndexChanged, this, &CItemsPage::OnSelchangeCategory);
    connect(ui->addButton, &QPushButton::clicked, this, &CItemsPage::AddItem);
    connect(ui->modifyButton, &QPushButton::clicked, this, &CItemsPage::OnModify);
    connect(ui->deleteButton, &QPushButton::clicked, this, &CItemsPage::OnDelete);
    connect(ui->items, &QTableWidget::itemSelectionChanged, this, &CItemsPage::OnClickList);
    OnInitDialog();
}

CItemsPage::~CItemsPage() = default;

void CItemsPage::OnInitDialog() {
    const QString caption =
        appSettings().addressCaption.isEmpty() ? QStringLiteral("房间地址") : appSettings().addressCaption;
    {
        const QSignalBlocker quiet(ui->category);
        ui->category->addItems({caption, QStringLiteral("备注信息"), QStringLiteral("工作人员")});
        ui->category->setCurrentIndex(0);
    }
    m_strCaption = caption;
    setUpList(caption);
    m_strTable = QStringLiteral("addr_items");
    FillItemList();
}

void CItemsPage::setUpList(const QString& caption) {
    QTableWidget* list = ui->items;
    list->setColumnCount(2);
    list->setHorizontalHeaderLabels({QStringLiteral("序号"), caption});
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setSectionsMovable(true);
    list->horizontalHeader()->setHighlightSections(false);
    list->setColumnWidth(0, 40);
    list->setColumnWidth(kEntryColumn, 145);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(qMax(15, list->fontMetrics().height() + 2));
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
}

QStringList CItemsPage::listedItems() const {
    QStringList out;
    for (int r = 0; r < ui->items->rowCount(); ++r)
        out << ui->items->item(r, kEntryColumn)->text();
    return out;
}

void CItemsPage::FillItemList() {
    const QScopedValueRollback filling(m_filling, true);
    ui->items->setRowCount(0);
    Database db;
    if (!OpenLedger(db, this))
        return;
    const QStringList entries = LoadItems(db, m_strTable);
    db.close();
    ui->items->setRowCount(int(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        auto* number = new QTableWidgetItem(QString::number(i + 1));
        number->setData(Qt::UserRole, i);
        ui->items->setItem(i, 0, number);
        ui->items->setItem(i, kEntryColumn, new QTableWidgetItem(entries[i]));
    }
}

bool CItemsPage::ItemExists(const QString& text) const {
    return listedItems().contains(text, Qt::CaseSensitive);
}

int CItemsPage::firstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : ui->items->selectionModel()->selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void CItemsPage::markRow(int row) {
    const QScopedValueRollback filling(m_filling, true);
    ui->items->setFocus();
    if (row < 0 || row >= ui->items->rowCount())
        return;
    ui->items->clearSelection();
    ui->items->setCurrentCell(row, 0, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ui->items->scrollToItem(ui->items->item(row, 0));
}

void CItemsPage::OnSelchangeCategory() {
    const ItemCategory category = itemCategory(ui->category->currentIndex());
    m_strTable = category.table;
    m_strCaption = category.caption;
    FillItemList();
    ui->items->horizontalHeaderItem(kEntryColumn)->setText(m_strCaption);
}

void CItemsPage::OnClickList() {
    if (m_filling)
        return;
    const int row = firstSelectedRow();
    ui->entry->setPlainText(row >= 0 ? ui->items->item(row, kEntryColumn)->text() : QString());
}

bool CItemsPage::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the entry box adds it, as the page's default button does.
    if (watched == ui->entry && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui->addButton->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CItemsPage::AddItem() {
    m_strEdit = ui->entry->toPlainText();
    m_strItem = m_strEdit;
    if (m_strItem.isEmpty()) {
        platform::messageBox(this, QStringLiteral("名目不能为空!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
    } else {
        Database db;
        if (!OpenLedger(db, this)) {
            markRow(ui->items->rowCount() - 1);
            return;
        }
        if (ItemExists(m_strItem)) {
            platform::messageBox(this, QStringLiteral("此项已存在!"), QStringLiteral("注意"),
                                 platform::MsgIcon::Exclamation);
            markRow(ui->items->rowCount() - 1);
            return;
        }
        InsertItem(db, m_strTable, m_strItem);
        db.close();
        FillItemList();
    }
    markRow(ui->items->rowCount() - 1);
}

void CItemsPage::OnModify() {
    const int row = firstSelectedRow();
    if (row < 0) {
        platform::messageBox(this, QStringLiteral("请选择需要修改的项!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    m_strOldItem = ui->items->item(row, kEntryColumn)->text();
    m_strItem = ui->entry->toPlainText();
    if (m_strItem.isEmpty()) {
        platform::messageBox(this, QStringLiteral("名目不能为空!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        markRow(row);
        return;
    }
    Database db;
    if (!OpenLedger(db, this))
        return;
    if (ItemExists(m_strItem)) {
        platform::messageBox(this, QStringLiteral("此项已存在!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    RenameItem(db, m_strTable, m_strOldItem, m_strItem);
    db.close();
    FillItemList();
    markRow(row);
}

void CItemsPage::OnDelete() {
    const int row = firstSelectedRow();
    if (row < 0) {
        platform::messageBox(this, QStringLiteral("请选择需要删除的项!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    const QString entry = ui->items->item(row, kEntryColumn)->text();
    const platform::MsgButton answer = platform::messageBox(
        this, QStringLiteral("确定要删除<") + entry + QStringLiteral(">记录吗?"), QStringLiteral("确认"),
        platform::MsgIcon::None, platform::Ok | platform::Cancel);
    if (answer == platform::Ok) {
        Database db;
        if (!OpenLedger(db, this))
            return;
        DeleteItem(db, m_strTable, entry);
        db.close();
        FillItemList();
        // The deleted text is gone: Enter in the box would otherwise add it straight back.
        ui->entry->clear();
    }
    // The row that took the deleted one's place, or the new last row; rows sharing the deleted
    // text went with it, so the list may have shrunk by more than one.
    markRow(qMin(row, ui->items->rowCount() - 1));
}
