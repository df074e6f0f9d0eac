#include "overview/OverviewDlg.h"

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/JetSql.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "records/CsvExport.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>

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
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    view->setChart(chart);
    delete old;
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
    m_incomeTable = makeTable(page,
                              {QStringLiteral("月份"), QStringLiteral("房租"), QStringLiteral("水费"),
                               QStringLiteral("电费"), QStringLiteral("热水费"), QStringLiteral("其他费用"),
                               QStringLiteral("合计"), QStringLiteral("收据张数")},
                              QStringLiteral("月度收入表"));
    v->addWidget(m_incomeTable, 2);

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
    db.close();

    const QStringList names{QStringLiteral("房租"), QStringLiteral("水费"), QStringLiteral("电费"),
                            QStringLiteral("热水费"), QStringLiteral("其他费用")};
    const QColor colours[] = {QColor(70, 110, 200), QColor(80, 170, 220), QColor(240, 170, 40),
                              QColor(220, 90, 70), QColor(150, 150, 150)};
    QList<QBarSet*> sets;
    for (int i = 0; i < names.size(); ++i) {
        sets << new QBarSet(names[i]);
        sets.last()->setColor(colours[i]);
        sets.last()->setBorderColor(colours[i]);
    }
    auto* bars = new QStackedBarSeries;
    // The total over each bar: a point at the top of the bar that shows only its label.
    auto* totals = new QScatterSeries;
    totals->setName(QStringLiteral("合计"));
    totals->setMarkerSize(1);
    totals->setColor(Qt::transparent);
    totals->setBorderColor(Qt::transparent);
    totals->setPointLabelsVisible(true);
    totals->setPointLabelsClipping(false);
    totals->setPointLabelsFormat(QStringLiteral("@yPoint"));
    QStringList categories;
    double top = 0;
    double bottom = 0;
    m_incomeTable->setRowCount(int(months.size()) + 1);
    MonthIncome sum;
    for (int i = 0; i < months.size(); ++i) {
        const MonthIncome& m = months[i];
        const double parts[] = {m.rent, m.water, m.electricity, m.hotWater, m.other};
        double positive = 0;
        double negative = 0;
        for (int k = 0; k < 5; ++k) {
            *sets[k] << parts[k];
            (parts[k] >= 0 ? positive : negative) += parts[k];
        }
        top = std::max(top, positive);
        bottom = std::min(bottom, negative);
        totals->append(i, m.total);
        categories << m.month.toString(QStringLiteral("yyyy-MM"));
        setRow(m_incomeTable, i,
               {categories.last(), money(m.rent), money(m.water), money(m.electricity), money(m.hotWater),
                money(m.other), money(m.total), QString::number(m.receipts)});
        sum.rent += m.rent;
        sum.water += m.water;
        sum.electricity += m.electricity;
        sum.hotWater += m.hotWater;
        sum.other += m.other;
        sum.total += m.total;
        sum.receipts += m.receipts;
    }
    setRow(m_incomeTable, int(months.size()),
           {QStringLiteral("合计"), money(sum.rent), money(sum.water), money(sum.electricity),
            money(sum.hotWater), money(sum.other), money(sum.total), QString::number(sum.receipts)});
    bars->append(sets);

    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("月度收入（元）"));
    chart->addSeries(bars);
    chart->addSeries(totals);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    if (categories.size() > 12)
        x->setLabelsAngle(-90);
    auto* y = new QValueAxis;
    y->setRange(bottom, top > 0 ? top * 1.15 : 100);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    // The totals' point is no entry of the legend.
    chart->legend()->markers(totals).value(0)->setVisible(false);
    replaceChart(m_incomeChart, chart);
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

    const QStringList names{QStringLiteral("水"), QStringLiteral("电"), QStringLiteral("热水")};
    const QColor colours[] = {QColor(40, 120, 220), QColor(240, 160, 30), QColor(200, 70, 60)};
    QList<QLineSeries*> lines;
    for (int k = 0; k < UsageMeterCount; ++k) {
        lines << new QLineSeries;
        lines.last()->setName(names[k]);
        lines.last()->setColor(colours[k]);
        lines.last()->setPointsVisible(true);
    }
    auto* unusual = new QScatterSeries;
    unusual->setName(QStringLiteral("用量异常"));
    unusual->setColor(QColor(220, 0, 0));
    unusual->setBorderColor(QColor(220, 0, 0));
    unusual->setMarkerSize(11);
    QStringList categories;
    double top = 0;
    double bottom = 0;
    m_usageTable->setRowCount(int(usage.months.size()));
    for (int i = 0; i < usage.months.size(); ++i) {
        const MonthUsage& m = usage.months[i];
        categories << m.month.toString(QStringLiteral("yyyy-MM"));
        QStringList cells{categories.last()};
        QStringList marks;
        for (int k = 0; k < UsageMeterCount; ++k) {
            if (!m.hasReceipt) {
                cells << QString();
                continue;
            }
            lines[k]->append(i, m.usage[k]);
            top = std::max(top, m.usage[k]);
            bottom = std::min(bottom, m.usage[k]);
            cells << money(m.usage[k]);
            if (m.unusual[k]) {
                unusual->append(i, m.usage[k]);
                marks << names[k];
            }
        }
        cells << marks.join(QStringLiteral("、"));
        setRow(m_usageTable, i, cells, marks.isEmpty() ? QColor() : QColor(200, 0, 0));
    }
    const QStringList unusualLines = UnusualUsageLines(usage);
    m_unusual->setText(
        QStringLiteral("用量异常（超过中位数两倍）：") +
        (unusualLines.isEmpty() ? QStringLiteral("无") : unusualLines.join(QStringLiteral("；"))));

    auto* chart = new QChart;
    chart->setTitle(room.isEmpty() ? QStringLiteral("房间用量") : room + QStringLiteral(" 用量"));
    for (QLineSeries* l : lines)
        chart->addSeries(l);
    chart->addSeries(unusual);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsAngle(-90);
    auto* y = new QValueAxis;
    y->setRange(bottom, top > 0 ? top * 1.1 : 10);
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    replaceChart(m_usageChart, chart);
    m_usageTable->resizeColumnsToContents();
}

// ---- files -----------------------------------------------------------------------------------------

QTableWidget* COverviewDlg::table(int page) const {
    return page == IncomePage ? m_incomeTable : page == ChargesPage ? m_chargesTable : m_usageTable;
}

bool COverviewDlg::SaveChart(int page) {
    QChartView* view = page == UsagePage ? m_usageChart : m_incomeChart;
    const auto answer = platform::getSaveFileName(
        this,
        {QStringLiteral("保存图表"),
         {{QStringLiteral("PNG图片(.png)"), QStringLiteral("*.png")}},
         0,
         QStringLiteral("收支统计-%1.png").arg(QString::fromUtf8(kPageNames[page == UsagePage ? 2 : 0])),
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
    const auto answer = platform::getSaveFileName(
        this, {QStringLiteral("导出表格"),
               {{QStringLiteral("表格文件(.csv)"), QStringLiteral("*.csv")}},
               0,
               QStringLiteral("收支统计-%1.csv").arg(QString::fromUtf8(kPageNames[page])),
               {}});
    if (!answer)
        return false;
    const QTableWidget* t = table(page);
    QList<QStringList> lines;
    QStringList heading;
    for (int c = 0; c < t->columnCount(); ++c)
        heading << t->horizontalHeaderItem(c)->text();
    lines << heading;
    for (int r = 0; r < t->rowCount(); ++r) {
        QStringList cells;
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
