// SPDX-License-Identifier: MIT
// The annual report's chapter for a table, as a document an office hands
// in: a first page with the title, the table's name, the years covered and
// the reporting year, and a table of every series (its reporting year and
// value, the change to last year, the ratio to the multi-year level, the
// verdict, the trend class and its average annual rate, the AAPC and the
// last segment's APC); then a section per series with its heading, its
// chart and its paragraph. Written as OpenDocument text (.odt), which Word
// and LibreOffice open, or as PDF for print, by the toolkit's own document
// classes.
#pragma once

#include "summary/summaryrow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QTextCursor;
class QTextDocument;

namespace summary {

enum class DocumentFormat { Odt, Pdf };

// The format a name's ending asks for; none for another ending.
std::optional<DocumentFormat> documentFormat(const QString &path);

// The most series a document holds: past it, a chapter nobody reads.
constexpr int MaxDocumentSeries = 2000;

class Document
{
public:
    // A series' part of the document, made on the thread that computed it.
    struct Section {
        QString heading; // the labels joined by « / »
        QStringList cells; // its row of the first page's table
        QString paragraph;
        // The chart: as PNG for a file of pictures (ODT); drawn on the page
        // itself, in lines, for print (PDF).
        QByteArray chart;
        std::shared_ptr<const analysis::SeriesResult> drawing;
        QString valueName; // the chart's axis
        std::int32_t firstYear = 0, lastYear = 0, reportYear = 0;
    };
    static Section section(const RowInput &row, const QString &valueName, DocumentFormat format);

    Document(const QString &tableName, const QStringList &labelNames);
    void add(Section section) { sections.push_back(std::move(section)); }
    std::size_t size() const { return sections.size(); }
    // Puts the sections in this order of their places (as add() took them).
    void reorder(const std::vector<std::size_t> &order);
    // Writes the document to `device` in `format`; false with `why`.
    bool write(QIODevice *device, DocumentFormat format, QString *why) const;

private:
    void titleBlock(QTextCursor &cursor) const;
    void seriesTable(QTextCursor &cursor) const;
    void seriesPages(QTextDocument &document, QTextCursor &cursor) const;

    QString tableName;
    QStringList labelNames;
    std::vector<Section> sections;
};

} // namespace summary
