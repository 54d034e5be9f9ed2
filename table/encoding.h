// SPDX-License-Identifier: MIT
// The encodings tables come in. Excel on a Russian Windows saves CSV in
// CP1251; everything else here is UTF-8. A table that is valid UTF-8 is
// read as it is; one that is not is read as CP1251, converted by iconv.
#pragma once

#include <QIODevice>
#include <QString>
#include <QStringDecoder>

#include <memory>

namespace table {

enum class Encoding { Detect, Utf8, Cp1251 };

// Whether `bytes` continue valid UTF-8 for `decoder`, which carries what a
// chunk left unfinished to the next; ASCII is checked without decoding.
bool validUtf8(QStringDecoder &decoder, QByteArrayView bytes);

// Whether the device's bytes are valid UTF-8: all of a file, which is then
// read again from its start; the first 64 KiB of a stream.
bool looksLikeUtf8(QIODevice &device);

// Reads `source` as CP1251 and gives UTF-8. A byte that CP1251 leaves
// undefined (0x98) is a read error that names it.
std::unique_ptr<QIODevice> fromCp1251(std::unique_ptr<QIODevice> source);

} // namespace table
