// SPDX-License-Identifier: MIT
#include "series.h"

#include <QObject>

namespace batch {

QString Skip::message() const
{
    return QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(echoed(label), reason);
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

} // namespace batch
