// SPDX-License-Identifier: MIT
// The document as PDF, laid out here page by page: the table with its
// header on every page and no row split, then the sections, each kept
// whole, as many to a page as fit.
#include "summary/documentpages.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QObject>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>

namespace summary::pages {

namespace {

constexpr int Dpi = 1200;
constexpr double Dots = Dpi / 72.0; // a point's

QPageLayout pageLayout(bool landscape)
{
    const Page &page = landscape ? Landscape : Portrait;
    return QPageLayout(QPageSize(QPageSize::A4),
        landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(page.left, page.top, page.right, page.bottom), QPageLayout::Point);
}

// A block of text set by the toolkit's own layout: wrapped between words,
// aligned, at the printer's resolution.
class Block
{
public:
    Block(QPaintDevice *device, const QString &text, const QFont &font, double width,
        Qt::Alignment alignment)
    {
        document.documentLayout()->setPaintDevice(device);
        document.setDocumentMargin(0);
        document.setDefaultFont(font);
        document.setTextWidth(width * Dots);
        QTextCursor cursor(&document);
        QTextBlockFormat format;
        format.setAlignment(alignment);
        cursor.setBlockFormat(format);
        cursor.insertText(text);
    }
    double height() const { return document.size().height() / Dots; }
    void draw(QPainter &painter, double x, double y)
    {
        painter.save();
        painter.translate(x * Dots, y * Dots);
        document.drawContents(&painter);
        painter.restore();
    }

private:
    QTextDocument document;
};

// Where the next thing goes, in points from the text area's top left.
class Pages
{
public:
    Pages(QPdfWriter &pdf, QPainter &painter, bool landscape)
        : pdf(pdf)
        , p(painter)
        , landscape(landscape)
    { }
    const Page &page() const { return landscape ? Landscape : Portrait; }
    double room() const { return page().textHeight() - y; }
    bool newPage(bool turned)
    {
        if (turned != landscape) {
            landscape = turned;
            pdf.setPageLayout(pageLayout(turned));
        }
        y = 0;
        return pdf.newPage();
    }
    // A block that goes to the next page when it does not fit on this one,
    // unless it starts this one.
    void place(Block &block, double above, double below)
    {
        if (y > 0 && above + block.height() > room())
            newPage(landscape);
        y += y > 0 ? above : 0;
        block.draw(p, 0, y);
        y += block.height() + below;
    }

    QPdfWriter &pdf;
    QPainter &p;
    bool landscape;
    double y = 0;
};

class TablePrinter
{
public:
    TablePrinter(Pages &pages, const Document::Table &table, const TableLayout &layout)
        : pages(pages)
        , table(table)
        , widths(layout.widths)
        , cell(serif(CellSize))
        , head(serif(CellSize, true))
    { }

    void print()
    {
        if (pages.y > 0)
            pages.y += 6;
        const double header = height(table.header, head);
        row(table.header, head, header, true);
        for (const QStringList &cells : table.rows) {
            const double h = height(cells, cell);
            if (h > pages.room() && pages.y > header) {
                pages.newPage(pages.landscape);
                row(table.header, head, header, true);
            }
            row(cells, cell, h, false);
        }
        pages.y += 6;
    }

private:
    static constexpr int Flags = Qt::TextWordWrap;

    QRectF textRect(double x, double y, std::size_t c) const
    {
        return QRectF((x + CellPadding) * Dots, (y + CellPadding) * Dots,
            (widths[c] - 2 * CellPadding) * Dots, 1e7);
    }
    double height(const QStringList &cells, const QFont &font) const
    {
        const QFontMetricsF metrics(font, &pages.pdf);
        double most = metrics.height();
        for (std::size_t c = 0; c < widths.size(); ++c)
            most = std::max(most,
                metrics.boundingRect(textRect(0, 0, c), Flags, cells.value(qsizetype(c))).height());
        return most / Dots + 2 * CellPadding;
    }
    void row(const QStringList &cells, const QFont &font, double h, bool isHead)
    {
        QPainter &p = pages.p;
        p.setFont(font);
        double x = 0;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QRectF box(x * Dots, pages.y * Dots, widths[c] * Dots, h * Dots);
            if (isHead)
                p.fillRect(box, QColor(0xe6, 0xe6, 0xe6));
            p.setPen(QPen(Qt::black, 0.5 * Dots));
            p.drawRect(box);
            const Qt::Alignment align = isHead ? Qt::AlignHCenter
                : table.numeric[c]             ? Qt::AlignRight
                                               : Qt::AlignLeft;
            p.drawText(textRect(x, pages.y, c), Flags | int(align), cells.value(qsizetype(c)));
            x += widths[c];
        }
        pages.y += h;
    }

    Pages &pages;
    const Document::Table &table;
    const std::vector<double> &widths;
    const QFont cell, head;
};

void printSection(Pages &pages, const Document::Section &s)
{
    const double width = Portrait.textWidth();
    Block heading(&pages.pdf, s.heading, serif(HeadingSize, true), width, Qt::AlignLeft);
    Block paragraph(&pages.pdf, s.paragraph, serif(BodySize), width, Qt::AlignJustify);
    const double whole = HeadingAbove + heading.height() + HeadingBelow + ChartHeight + ChartBelow
        + paragraph.height();
    if (pages.y > 0 && whole > pages.room())
        pages.newPage(false);
    pages.y += pages.y > 0 ? HeadingAbove : 0;
    heading.draw(pages.p, 0, pages.y);
    pages.y += heading.height() + HeadingBelow;
    QPainter &p = pages.p;
    p.save();
    p.translate((width - ChartWidth) / 2 * Dots, pages.y * Dots);
    p.scale(ChartWidth * Dots / Width, ChartWidth * Dots / Width);
    drawChart(p, {*s.drawing}, s.valueName);
    p.restore();
    pages.y += ChartHeight + ChartBelow;
    paragraph.draw(p, 0, pages.y);
    pages.y += paragraph.height() + ParagraphBelow;
    if (const auto &t = s.territories) {
        Block title(&pages.pdf, t->heading, serif(HeadingSize, true), width, Qt::AlignLeft);
        // The heading with its plot and the table's header and first rows.
        const double plot = t->drawing ? ChartHeight + ChartBelow : 0;
        if (pages.y > 0 && HeadingAbove + title.height() + HeadingBelow + plot + 60 > pages.room())
            pages.newPage(false);
        pages.y += pages.y > 0 ? HeadingAbove : 0;
        title.draw(p, 0, pages.y);
        pages.y += title.height() + HeadingBelow;
        if (t->drawing) {
            p.save();
            p.translate((width - ChartWidth) / 2 * Dots, pages.y * Dots);
            p.scale(ChartWidth * Dots / Width, ChartWidth * Dots / Width);
            drawFunnel(p, *t->drawing);
            p.restore();
            pages.y += plot;
        }
        pages.y -= 6; // the table's own space above
        const TableLayout layout = tableLayout(t->table, false);
        TablePrinter(pages, t->table, layout).print();
        Block words(&pages.pdf, t->paragraph, serif(BodySize), width, Qt::AlignJustify);
        pages.place(words, 0, ParagraphBelow);
    }
}

} // namespace

bool writePdf(const Document &document, QByteArray *out, QString *why)
{
    const Document::Table table = document.table();
    const TableLayout layout = tableLayout(table);
    QBuffer made(out);
    made.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&made);
    pdf.setResolution(Dpi);
    pdf.setPageLayout(pageLayout(layout.landscape));
    pdf.setTitle(document.title());
    pdf.setCreator(QStringLiteral("Vantorel"));
    QPainter painter(&pdf);
    Pages pages(pdf, painter, layout.landscape);
    const double width = pages.page().textWidth();

    Block title(&pdf, document.title(), serif(TitleSize, true), width, Qt::AlignHCenter);
    pages.place(title, 0, 6);
    for (const QString &line : {document.info().tableName, document.coverage()}) {
        Block b(&pdf, line, serif(BodySize), width, Qt::AlignHCenter);
        pages.place(b, 0, 4);
    }
    if (!table.rows.empty())
        TablePrinter(pages, table, layout).print();
    if (!document.info().methods.isEmpty()) {
        Block note(&pdf, document.info().methods, serif(NoteSize), width, Qt::AlignJustify);
        pages.place(note, 2, 0);
    }
    for (std::size_t i = 0; i < document.parts().size(); ++i) {
        if (i == 0)
            pages.newPage(false);
        printSection(pages, document.parts()[i]);
    }
    painter.end();
    // A PDF printed whole ends with its trailer.
    if (out->trimmed().endsWith("%%EOF"))
        return true;
    *why = QObject::tr("не удалось напечатать PDF");
    return false;
}

} // namespace summary::pages
