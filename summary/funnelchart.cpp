// SPDX-License-Identifier: MIT
#include "summary/funnelchart.h"

#include "calc/spelling.h"
#include "summary/chartcommon.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>

#include <boost/math/special_functions/erf.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

namespace summary {

// The limits are the quantiles of the count the territory would have at the
// region's rate, E = P·R/per, taken continuous in the count (the gamma
// functions' own continuation, not an interpolation between whole counts),
// so that they move smoothly with the population instead of in steps of
// one case. Each is where the tail the classes are judged by
// (stats::funnelByTails) equals its probability: above, the count u with
// P(u, E) = 1 − tail, the regularised lower gamma function that stands for
// P(X ≥ u); below, the count l with Q(l + 1, E) = tail, which stands for
// P(X ≤ l). A territory whose count is past a curve is therefore in the
// class beyond it, and the points' colours and the curves never disagree.
// With over-dispersion the classes take the weaker of the exact and the
// widened class (analysis::funnelClass): the limit is the wider of the two.
double funnelLimit(double population, double regionRate, double per, double tail, double dispersion)
{
    const double expected = population * regionRate / per;
    if (!(population > 0) || !(regionRate > 0) || !(per > 0) || !(tail > 0 && tail < 1)
        || !(expected > 0) || !std::isfinite(expected))
        return std::numeric_limits<double>::quiet_NaN();
    const bool upper = tail > 0.5;
    double count = 0;
    try {
        if (upper)
            count = boost::math::gamma_p_inva(expected, 1 - tail);
        // Q(1, E) = e^−E is the chance of no case at all: where it is not
        // below the tail, not even none is that unlikely, and the limit is 0.
        else if (std::exp(-expected) < tail)
            count = boost::math::gamma_q_inva(expected, tail) - 1;
    } catch (const std::exception &) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double rate = count * per / population;
    if (dispersion > 1) {
        const double z = std::sqrt(2.0) * boost::math::erf_inv(2 * tail - 1);
        const double widened
            = regionRate + z * std::sqrt(dispersion * regionRate * per / population);
        rate = upper ? std::max(rate, widened) : std::min(rate, widened);
    }
    return std::max(rate, 0.0);
}

namespace {

const QColor WithinColor(0xa0, 0xa0, 0xa0);
const QColor WithinText(0x55, 0x55, 0x55);
const QColor LimitColor(0x60, 0x60, 0x60);
const QColor RegionColor(0x33, 0x33, 0x33);

// The two pairs of limits, by their tails, and how each is drawn.
struct LimitPair {
    double low, high;
    Qt::PenStyle style;
};
constexpr LimitPair LimitPairs[] = {{0.025, 0.975, Qt::DashLine}, {0.001, 0.999, Qt::DotLine}};

enum class Side { Above, Below, Within };

Side sideOf(stats::Funnel funnel)
{
    switch (funnel) {
    case stats::Funnel::Above998:
    case stats::Funnel::Above95:
        return Side::Above;
    case stats::Funnel::Below998:
    case stats::Funnel::Below95:
        return Side::Below;
    case stats::Funnel::Within:
        break;
    }
    return Side::Within;
}

// Whose name is placed first: territories of risk, those above the limits,
// below them, then the rest.
int precedence(const FunnelPoint &point)
{
    if (point.risk)
        return 0;
    switch (sideOf(point.funnel)) {
    case Side::Above:
        return 1;
    case Side::Below:
        return 2;
    case Side::Within:
        break;
    }
    return 3;
}

// A population as the axis marks it: «500», «10 тыс.», «2 млн».
QString populationMark(double value)
{
    if (value >= 1e6)
        return spelling::whole(qint64(std::llround(value / 1e6))) + QStringLiteral("\u00A0млн");
    if (value >= 1e4)
        return spelling::whole(qint64(std::llround(value / 1e3))) + QStringLiteral("\u00A0тыс.");
    return spelling::whole(qint64(std::llround(value)));
}

// Between the entries of the list of numbers.
const QString ListSeparator = QStringLiteral(", ");

class FunnelPlot
{
public:
    FunnelPlot(QPainter &painter, const FunnelInput &input, double width, double height)
        : p(painter)
        , in(input)
        , width(width)
        , height(height)
        , plot(80, 60, width - 100, height - 180)
    {
        for (std::size_t i = 0; i < in.points.size(); ++i) {
            const FunnelPoint &point = in.points[i];
            if (point.population > 0 && std::isfinite(point.population)
                && std::isfinite(point.rate))
                shown.push_back(i);
        }
        scaleX();
        layOut();
    }

    void draw()
    {
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(QRectF(0, 0, width, height), Qt::white);
        axes();
        limits();
        region();
        points();
        regionName();
        labels();
        legend();
        list();
        footnote();
    }

private:
    // How a label found its place: clear of everything, over another
    // point, or over other numbers where there was no room.
    enum class Fit { Clear, OverPoint, Crowded };
    enum class Mark { Region, Limit95, Limit998, Above, Below, Within, Risk };
    struct Entry {
        Mark mark;
        QString text;
        QPointF at; // the marker's centre; the text follows it
    };

    // The populations' range with a little room either side, at least a
    // decade wide so that the axis has marks to show.
    void scaleX()
    {
        double lo = INFINITY, hi = -INFINITY;
        for (const std::size_t i : shown) {
            lo = std::min(lo, std::log10(in.points[i].population));
            hi = std::max(hi, std::log10(in.points[i].population));
        }
        if (!std::isfinite(lo)) {
            lo = 3;
            hi = 6;
        }
        const double pad = std::max(0.08, (hi - lo) * 0.05);
        lo -= pad;
        hi += pad;
        if (hi - lo < 1) {
            const double middle = (lo + hi) / 2;
            lo = middle - 0.5;
            hi = middle + 0.5;
        }
        logMin = lo;
        logMax = hi;
    }

    // The rates' range from 0, over the points, the region's rate and the
    // limits where they are narrowest; the wide ends of the funnel are cut
    // off by the frame.
    void scaleY()
    {
        double hi = in.regionRate > 0 ? in.regionRate : 0;
        for (const std::size_t i : shown)
            hi = std::max(hi, in.points[i].rate);
        const double narrowest = funnelLimit(
            std::pow(10.0, logMax), in.regionRate, in.per, LimitPairs[1].high, in.dispersion);
        if (std::isfinite(narrowest))
            hi = std::max(hi, narrowest);
        if (!(hi > 0) || !std::isfinite(hi))
            hi = 1;
        step = niceStep(hi * 1.08, 6);
        yMax = std::ceil(hi * 1.08 / step) * step;
    }

    double x(double population) const
    {
        return plot.left() + plot.width() * (std::log10(population) - logMin) / (logMax - logMin);
    }
    double y(double rate) const { return plot.bottom() - plot.height() * rate / yMax; }
    QPointF at(std::size_t i) const
    {
        return {x(in.points[i].population), y(std::max(in.points[i].rate, 0.0))};
    }
    double radius(std::size_t i) const { return in.points[i].risk ? 7.5 : 4; }

    // From the bottom up: the footnote, the list of numbers, the legend's
    // rows, the population's marks and name, and the plot takes the rest.
    // Which points are numbered depends on the plot's height, and the list
    // of them takes lines from it: the list is given as many lines as it
    // asks for, until it asks for no more, but never so many that the plot
    // is less than half the picture's height. The region's label goes to
    // the legend once it finds no place on the plot. Both only grow, so the
    // rounds end in a few; their count is bounded all the same.
    void layOut()
    {
        const double textWidth = width - 10 - plot.left();
        const QFontMetricsF note(small), normal(font);
        const double line = note.lineSpacing();
        notes = wrap(footnoteItems(), note, textWidth);
        footnoteTop = height - 6 - double(notes.size()) * line;
        // Under the plot: its marks and the axis' name.
        const double axisHeight = 6 + 16 + line + 4;
        const double rowHeight = std::max(22.0, normal.height() + 6);
        int lines = 0;
        for (int round = 0; round < 64; ++round) {
            entries = legendEntries();
            double lx = plot.left();
            int row = 0;
            for (Entry &e : entries) {
                const double w = 30 + normal.horizontalAdvance(e.text);
                if (lx > plot.left() && lx + w > plot.left() + textWidth) {
                    lx = plot.left();
                    ++row;
                }
                e.at = QPointF(lx + 12, row);
                lx += w + 28;
            }
            const double legendHeight = (row + 1) * rowHeight;
            const double room = footnoteTop - 6 - legendHeight - axisHeight - plot.top();
            const int most = std::max(0, int((room - 6 - (height - plot.top()) / 2) / line));
            lines = std::min(lines, most);
            listTop = footnoteTop - (lines > 0 ? 6 + lines * line : 0);
            legendTop = listTop - legendHeight;
            plot.setBottom(legendTop - axisHeight);
            scaleY();
            const bool inLegend = regionInLegend;
            place();
            listed = listLines(most);
            for (Entry &e : entries)
                e.at.setY(legendTop + (e.at.y() + 0.5) * rowHeight);
            if (listed.size() <= lines && inLegend == regionInLegend)
                break;
            lines = std::max(lines, int(listed.size()));
        }
    }

    // The region's line is labelled above or below it, at its right end or
    // its left, where the label covers no point; in the legend where it
    // would everywhere. It is drawn over the grid and the limits, on white.
    QRectF regionLabel() const
    {
        if (!(in.regionRate > 0) || !(in.regionRate <= yMax))
            return {};
        const QFontMetricsF metrics(small);
        const QSizeF size(metrics.horizontalAdvance(regionText()), metrics.height());
        const double ly = y(in.regionRate);
        for (const double left : {plot.right() - 4 - size.width(), plot.left() + 4}) {
            for (const double top : {ly - 3 - size.height(), ly + 3}) {
                const QRectF label(QPointF(left, top), size);
                if (plot.contains(label)
                    && std::none_of(shown.begin(), shown.end(),
                        [&](std::size_t i) { return marker(i).intersects(label); }))
                    return label;
            }
        }
        return {};
    }

    QString regionText() const
    {
        return QObject::tr("по территориям в целом: %1").arg(spelling::rate(in.regionRate));
    }

    // How strictly a label keeps clear: of the labels and the points, or of
    // the labels only.
    enum class Clear { All, Labels };

    // Whether a label inside the frame keeps clear of the labels drawn so
    // far and, by `clear`, of every point but its own.
    bool fits(const QRectF &label, std::size_t self, Clear clear) const
    {
        if (!plot.adjusted(2, 2, -2, -2).contains(label))
            return false;
        const QRectF around = label.adjusted(-LabelGap, -LabelGap, LabelGap, LabelGap);
        for (const QRectF &other : placed) {
            if (other.intersects(around))
                return false;
        }
        if (clear == Clear::Labels)
            return true;
        return std::none_of(shown.begin(), shown.end(),
            [&](std::size_t i) { return i != self && marker(i).intersects(label); });
    }

    QRectF marker(std::size_t i) const
    {
        const double r = radius(i) + 1;
        return {at(i) - QPointF(r, r), QSizeF(2 * r, 2 * r)};
    }

    // Where a label may stand about its point: to the right, to the left,
    // above, below, at the corners; a number also at all of those again
    // farther out.
    std::vector<QRectF> spots(std::size_t i, const QString &text, bool number) const
    {
        const QFontMetricsF metrics(small);
        const double w = metrics.horizontalAdvance(text), h = metrics.height();
        const QPointF o = at(i);
        std::vector<QRectF> all;
        for (const double d : {radius(i) + 3, radius(i) + 3 + h}) {
            const double c = d * 0.75;
            all.insert(all.end(),
                {QRectF(o.x() + d, o.y() - h / 2, w, h), QRectF(o.x() - d - w, o.y() - h / 2, w, h),
                    QRectF(o.x() - w / 2, o.y() - d - h, w, h),
                    QRectF(o.x() - w / 2, o.y() + d, w, h), QRectF(o.x() + c, o.y() - c - h, w, h),
                    QRectF(o.x() + c, o.y() + c, w, h), QRectF(o.x() - c - w, o.y() - c - h, w, h),
                    QRectF(o.x() - c - w, o.y() + c, w, h)});
            if (!number)
                break;
        }
        return all;
    }

    std::optional<QRectF> placeAt(std::size_t i, const QString &text, bool number, Clear clear)
    {
        for (const QRectF &spot : spots(i, text, number)) {
            if (fits(spot, i, clear)) {
                placed.push_back(spot);
                return spot;
            }
        }
        return std::nullopt;
    }

    // Where a number goes that has no room: inside the frame, over as
    // little as may be of the labels that had room, then of the numbers
    // that had none.
    QRectF leastCovering(std::size_t i, const QString &text) const
    {
        const auto area = [](const std::vector<QRectF> &rects, const QRectF &spot) {
            double covered = 0;
            for (const QRectF &other : rects) {
                const QRectF both = other.intersected(spot);
                covered += both.width() * both.height();
            }
            return covered;
        };
        const std::vector<QRectF> all = spots(i, text, true);
        QRectF best = all.front();
        double least = INFINITY;
        for (const QRectF &spot : all) {
            const double covered = 1000 * area(placed, spot) + area(crowd, spot);
            if (plot.contains(spot) && covered < least) {
                best = spot;
                least = covered;
            }
        }
        return best;
    }

    // Names where they have room, by precedence and the larger territories
    // first; the rest numbered, those beyond the limits first, each group
    // from the highest rate down, and the numbers placed in that order:
    // clear of the points where they can be, over a point where they
    // cannot, and over as little else as may be where there is no room at
    // all, so that every point is named or numbered.
    void place()
    {
        placed.clear();
        crowd.clear();
        names.assign(in.points.size(), std::nullopt);
        numbers.clear();
        regionRect = regionInLegend ? QRectF() : regionLabel();
        if (!regionRect.isEmpty())
            placed.push_back(regionRect);
        else if (in.regionRate > 0)
            regionInLegend = true;
        // Nor does a label stand on the region's line.
        if (in.regionRate > 0 && in.regionRate <= yMax)
            placed.emplace_back(plot.left(), y(in.regionRate) - 1, plot.width(), 2);
        std::vector<std::size_t> order = shown;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int pa = precedence(in.points[a]), pb = precedence(in.points[b]);
            return pa != pb ? pa < pb : in.points[a].population > in.points[b].population;
        });
        for (const std::size_t i : order)
            names[i] = placeAt(i, in.points[i].label, false, Clear::All);
        for (const std::size_t i : order) {
            if (!names[i])
                numbers.push_back({i, {}, Fit::Clear});
        }
        std::stable_sort(numbers.begin(), numbers.end(), [&](const Number &a, const Number &b) {
            const bool outA = sideOf(in.points[a.point].funnel) != Side::Within;
            const bool outB = sideOf(in.points[b.point].funnel) != Side::Within;
            return outA != outB ? outA : in.points[a.point].rate > in.points[b.point].rate;
        });
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            Number &n = numbers[k];
            const QString text = QString::number(k + 1);
            if (const auto spot = placeAt(n.point, text, true, Clear::All)) {
                n.rect = *spot;
                n.fit = Fit::Clear;
            } else if (const auto over = placeAt(n.point, text, true, Clear::Labels)) {
                n.rect = *over;
                n.fit = Fit::OverPoint;
            } else {
                n.rect = leastCovering(n.point, text);
                n.fit = Fit::Crowded;
                crowd.push_back(n.rect);
            }
        }
    }

    // The list of numbers in at most `most` lines: those beyond the limits
    // first, then as many more as fit, the rest told in a count.
    QStringList listLines(int most) const
    {
        QStringList items;
        for (std::size_t k = 0; k < numbers.size(); ++k)
            items
                << QStringLiteral("%1\u00A0— %2").arg(k + 1).arg(in.points[numbers[k].point].label);
        const QFontMetricsF metrics(small);
        const double textWidth = width - 10 - plot.left();
        const auto withRest = [&](qsizetype shownCount) {
            QStringList some = items.mid(0, shownCount);
            if (shownCount < items.size())
                some << restText(std::size_t(shownCount));
            return wrap(some, metrics, textWidth, ListSeparator);
        };
        QStringList all = withRest(items.size());
        if (all.size() <= most)
            return all;
        // The fewer are listed the fewer lines they take: the most that fit.
        qsizetype lo = 0, hi = items.size();
        while (hi - lo > 1) {
            const qsizetype middle = (lo + hi) / 2;
            (withRest(middle).size() <= most ? lo : hi) = middle;
        }
        return most > 0 ? withRest(lo) : QStringList();
    }

    // «и ещё 180 в пределах (58–237)»: the numbers not listed.
    QString restText(std::size_t from) const
    {
        const bool within = std::all_of(numbers.begin() + std::ptrdiff_t(from), numbers.end(),
            [&](const Number &n) { return sideOf(in.points[n.point].funnel) == Side::Within; });
        const QString range = from + 1 == numbers.size()
            ? QString::number(from + 1)
            : QStringLiteral("%1–%2").arg(from + 1).arg(numbers.size());
        const QString rest = spelling::whole(qint64(numbers.size() - from));
        return within ? QObject::tr("и ещё %1 в пределах (%2)").arg(rest, range)
                      : QObject::tr("и ещё %1 (%2)").arg(rest, range);
    }

    // Title, grid, the rate's scale and the population's.
    void axes()
    {
        p.setFont(titleFont);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 10, width, 36), Qt::AlignCenter,
            QFontMetricsF(titleFont).elidedText(in.title, Qt::ElideRight, width - 20));

        p.setFont(small);
        const QFontMetricsF metrics(small);
        int lines = std::isfinite(yMax) ? 0 : MaxGridLines;
        for (double v = 0; v <= yMax + step / 2 && lines++ < MaxGridLines; v += step) {
            p.setPen(QPen(GridColor, 1));
            p.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
            p.setPen(Qt::black);
            const QString mark = spelling::tick(std::fabs(v) < step * 1e-9 ? 0.0 : v, step);
            const double w = metrics.horizontalAdvance(mark);
            p.drawText(QRectF(plot.left() - 8 - w, y(v) - 8, w, 16),
                Qt::AlignRight | Qt::AlignVCenter, mark);
        }
        populationMarks();
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(plot.bottomLeft(), plot.bottomRight());
        p.drawLine(plot.bottomLeft(), plot.topLeft());
        p.drawText(QRectF(plot.left(), plot.bottom() + 22, plot.width(), metrics.lineSpacing()),
            Qt::AlignCenter, QObject::tr("Численность населения (логарифмическая шкала)"));
        if (!in.unit.isEmpty()) {
            p.save();
            p.translate(16, plot.center().y());
            p.rotate(-90);
            p.drawText(QRectF(-plot.height() / 2, -8, plot.height(), 16), Qt::AlignCenter,
                typeset(in.unit));
            p.restore();
        }
    }

    // Marks at 1, 2, 3 and 5 of each decade, or at 1, 2 and 5, at 1 and 3,
    // at each decade only: the most that keep apart, each with its grid
    // line. A mark whose number would stand under the rate's scale or past
    // the picture's edge is left out.
    void populationMarks()
    {
        const QFontMetricsF metrics(small);
        const std::vector<std::vector<double>> sets {{1, 2, 3, 5}, {1, 2, 5}, {1, 3}, {1}};
        std::vector<double> marks;
        for (const std::vector<double> &multiples : sets) {
            marks.clear();
            for (int power = int(std::floor(logMin)); power <= int(std::ceil(logMax)); ++power) {
                for (const double m : multiples) {
                    const double v = m * std::pow(10.0, power);
                    const double l = std::log10(v);
                    const double half = metrics.horizontalAdvance(populationMark(v)) / 2;
                    if (l >= logMin && l <= logMax && x(v) - half >= plot.left() - 4
                        && x(v) + half <= width - 4)
                        marks.push_back(v);
                }
            }
            bool apart = true;
            for (std::size_t k = 1; k < marks.size(); ++k) {
                const double between = x(marks[k]) - x(marks[k - 1]);
                const double need = (metrics.horizontalAdvance(populationMark(marks[k]))
                                        + metrics.horizontalAdvance(populationMark(marks[k - 1])))
                        / 2
                    + 12;
                apart = apart && between >= need;
            }
            if (apart && marks.size() <= 12)
                break;
        }
        for (const double v : marks) {
            const QString text = populationMark(v);
            const double w = metrics.horizontalAdvance(text);
            const double left = x(v) - w / 2;
            p.setPen(QPen(GridColor, 1));
            p.drawLine(QPointF(x(v), plot.top()), QPointF(x(v), plot.bottom()));
            p.setPen(Qt::black);
            p.drawLine(QPointF(x(v), plot.bottom()), QPointF(x(v), plot.bottom() + 4));
            p.drawText(
                QRectF(left, plot.bottom() + 6, w, 16), Qt::AlignHCenter | Qt::AlignTop, text);
        }
    }

    // A limit over the populations, in pieces inside the frame: the wide
    // end of the funnel leaves it at the top, and comes in where it crosses.
    QPainterPath curve(double tail) const
    {
        constexpr int Samples = 200;
        QPainterPath path;
        bool inside = false;
        double lastX = 0, lastRate = NAN;
        for (int k = 0; k <= Samples; ++k) {
            const double population = std::pow(10.0, logMin + (logMax - logMin) * k / Samples);
            const double rate = funnelLimit(population, in.regionRate, in.per, tail, in.dispersion);
            const double px = x(population);
            const auto crossing = [&] {
                return QPointF(
                    lastX + (px - lastX) * (yMax - lastRate) / (rate - lastRate), plot.top());
            };
            if (!std::isfinite(rate)) {
                inside = false;
            } else if (rate <= yMax) {
                if (inside) {
                    path.lineTo(px, y(rate));
                } else {
                    path.moveTo(lastRate > yMax ? crossing() : QPointF(px, y(rate)));
                    path.lineTo(px, y(rate));
                }
                inside = true;
            } else if (inside) {
                path.lineTo(crossing());
                inside = false;
            }
            lastX = px;
            lastRate = rate;
        }
        return path;
    }

    void limits()
    {
        if (!(in.regionRate > 0))
            return;
        p.setBrush(Qt::NoBrush);
        for (const LimitPair &pair : LimitPairs) {
            p.setPen(QPen(LimitColor, 1.5, pair.style));
            p.drawPath(curve(pair.low));
            p.drawPath(curve(pair.high));
        }
    }

    void region()
    {
        if (!(in.regionRate > 0) || !(in.regionRate <= yMax))
            return;
        p.setPen(QPen(RegionColor, 1.5));
        p.drawLine(QPointF(plot.left(), y(in.regionRate)), QPointF(plot.right(), y(in.regionRate)));
    }

    void regionName()
    {
        if (regionRect.isEmpty())
            return;
        p.fillRect(regionRect.adjusted(-2, 0, 2, 0), QColor(255, 255, 255, 210));
        p.setFont(small);
        p.setPen(RegionColor);
        p.drawText(regionRect, Qt::AlignCenter, regionText());
    }

    static QColor fill(Side side)
    {
        return side == Side::Above ? TrendColor : side == Side::Below ? ActualColor : WithinColor;
    }

    static QColor ink(Side side) { return side == Side::Within ? WithinText : fill(side); }

    // The points within first, so that those beyond lie on top; the rings
    // of risk last.
    void points()
    {
        std::vector<std::size_t> order = shown;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return precedence(in.points[a]) > precedence(in.points[b]);
        });
        for (const std::size_t i : order) {
            const QColor color = fill(sideOf(in.points[i].funnel));
            p.setPen(QPen(color.darker(130), 1));
            p.setBrush(color);
            p.drawEllipse(at(i), 4, 4);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1.5));
        for (const std::size_t i : order) {
            if (in.points[i].risk)
                p.drawEllipse(at(i), 7.5, 7.5);
        }
    }

    // A hairline from a point to its number where the number stands
    // farther out than next to it.
    void leader(std::size_t i, const QRectF &label)
    {
        const QPointF c = at(i);
        const QPointF end(std::clamp(c.x(), label.left(), label.right()),
            std::clamp(c.y(), label.top(), label.bottom()));
        const QPointF along = end - c;
        const double d = std::hypot(along.x(), along.y());
        if (d > radius(i) + 6) {
            p.setPen(QPen(WithinColor, 0.75));
            p.drawLine(c + along * ((radius(i) + 1) / d), c + along * ((d - 1) / d));
        }
    }

    // The numbers that had no room first and paler, so that those that had
    // are read over them. A label clear of the points is set on white, for
    // the lines it crosses.
    void labels()
    {
        p.setFont(small);
        const auto text = [&](std::size_t i, const QRectF &rect, const QString &label, Fit fit) {
            if (fit == Fit::Clear)
                p.fillRect(rect, QColor(255, 255, 255, 200));
            leader(i, rect);
            const QColor color = ink(sideOf(in.points[i].funnel));
            p.setPen(fit == Fit::Crowded ? color.lighter(160) : color);
            p.drawText(rect, Qt::AlignCenter, label);
        };
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            if (numbers[k].fit == Fit::Crowded)
                text(numbers[k].point, numbers[k].rect, QString::number(k + 1), Fit::Crowded);
        }
        for (const std::size_t i : shown) {
            if (names[i])
                text(i, *names[i], in.points[i].label, Fit::Clear);
        }
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            if (numbers[k].fit != Fit::Crowded)
                text(numbers[k].point, numbers[k].rect, QString::number(k + 1), numbers[k].fit);
        }
    }

    std::vector<Entry> legendEntries() const
    {
        std::vector<Entry> all;
        if (regionInLegend) {
            QString text = regionText();
            text[0] = text[0].toUpper();
            all.push_back({Mark::Region, text, {}});
        }
        if (in.regionRate > 0)
            all.insert(all.end(),
                {{Mark::Limit95, QObject::tr("Границы 95\u00A0%"), {}},
                    {Mark::Limit998, QObject::tr("Границы 99,8\u00A0%"), {}}});
        const auto any = [&](const auto &test) {
            return std::any_of(in.points.begin(), in.points.end(), test);
        };
        const auto on = [&](Side side) {
            return any([&](const FunnelPoint &point) { return sideOf(point.funnel) == side; });
        };
        if (on(Side::Above))
            all.push_back({Mark::Above, QObject::tr("Выше границ"), {}});
        if (on(Side::Below))
            all.push_back({Mark::Below, QObject::tr("Ниже границ"), {}});
        if (on(Side::Within))
            all.push_back({Mark::Within, QObject::tr("В пределах"), {}});
        if (any([](const FunnelPoint &point) { return point.risk; }))
            all.push_back({Mark::Risk, QObject::tr("Территория риска"), {}});
        return all;
    }

    void legend()
    {
        p.setFont(font);
        for (const Entry &e : entries) {
            const QPointF c = e.at;
            const auto dot = [&](Side side) {
                p.setPen(QPen(fill(side).darker(130), 1));
                p.setBrush(fill(side));
                p.drawEllipse(c, 4, 4);
            };
            switch (e.mark) {
            case Mark::Region:
                p.setPen(QPen(RegionColor, 1.5));
                p.drawLine(c - QPointF(10, 0), c + QPointF(10, 0));
                break;
            case Mark::Limit95:
            case Mark::Limit998:
                p.setPen(
                    QPen(LimitColor, 1.5, e.mark == Mark::Limit95 ? Qt::DashLine : Qt::DotLine));
                p.drawLine(c - QPointF(10, 0), c + QPointF(10, 0));
                break;
            case Mark::Above:
                dot(Side::Above);
                break;
            case Mark::Below:
                dot(Side::Below);
                break;
            case Mark::Within:
                dot(Side::Within);
                break;
            case Mark::Risk:
                dot(Side::Above);
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(Qt::black, 1.5));
                p.drawEllipse(c, 7.5, 7.5);
                break;
            }
            drawLegendText(p, c, width, e.text);
        }
    }

    void list()
    {
        p.setFont(small);
        p.setPen(Qt::black);
        drawLines(p, listed, plot.left(), listTop, width - 10 - plot.left());
    }

    // The year, and which limits are drawn where there are any.
    QStringList footnoteItems() const
    {
        QStringList sentences;
        if (in.year > 0)
            sentences << QObject::tr("Отчётный год %1.").arg(in.year);
        if (in.regionRate > 0)
            sentences << QObject::tr("Границы: 95\u00A0% и 99,8\u00A0% (точные пуассоновские)");
        if (in.regionRate > 0 && in.dispersion > 1)
            sentences.back() += QObject::tr(", с учётом избыточной дисперсии (φ\u00A0=\u00A0%1)")
                                    .arg(spelling::fixed(in.dispersion, 2));
        return {sentences.join(u' ')};
    }

    void footnote()
    {
        p.setFont(small);
        p.setPen(Qt::darkGray);
        drawLines(p, notes, plot.left(), footnoteTop, width - 10 - plot.left());
    }

    struct Number {
        std::size_t point;
        QRectF rect;
        Fit fit;
    };

    QPainter &p;
    const FunnelInput &in;
    const double width, height;
    const QFont titleFont = chartFont(20, true);
    const QFont font = chartFont(14);
    const QFont small = chartFont(12);
    QRectF plot; // its bottom as the texts below leave it
    std::vector<std::size_t> shown; // the points with a population and a rate
    double logMin = 3, logMax = 6; // the population's, as log10
    double step = 1, yMax = 1;
    std::vector<Entry> entries; // the legend's
    QStringList notes, listed; // the footnote's lines and the list's
    double footnoteTop = 0, legendTop = 0, listTop = 0;
    QRectF regionRect; // the region's label on the plot
    bool regionInLegend = false; // or in the legend, where it had no room
    std::vector<QRectF> placed; // labels drawn, for those that follow to keep clear of
    std::vector<QRectF> crowd; // numbers drawn where there was no room
    std::vector<std::optional<QRectF>> names; // by point: where its name is
    std::vector<Number> numbers; // in their order, 1 first
};

} // namespace

void drawFunnel(QPainter &painter, const FunnelInput &input, double width, double height)
{
    FunnelPlot(painter, input, width, height).draw();
}

QByteArray renderFunnel(ChartFormat format, const FunnelInput &input)
{
    if (format == ChartFormat::Png) {
        const double scale = PngWidth / Width;
        QImage image(PngWidth, int(Height * scale + 0.5), QImage::Format_RGB32);
        image.setDevicePixelRatio(scale);
        QPainter painter(&image);
        drawFunnel(painter, input);
        painter.end();
        return encodePng(image);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(int(Width), int(Height)));
    svg.setViewBox(QRectF(0, 0, Width, Height));
    svg.setTitle(input.title);
    svg.setDescription(QObject::tr("Территории на воронкообразной диаграмме"));
    QPainter painter(&svg);
    drawFunnel(painter, input);
    painter.end();
    return buffer.data();
}

} // namespace summary
