#include "incidencetext.h"

#include <QByteArrayView>
#include <QVarLengthArray>

namespace trend {

namespace {

constexpr bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

constexpr bool isNumberChar(char16_t c)
{
    return isDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u',' || c == u'e'
        || c == u'E';
}

char16_t unit(QChar c)
{
    return c.unicode();
}

char16_t unit(char c)
{
    return char16_t(static_cast<unsigned char>(c));
}

// Text that passed the grammar below, read as a number.
template <typename Char>
Entry convert(const Char *s, qsizetype n)
{
    QVarLengthArray<char, 64> ascii(n);
    for (qsizetype i = 0; i < n; ++i) {
        const char c = char(unit(s[i]));
        ascii[i] = c == ',' ? '.' : c;
    }
    bool ok = false;
    const float value = QByteArrayView(ascii.constData(), n).toFloat(&ok);
    if (!ok)
        return {EntryKind::OutOfRange, 0};
    return {EntryKind::Number, double(value)};
}

// One reading for typed text and table cells alike: the grammar
//   [sign] (digits [sep [digits]] | sep digits) [(e|E) [sign] digits]
// with '.' or ',' as the separator, then QByteArrayView::toFloat, which is
// what QString::toFloat runs on such text: the C locale, correctly rounded
// to double, then to single precision.
template <typename Char>
Entry parse(const Char *s, qsizetype n)
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
        return mantissa == 0 ? Entry{EntryKind::Placeholder, 0} : convert(s, n);
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

bool isNumberCharacter(QChar c)
{
    return isNumberChar(c.unicode());
}

Entry parseEntry(QStringView text)
{
    return parse(text.data(), text.size());
}

Entry parseEntry(QByteArrayView text)
{
    return parse(text.data(), text.size());
}

} // namespace trend
