// SPDX-License-Identifier: MIT
#include "summary/document.h"

#include "calc/reportfile.h"
#include "summary/chart.h"
#include "summary/reporttext.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFileDevice>
#include <QFileInfo>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace summary {

namespace {

// A chart as the page prints it: 16 cm wide at about 190 dots an inch.
constexpr int ChartPixels = 1200;
constexpr double ChartWidthPoints = 16 / 2.54 * 72;

QString orEmpty(const std::optional<double> &x, QString (*spell)(double))
{
    return x ? spell(*x) : QString();
}

QByteArray chartPng(const RowInput &row, const QString &valueName)
{
    QImage image(ChartPixels, int(ChartPixels * Height / Width), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(ChartPixels / Width, ChartPixels / Width);
    drawChart(painter, row, valueName);
    painter.end();
    return encodePng(image);
}

// Draws a section's chart where the page holds it, in lines and text, at
// the printer's own resolution.
class ChartObject : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int Type = QTextFormat::UserObject + 1;
    static constexpr int Index = QTextFormat::UserProperty + 1;

    explicit ChartObject(const std::vector<Document::Section> &sections)
        : sections(sections)
    { }
    // In the printer's units: its dots, not points.
    QSizeF intrinsicSize(QTextDocument *document, int, const QTextFormat &) override
    {
        const QPaintDevice *device = document->documentLayout()->paintDevice();
        const double dots = ChartWidthPoints * (device ? device->logicalDpiX() / 72.0 : 1.0);
        return {dots, dots * Height / Width};
    }
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int,
        const QTextFormat &format) override
    {
        // Printing draws the whole document once a page, clipped to it.
        if (painter->hasClipping() && !painter->clipBoundingRect().intersects(rect))
            return;
        const Document::Section &s = sections[std::size_t(format.intProperty(Index))];
        painter->save();
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / Width, rect.width() / Width);
        drawChart(*painter, {*s.drawing}, s.valueName);
        painter->restore();
    }

private:
    const std::vector<Document::Section> &sections;
};

} // namespace

std::optional<DocumentFormat> documentFormat(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("odt"))
        return DocumentFormat::Odt;
    if (suffix == QLatin1String("pdf"))
        return DocumentFormat::Pdf;
    return std::nullopt;
}

Document::Section Document::section(
    const RowInput &row, const QString &valueName, DocumentFormat format)
{
    const stats::ReportYear &y = row.result.report;
    const table::Series &s = row.result.series;
    Section out;
    out.heading = s.labels.join(QStringLiteral(" / "));
    out.paragraph = reportParagraph(row);
    if (format == DocumentFormat::Odt)
        out.chart = chartPng(row, valueName);
    else
        out.drawing = std::make_shared<const analysis::SeriesResult>(row.result);
    out.valueName = valueName;
    out.firstYear = s.years.front();
    out.lastYear = s.years[std::size_t(row.result.practice.count) - 1];
    out.reportYear = y.year;
    const auto &fit = row.result.joinpoints;
    const stats::JoinpointFit *jp = fit && fit->reason == stats::Reason::None ? &*fit : nullptr;
    out.cells = s.labels;
    out.cells << QString::number(y.year) << orEmpty(y.value, spelling::rate)
              << orEmpty(y.changePercent, spelling::percent)
              << (y.meanRatio ? spelling::rate(*y.meanRatio) : QString()) << verdictText(y.verdict)
              << QObject::tr("%1, %2 %")
                     .arg(classWord(row.result.practice.trendClass),
                         spelling::percent(row.result.practice.averageAnnualChangeRate))
              << (jp ? spelling::percent(jp->aapc) : QString())
              << (jp ? QObject::tr("%1 с %2")
                             .arg(spelling::percent(jp->segments.back().apc))
                             .arg(jp->segments.back().start)
                     : QString());
    return out;
}

Document::Document(const QString &tableName, const QStringList &labelNames)
    : tableName(tableName)
    , labelNames(labelNames)
{ }

void Document::reorder(const std::vector<std::size_t> &order)
{
    std::vector<Section> ordered;
    ordered.reserve(order.size());
    for (const std::size_t at : order)
        ordered.push_back(std::move(sections[at]));
    sections = std::move(ordered);
}

namespace {

QTextBlockFormat centred()
{
    QTextBlockFormat format;
    format.setAlignment(Qt::AlignHCenter);
    return format;
}

QTextCharFormat weighted(double points, QFont::Weight weight = QFont::Normal)
{
    QTextCharFormat format;
    if (points > 0)
        format.setFontPointSize(points);
    format.setFontWeight(weight);
    return format;
}

// The document as bytes of its format; false with `why`.
bool encode(QTextDocument &document, DocumentFormat format,
    const std::vector<Document::Section> &sections, QBuffer &made, QString *why)
{
    if (format == DocumentFormat::Odt) {
        QTextDocumentWriter writer(&made, "odf");
        if (writer.write(&document))
            return true;
        *why = QObject::tr("не удалось составить ODT");
        return false;
    }
    // The layout made only now: made before, it would lay the rest of the
    // document out again after every insertion.
    ChartObject charts(sections);
    document.documentLayout()->registerHandler(ChartObject::Type, &charts);
    QPdfWriter pdf(&made);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(300);
    pdf.setTitle(QObject::tr("Многолетняя динамика заболеваемости"));
    pdf.setCreator(QStringLiteral("Vantorel"));
    document.print(&pdf);
    // A PDF printed whole ends with its trailer.
    if (made.data().trimmed().endsWith("%%EOF"))
        return true;
    *why = QObject::tr("не удалось напечатать PDF");
    return false;
}

} // namespace

// The title, the table's name, the years covered and the reporting years.
void Document::titleBlock(QTextCursor &cursor) const
{
    cursor.setBlockFormat(centred());
    cursor.insertText(
        QObject::tr("Многолетняя динамика заболеваемости"), weighted(16, QFont::Bold));
    cursor.insertBlock(centred());
    cursor.insertText(tableName, QTextCharFormat());

    std::int32_t first = 0, last = 0;
    QList<std::int32_t> reported;
    for (const Section &s : sections) {
        first = first == 0 ? s.firstYear : std::min(first, s.firstYear);
        last = std::max(last, s.lastYear);
        if (!reported.contains(s.reportYear))
            reported << s.reportYear;
    }
    std::sort(reported.begin(), reported.end());
    QStringList years;
    for (const std::int32_t y : reported)
        years << QString::number(y);
    cursor.insertBlock(centred());
    cursor.insertText(QObject::tr("Годы наблюдения: %1–%2. Отчётный год: %3.")
                          .arg(first)
                          .arg(last)
                          .arg(years.join(QStringLiteral(", "))),
        QTextCharFormat());
}

// A row of every series: its reporting year, the verdict, the trend.
void Document::seriesTable(QTextCursor &cursor) const
{
    const QStringList header = labelNames
        + QStringList {QObject::tr("Год"), QObject::tr("Показатель"),
            QObject::tr("К прошлому году, %"), QObject::tr("К СМУ, раз"), QObject::tr("Оценка"),
            QObject::tr("Тенденция, среднегодовой темп"), QObject::tr("AAPC, %"),
            QObject::tr("APC последнего отрезка, %")};
    cursor.insertBlock(QTextBlockFormat());
    QTextTableFormat grid;
    grid.setCellPadding(2);
    grid.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    grid.setBorderCollapse(true);
    grid.setHeaderRowCount(1);
    grid.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    // The labels share 30 % of the width; the verdict and the trend, the
    // longest words, get the most of the rest.
    QList<QTextLength> widths(
        labelNames.size(), QTextLength(QTextLength::PercentageLength, 30.0 / labelNames.size()));
    for (const double percent : {6, 8, 8, 7, 13, 13, 7, 8})
        widths << QTextLength(QTextLength::PercentageLength, percent);
    grid.setColumnWidthConstraints(widths);
    QTextTable *table = cursor.insertTable(int(sections.size()) + 1, int(header.size()), grid);
    const QTextCharFormat small = weighted(8), smallBold = weighted(8, QFont::Bold);
    for (int c = 0; c < header.size(); ++c)
        table->cellAt(0, c).firstCursorPosition().insertText(header[c], smallBold);
    for (std::size_t r = 0; r < sections.size(); ++r) {
        for (int c = 0; c < header.size(); ++c)
            table->cellAt(int(r) + 1, c)
                .firstCursorPosition()
                .insertText(sections[r].cells.value(c), small);
    }
    cursor.movePosition(QTextCursor::End);
}

// A page a series: its heading, its chart and its paragraph.
void Document::seriesPages(QTextDocument &document, QTextCursor &cursor) const
{
    QTextBlockFormat newPage;
    newPage.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextBlockFormat justified;
    justified.setAlignment(Qt::AlignJustify);
    justified.setBottomMargin(12);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section &s = sections[i];
        // Its heading is never left at a page's foot.
        cursor.insertBlock(newPage);
        cursor.insertText(s.heading, weighted(13, QFont::Bold));
        cursor.insertBlock(centred());
        if (s.drawing) {
            QTextCharFormat chart;
            chart.setObjectType(ChartObject::Type);
            chart.setProperty(ChartObject::Index, int(i));
            cursor.insertText(QString(QChar::ObjectReplacementCharacter), chart);
        } else {
            const QString name = QStringLiteral("chart%1.png").arg(i + 1);
            // As PNG bytes: the ODF writer stores them as they are.
            document.addResource(QTextDocument::ImageResource, QUrl(name), s.chart);
            QTextImageFormat image;
            image.setName(name);
            image.setWidth(ChartWidthPoints);
            image.setHeight(ChartWidthPoints * Height / Width);
            cursor.insertImage(image);
        }
        cursor.insertBlock(justified);
        cursor.insertText(s.paragraph, QTextCharFormat());
    }
}

bool Document::write(QIODevice *device, DocumentFormat format, QString *why) const
{
    QTextDocument document;
    QFont font(QStringLiteral("Nimbus Roman"));
    font.setPointSizeF(11);
    document.setDefaultFont(font);
    QTextCursor cursor(&document);
    titleBlock(cursor);
    seriesTable(cursor);
    seriesPages(document, cursor);

    // Made in memory, then written at once: the zip writer closes its
    // device when done, and printing tells of no failure.
    QBuffer made;
    made.open(QIODevice::WriteOnly);
    if (!encode(document, format, sections, made, why))
        return false;
    const QByteArray &bytes = made.data();
    const qint64 written = device->write(bytes);
    if (written == bytes.size())
        return true;
    // After a short write the toolkit gives no reason; the system does.
    auto *file = qobject_cast<QFileDevice *>(device);
    *why = file
        ? trend::writeFailure(*file, QByteArrayView(bytes).sliced(std::max<qint64>(written, 0)))
        : device->errorString();
    return false;
}

} // namespace summary

#include "document.moc"
