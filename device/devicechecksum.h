#pragma once
// The 16-bit check value that guards a device file against edits, and its
// 20-byte text trailer.

#include <QByteArray>
#include <QtGlobal>

namespace DeviceChecksum {

constexpr int PlainTrailerSize = 20;
constexpr int EncryptedTrailerSize = 65; // tail of a decrypted block left out of the check
constexpr int StoredValueOffset = 8;     // from the end of the content

// CRC over polynomial 0x1021 with the byte folded in after the table step,
// returned with its two bytes exchanged.
quint16 compute(const char *data, qsizetype size);
inline quint16 compute(const QByteArray &data) { return compute(data.constData(), data.size()); }

// The stored value: up to four hex digits starting 8 bytes before the end,
// leading white space skipped, any other character ends the number. False
// when the content is too short or no digit is there.
bool storedValue(const QByteArray &content, quint16 *value);

// The 20 bytes appended to a plain device: an XML comment, so the file still
// parses, with the four digits 8 bytes before its end.
QByteArray trailer(quint16 checksum);

// Covered length of a content of the given form; -1 when the content is
// shorter than its trailer.
qsizetype coveredLength(qsizetype contentSize, bool encrypted);

} // namespace DeviceChecksum
