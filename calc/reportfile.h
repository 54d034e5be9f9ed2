// SPDX-License-Identifier: MIT
// Writing a report file: all of it or nothing.
//
// The text goes to a temporary file beside the target, which replaces the
// target only once every byte is written, so a failure never leaves a
// half-written report or destroys an older one. Used by the window and the
// batch tool alike, so that both write the same bytes.
#pragma once

#include <QString>

class QSaveFile;

namespace trend {

// Writes `text` in the locale's encoding (UTF-8 on a UTF-8 locale), without
// a byte-order mark. On failure returns false and sets `reason` to a short
// Russian phrase ("папка «…» не существует").
bool writeTextFile(QSaveFile &file, const QString &text, QString *reason);
bool writeTextFile(const QString &path, const QString &text, QString *reason);

} // namespace trend
