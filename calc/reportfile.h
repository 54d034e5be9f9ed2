// SPDX-License-Identifier: MIT
// Writing a report file: all of it or nothing.
//
// The text goes to a temporary file beside the target, which replaces the
// target only once every byte is written, so a failure never leaves a
// half-written report or destroys an older one. Used by the window and the
// batch tool alike, so that both write the same bytes.
#pragma once

#include <QByteArrayView>
#include <QString>

class QFileDevice;
class QSaveFile;

namespace trend {

// Writes `text` in the locale's encoding (UTF-8 on a UTF-8 locale), without
// a byte-order mark. On failure returns false and sets `reason` to a short
// Russian phrase ("папка «…» не существует").
bool writeTextFile(QSaveFile &file, const QString &text, QString *reason);
bool writeTextFile(const QString &path, const QString &text, QString *reason);
// A text as writeTextFile() writes it.
QByteArray fileBytes(const QString &text);

// Why a file could not be created at `path`, as a short Russian phrase,
// from what the folder shows and what the system said.
QString whyNotCreated(const QString &path, bool permissionDenied, const QString &systemReason);

// The system's reason why writing `rest` to `file` failed. After a short
// write (the disk filled up in the middle of it) the toolkit reports no
// error at all; writing the rest once more makes the system name it.
QString writeFailure(QFileDevice &file, QByteArrayView rest);

// "ошибка записи; возможно, диск заполнен (reason)"
QString writeError(const QString &systemReason);

} // namespace trend
