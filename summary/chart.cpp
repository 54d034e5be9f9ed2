// SPDX-License-Identifier: MIT
#include "summary/chart.h"

#include "calc/spelling.h"
#include "summary/chartcommon.h"

#include <QFont>
#include <QFontMetricsF>
#include <QObject>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace summary {

QString typeset(QString text)
{
    static const QRegularExpression decimal(QStringLiteral("(?<=\\d)\\.(?=\\d)"));
    static const QRegularExpression minus(QStringLiteral("-(?=\\d)"));
    static const QRegularExpression unit(QStringLiteral("(?<=\\d) (?=тыс\\.|млн|%|гг?\\.)"));
    return text.replace(decimal, QStringLiteral(","))
        .replace(minus, QStringLiteral("\u2212"))
        .replace(unit, QStringLiteral("\u00A0"));
}

QStringList wrap(
    const QStringList &items, const QFontMetricsF &metrics, double width, const QString &separator)
{
    QStringList lines;
    QString line;
    for (const QString &item : items) {
        if (item.isEmpty())
            continue;
        const QString joined = line.isEmpty() ? item : line + separator + item;
        if (metrics.horizontalAdvance(joined) <= width) {
            line = joined;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line.clear();
        for (const QString &word : item.split(u' ')) {
            const QString longer = line.isEmpty() ? word : line + u' ' + word;
            if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
                lines << line;
                line = word;
            } else {
                line = longer;
            }
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

void drawLines(QPainter &p, const QStringList &lines, double left, double top, double width)
{
    const double line = QFontMetricsF(p.font()).lineSpacing();
    for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(QRectF(left, top + double(i) * line, width, line),
            Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
}

void drawLegendText(QPainter &p, QPointF mark, double pictureWidth, const QString &text)
{
    p.setPen(Qt::black);
    p.drawText(QRectF(mark.x() + 18, mark.y() - 11, pictureWidth - 10 - mark.x() - 18, 22),
        Qt::AlignLeft | Qt::AlignVCenter, text);
}

void fitPicture(QPainter &painter, double areaWidth, double areaHeight)
{
    const double scale = std::min(areaWidth / Width, areaHeight / Height);
    painter.translate((areaWidth - Width * scale) / 2, (areaHeight - Height * scale) / 2);
    painter.scale(scale, scale);
}

double niceStep(double span, int count)
{
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

namespace {

const QColor JoinpointColor(0x6a, 0x1b, 0x9a);
const QColor ExpectedColor(0xd9, 0x82, 0x2b);

// «−3,2 % (−4,1; −2,3)»: a change with its interval.
QString withInterval(double value, double low, double high)
{
    return QStringLiteral("%1\u00A0% (%2; %3)")
        .arg(spelling::percent(value), spelling::percent(low), spelling::percent(high));
}

// The expected level is marked where the year has a value and bounds.
bool drawsExpected(const stats::ReportYear &report)
{
    return stats::verdictExpected(report) && report.value && stats::verdictBounds(report);
}

// The joinpoint fit is drawn where it exists for every year.
bool drawsFit(const analysis::SeriesResult &result)
{
    return result.joinpoints && result.joinpoints->reason == stats::Reason::None
        && result.joinpoints->fitted.size() == std::size_t(result.practice.count);
}

// One chart: the frame and scales first, then each layer in drawing order.
class Chart
{
public:
    Chart(QPainter &painter, const RowInput &row, const QString &valueName)
        : p(painter)
        , s(row.result.series)
        , r(row.result.practice)
        , ols(row.result.ols)
        , tests(row.result.tests)
        , report(drawsExpected(row.result.report) ? &row.result.report : nullptr)
        , joinpoints(drawsFit(row.result) ? &*row.result.joinpoints : nullptr)
        , model(row.result.model)
        , valueName(valueName)
        , n(r.count)
    {
        layOut();
        scale();
    }

    void draw()
    {
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(QRectF(0, 0, Width, Height), Qt::white);
        axes();
        trend();
        joinpointFit();
        // The forecast's label is always drawn: the years' give way to it.
        place(forecastLabel());
        actual();
        forecast();
        reportYear();
        legend();
        footnote();
        valueAxis();
    }

private:
    enum class Mark { Actual, Trend, Forecast, Expected, Joinpoints };
    struct Entry {
        Mark mark;
        QString text;
        QPointF at; // the marker's centre; the text follows it
    };

    // From the bottom up: the footnote's lines, the legend's rows, the
    // years, and the plot takes what is left, so that however many lines
    // the texts need, nothing runs past the picture or over another.
    void layOut()
    {
        const double left = plot.left(), width = Width - 10 - left;
        const QFontMetricsF note(small), normal(font);
        notes = wrap(statusItems(), note, width) + wrap(modelItems(), note, width);
        footnoteTop = Height - 6 - double(notes.size()) * note.lineSpacing();

        // Each entry on the row it fits in whole; a row is begun when not.
        const double rowHeight = std::max(22.0, normal.height() + 6);
        entries = legendEntries();
        double lx = left;
        int row = 0;
        for (Entry &e : entries) {
            e.text = normal.elidedText(e.text, Qt::ElideRight, width - 30);
            const double w = 30 + normal.horizontalAdvance(e.text);
            if (lx > left && lx + w > left + width) {
                lx = left;
                ++row;
            }
            e.at = QPointF(lx + 12, row); // its row, until the rows are counted
            lx += w + 28;
        }
        const double legendTop = footnoteTop - 6 - (row + 1) * rowHeight;
        for (Entry &e : entries)
            e.at.setY(legendTop + (e.at.y() + 0.5) * rowHeight);
        const double bottom = legendTop - 6 - (6 + note.height());
        plot.setBottom(std::max(plot.top() + 100, bottom));
    }

    // Value range over everything drawn, finite values only, with room
    // above and below so that no point sits on the frame.
    void scale()
    {
        double lo = INFINITY, hi = -INFINITY;
        const auto take = [&](double v) {
            if (std::isfinite(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        };
        for (int i = 0; i < n; ++i) {
            take(s.values[std::size_t(i)]);
            take(r.theoreticalLevels[std::size_t(i)]);
        }
        take(r.forecastLevel);
        for (int i = 0; joinpoints && i < n; ++i)
            take(std::exp(joinpoints->fitted[std::size_t(i)]));
        if (report)
            take(*stats::verdictExpected(*report));
        // Incidence is not below 0: the axis of a series that never is
        // starts there, or, where a line drawn goes below (a forecast
        // just under 0), at that line; an interval that reaches further
        // is drawn down to the axis and does not stretch it.
        const bool negativeValues
            = std::any_of(s.values.begin(), s.values.begin() + n, [](double v) { return v < 0; });
        const bool fromZero = !(lo < 0); // the values are among the lines
        const double floor = std::isfinite(lo) ? std::min(lo, 0.0) : 0.0;
        std::vector<double> intervals {ols.piLow, ols.piHigh};
        if (report)
            intervals.insert(intervals.end(), {bounds().first, bounds().second});
        for (const double v : intervals)
            take(negativeValues ? v : std::max(v, floor));
        if (!std::isfinite(lo)) {
            lo = 0;
            hi = 1;
        }
        if (hi - lo < 1e-12 * std::max(1.0, std::fabs(hi))) {
            lo -= std::max(1.0, std::fabs(lo) * 0.1);
            hi += std::max(1.0, std::fabs(hi) * 0.1);
        }
        const double pad = (hi - lo) * 0.06;
        lo = fromZero ? 0.0 : lo - pad;
        hi += pad * 1.5;
        step = niceStep(hi - lo, 6);
        yMin = std::floor(lo / step) * step;
        yMax = std::ceil(hi / step) * step;
        // Year labels are thinned out so that they do not overlap.
        const double labelWidth
            = QFontMetricsF(small).horizontalAdvance(QStringLiteral("0000")) + 8;
        every = std::max(1, int(std::ceil(labelWidth / (plot.width() / (n + 1)))));
    }

    // Positions: n years and the forecast year.
    double x(int i) const { return plot.left() + plot.width() * (i + 0.5) / (n + 1); }
    double y(double v) const { return plot.bottom() - plot.height() * (v - yMin) / (yMax - yMin); }

    // A line through one point per year.
    QPainterPath through(const std::vector<double> &levels) const
    {
        QPainterPath path;
        path.moveTo(x(0), y(levels.front()));
        for (int i = 1; i < n; ++i)
            path.lineTo(x(i), y(levels[std::size_t(i)]));
        return path;
    }

    // A vertical interval with its ends marked; below the axis it stops at
    // the axis, unmarked.
    void interval(double at, double low, double high)
    {
        p.drawLine(QPointF(at, y(std::max(low, yMin))), QPointF(at, y(high)));
        for (const double v : {low, high}) {
            if (v >= yMin)
                p.drawLine(QPointF(at - 5, y(v)), QPointF(at + 5, y(v)));
        }
    }

    void diamond(QPointF c)
    {
        p.setPen(QPen(TrendColor, 1.5));
        p.setBrush(Qt::white);
        QPolygonF d;
        d << c + QPointF(0, -7) << c + QPointF(7, 0) << c + QPointF(0, 7) << c + QPointF(-7, 0);
        p.drawPolygon(d);
    }

    // Title, grid, value axis and year axis.
    void axes()
    {
        p.setFont(titleFont);
        p.setPen(Qt::black);
        // A long label is cut short rather than cut off by the edges.
        p.drawText(QRectF(0, 10, Width, 36), Qt::AlignCenter,
            QFontMetricsF(titleFont).elidedText(
                table::displayLabel(s.labels, s.line), Qt::ElideRight, Width - 20));

        p.setFont(small);
        // Counted as well as stepped: on an infinite scale, or one whose
        // step is too small to move v, the lines would never end.
        int lines = std::isfinite(yMax - yMin) ? 0 : MaxGridLines;
        for (double v = yMin; v <= yMax + step / 2 && lines++ < MaxGridLines; v += step) {
            p.setPen(QPen(GridColor, 1));
            p.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
            p.setPen(Qt::black);
            const QString mark = spelling::tick(std::fabs(v) < step * 1e-9 ? 0.0 : v, step);
            const QSizeF size(QFontMetricsF(small).horizontalAdvance(mark), 16);
            const QRectF at(QPointF(plot.left() - 8 - size.width(), y(v) - 8), size);
            placed.push_back(at);
            p.drawText(at, Qt::AlignRight | Qt::AlignVCenter, mark);
        }
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(plot.bottomLeft(), plot.bottomRight());
        p.drawLine(plot.bottomLeft(), plot.topLeft());

        for (int i = 0; i <= n; ++i) {
            // The forecast year always, and no year too close before it.
            if (i != n && (i % every != 0 || n - i < every))
                continue;
            p.drawLine(QPointF(x(i), plot.bottom()), QPointF(x(i), plot.bottom() + 4));
            p.drawText(QRectF(x(i) - 30, plot.bottom() + 6, 60, 16),
                Qt::AlignHCenter | Qt::AlignTop, QString::number(s.years[std::size_t(i)]));
        }
    }

    // The theoretical levels, then a dashed step to the forecast.
    void trend()
    {
        p.setPen(QPen(TrendColor, 2.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(through(r.theoreticalLevels));
        p.setPen(QPen(TrendColor, 2, Qt::DashLine));
        p.drawLine(
            QPointF(x(n - 1), y(r.theoreticalLevels.back())), QPointF(x(n), y(r.forecastLevel)));
    }

    // The rectangle of a label `text` centred `rise` above `point`, moved
    // in from the picture's right edge.
    QRectF labelRect(QPointF point, double rise, const QString &text) const
    {
        const QFontMetricsF metrics(small);
        const QSizeF size(metrics.horizontalAdvance(text), metrics.height());
        const double left = std::min(point.x() - size.width() / 2, Width - 4 - size.width());
        return {QPointF(left, point.y() - rise - size.height() / 2), size};
    }

    // Whether a label keeps clear of every one drawn so far; it is then
    // counted as drawn.
    bool place(const QRectF &label)
    {
        const QRectF clear = label.adjusted(-LabelGap, -LabelGap, LabelGap, LabelGap);
        if (std::any_of(placed.begin(), placed.end(),
                [&](const QRectF &other) { return other.intersects(clear); }))
            return false;
        placed.push_back(label);
        return true;
    }

    // Actual values with their numbers, where a number has room: the table
    // has them all.
    void actual()
    {
        p.setPen(QPen(ActualColor, 1.5));
        p.drawPath(through(s.values));
        p.setBrush(ActualColor);
        for (int i = 0; i < n; ++i) {
            const QPointF point(x(i), y(s.values[std::size_t(i)]));
            p.drawEllipse(point, 3.5, 3.5);
            const QString value = spelling::rate(s.values[std::size_t(i)]);
            const QRectF label = labelRect(point, 14, value);
            if (place(label)) {
                p.setPen(ActualColor);
                p.drawText(label, Qt::AlignCenter, value);
                p.setPen(QPen(ActualColor, 1.5));
            }
        }
    }

    QRectF forecastLabel() const
    {
        return labelRect(QPointF(x(n), y(r.forecastLevel)), 18, spelling::rate(r.forecastLevel));
    }

    // The least-squares prediction interval of the forecast year, then the
    // method's forecast on it.
    void forecast()
    {
        if (std::isfinite(ols.piLow) && std::isfinite(ols.piHigh)) {
            p.setPen(QPen(Qt::darkGray, 1.5));
            interval(x(n) + 14, ols.piLow, ols.piHigh);
        }
        diamond(QPointF(x(n), y(r.forecastLevel)));
        p.setPen(TrendColor);
        p.drawText(forecastLabel(), Qt::AlignCenter, spelling::rate(r.forecastLevel));
    }

    // The bounds the verdict goes by: about the expected level, or, by
    // Poisson, about the year's rate.
    std::pair<double, double> bounds() const { return *stats::verdictBounds(*report); }

    // The reporting year's expected level beside its actual point, with the
    // bounds as an interval.
    void reportYear()
    {
        if (!report)
            return;
        const int i = report->year - s.years.front();
        const bool aroundValue = report->by == stats::ExpectedBy::Poisson;
        const double bx = x(i) + (aroundValue ? 0 : 12);
        const auto [low, high] = bounds();
        p.setPen(QPen(ExpectedColor, 1.5));
        interval(bx, low, high);
        expectedMark(QPointF(x(i) + 12, y(*stats::verdictExpected(*report))));
    }

    void expectedMark(QPointF c)
    {
        p.setPen(QPen(ExpectedColor, 2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(c - QPointF(5, 5), QSizeF(10, 10)));
    }

    std::vector<Entry> legendEntries() const
    {
        std::vector<Entry> all {{Mark::Actual, QObject::tr("Фактическая заболеваемость"), {}},
            {Mark::Trend, QObject::tr("Теоретические уровни"), {}},
            {Mark::Forecast, QObject::tr("Прогноз на %1 год").arg(s.years[std::size_t(n)]), {}}};
        if (report)
            all.push_back({Mark::Expected,
                QObject::tr("Ожидалось в %1\u00A0г.: %2")
                    .arg(report->year)
                    .arg(verdictText(report->verdict)),
                {}});
        if (joinpoints)
            all.push_back({Mark::Joinpoints, joinpointLegend(), {}});
        return all;
    }

    void legend()
    {
        p.setFont(font);
        for (const Entry &e : entries) {
            const QPointF c = e.at;
            switch (e.mark) {
            case Mark::Actual:
                p.setPen(QPen(ActualColor, 1.5));
                p.drawLine(c - QPointF(10, 0), c + QPointF(10, 0));
                p.setBrush(ActualColor);
                p.drawEllipse(c, 3.5, 3.5);
                break;
            case Mark::Trend:
                p.setPen(QPen(TrendColor, 2.5));
                p.drawLine(c - QPointF(10, 0), c + QPointF(10, 0));
                break;
            case Mark::Forecast:
                diamond(c);
                break;
            case Mark::Expected:
                expectedMark(c);
                break;
            case Mark::Joinpoints:
                p.setPen(QPen(JoinpointColor, 2, Qt::DashDotLine));
                p.drawLine(c - QPointF(10, 0), c + QPointF(10, 0));
                break;
            }
            drawLegendText(p, c, Width, e.text);
        }
    }

    // The trend and the model in words and numbers, under the legend.
    void footnote()
    {
        p.setFont(small);
        p.setPen(Qt::darkGray);
        drawLines(p, notes, plot.left(), footnoteTop, Width - 10 - plot.left());
    }

    // Which model the APC and the broken line are of, and the joinpoints'.
    QStringList modelItems() const
    {
        return {model == analysis::TrendModel::QuasiPoisson
                ? QObject::tr("Квазипуассоновская модель числа случаев")
                : QObject::tr("Логлинейная модель"),
            joinpointText()};
    }

    // The trend's class, its rates and the forecast's interval.
    QStringList statusItems() const
    {
        QString trendClass = trend::classLine(r.trendClass);
        if (trendClass.endsWith(u'.'))
            trendClass.chop(1);
        // The rate of a series of zeros is not a number: it is left out
        // rather than spelled «nan».
        QStringList items {trendClass};
        if (std::isfinite(r.averageAnnualChangeRate))
            items << QObject::tr("Среднегодовой темп: %1\u00A0%")
                         .arg(spelling::percent(r.averageAnnualChangeRate));
        items << apcText();
        if (std::isfinite(ols.piLow) && std::isfinite(ols.piHigh))
            items << QObject::tr("Интервал прогноза МНК 95\u00A0%: %1 … %2")
                         .arg(spelling::rate(ols.piLow), spelling::rate(ols.piHigh));
        return items;
    }

    // «APC −3,2 % (−4,1; −2,3)», as a Russian journal prints it.
    QString apcText() const
    {
        if (tests.apcReason != stats::Reason::None)
            return QObject::tr("APC не определён");
        return QStringLiteral("APC ") + withInterval(tests.apc, tests.apcLow, tests.apcHigh);
    }

    // The joinpoint fit: the exponential of the fitted broken line through
    // the values, a mark at each joinpoint.
    void joinpointFit()
    {
        if (!joinpoints)
            return;
        std::vector<double> levels;
        for (const double fitted : joinpoints->fitted)
            levels.push_back(std::exp(fitted));
        p.setPen(QPen(JoinpointColor, 2, Qt::DashDotLine));
        p.setBrush(Qt::NoBrush);
        p.drawPath(through(levels));
        p.setPen(QPen(JoinpointColor, 1.5));
        p.setBrush(JoinpointColor);
        for (const std::int32_t year : joinpoints->joinpoints) {
            const int i = year - s.years.front();
            const QPointF at(x(i), y(levels[std::size_t(i)]));
            QPolygonF mark;
            mark << at + QPointF(0, -6) << at + QPointF(5, 4) << at + QPointF(-5, 4);
            p.drawPolygon(mark);
        }
        p.setBrush(Qt::NoBrush);
    }

    QString joinpointLegend() const
    {
        QStringList years;
        for (const std::int32_t year : joinpoints->joinpoints)
            years << QString::number(year);
        return years.isEmpty()
            ? QObject::tr("Точек перелома нет")
            : QObject::tr("Точки перелома: %1").arg(years.join(QStringLiteral(", ")));
    }

    // «AAPC −2,3 % (−3,0; −1,7), с 2013 года +1,6 % (…)»: the whole series,
    // and the trend as it is now.
    QString joinpointText() const
    {
        if (!joinpoints)
            return {};
        const stats::Segment &last = joinpoints->segments.back();
        QString text = QStringLiteral("AAPC ")
            + withInterval(joinpoints->aapc, joinpoints->aapcLow, joinpoints->aapcHigh);
        if (joinpoints->segments.size() > 1)
            text += QObject::tr(", с %1 года ").arg(last.start)
                + withInterval(last.apc, last.apcLow, last.apcHigh);
        return text;
    }

    void valueAxis()
    {
        p.save();
        p.setFont(small);
        p.setPen(Qt::black);
        p.translate(16, plot.center().y());
        p.rotate(-90);
        p.drawText(
            QRectF(-plot.height() / 2, -8, plot.height(), 16), Qt::AlignCenter, typeset(valueName));
        p.restore();
    }

    QPainter &p;
    const table::Series &s;
    const trend::TrendResult &r;
    const stats::OlsFit &ols;
    const stats::TrendTests &tests;
    const stats::ReportYear *report; // when the reporting year has an expected level
    const stats::JoinpointFit *joinpoints; // none when not fitted, or when there is no fit
    const analysis::TrendModel model; // of the APC and the joinpoint fit
    const QString valueName;
    const int n;
    const QFont titleFont = chartFont(20, true);
    const QFont font = chartFont(14);
    const QFont small = chartFont(12);
    QRectF plot {80, 60, Width - 110, Height - 180}; // its bottom as the texts below leave it
    std::vector<Entry> entries; // the legend's
    QStringList notes; // the footnote's lines
    double footnoteTop = 0;
    std::vector<QRectF> placed; // labels drawn, for those that follow to keep clear of
    double step = 1, yMin = 0, yMax = 1;
    int every = 1;
};

} // namespace

void drawChart(QPainter &painter, const RowInput &row, const QString &valueName)
{
    Chart(painter, row, valueName).draw();
}

} // namespace summary
