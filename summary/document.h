// SPDX-License-Identifier: MIT
// The annual report's chapter for a table, as a document an office hands
// in: a first part with the title, the table's name, the years covered and
// the reporting year, a table of every series (its reporting year, cases
// and value, the change to last year, the ratio to the multi-year level,
// the verdict, the trend class and its average annual rate, the AAPC and
// the last segment's APC) and a note on the methods of the run; then a
// section per series with its heading, its chart and its paragraph, kept
// whole, two to a page where they fit.
//
// Written as OpenDocument text (.odt), which Word and LibreOffice open and
// lay out themselves, or as PDF for print, laid out here. Both take the
// table's column widths from one measure of its contents, repeat its header
// on every page and never split a row; a table too wide to stand upright
// gets landscape pages.
#pragma once

#include "analysis/territory.h"
#include "summary/funnelchart.h"
#include "summary/summaryrow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;

namespace summary {

enum class DocumentFormat { Odt, Pdf };

// The format a name's ending asks for; none for another ending.
std::optional<DocumentFormat> documentFormat(const QString &path);

// The most series a document holds: past it, a chapter nobody reads.
constexpr int MaxDocumentSeries = 2000;

// The funnel plot of a group's territories, those compared with counts.
FunnelInput funnelOf(const QString &title,
    const std::vector<analysis::TerritoryCensus::Territory> &territories, const QString &unit,
    double per);

// The title a document has unless the run names another.
QString defaultDocumentTitle();

// What the note on methods says of a run: how the trend, the APC and the
// joinpoints were computed and what the verdict's bounds are.
QString methodsNote(const analysis::AnalysisOptions &options, bool counts);

class Document
{
public:
    // The parts the writers lay out.
    struct Table {
        QStringList header;
        std::vector<QStringList> rows;
        std::vector<bool> numeric; // a column of numbers, set to the right
    };

    // A group's territories, after its region's own section: their table,
    // ranked, and what it says in words.
    struct Territories {
        QString heading;
        Table table;
        QString paragraph;
        // The funnel plot, with counts: as PNG for ODT, drawn for PDF.
        QByteArray chart;
        std::shared_ptr<const FunnelInput> drawing;
    };
    // `territoryName`: the label column's name («Район»); `counts`: with
    // cases, which the table then shows with the funnel plot.
    static Territories territories(const QString &territoryName,
        const std::vector<analysis::TerritoryCensus::Territory> &territories,
        const FunnelInput &funnel, bool counts, DocumentFormat format);

    // A series' part of the document, made on the thread that computed it.
    struct Section {
        QString heading; // the labels joined by « / »
        QStringList cells; // its row of the table, one cell a column of tableHeader()
        QString paragraph;
        // The chart: as PNG for a file of pictures (ODT); drawn on the page
        // itself, in lines, for print (PDF).
        QByteArray chart;
        std::shared_ptr<const analysis::SeriesResult> drawing;
        QString valueName; // the chart's axis
        QString unit; // «на 100 тыс.», with counts
        bool counts = false;
        std::int32_t firstYear = 0, lastYear = 0, reportYear = 0;
        std::shared_ptr<const Territories> territories; // a region's
    };
    static Section section(const RowInput &row, const QString &valueName, DocumentFormat format);

    struct Info {
        QString title; // empty: defaultDocumentTitle()
        QString tableName;
        QStringList labelNames;
        QString methods; // the note on methods; none when empty
    };
    explicit Document(Info info);
    void add(Section section) { sections.push_back(std::move(section)); }
    std::size_t size() const { return sections.size(); }
    // Puts the sections in this order of their places (as add() took them).
    void reorder(const std::vector<std::size_t> &order);
    // Writes the document to `device` in `format`; false with `why`.
    bool write(QIODevice *device, DocumentFormat format, QString *why) const;

    const Info &info() const { return about; }
    QString title() const;
    QString coverage() const; // «Годы наблюдения: 2005–2024. Отчётный год: 2024.»
    Table table() const;
    const std::vector<Section> &parts() const { return sections; }

private:
    Info about;
    std::vector<Section> sections;
};

} // namespace summary
