// SPDX-License-Identifier: MIT
// Safe, unique file names made from series labels.
//
// A name never leaves its folder, whatever a label holds: path separators,
// control characters and characters that other systems forbid become '_',
// leading and trailing dots and blanks go (so no "..", no hidden file), an
// empty result becomes "series", and long names are cut at a character
// boundary. Names that collide, letter case aside, get "_2", "_3", ...
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace summary {

QString safeFileStem(const QStringList &labels);

class FileNamer
{
public:
    // A stem not handed out before in this run (without extension).
    QString next(const QStringList &labels);

private:
    QSet<QString> used;
};

} // namespace summary
