// SPDX-License-Identifier: MIT
// What the charts have in common: their colours and fonts, the names that
// come from elsewhere typeset as ours, footnotes wrapped to a width, and
// round steps for a scale.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QStringList>

class QFontMetricsF;
class QPainter;

namespace summary {

inline const QColor ActualColor(0x1f, 0x4e, 0x9c);
inline const QColor TrendColor(0xc0, 0x39, 0x2b);
inline const QColor GridColor(0xdd, 0xdd, 0xdd);

// Set in Nimbus Sans: the title 20 px bold, the legend 14 px, the scales,
// labels and footnotes 12 px. Printed about 14 cm wide, 12 px are about
// 5,3 pt there.
inline QFont chartFont(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("Nimbus Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Between the items of a footnote line: «;» is taken by the intervals.
inline const QString Separator = QStringLiteral(" · ");

// Room kept clear about a value's label, so that two never touch.
constexpr double LabelGap = 3;

// About seven lines are drawn; a scale that asks for more is broken.
constexpr int MaxGridLines = 64;

// A name that comes from elsewhere (the value axis', «на 100 тыс.»), with
// its numbers spelled as ours and tied to their units.
QString typeset(QString text);

// Lines no wider than `width`: the items joined by `separator` where they
// fit, an item longer than a line broken between its words. Numbers stay
// with their units: those are tied by no-break spaces.
QStringList wrap(const QStringList &items, const QFontMetricsF &metrics, double width,
    const QString &separator = Separator);

// Lines one under another from `top`, in the painter's font and pen, each
// left-aligned in `width` from `left`: a footnote, a list under a plot.
void drawLines(QPainter &painter, const QStringList &lines, double left, double top, double width);
// A legend entry's words, in black to the right of its mark at `mark`, up
// to the picture's right margin.
void drawLegendText(QPainter &painter, QPointF mark, double pictureWidth, const QString &text);

// Round steps (1, 2, 5 times a power of ten) for about `count` ticks.
double niceStep(double span, int count);

} // namespace summary
