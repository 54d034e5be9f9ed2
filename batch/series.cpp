// SPDX-License-Identifier: MIT
#include "series.h"

#include <QObject>

namespace batch {

QString Skip::message() const
{
    return QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(label, reason);
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
