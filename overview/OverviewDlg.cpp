#include "overview/OverviewDlg.h"

#include "overview/OverviewCharts.h"

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/JetSql.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "records/CsvExport.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>

namespace {

enum Page { IncomePage, ChargesPage, UsagePage };

const char* const kPageNames[] = {"月度收入", "收费情况", "房间用量"};

QString money(double value) {
    return jet::number2(value);
}

QTableWidget* makeTable(QWidget* parent, const QStringList& headings, const QString& accessibleName) {
    auto* t = new QTableWidget(0, int(headings.size()), parent);
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->setVisible(false);
    // The figures share the width: a wide last column left the amounts cramped.
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->setAccessibleName(accessibleName);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells, const QColor& colour = {}) {
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (colour.isValid())
            item->setForeground(colour);
        t->setItem(row, c, item);
    }
}

// The chart view takes the new chart; the old one is the window's to delete.
void replaceChart(QChartView* view, QChart* chart) {
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

QLabel* noteLabel(const QString& text, QWidget* parent) {
    auto* note = new QLabel(text, parent);
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: rgb(90, 90, 90)"));
    return note;
}

QString periodNote(bool byPeriod) {
    return byPeriod ? QStringLiteral("收据按收费时段计入月份（时段跨月时计入含其15日的各月），"
                                     "没有收费时段的按开票日期。")
                    : QStringLiteral("收据按开票日期计入月份（未启用收费时段）。");
}

// A room's name in a file name: what no file system takes becomes "_".
QString fileNamePart(QString text) {
    static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : text)
        if (kForbidden.contains(c) || c.unicode() < 0x20)
            c = u'_';
    return text.trimmed();
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

COverviewDlg::COverviewDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("收支统计"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    resize(960, 680);
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(buildIncomePage(), QString::fromUtf8(kPageNames[IncomePage]));
    m_tabs->addTab(buildChargesPage(), QString::fromUtf8(kPageNames[ChargesPage]));
    m_tabs->addTab(buildUsagePage(), QString::fromUtf8(kPageNames[UsagePage]));
    layout->addWidget(m_tabs);
    ShowIncome();
    ShowCharges();
    ShowUsage();
}

// ---- income by month ---------------------------------------------------------------------------

QWidget* COverviewDlg::buildIncomePage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    m_range = new QComboBox(page);
    m_range->addItems({QStringLiteral("最近12个月"), QStringLiteral("最近24个月"), QStringLiteral("按年份")});
    m_range->setAccessibleName(QStringLiteral("统计范围"));
    const int year = platform::now().date().year();
    m_fromYear = new QSpinBox(page);
    m_toYear = new QSpinBox(page);
    for (QSpinBox* s : {m_fromYear, m_toYear}) {
        s->setRange(1990, 2100);
        s->setValue(year);
        s->setEnabled(false);
    }
    m_fromYear->setAccessibleName(QStringLiteral("起始年份"));
    m_toYear->setAccessibleName(QStringLiteral("截止年份"));
    auto* save = button(QStringLiteral("保存图表(&P)..."), page);
    auto* exportCsv = button(QStringLiteral("导出表格(&E)..."), page);
    row->addWidget(new QLabel(QStringLiteral("统计范围："), page));
    row->addWidget(m_range);
    row->addWidget(m_fromYear);
    row->addWidget(new QLabel(QStringLiteral("年 至"), page));
    row->addWidget(m_toYear);
    row->addWidget(new QLabel(QStringLiteral("年"), page));
    row->addStretch();
    row->addWidget(save);
    row->addWidget(exportCsv);
    v->addLayout(row);
    m_incomeChart = new QChartView(page);
    m_incomeChart->setRenderHint(QPainter::Antialiasing);
    m_incomeChart->setAccessibleName(QStringLiteral("月度收入图"));
    m_incomeChart->setMinimumHeight(320);
    v->addWidget(m_incomeChart, 3);
    m_incomeTable = makeTable(page, {}, QStringLiteral("月度收入表"));
    v->addWidget(m_incomeTable, 2);
    v->addWidget(noteLabel(QStringLiteral("收入按开票日期统计：每张收据计入开票（收款）的月份。"
                                          "“取整”是合计取整到元时多收（负数为少收）的零头。"),
                           page));

    connect(m_range, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_fromYear->setEnabled(index == 2);
        m_toYear->setEnabled(index == 2);
        ShowIncome();
    });
    connect(m_fromYear, &QSpinBox::valueChanged, this, [this] { ShowIncome(); });
    connect(m_toYear, &QSpinBox::valueChanged, this, [this] { ShowIncome(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveChart(IncomePage); });
    connect(exportCsv, &QPushButton::clicked, this, [this] { ExportTable(IncomePage); });
    return page;
}

void COverviewDlg::ShowIncome() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    const QDate today = platform::now().date();
    QList<MonthIncome> months;
    switch (m_range->currentIndex()) {
    case 0:
        months = IncomeOfLastMonths(db, today, 12);
        break;
    case 1:
        months = IncomeOfLastMonths(db, today, 24);
        break;
    default:
        months = IncomeOfYears(db, m_fromYear->value(), m_toYear->value());
        break;
    }
    const QStringList parts = IncomePartNames(db);
    db.close();

    m_incomeTable->setColumnCount(int(parts.size()) + 3);
    m_incomeTable->setHorizontalHeaderLabels(
        QStringList{QStringLiteral("月份")} << parts << QStringLiteral("合计") << QStringLiteral("收据张数"));
    m_incomeTable->setRowCount(int(months.size()) + 1);
    MonthIncome sum;
    const auto cells = [](const QString& first, const MonthIncome& m) {
        QStringList out{first};
        for (double part : m.part)
            out << money(part);
        return out << money(m.total) << QString::number(m.receipts);
    };
    for (int i = 0; i < months.size(); ++i) {
        const MonthIncome& m = months[i];
        setRow(m_incomeTable, i, cells(m.month.toString(QStringLiteral("yyyy-MM")), m));
        for (int k = 0; k < IncomePartCount; ++k)
            sum.part[k] += m.part[k];
        sum.total += m.total;
        sum.receipts += m.receipts;
    }
    setRow(m_incomeTable, int(months.size()), cells(QStringLiteral("合计"), sum));
    m_incomeMonths = months.isEmpty()
                         ? QString()
                         : months.first().month.toString(QStringLiteral("yyyy-MM")) + QStringLiteral("至") +
                               months.last().month.toString(QStringLiteral("yyyy-MM"));
    replaceChart(m_incomeChart, BuildIncomeChart(months, parts));
    m_incomeTable->resizeColumnsToContents();
}

// ---- rooms charged in a month --------------------------------------------------------------------

QWidget* COverviewDlg::buildChargesPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    m_month = new QDateEdit(platform::now().date(), page);
    m_month->setDisplayFormat(QStringLiteral("yyyy年MM月"));
    m_month->setAccessibleName(QStringLiteral("月份"));
    auto* exportCsv = button(QStringLiteral("导出表格(&E)..."), page);
    row->addWidget(new QLabel(QStringLiteral("月份："), page));
    row->addWidget(m_month);
    row->addStretch();
    row->addWidget(exportCsv);
    v->addLayout(row);
    m_chargesSummary = new QLabel(page);
    m_chargesSummary->setAccessibleName(QStringLiteral("收费汇总"));
    QFont bold = m_chargesSummary->font();
    bold.setBold(true);
    m_chargesSummary->setFont(bold);
    v->addWidget(m_chargesSummary);
    m_chargesTable = makeTable(page,
                               {QStringLiteral("房间"), QStringLiteral("状态"), QStringLiteral("单号"),
                                QStringLiteral("合计"), QStringLiteral("应收房租")},
                               QStringLiteral("收费情况表"));
    v->addWidget(m_chargesTable);
    v->addWidget(new QLabel(QStringLiteral("[双击房间为其开新收据]"), page));
    m_chargesNote = noteLabel(QString(), page);
    v->addWidget(m_chargesNote);
    connect(m_month, &QDateEdit::dateChanged, this, [this] { ShowCharges(); });
    connect(exportCsv, &QPushButton::clicked, this, [this] { ExportTable(ChargesPage); });
    connect(m_chargesTable, &QTableWidget::cellDoubleClicked, this, [this](int r) {
        if (QTableWidgetItem* item = m_chargesTable->item(r, 0)) {
            m_chosenRoom = item->text();
            accept();
        }
    });
    return page;
}

void COverviewDlg::ShowCharges() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    const QDate month = m_month->date();
    const MonthCharges charges = ChargesOfMonth(db, month);
    db.close();
    m_chargesSummary->setText(ChargesSummary(month, charges));
    m_chargesNote->setText(periodNote(charges.byPeriod));
    m_chargesTable->setRowCount(int(charges.rooms.size()));
    for (int i = 0; i < charges.rooms.size(); ++i) {
        const RoomCharge& r = charges.rooms[i];
        if (r.charged())
            setRow(m_chargesTable, i,
                   {r.room, QStringLiteral("已开收据"), r.numbers.join(QStringLiteral("、")), money(r.total),
                    money(r.expectedRent)});
        else
            setRow(m_chargesTable, i,
                   {r.room, QStringLiteral("未开收据"), QString(), QString(), money(r.expectedRent)},
                   QColor(200, 0, 0));
    }
    m_chargesTable->resizeColumnsToContents();
}

// ---- usage per room -------------------------------------------------------------------------------

QWidget* COverviewDlg::buildUsagePage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    m_room = new QComboBox(page);
    m_room->setEditable(true);
    m_room->setMinimumWidth(200);
    m_room->setAccessibleName(QStringLiteral("房间"));
    m_room->setInsertPolicy(QComboBox::NoInsert);
    if (Database db; db.open())
        m_room->addItems(KnownRooms(db));
    auto* save = button(QStringLiteral("保存图表(&P)..."), page);
    auto* exportCsv = button(QStringLiteral("导出表格(&E)..."), page);
    row->addWidget(new QLabel(QStringLiteral("房间："), page));
    row->addWidget(m_room);
    row->addWidget(new QLabel(QStringLiteral("最近24个月"), page));
    row->addStretch();
    row->addWidget(save);
    row->addWidget(exportCsv);
    v->addLayout(row);
    m_usageChart = new QChartView(page);
    m_usageChart->setRenderHint(QPainter::Antialiasing);
    m_usageChart->setAccessibleName(QStringLiteral("房间用量图"));
    m_usageChart->setMinimumHeight(300);
    v->addWidget(m_usageChart, 3);
    m_unusual = new QLabel(page);
    m_unusual->setWordWrap(true);
    m_unusual->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0)"));
    m_unusual->setAccessibleName(QStringLiteral("用量异常"));
    v->addWidget(m_unusual);
    m_usageTable = makeTable(page,
                             {QStringLiteral("月份"), QStringLiteral("水"), QStringLiteral("电"),
                              QStringLiteral("热水"), QStringLiteral("用量异常")},
                             QStringLiteral("房间用量表"));
    v->addWidget(m_usageTable, 2);
    m_usageNote = noteLabel(QString(), page);
    v->addWidget(m_usageNote);
    connect(m_room, &QComboBox::currentTextChanged, this, [this] { ShowUsage(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveChart(UsagePage); });
    connect(exportCsv, &QPushButton::clicked, this, [this] { ExportTable(UsagePage); });
    return page;
}

void COverviewDlg::ShowUsage() {
    const QString room = m_room->currentText();
    Database db;
    if (!OpenLedger(db, this))
        return;
    const RoomUsage usage = UsageOfRoom(db, room, platform::now().date(), 24);
    db.close();

    m_usageTable->setRowCount(int(usage.months.size()));
    for (int i = 0; i < usage.months.size(); ++i) {
        const MonthUsage& m = usage.months[i];
        QStringList cells{m.month.toString(QStringLiteral("yyyy-MM"))};
        QStringList marks;
        for (int k = 0; k < UsageMeterCount; ++k) {
            // A month without a receipt, or a room without a hot-water meter, has no figure.
            cells << (m.has(k) ? money(m.usage[k]) : QString());
            if (m.unusual[k])
                marks << UsageMeterName(UsageMeter(k));
        }
        cells << marks.join(QStringLiteral("、"));
        setRow(m_usageTable, i, cells, marks.isEmpty() ? QColor() : QColor(200, 0, 0));
    }
    const QStringList unusualLines = UnusualUsageLines(usage);
    m_unusual->setText(
        QStringLiteral("用量异常（超过中位数两倍）：") +
        (unusualLines.isEmpty() ? QStringLiteral("无") : unusualLines.join(QStringLiteral("；"))));
    m_usageNote->setText(periodNote(usage.byPeriod) +
                         QStringLiteral("一张收据跨几个月时，用量平均分到各月。"));
    replaceChart(m_usageChart, BuildUsageChart(usage, room));
    m_usageTable->resizeColumnsToContents();
}

// ---- files -----------------------------------------------------------------------------------------

QTableWidget* COverviewDlg::table(int page) const {
    return page == IncomePage ? m_incomeTable : page == ChargesPage ? m_chargesTable : m_usageTable;
}

// "收支统计-房间用量-A101": what the file holds, so that two of them never take one name.
QString COverviewDlg::fileStem(int page) const {
    QString what;
    if (page == IncomePage)
        what = m_incomeMonths;
    else if (page == ChargesPage)
        what = m_month->date().toString(QStringLiteral("yyyy-MM"));
    else
        what = fileNamePart(m_room->currentText());
    QString stem = QStringLiteral("收支统计-") + QString::fromUtf8(kPageNames[page]);
    return what.isEmpty() ? stem : stem + u'-' + what;
}

bool COverviewDlg::SaveChart(int page) {
    if (page != UsagePage)
        page = IncomePage;
    QChartView* view = page == UsagePage ? m_usageChart : m_incomeChart;
    const auto answer =
        platform::getSaveFileName(this, {QStringLiteral("保存图表"),
                                         {{QStringLiteral("PNG图片(.png)"), QStringLiteral("*.png")}},
                                         0,
                                         fileStem(page) + QStringLiteral(".png"),
                                         {}});
    if (!answer)
        return false;
    if (!view->grab().save(answer->path, "PNG")) {
        platform::messageBox(this, QStringLiteral("文件%1写入失败！").arg(answer->path),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        return false;
    }
    return true;
}

bool COverviewDlg::ExportTable(int page) {
    const auto answer =
        platform::getSaveFileName(this, {QStringLiteral("导出表格"),
                                         {{QStringLiteral("表格文件(.csv)"), QStringLiteral("*.csv")}},
                                         0,
                                         fileStem(page) + QStringLiteral(".csv"),
                                         {}});
    if (!answer)
        return false;
    // Each line of the charges says its month and each line of the usage its room, so that files
    // put side by side in a spreadsheet still say what they hold.
    QString context, contextHeading;
    if (page == ChargesPage) {
        contextHeading = QStringLiteral("月份");
        context = m_month->date().toString(QStringLiteral("yyyy-MM"));
    } else if (page == UsagePage) {
        contextHeading = QStringLiteral("房间");
        context = m_room->currentText();
    }
    const QTableWidget* t = table(page);
    QList<QStringList> lines;
    QStringList heading;
    if (page != IncomePage)
        heading << contextHeading;
    for (int c = 0; c < t->columnCount(); ++c)
        heading << t->horizontalHeaderItem(c)->text();
    lines << heading;
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList cells;
        if (page != IncomePage)
            cells << context;
        for (int c = 0; c < t->columnCount(); ++c)
            cells << (t->item(r, c) ? t->item(r, c)->text() : QString());
        lines << cells;
    }
    if (!WriteCsvTable(answer->path, lines)) {
        platform::messageBox(this, QStringLiteral("文件%1写入失败！").arg(answer->path),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        return false;
    }
    return true;
}
