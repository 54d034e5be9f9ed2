// SPDX-License-Identifier: MIT
#include "calc/incidencetext.h"

#include "calc/trendcore.h"

#include <QByteArrayView>
#include <QObject>
#include <QRegularExpression>
#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace trend {

namespace {

constexpr bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

constexpr bool isNumberChar(char16_t c)
{
    return isDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u',' || c == u'e' || c == u'E';
}

char16_t unit(QChar c)
{
    return c.unicode();
}

char16_t unit(char c)
{
    return char16_t(static_cast<unsigned char>(c));
}

// Text that passed the grammar below, read as a number: correctly rounded
// to double, then to single precision, which is what QString::toFloat does
// (and a test holds the two together), only without its allocations.
template<typename Char> Entry convert(const Char *s, qsizetype n)
{
    QVarLengthArray<char, 64> ascii(n);
    qsizetype length = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = char(unit(s[i]));
        if (i == 0 && c == '+')
            continue; // from_chars takes no plus sign
        ascii[length++] = c == ',' ? '.' : c;
    }
    double wide = 0;
    const auto [end, status] = std::from_chars(ascii.data(), ascii.data() + length, wide);
    if (status != std::errc() || end != ascii.data() + length)
        return {EntryKind::OutOfRange, 0};
    if (std::fabs(wide) > double(std::numeric_limits<float>::max()))
        return {EntryKind::OutOfRange, 0};
    const float value = float(wide);
    if (wide != 0 && value == 0)
        return {EntryKind::OutOfRange, 0}; // below the smallest single
    return {EntryKind::Number, double(value), wide};
}

// One reading for typed text and table cells alike: the grammar
//   [sign] (digits [sep [digits]] | sep digits) [(e|E) [sign] digits]
// with '.' or ',' as the separator, then QByteArrayView::toFloat, which is
// what QString::toFloat runs on such text: the C locale, correctly rounded
// to double, then to single precision.
template<typename Char> Entry parse(const Char *s, qsizetype n)
{
    if (n == 0)
        return {EntryKind::Empty, 0};
    for (qsizetype i = 0; i < n; ++i) {
        if (!isNumberChar(unit(s[i])))
            return {EntryKind::Foreign, 0};
    }

    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < n && isDigit(unit(s[i])))
            ++i;
        return i - start;
    };
    if (unit(s[i]) == u'+' || unit(s[i]) == u'-')
        ++i;
    qsizetype mantissa = digits();
    if (i < n && (unit(s[i]) == u'.' || unit(s[i]) == u','))
        ++i;
    mantissa += digits();
    if (i == n)
        return mantissa == 0 ? Entry {EntryKind::Placeholder, 0} : convert(s, n);
    if (mantissa == 0 || (unit(s[i]) != u'e' && unit(s[i]) != u'E'))
        return {EntryKind::Malformed, 0};
    ++i;
    if (i < n && (unit(s[i]) == u'+' || unit(s[i]) == u'-'))
        ++i;
    if (digits() == 0 || i != n)
        return {EntryKind::Malformed, 0};
    return convert(s, n);
}

} // namespace

Entry parseEntry(QStringView text)
{
    return parse(text.data(), text.size());
}

Entry parseEntry(QByteArrayView text)
{
    return parse(text.data(), text.size());
}

QStringList pastedValues(const QString &text)
{
    QString cells = text;
    cells.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (cells.endsWith(u'\n'))
        cells.chop(1);
    QStringList values;
    for (const QString &cell : cells.split(QRegularExpression(QStringLiteral("[\n\t;]"))))
        values << cell.trimmed();
    return values;
}

bool pastedTable(const QString &text)
{
    const QString cells = text.trimmed();
    return cells.contains(u'\n') && (cells.contains(u'\t') || cells.contains(u';'));
}

PastedNumbers pastedNumbers(const QStringList &values, int count)
{
    PastedNumbers pasted;
    if (count + values.size() > MaxValues) {
        pasted.problem = QObject::tr("вставлено значений: %1, а в ряду их может быть не больше "
                                     "%2 (уже введено %3)")
                             .arg(values.size())
                             .arg(MaxValues)
                             .arg(count);
        return pasted;
    }
    pasted.numbers.reserve(std::size_t(values.size()));
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString where = QObject::tr("значение %1 из %2: ").arg(i + 1).arg(values.size());
        const Entry entry = parseEntry(values[i]);
        switch (entry.kind) {
        case EntryKind::Number:
            pasted.numbers.push_back(entry.value);
            continue;
        case EntryKind::Empty:
            pasted.problem = where + QObject::tr("пустая ячейка — в ряду не должно быть пропусков");
            break;
        case EntryKind::OutOfRange:
            pasted.problem
                = where + QObject::tr("«%1» — число вне допустимого диапазона").arg(values[i]);
            break;
        case EntryKind::Placeholder:
        case EntryKind::Malformed:
        case EntryKind::Foreign:
            pasted.problem = where + QObject::tr("«%1» — не число").arg(values[i]);
            break;
        }
        pasted.numbers.clear();
        return pasted;
    }
    return pasted;
}

} // namespace trend
