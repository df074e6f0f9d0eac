#include "overview/OverviewCharts.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsObject>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>

namespace {

// Numbers of the axes in the same form as the labels: "1,000,000.00".
QLocale groupingLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale;
}

QChart* newChart(const QString& plainTitle) {
    auto* chart = new QChart;
    // A chart's title and its legend's entries are markup to Qt; rooms and captions are not.
    chart->setTitle(plainTitle.toHtmlEscaped());
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setLocale(groupingLocale());
    chart->setLocalizeNumbers(true);
    return chart;
}

// The totals over the bars: upright while they fit side by side, turned a quarter when not, and
// one left out where even that would touch its neighbour. The value axis grows until each stands
// inside the plot above its bar.
class BarTotals : public QGraphicsObject {
public:
    BarTotals(QChart* chart, QAbstractSeries* anchor, QValueAxis* axis, QList<double> tops,
              QList<double> totals, QList<bool> shown)
        : QGraphicsObject(chart), m_chart(chart), m_anchor(anchor), m_axis(axis), m_tops(std::move(tops)),
          m_totals(std::move(totals)), m_shown(std::move(shown)) {
        m_font = axis->labelsFont();
        setZValue(100); // over the bars
        connect(chart, &QChart::plotAreaChanged, this, [this] {
            fitAxis();
            update();
        });
        connect(axis, &QValueAxis::rangeChanged, this, [this] { update(); });
    }

    struct Placed {
        QRectF rect;
        QString text;
        bool turned = false;
        qsizetype index = 0;
    };

    // The labels where they go now; those that would stand outside the plot are left out.
    QList<Placed> placed() const {
        QList<Placed> out;
        const QRectF plot = m_chart->plotArea();
        for (const Placed& p : wanted())
            if (plot.contains(p.rect))
                out << p;
        return out;
    }

    QRectF boundingRect() const override { return m_chart->rect(); }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        painter->setFont(m_font);
        painter->setPen(m_axis->labelsBrush().color());
        for (const Placed& p : placed()) {
            if (!p.turned) {
                painter->drawText(p.rect, Qt::AlignCenter, p.text);
                continue;
            }
            painter->save();
            painter->translate(p.rect.bottomLeft());
            painter->rotate(-90);
            painter->drawText(QRectF(0, 0, p.rect.height(), p.rect.width()), Qt::AlignCenter, p.text);
            painter->restore();
        }
    }

private:
    static constexpr double kGap = 3; // between a bar's top and its label

    QPointF at(qsizetype i, double value) const {
        return m_chart->mapToPosition(QPointF(double(i), value), m_anchor);
    }

    QList<Placed> wanted() const {
        QList<Placed> out;
        const QFontMetricsF metrics(m_font);
        const double height = metrics.height();
        double widest = 0;
        for (qsizetype i = 0; i < m_totals.size(); ++i)
            if (m_shown[i])
                widest = std::max(widest, metrics.horizontalAdvance(GroupedMoney(m_totals[i])));
        const double step =
            m_totals.size() > 1 ? std::abs(at(1, 0).x() - at(0, 0).x()) : m_chart->plotArea().width();
        const bool turned = widest + 10 > step;
        for (qsizetype i = 0; i < m_totals.size(); ++i) {
            if (!m_shown[i])
                continue;
            Placed p;
            p.text = GroupedMoney(m_totals[i]);
            p.turned = turned;
            p.index = i;
            const double x = at(i, 0).x();
            const double top = at(i, m_tops[i]).y() - kGap;
            const double w = metrics.horizontalAdvance(p.text) + 2;
            p.rect = turned ? QRectF(x - height / 2, top - w, height, w)
                            : QRectF(x - w / 2, top - height, w, height);
            if (!out.isEmpty() && out.last().rect.intersects(p.rect))
                continue;
            out << p;
        }
        return out;
    }

    // Raises the axis' top until the labels stand inside the plot; a plot too low for that keeps
    // its axis and leaves the labels out.
    void fitAxis() {
        const QRectF plot = m_chart->plotArea();
        const double h = plot.height();
        const double low = m_axis->min();
        double needed = m_axis->max();
        for (const Placed& p : wanted()) {
            const double room = p.rect.height() + kGap + 1;
            if (h <= 0 || room > h * 0.6)
                return;
            const double top = m_tops[p.index];
            needed = std::max(needed, (top * h - room * low) / (h - room));
        }
        if (needed > m_axis->max() * (1 + 1e-9)) {
            m_axis->setMax(needed);
            m_axis->applyNiceNumbers();
        }
    }

    QChart* m_chart;
    QAbstractSeries* m_anchor;
    QValueAxis* m_axis;
    QList<double> m_tops;
    QList<double> m_totals;
    QList<bool> m_shown;
    QFont m_font;
};

QValueAxis* valueAxis(QChart* chart, Qt::Alignment side, const QString& title, const QColor& colour,
                      double low, double high, const QString& format) {
    auto* axis = new QValueAxis;
    axis->setRange(std::min(0.0, low), high > 0 ? high : 10);
    axis->applyNiceNumbers();
    axis->setLabelFormat(format);
    if (!title.isEmpty()) {
        axis->setTitleText(title);
        axis->setTitleBrush(colour);
        axis->setLinePenColor(colour);
    }
    chart->addAxis(axis, side);
    return axis;
}

} // namespace

QString GroupedMoney(double value) {
    if (!std::isfinite(value))
        value = 0;
    const QString s = groupingLocale().toString(value, 'f', 2);
    return s == QLatin1String("-0.00") ? QStringLiteral("0.00") : s;
}

// ---- income ----------------------------------------------------------------------------------------

QChart* BuildIncomeChart(const QList<MonthIncome>& months, const QStringList& partNames) {
    static const QColor colours[IncomePartCount] = {
        QColor(70, 110, 200),  QColor(80, 170, 220), QColor(240, 170, 40), QColor(220, 90, 70),
        QColor(140, 90, 180),  QColor(90, 170, 90),  QColor(40, 150, 150), QColor(160, 110, 60),
        QColor(150, 150, 150), QColor(220, 150, 190)};
    auto* bars = new QStackedBarSeries;
    QStringList categories;
    QList<double> tops, totals;
    QList<bool> shown;
    double top = 0, bottom = 0;
    for (const MonthIncome& m : months) {
        categories << m.month.toString(QStringLiteral("yyyy-MM"));
        double positive = 0, negative = 0;
        for (double part : m.part)
            (part >= 0 ? positive : negative) += part;
        top = std::max(top, positive);
        bottom = std::min(bottom, negative);
        tops << std::max(positive, m.total);
        totals << m.total;
        shown << (m.receipts > 0);
    }
    for (int k = 0; k < IncomePartCount; ++k) {
        const bool used =
            k == IncomeRent ||
            std::any_of(months.begin(), months.end(), [k](const MonthIncome& m) { return m.part[k] != 0; });
        if (!used)
            continue;
        auto* set = new QBarSet(partNames.value(k).toHtmlEscaped());
        set->setColor(colours[k]);
        set->setBorderColor(colours[k]);
        for (const MonthIncome& m : months)
            *set << m.part[k];
        bars->append(set);
    }
    QChart* chart = newChart(QStringLiteral("月度收入（元）"));
    chart->addSeries(bars);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    if (categories.size() > 12)
        x->setLabelsAngle(-90);
    chart->addAxis(x, Qt::AlignBottom);
    // Fen of rounding down would take a whole step of the axis below zero for nothing to see.
    if (-bottom < top * 0.02)
        bottom = 0;
    QValueAxis* y = valueAxis(chart, Qt::AlignLeft, {}, {}, bottom, top * 1.15, QStringLiteral("%.2f"));
    bars->attachAxis(x);
    bars->attachAxis(y);
    new BarTotals(chart, bars, y, tops, totals, shown);
    return chart;
}

QList<ChartLabel> BarTotalLabels(const QChart* chart) {
    QList<ChartLabel> out;
    for (QGraphicsItem* item : chart->childItems())
        if (const auto* totals = dynamic_cast<const BarTotals*>(item))
            for (const BarTotals::Placed& p : totals->placed())
                out << ChartLabel{p.rect, p.text};
    return out;
}

// ---- usage -----------------------------------------------------------------------------------------

QChart* BuildUsageChart(const RoomUsage& usage, const QString& room) {
    struct Meter {
        QString name;
        QString axisTitle;
        QColor colour;
        Qt::Alignment side;
        QString format;
    };
    const Meter meters[UsageMeterCount] = {{QStringLiteral("水"), QStringLiteral("水（吨）"),
                                            QColor(40, 120, 220), Qt::AlignLeft, QStringLiteral("%.1f")},
                                           {QStringLiteral("电"), QStringLiteral("电（度）"),
                                            QColor(240, 140, 20), Qt::AlignRight, QStringLiteral("%.0f")},
                                           {QStringLiteral("热水"), QStringLiteral("热水（吨）"),
                                            QColor(200, 60, 60), Qt::AlignLeft, QStringLiteral("%.1f")}};
    QChart* chart = newChart(room.isEmpty() ? QStringLiteral("房间用量") : room + QStringLiteral(" 用量"));
    auto* x = new QBarCategoryAxis;
    QList<const MonthUsage*> shown;
    for (const MonthUsage& m : usage.months)
        if (m.hasReceipt) {
            shown << &m;
            x->append(m.month.toString(QStringLiteral("yyyy-MM")));
        }
    if (shown.size() > 12)
        x->setLabelsAngle(-90);
    chart->addAxis(x, Qt::AlignBottom);
    // The lines first, so that the legend names the meters before the marks.
    QList<std::pair<QScatterSeries*, QValueAxis*>> marks;
    for (int k = 0; k < UsageMeterCount; ++k) {
        auto* line = new QLineSeries;
        line->setName(meters[k].name);
        line->setColor(meters[k].colour);
        line->setPointsVisible(true);
        auto* unusual = new QScatterSeries;
        unusual->setName(QStringLiteral("用量异常"));
        unusual->setColor(QColor(220, 0, 0));
        unusual->setBorderColor(QColor(220, 0, 0));
        unusual->setMarkerSize(11);
        double low = 0, high = 0;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const MonthUsage& m = *shown[i];
            if (!m.has(k))
                continue;
            line->append(double(i), m.usage[k]);
            low = std::min(low, m.usage[k]);
            high = std::max(high, m.usage[k]);
            if (m.unusual[k])
                unusual->append(double(i), m.usage[k]);
        }
        // A room without a hot-water meter gets no hot-water line at all.
        if (k == UsageHotWater && line->count() == 0) {
            delete line;
            delete unusual;
            continue;
        }
        chart->addSeries(line);
        QValueAxis* y = valueAxis(chart, meters[k].side, meters[k].axisTitle, meters[k].colour, low,
                                  high * 1.1, meters[k].format);
        line->attachAxis(x);
        line->attachAxis(y);
        marks.append({unusual, y});
    }
    bool unusualInLegend = false;
    for (const auto& [unusual, y] : marks) {
        chart->addSeries(unusual);
        unusual->attachAxis(x);
        unusual->attachAxis(y);
        // One "用量异常" in the legend, whichever meter has the marks.
        const bool inLegend = !unusualInLegend && unusual->count() > 0;
        chart->legend()->markers(unusual).value(0)->setVisible(inLegend);
        unusualInLegend = unusualInLegend || inLegend;
    }
    return chart;
}
