// Big5 (Windows code page 950, with its extensions) at the edges of the program:
// ini files on disk and the byte sizes of POS text fields. Inside, text is Unicode.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Characters that code page 950 cannot hold are written as '?', one byte each,
// the way the Windows conversion does with its default character.
QByteArray toBig5(const QString& text);

// Byte sequences that are not valid Big5 decode to U+FFFD, so nothing vanishes silently.
QString fromBig5(const QByteArray& bytes);

// Length of `text` in Big5 bytes (as toBig5 would write it).
int big5Length(const QString& text);

// The longest prefix of `text` whose Big5 form has at most `maxBytes` bytes; never
// ends in the middle of a double-byte character.
QString cutToBig5Bytes(const QString& text, int maxBytes);

// The longest prefix of `bytes` of at most `maxBytes` that does not end inside a
// double-byte character.
QByteArray cutBig5Bytes(const QByteArray& bytes, int maxBytes);

// The length of `text` in bytes of Windows code page `codePage` (936, 950, 1252, ...),
// or -1 when a character has no form there (a server would store '?' for it); then
// `*unmappable`, when given, is that character. A code page that ICU does not know
// gives the length in UTF-16 units.
int codePageLength(const QString& text, int codePage, QString* unmappable = nullptr);

}  // namespace platform
