// SPDX-License-Identifier: MIT
// The page geometry and the fonts the document's two writers share, and
// the one measure of its table: the ODT hands the widths to the office
// program, the PDF lays its pages out itself, and both break a cell's text
// only between words.
#pragma once

#include "summary/chart.h"
#include "summary/document.h"

#include <QFont>

#include <vector>

namespace summary::pages {

// Lengths in points.
constexpr double Mm = 72 / 25.4;

// A4, upright or on its side, with the margins of an office's report.
struct Page {
    double width, height;
    double left = 20 * Mm, right = 15 * Mm, top = 15 * Mm, bottom = 15 * Mm;
    double textWidth() const { return width - left - right; }
    double textHeight() const { return height - top - bottom; }
};
constexpr Page Portrait {210 * Mm, 297 * Mm};
constexpr Page Landscape {297 * Mm, 210 * Mm};

// Sizes in points. The body's face has Times's metrics (Liberation Serif here,
// Times New Roman or its equals in an office program), so that a width
// measured here holds there.
constexpr double TitleSize = 16, HeadingSize = 11, BodySize = 10.5, NoteSize = 9, CellSize = 8;
QFont serif(double points, bool bold = false);
// The face's name as the ODT asks for it.
inline constexpr char OfficeFace[] = "Times New Roman";

// The chart on the page: two sections fit one page upright.
constexpr double ChartWidth = 140 * Mm;
constexpr double ChartHeight = ChartWidth * Height / Width;
// Between a cell's border and its text.
constexpr double CellPadding = 2;
// Space around the parts of a section.
constexpr double HeadingAbove = 10, HeadingBelow = 4, ChartBelow = 4, ParagraphBelow = 6;

struct TableLayout {
    bool landscape = false;
    std::vector<double> widths; // of each column, summing to the text width
};
// Each column at least as wide as its longest word (a label's word joined
// by a hyphen counts as one), and the rest of the width shared by how much
// more each column's longest text needs; landscape where the words do not
// fit upright.
TableLayout tableLayout(const Document::Table &table, bool mayTurn = true);

// The text's width in points in `font`, at print resolution.
double textWidth(const QFont &font, const QString &text);

bool writeOdt(const Document &document, QByteArray *out, QString *why);
bool writePdf(const Document &document, QByteArray *out, QString *why);

} // namespace summary::pages
