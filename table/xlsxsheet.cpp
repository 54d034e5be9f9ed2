// SPDX-License-Identifier: MIT
#include "table/xlsxsheet.h"

#include "table/tablereader.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QXmlStreamReader>

#include <zip.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace table {

namespace {

constexpr qint64 MaxSmallPartBytes = 16 * 1024 * 1024; // workbook, relations, styles
constexpr qint64 MaxInflation = 100; // a hundredfold, beyond the first MiB
constexpr qint64 MaxRows = 1048576; // what Excel holds
constexpr qint64 MaxColumns = 16384;

} // namespace

struct Workbook::Archive {
    QByteArray data; // what a workbook in memory is read from
    zip_t *zip = nullptr;
    ~Archive()
    {
        if (zip)
            zip_discard(zip);
    }
};

namespace {

// One part of the container as a stream, with the inflation it may have
// bounded: a zip bomb ends as an error, not as memory or hours.
class PartDevice : public QIODevice
{
public:
    PartDevice(std::shared_ptr<Workbook::Archive> archive, const QString &name, qint64 limit)
        : archive(std::move(archive))
        , name(name)
        , limit(limit)
    { }
    ~PartDevice() override
    {
        if (file)
            zip_fclose(file);
    }

    bool start(QString *error)
    {
        zip_stat_t st;
        zip_stat_init(&st);
        const QByteArray path = name.toUtf8();
        if (zip_stat(archive->zip, path.constData(), ZIP_FL_NOCASE, &st) != 0) {
            *error = QObject::tr("в книге нет части %1").arg(name);
            return false;
        }
        if ((st.valid & ZIP_STAT_COMP_SIZE) != 0)
            compressed = qint64(st.comp_size);
        if ((st.valid & ZIP_STAT_SIZE) != 0)
            size = qint64(st.size);
        if ((st.valid & ZIP_STAT_SIZE) != 0 && st.size > zip_uint64_t(limit)) {
            *error = tooLarge();
            return false;
        }
        file = zip_fopen_index(archive->zip, st.index, 0);
        if (!file) {
            *error = QObject::tr("часть %1 не читается (%2)")
                         .arg(name, QString::fromUtf8(zip_strerror(archive->zip)));
            return false;
        }
        return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    // The part of the part read so far, 0 to 1; -1 when its size is not known.
    double fractionRead() const { return size > 0 ? double(inflated) / double(size) : -1; }
    // Set when reading stopped on the container, not on the XML.
    QString failure;

protected:
    qint64 readData(char *data, qint64 maxlen) override
    {
        if (!failure.isEmpty())
            return -1;
        const zip_int64_t got = zip_fread(file, data, zip_uint64_t(maxlen));
        if (got < 0)
            return fail(QObject::tr("часть %1 повреждена (%2)")
                            .arg(name, QString::fromUtf8(zip_file_strerror(file))));
        inflated += got;
        // No text or tag between two '<' is longer than a record: the XML
        // reader holds each whole.
        for (const char *p = data, *end = data + got; p < end;) {
            const char *lt = static_cast<const char *>(std::memchr(p, '<', std::size_t(end - p)));
            run = lt ? 0 : run + (end - p);
            p = lt ? lt + 1 : end;
        }
        if (run > TableReader::MaxRecordBytes)
            return fail(QObject::tr("часть %1: текст длиннее %2 МиБ")
                            .arg(name)
                            .arg(TableReader::MaxRecordBytes >> 20));
        if (inflated > limit)
            return fail(tooLarge());
        if (inflated > (1 << 20) && inflated / MaxInflation > compressed)
            return fail(QObject::tr("часть %1 разжимается больше чем в %2 раз: похоже на "
                                    "zip-бомбу")
                            .arg(name)
                            .arg(MaxInflation));
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QString tooLarge() const
    {
        return QObject::tr("часть %1 больше %2 МиБ").arg(name).arg(limit >> 20);
    }
    qint64 fail(const QString &why)
    {
        failure = why;
        setErrorString(why);
        return -1;
    }

    std::shared_ptr<Workbook::Archive> archive;
    QString name;
    qint64 limit;
    zip_file_t *file = nullptr;
    qint64 compressed = 0;
    qint64 size = 0; // inflated, as the container says
    qint64 inflated = 0;
    qint64 run = 0; // bytes since the last '<'
};

// Why an XML part could not be read: the container's reason first.
QString xmlFailure(const PartDevice &part, const QXmlStreamReader &xml, const QString &name)
{
    if (!part.failure.isEmpty())
        return part.failure;
    return QObject::tr("часть %1, строка %2: %3")
        .arg(name)
        .arg(xml.lineNumber())
        .arg(xml.errorString());
}

// Reads a whole small part with `visit` called at each start element;
// false with `error` set when it cannot.
template<typename Visit>
bool readPart(const std::shared_ptr<Workbook::Archive> &archive, const QString &name,
    QString *error, Visit visit)
{
    PartDevice part(archive, name, MaxSmallPartBytes);
    if (!part.start(error))
        return false;
    QXmlStreamReader xml(&part);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            visit(xml);
    }
    if (xml.hasError()) {
        *error = xmlFailure(part, xml, name);
        return false;
    }
    return true;
}

struct Relation {
    QString type;
    QString target; // a part's name in the container
};

// The relations of the part `owner` ("xl/workbook.xml"), by their ids.
bool readRelations(const std::shared_ptr<Workbook::Archive> &archive, const QString &owner,
    QHash<QString, Relation> &relations, QString *error)
{
    const qsizetype slash = owner.lastIndexOf(u'/');
    const QString dir = owner.left(slash + 1);
    const QString name
        = dir + QStringLiteral("_rels/") + owner.mid(slash + 1) + QStringLiteral(".rels");
    return readPart(archive, name, error, [&](QXmlStreamReader &xml) {
        if (xml.name() != u"Relationship")
            return;
        const auto a = xml.attributes();
        const QString target = a.value(QLatin1String("Target")).toString();
        const QString path = target.startsWith(u'/') ? target.mid(1) : dir + target;
        relations.insert(a.value(QLatin1String("Id")).toString(),
            Relation {a.value(QLatin1String("Type")).toString(), QDir::cleanPath(path)});
    });
}

QString relationOfType(const QHash<QString, Relation> &relations, QStringView type)
{
    for (const Relation &r : relations) {
        if (r.type.endsWith(type))
            return r.target;
    }
    return {};
}

// Whether a number format shows a date or a time: one of Excel's own, or a
// code with a date or time letter outside quotes, escapes and brackets.
bool isDateFormat(int id, const QString &code)
{
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47)
        || (id >= 50 && id <= 58))
        return true;
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == u'\\' || c == u'_' || c == u'*')
            ++i; // the next character is shown as it is
        else if (c == u'[')
            ++bracket;
        else if (c == u']')
            bracket = std::max(0, bracket - 1);
        else if (bracket == 0 && QStringLiteral("dmyhs").contains(c, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Shared strings, one blob of UTF-8 with each string's start.
struct SharedStrings {
    QByteArray text;
    std::vector<qsizetype> starts {0};
    qsizetype count() const { return qsizetype(starts.size()) - 1; }
    QByteArrayView at(qsizetype i) const
    {
        return QByteArrayView(text).sliced(
            starts[std::size_t(i)], starts[std::size_t(i) + 1] - starts[std::size_t(i)]);
    }
};

// The text of a string item (<si> or <is>), its runs joined and its
// phonetic hints left out; the reader ends on the item's end element.
void appendItemText(QXmlStreamReader &xml, QByteArray &out)
{
    int depth = 1, phonetic = 0;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == u"rPh")
                ++phonetic;
            else if (xml.name() == u"t" && phonetic == 0) {
                out += xml.readElementText().toUtf8();
                --depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            if (xml.name() == u"rPh")
                --phonetic;
            break;
        default:
            break;
        }
    }
}

// One sheet as tab-delimited lines, made a row at a time as the table
// reader asks for them.
class SheetDevice : public QIODevice
{
public:
    SheetDevice(std::unique_ptr<PartDevice> part, const QString &partName,
        std::shared_ptr<const SharedStrings> strings, std::vector<bool> dateStyles, bool date1904)
        : part(std::move(part))
        , partName(partName)
        , strings(std::move(strings))
        , dateStyles(std::move(dateStyles))
        , date1904(date1904)
        , xml(this->part.get())
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    double fractionRead() const { return part->fractionRead(); }

protected:
    qint64 readData(char *data, qint64 maxlen) override
    {
        // What was read goes first, so that the buffer stays as long as a
        // read and a row.
        out.remove(0, outPos);
        outPos = 0;
        while (out.size() - outPos < maxlen && !finished)
            finished = !nextRow();
        const qint64 n = std::min<qint64>(maxlen, out.size() - outPos);
        if (n == 0 && !failure.isEmpty()) {
            setErrorString(failure);
            return -1;
        }
        std::memcpy(data, out.constData() + outPos, std::size_t(n));
        outPos += qsizetype(n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool fail(const QString &why)
    {
        failure = why;
        return false;
    }

    // Appends the next row's line; false at the end of the sheet or on an
    // error.
    bool nextRow()
    {
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"sheetData")
                return false;
            if (token != QXmlStreamReader::StartElement || xml.name() != u"row")
                continue;
            // A row cut short by a failure is not given: the reader would
            // take it for a row and name its own fault instead.
            const qsizetype start = out.size();
            if (readRow())
                return true;
            out.truncate(start);
            return false;
        }
        if (xml.hasError())
            return fail(xmlFailure(*part, xml, partName));
        return false;
    }

    // The row's number, from its reference or after the last; lines for
    // the rows skipped before it. False when it comes out of order.
    bool startRow(qint64 &number)
    {
        const auto r = xml.attributes().value(QLatin1String("r"));
        number = lastRow + 1;
        if (!r.isEmpty()) {
            bool ok = false;
            number = r.toLongLong(&ok);
            if (!ok)
                number = 0;
        }
        if (number <= lastRow || number > MaxRows)
            return fail(QObject::tr("часть %1: строка листа «%2» не по порядку")
                            .arg(partName, r.toString()));
        out.append(QByteArray(qsizetype(number - lastRow - 1), '\n'));
        lastRow = number;
        return true;
    }

    // The 0-based column of a cell reference ("AB12"), or the one after
    // `previous` when the cell has none.
    static qint64 columnOf(QStringView ref, qint64 previous)
    {
        if (ref.isEmpty())
            return previous + 1;
        qint64 at = 0;
        for (qsizetype i = 0; i < ref.size() && ref[i].isLetter() && at <= MaxColumns; ++i)
            at = at * 26 + (ref[i].toUpper().unicode() - u'A' + 1);
        return at - 1;
    }

    bool readRow()
    {
        qint64 number = 0;
        if (!startRow(number))
            return false;
        const qsizetype lineStart = out.size();
        qint64 fields = 0, column = -1;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"row")
                break;
            if (token != QXmlStreamReader::StartElement || xml.name() != u"c")
                continue;
            const auto a = xml.attributes();
            const auto ref = a.value(QLatin1String("r"));
            const qint64 at = columnOf(ref, column);
            if (at <= column || at >= MaxColumns)
                return fail(QObject::tr("часть %1: ячейка «%2» не по порядку")
                                .arg(partName, ref.toString()));
            column = at;
            for (; fields <= column; ++fields) {
                if (fields > 0)
                    out.append('\t');
            }
            if (!readCell(a.value(QLatin1String("t")), a.value(QLatin1String("s")).toInt()))
                return false;
            if (out.size() - lineStart > TableReader::MaxRecordBytes)
                return fail(QObject::tr("часть %1: строка %2 длиннее %3 МиБ")
                                .arg(partName)
                                .arg(number)
                                .arg(TableReader::MaxRecordBytes >> 20));
        }
        if (xml.hasError())
            return fail(xmlFailure(*part, xml, partName));
        out.append('\n');
        return true;
    }

    // Appends the text of the cell whose start the reader is on.
    bool readCell(QStringView type, int style)
    {
        value.clear();
        inlineText.clear();
        bool hasInline = false;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"c")
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"v")
                value = xml.readElementText().toUtf8();
            else if (xml.name() == u"is") {
                hasInline = true;
                appendItemText(xml, inlineText);
            } else
                xml.skipCurrentElement(); // a formula: its cached value is <v>
        }
        if (xml.hasError())
            return fail(xmlFailure(*part, xml, partName));
        if (type == u"inlineStr" || hasInline)
            appendText(inlineText);
        else if (type == u"s") {
            bool ok = false;
            const qsizetype i = value.trimmed().toLongLong(&ok);
            if (!ok || i < 0 || i >= strings->count())
                return fail(QObject::tr("часть %1: нет общей строки «%2»")
                                .arg(partName, QString::fromUtf8(value.left(20))));
            appendText(strings->at(i));
        } else if (type == u"b")
            appendText(value.trimmed() == "1" ? QObject::tr("ИСТИНА").toUtf8()
                                              : QObject::tr("ЛОЖЬ").toUtf8());
        else if ((type.isEmpty() || type == u"n") && style >= 0
            && std::size_t(style) < dateStyles.size() && dateStyles[std::size_t(style)]
            && !value.isEmpty())
            appendText(dateText(value));
        else
            appendText(value);
        return true;
    }

    // A date's serial number as the day it stands for.
    QByteArray dateText(const QByteArray &serial) const
    {
        double days = 0;
        const auto [end, status]
            = std::from_chars(serial.constData(), serial.constData() + serial.size(), days);
        if (status != std::errc() || !std::isfinite(days) || days < 0 || days > 3e6)
            return QObject::tr("дата %1").arg(QString::fromUtf8(serial)).toUtf8();
        // Excel's 1900 system counts a 29 February 1900 that never was.
        qint64 whole = qint64(std::floor(days));
        QDate day;
        if (date1904)
            day = QDate(1904, 1, 1).addDays(whole);
        else
            day = QDate(1899, 12, whole < 60 ? 31 : 30).addDays(whole);
        return day.toString(QStringLiteral("dd.MM.yyyy")).toUtf8();
    }

    // A cell's text as one field: line breaks as spaces, quoted when it
    // holds a tab or a quote.
    void appendText(QByteArrayView text)
    {
        const bool quote = text.contains('\t') || text.contains('"');
        if (quote)
            out.append('"');
        for (char c : text) {
            if (c == '\n' || c == '\r')
                c = ' ';
            out.append(c);
            if (c == '"')
                out.append('"');
        }
        if (quote)
            out.append('"');
    }

    std::unique_ptr<PartDevice> part;
    QString partName;
    std::shared_ptr<const SharedStrings> strings;
    std::vector<bool> dateStyles;
    bool date1904;
    QXmlStreamReader xml;
    QByteArray out;
    qsizetype outPos = 0;
    QByteArray value, inlineText; // the cell being read
    qint64 lastRow = 0;
    bool finished = false;
    QString failure;
};

} // namespace

Workbook::~Workbook() = default;

double sheetFractionRead(const QIODevice &sheet)
{
    const auto *device = dynamic_cast<const SheetDevice *>(&sheet);
    return device ? device->fractionRead() : -1;
}

bool isWorkbookName(const QString &name)
{
    return name.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)
        || name.endsWith(QLatin1String(".xlsm"), Qt::CaseInsensitive);
}

std::unique_ptr<Workbook> Workbook::open(const QString &path, QString *error)
{
    auto archive = std::make_shared<Archive>();
    int code = 0;
    archive->zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive->zip) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        *error = QObject::tr("не книга Excel (%1)").arg(QString::fromUtf8(zip_error_strerror(&e)));
        zip_error_fini(&e);
        return nullptr;
    }
    return start(std::move(archive), error);
}

std::unique_ptr<Workbook> Workbook::fromData(const QByteArray &data, QString *error)
{
    auto archive = std::make_shared<Archive>();
    archive->data = data;
    zip_error_t e;
    zip_error_init(&e);
    zip_source_t *source
        = zip_source_buffer_create(archive->data.constData(), zip_uint64_t(data.size()), 0, &e);
    if (source)
        archive->zip = zip_open_from_source(source, ZIP_RDONLY, &e);
    if (!archive->zip) {
        *error = QObject::tr("не книга Excel (%1)").arg(QString::fromUtf8(zip_error_strerror(&e)));
        if (source)
            zip_source_free(source);
        zip_error_fini(&e);
        return nullptr;
    }
    zip_error_fini(&e);
    return start(std::move(archive), error);
}

std::unique_ptr<Workbook> Workbook::start(std::shared_ptr<Archive> archive, QString *error)
{
    std::unique_ptr<Workbook> book(new Workbook);
    book->archive = archive;
    QHash<QString, Relation> top;
    if (!readRelations(archive, QStringLiteral(""), top, error))
        return nullptr;
    QString main = relationOfType(top, u"/officeDocument");
    if (main.isEmpty())
        main = QStringLiteral("xl/workbook.xml");
    QHash<QString, Relation> relations;
    if (!readRelations(archive, main, relations, error))
        return nullptr;
    bool missing = false;
    if (!readPart(archive, main, error, [&](QXmlStreamReader &xml) {
            if (xml.name() == u"workbookPr") {
                const auto v = xml.attributes().value(QLatin1String("date1904"));
                book->date1904 = v == u"1" || v == u"true";
            }
            if (xml.name() != u"sheet")
                return;
            // The sheet's relation: r:id, whichever namespace (transitional or
            // strict) r stands for.
            const auto a = xml.attributes();
            QString id;
            for (const QXmlStreamAttribute &attribute : a) {
                if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
                    id = attribute.value().toString();
            }
            const auto it = relations.constFind(id);
            missing = missing || it == relations.constEnd();
            book->names.append(a.value(QLatin1String("name")).toString());
            book->parts.append(it == relations.constEnd() ? QString() : it->target);
        }))
        return nullptr;
    if (book->names.isEmpty() || missing) {
        *error = book->names.isEmpty() ? QObject::tr("в книге нет ни одного листа")
                                       : QObject::tr("у листа в книге нет части");
        return nullptr;
    }
    book->sharedStringsPart = relationOfType(relations, u"/sharedStrings");
    book->stylesPart = relationOfType(relations, u"/styles");
    return book;
}

QStringList Workbook::sheetNames() const
{
    return names;
}

namespace {

// Every shared string of a workbook, in one blob.
std::shared_ptr<const SharedStrings> readSharedStrings(
    const std::shared_ptr<Workbook::Archive> &archive, const QString &name, QString *error)
{
    auto strings = std::make_shared<SharedStrings>();
    if (name.isEmpty())
        return strings;
    PartDevice part(archive, name, std::numeric_limits<qint64>::max());
    if (!part.start(error))
        return nullptr;
    QXmlStreamReader xml(&part);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"si")
            continue;
        appendItemText(xml, strings->text);
        if (strings->text.size() > Workbook::MaxSharedStringBytes) {
            *error = QObject::tr("общих строк в книге больше %1 МиБ")
                         .arg(Workbook::MaxSharedStringBytes >> 20);
            return nullptr;
        }
        strings->starts.push_back(strings->text.size());
    }
    if (xml.hasError()) {
        *error = xmlFailure(part, xml, name);
        return nullptr;
    }
    return strings;
}

// For each cell style, by its index, whether it shows a date.
std::optional<std::vector<bool>> readDateStyles(
    const std::shared_ptr<Workbook::Archive> &archive, const QString &name, QString *error)
{
    std::vector<bool> dateStyles;
    if (name.isEmpty())
        return dateStyles;
    QHash<int, QString> codes;
    bool inCellFormats = false;
    const bool read = readPart(archive, name, error, [&](QXmlStreamReader &xml) {
        const auto a = xml.attributes();
        if (xml.name() == u"numFmt")
            codes.insert(a.value(QLatin1String("numFmtId")).toInt(),
                a.value(QLatin1String("formatCode")).toString());
        else if (xml.name() == u"cellXfs")
            inCellFormats = true;
        else if (xml.name() == u"cellStyles" || xml.name() == u"dxfs")
            inCellFormats = false;
        else if (xml.name() == u"xf" && inCellFormats) {
            const int id = a.value(QLatin1String("numFmtId")).toInt();
            dateStyles.push_back(isDateFormat(id, codes.value(id)));
        }
    });
    if (!read)
        return std::nullopt;
    return dateStyles;
}

} // namespace

std::unique_ptr<QIODevice> Workbook::sheet(const QString &name, QString *error) const
{
    const qsizetype index = name.isEmpty() ? 0 : names.indexOf(name);
    if (index < 0) {
        *error = QObject::tr("в книге нет листа «%1»; листы: %2").arg(name, names.join(u", "));
        return nullptr;
    }
    auto strings = readSharedStrings(archive, sharedStringsPart, error);
    if (!strings)
        return nullptr;
    auto dateStyles = readDateStyles(archive, stylesPart, error);
    if (!dateStyles)
        return nullptr;
    const QString partName = parts[index];
    auto part = std::make_unique<PartDevice>(archive, partName, std::numeric_limits<qint64>::max());
    if (!part->start(error))
        return nullptr;
    return std::make_unique<SheetDevice>(
        std::move(part), partName, std::move(strings), std::move(*dateStyles), date1904);
}

} // namespace table
