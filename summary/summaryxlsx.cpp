// SPDX-License-Identifier: MIT
// The summary as an Excel workbook, written by libxlsxwriter: one row a
// series, numbers as numeric cells, a Russian header that stays in view
// with a filter on it, and a second sheet that names each column in
// English and in Russian. Rows go out as they come (libxlsxwriter's
// constant-memory mode), so memory does not grow with the table.
#include "summary/summarywriter.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <cmath>
#include <cstring>
#include <limits>

#include <xlsxwriter.h>

namespace summary {

namespace {

// A row as formatRow() spells it for the run's own thread to write: a type
// byte and the value, then '\n' after the row.
template<typename T> void put(QByteArray &out, char type, T value)
{
    out.append(type).append(reinterpret_cast<const char *>(&value), sizeof value);
}

template<typename T> T take(const char *&p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    p += sizeof value;
    return value;
}

class XlsxSummary : public SummaryWriter
{
public:
    // The writer of `sheet`; the `owner` closes the workbook.
    XlsxSummary(const QStringList &names, const std::vector<Column> &model, lxw_workbook *book,
        lxw_worksheet *sheet, bool owner)
        : SummaryWriter(nullptr, names, model)
        , book(book)
        , sheet(sheet)
        , owner(owner)
    { }

    // A workbook given up without finish() or cancel() is closed all the
    // same: libxlsxwriter frees it, and the files it holds open, only then.
    ~XlsxSummary() override
    {
        if (owner)
            close();
    }

    std::unique_ptr<SummaryWriter> segmentsSheet() override { return std::move(segments); }
    std::unique_ptr<SummaryWriter> segments;

    void formatRow(QByteArray &out, const RowInput &r) const override
    {
        for (qsizetype i = 0; i < labelNames.size(); ++i)
            text(out, r.result.series.labels.value(i));
        for (const Column &column : model) {
            std::visit(
                Overloaded {[&](const QString &x) { text(out, x); },
                    [&](qint64 x) { put(out, 'R', double(x)); },
                    [&](double x) { put(out, 'R', x); },
                    [&](trend::TrendClass x) { text(out, trend::classLine(x)); },
                    [&](stats::Verdict x) { text(out, QString::fromLatin1(verdictKey(x))); },
                    [&](bool x) { text(out, x ? QObject::tr("да") : QObject::tr("нет")); },
                    [&](Absent) { put(out, 'R', std::numeric_limits<double>::quiet_NaN()); }},
                column.value(r));
        }
        out.append('\n');
    }

    bool finish() override
    {
        if (!flush()) {
            const QString why = failure;
            cancel();
            failure = why;
            return false;
        }
        worksheet_autofilter(sheet, 0, 0, row, lxw_col_t(columns() - 1));
        return !owner || close();
    }

    void cancel() override
    {
        if (owner)
            close();
    }

private:
    static void text(QByteArray &out, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        put(out, 'T', qint32(utf8.size()));
        out.append(utf8);
    }

    qsizetype columns() const { return labelNames.size() + qsizetype(model.size()); }

    void begin() override
    {
        lxw_format *bold = workbook_add_format(book);
        format_set_bold(bold);
        lxw_col_t c = 0;
        for (const QString &name : labelNames)
            worksheet_write_string(sheet, 0, c++, name.toUtf8().constData(), bold);
        for (const Column &column : model)
            worksheet_write_string(sheet, 0, c++, column.title, bold);
        worksheet_freeze_panes(sheet, 1, lxw_col_t(labelNames.size()));
    }

    void end() override { }

    void writeRows(QByteArrayView rows) override
    {
        const char *p = rows.data();
        const char *end = p + rows.size();
        lxw_col_t c = 0;
        while (!failed && p < end) {
            if (*p == '\n') {
                ++p;
                c = 0;
                continue;
            }
            if (c == 0)
                ++row;
            const lxw_error e = writeCell(p, c++);
            if (e != LXW_NO_ERROR) {
                failed = true;
                failure = QString::fromUtf8(lxw_strerror(e));
            }
        }
    }

    // Writes the cell that `p` starts, and moves `p` past it.
    lxw_error writeCell(const char *&p, lxw_col_t c)
    {
        if (*p++ == 'T') {
            const auto size = take<qint32>(p);
            const std::string s(p, std::size_t(size));
            p += size;
            return size > 0 ? worksheet_write_string(sheet, row, c, s.c_str(), nullptr)
                            : LXW_NO_ERROR;
        }
        const double v = take<double>(p);
        return std::isfinite(v) ? worksheet_write_number(sheet, row, c, v, nullptr) : LXW_NO_ERROR;
    }

    // Writes the workbook out; its caller gives the file its name.
    bool close()
    {
        if (!book)
            return !failed;
        const lxw_error e = workbook_close(book);
        book = nullptr;
        if (e == LXW_NO_ERROR)
            return true;
        failure = QString::fromUtf8(lxw_strerror(e));
        failed = true;
        return false;
    }

    lxw_workbook *book;
    lxw_worksheet *sheet;
    const bool owner;
    lxw_row_t row = 0;
};

// The last sheet: each column's Russian title and English name.
void writeLegend(lxw_workbook *book, const std::vector<Column> &model)
{
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_worksheet *legend = workbook_add_worksheet(book, "Столбцы");
    worksheet_write_string(legend, 0, 0, "столбец", bold);
    worksheet_write_string(legend, 0, 1, "column", bold);
    lxw_row_t r = 1;
    for (const Column &column : model) {
        worksheet_write_string(legend, r, 0, column.title, nullptr);
        worksheet_write_string(legend, r++, 1, column.name, nullptr);
    }
    worksheet_write_string(legend, ++r, 0,
        "Пустая ячейка в числовом столбце: значение не определено "
        "(деление на ноль, бесконечность).",
        nullptr);
}

} // namespace

std::unique_ptr<SummaryWriter> SummaryWriter::createXlsx(const QString &path,
    const QStringList &labelNames, const std::vector<Column> &model,
    const std::vector<Column> *segments, QString *error)
{
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(folder.constData());
    lxw_workbook *book = workbook_new_opt(file.constData(), &options);
    if (!book) {
        *error = QObject::tr("книга Excel не создана");
        return nullptr;
    }
    QStringList names;
    for (qsizetype i = 0; i < labelNames.size(); ++i)
        names.append(
            labelNames[i].isEmpty() ? QStringLiteral("label%1").arg(i + 1) : labelNames[i]);
    auto writer = std::make_unique<XlsxSummary>(
        names, model, book, workbook_add_worksheet(book, "Сводка"), true);
    static_cast<SummaryWriter *>(writer.get())->begin();
    if (segments) {
        writer->segments = std::make_unique<XlsxSummary>(
            names, *segments, book, workbook_add_worksheet(book, "Отрезки"), false);
        static_cast<SummaryWriter *>(writer->segments.get())->begin();
    }
    writeLegend(book, model);
    return writer;
}

} // namespace summary
