// SPDX-License-Identifier: MIT
#include "table/series.h"

#include <QObject>

namespace table {

QString Problem::message() const
{
    QString out;
    if (!file.isEmpty())
        out = (line > 0 ? place(file, sheet, line, column) : file) + QStringLiteral(": ");
    if (!label.isEmpty())
        out += echoed(label) + QStringLiteral(": ");
    return out + reason;
}

QString place(const QString &file, const QString &sheet, qint64 line, qsizetype column)
{
    if (sheet.isEmpty())
        return QStringLiteral("%1:%2").arg(file).arg(line);
    QString letters;
    for (qsizetype c = std::max<qsizetype>(column, 0) + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(char16_t(u'A' + (c - 1) % 26)));
    return QStringLiteral("%1:%2!%3%4").arg(file, sheet, letters).arg(line);
}

QString echoed(const QString &text)
{
    QString out = text.size() > EchoLength ? text.left(EchoLength) + QChar(0x2026) : text;
    for (QChar &c : out) {
        if (c == u'\n' || c == u'\r' || c == u'\t')
            c = u' ';
    }
    return out;
}

QString displayLabel(const QStringList &labels, qint64 line)
{
    QStringList parts;
    for (const QString &l : labels) {
        if (!l.isEmpty())
            parts.append(l);
    }
    if (parts.isEmpty())
        return QObject::tr("строка %1").arg(line);
    return parts.join(QStringLiteral(" / "));
}

} // namespace table
