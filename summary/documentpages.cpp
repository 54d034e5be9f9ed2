// SPDX-License-Identifier: MIT
#include "summary/documentpages.h"

#include <QFontMetricsF>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace summary::pages {

namespace {

// Measured where a point is many dots: at a screen's few, hinting rounds
// every letter's advance.
constexpr int MeasureDpi = 1200;

const QImage &measuringDevice()
{
    static const QImage image = [] {
        QImage i(1, 1, QImage::Format_Mono);
        i.setDotsPerMeterX(int(MeasureDpi / 0.0254 + 0.5));
        i.setDotsPerMeterY(int(MeasureDpi / 0.0254 + 0.5));
        return i;
    }();
    return image;
}

// What one office program sets wider than another: a little room over the
// measured width, so that no renderer needs to break the word.
double slack(double width)
{
    return width * 1.04 + 1;
}

// The longest run a line never breaks: words between spaces (a
// non-breaking space joins them), a hyphenated word whole.
double longestWord(const QFont &font, const QString &text)
{
    double longest = 0;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts))
        longest = std::max(longest, textWidth(font, word));
    return longest;
}

} // namespace

QFont serif(double points, bool bold)
{
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

double textWidth(const QFont &font, const QString &text)
{
    return QFontMetricsF(font, &measuringDevice()).horizontalAdvance(text) * 72 / MeasureDpi;
}

namespace {

// Lines of `text` set in `width` by words, as a line breaker sets them.
int lines(const QFont &font, const QString &text, double width)
{
    const double space = textWidth(font, QStringLiteral(" "));
    int count = 1;
    double used = -space;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        const double w = textWidth(font, word);
        if (used + space + w > width && used > 0) {
            ++count;
            used = w;
        } else {
            used += space + w;
        }
    }
    return count;
}

struct Measured {
    std::vector<double> least, wanted;
};

// The widths on a page `width` wide.
std::vector<double> share(const Measured &m, double width)
{
    const double leastSum = std::accumulate(m.least.begin(), m.least.end(), 0.0);
    const double wantedSum = std::accumulate(m.wanted.begin(), m.wanted.end(), 0.0);
    std::vector<double> widths(m.least.size());
    for (std::size_t c = 0; c < widths.size(); ++c) {
        if (wantedSum <= width)
            widths[c] = m.wanted[c] * width / wantedSum;
        else if (leastSum < width)
            widths[c] = m.least[c]
                + (width - leastSum) * (m.wanted[c] - m.least[c]) / (wantedSum - leastSum);
        else // words too long for any page: they break, in proportion
            widths[c] = m.least[c] * width / leastSum;
    }
    return widths;
}

// The pages the table's rows take in these widths, in part.
double pagesTaken(const Document::Table &table, const std::vector<double> &widths, const Page &page)
{
    const QFont cell = serif(CellSize);
    const double line = QFontMetricsF(cell, &measuringDevice()).lineSpacing() * 72 / MeasureDpi;
    double height = 0;
    for (const QStringList &row : table.rows) {
        int most = 1;
        for (std::size_t c = 0; c < widths.size(); ++c)
            most
                = std::max(most, lines(cell, row.value(qsizetype(c)), widths[c] - 2 * CellPadding));
        height += most * line + 2 * CellPadding;
    }
    return height / page.textHeight();
}

} // namespace

TableLayout tableLayout(const Document::Table &table, bool mayTurn)
{
    const QFont cell = serif(CellSize), head = serif(CellSize, true);
    const std::size_t columns = std::size_t(table.header.size());
    Measured m {std::vector<double>(columns), std::vector<double>(columns)};
    for (std::size_t c = 0; c < columns; ++c) {
        const QString &name = table.header[qsizetype(c)];
        m.least[c] = longestWord(head, name);
        // A header may take two lines; a cell had better take one.
        m.wanted[c] = std::max(m.least[c], textWidth(head, name) / 2);
        for (const QStringList &row : table.rows) {
            const QString &text = row.value(qsizetype(c));
            m.least[c] = std::max(m.least[c], longestWord(cell, text));
            m.wanted[c] = std::max(m.wanted[c], textWidth(cell, text));
        }
        m.least[c] = slack(m.least[c]) + 2 * CellPadding;
        m.wanted[c] = slack(m.wanted[c]) + 2 * CellPadding;
    }
    // Upright where its words fit and it takes no more pages than on its
    // side, where long labels need fewer lines.
    TableLayout upright {false, share(m, Portrait.textWidth())};
    if (!mayTurn)
        return upright;
    TableLayout sideways {true, share(m, Landscape.textWidth())};
    const bool fits = std::accumulate(m.least.begin(), m.least.end(), 0.0) <= Portrait.textWidth();
    if (fits
        && std::ceil(pagesTaken(table, upright.widths, Portrait))
            <= std::ceil(pagesTaken(table, sideways.widths, Landscape)))
        return upright;
    return sideways;
}

} // namespace summary::pages
