#include "incidencetext.h"

#include <QRegularExpression>

namespace trend {

bool isNumberCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'.' || u == u','
        || u == u'e' || u == u'E';
}

Entry parseEntry(QStringView text)
{
    static const QRegularExpression complete(
        QStringLiteral(R"(\A[+-]?(?:[0-9]+(?:[.,][0-9]*)?|[.,][0-9]+)(?:[eE][+-]?[0-9]+)?\z)"));
    static const QRegularExpression placeholder(QStringLiteral(R"(\A[+-]?[.,]?\z)"));

    if (text.isEmpty())
        return {EntryKind::Empty, 0};
    for (QChar c : text) {
        if (!isNumberCharacter(c))
            return {EntryKind::Foreign, 0};
    }
    if (placeholder.match(text).hasMatch())
        return {EntryKind::Placeholder, 0};
    if (!complete.match(text).hasMatch())
        return {EntryKind::Malformed, 0};

    // QString::toFloat reads the C locale whatever the default locale is,
    // so a comma is turned into the point it stands for.
    QString normal = text.toString();
    normal.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const float value = normal.toFloat(&ok);
    if (!ok)
        return {EntryKind::OutOfRange, 0};
    return {EntryKind::Number, double(value)};
}

} // namespace trend
