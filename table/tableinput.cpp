// SPDX-License-Identifier: MIT
#include "table/tableinput.h"

#include "table/cells.h"
#include "table/tablereader.h"
#include "table/xlsxsheet.h"

#include <QFile>
#include <QObject>

#include <algorithm>
#include <cstdio>

namespace table {

namespace {

// A workbook's sheet. A named file is opened by libzip itself; standard
// input is read whole, since a zip's directory is at its end.
bool openWorkbook(QFile &file, const InputOptions &o, Input &input, Problem *why)
{
    QString error;
    const std::unique_ptr<Workbook> book = o.path == QLatin1String("-")
        ? Workbook::fromData(file.readAll(), &error)
        : Workbook::open(o.path, &error);
    if (book)
        input.device = book->sheet(o.sheet, &error);
    if (!input.device) {
        *why = Problem::about(input.fileName, error);
        return false;
    }
    input.sheet = o.sheet.isEmpty() ? book->sheetNames().constFirst() : o.sheet;
    input.fractionRead = [sheet = input.device.get()] { return sheetFractionRead(*sheet); };
    return true;
}

} // namespace

std::optional<Input> openInput(const InputOptions &o, Problem *why)
{
    Input input;
    input.fileName = o.path;
    auto file = std::make_unique<QFile>(o.path);
    if (o.path == QLatin1String("-")) {
        if (!file->open(stdin, QIODevice::ReadOnly)) {
            *why = Problem::about({}, QObject::tr("стандартный ввод не открыт"));
            return std::nullopt;
        }
    } else if (!file->open(QIODevice::ReadOnly)) {
        *why = Problem::about(o.path, QObject::tr("файл не открыт (%1)").arg(file->errorString()));
        return std::nullopt;
    }
    // A workbook by another name is known by its first bytes, and so is
    // the binary workbook of Excel 97-2003, which is not read.
    const QByteArray magic = file->peek(8);
    if (isWorkbookName(o.path) || !o.sheet.isEmpty() || magic.startsWith("PK\x03\x04")) {
        if (!openWorkbook(*file, o, input, why))
            return std::nullopt;
        return input;
    }
    if (magic == QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        *why = Problem::about(o.path,
            QObject::tr("книга Excel 97–2003 (.xls) не читается; сохраните её как .xlsx или CSV"));
        return std::nullopt;
    }
    Encoding encoding = o.encoding;
    if (encoding == Encoding::Detect && !looksLikeUtf8(*file)) {
        encoding = Encoding::Cp1251;
        input.detectedCp1251 = true;
    }
    if (o.path != QLatin1String("-") && file->size() > 0)
        input.fractionRead
            = [raw = file.get(), size = double(file->size())] { return double(raw->pos()) / size; };
    input.device = std::move(file);
    if (encoding == Encoding::Cp1251)
        input.device = fromCp1251(std::move(input.device));
    return input;
}

std::optional<Header> readHeader(const InputOptions &options, char delimiter, Problem *why)
{
    auto input = openInput(options, why);
    if (!input)
        return std::nullopt;
    TableReader reader(input->device.get(), input->sheet.isEmpty() ? delimiter : '\t');
    Record record;
    if (!reader.next(record)) {
        *why = Problem::about(input->fileName,
            reader.error().isEmpty() ? QObject::tr("таблица пуста") : reader.error());
        return std::nullopt;
    }
    return headerOf(record);
}

Header headerOf(const Record &record)
{
    Header header;
    for (qsizetype i = 0; i < record.size(); ++i) {
        const QString cell = cellText(record.trimmed(i));
        header.cells << cell;
        const qsizetype gap = cell.size() - 5;
        if (gap > 0 && QStringLiteral(" _-").contains(cell[gap])
            && readYear(record.trimmed(i).last(4)) && !header.blocks.contains(cell.left(gap)))
            header.blocks << cell.left(gap);
    }
    return header;
}

CountNames countNames(const Header &header, bool longLayout)
{
    const QStringList &names = longLayout ? header.cells : header.blocks;
    const auto holding = [&](QStringView word) {
        for (int i = 0; i < names.size(); ++i) {
            if (names[i].contains(word, Qt::CaseInsensitive))
                return i;
        }
        return -1;
    };
    // The first name that is not `taken`, or the only one.
    const auto other = [&](int taken) {
        return names.isEmpty() ? -1 : taken == 0 && names.size() > 1 ? 1 : 0;
    };
    CountNames counts {holding(u"случа"), holding(u"насел"), false};
    if (counts.cases < 0)
        counts.cases = other(counts.population);
    if (counts.population < 0)
        counts.population = other(counts.cases);
    counts.countTable = !longLayout && names.size() >= 2
        && std::none_of(header.cells.begin(), header.cells.end(),
            [](const QString &cell) { return readYear(cell.toUtf8()).has_value(); });
    return counts;
}

QStringList sheetNames(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.peek(4).startsWith("PK\x03\x04"))
        return {};
    QString error;
    const auto book = Workbook::open(path, &error);
    return book ? book->sheetNames() : QStringList();
}

} // namespace table
