#include "devicechecksum.h"

#include <array>

namespace {
std::array<quint16, 256> makeTable()
{
    std::array<quint16, 256> t{};
    for (int i = 0; i < 256; ++i) {
        quint16 v = quint16(i << 8);
        for (int k = 0; k < 8; ++k)
            v = (v & 0x8000) ? quint16((v << 1) ^ 0x1021) : quint16(v << 1);
        t[size_t(i)] = v;
    }
    return t;
}
const std::array<quint16, 256> crcTable = makeTable();

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

namespace DeviceChecksum {

quint16 compute(const char *data, qsizetype size)
{
    quint16 crc = 0;
    const auto *p = reinterpret_cast<const uchar *>(data);
    for (qsizetype i = 0; i < size; ++i)
        crc = quint16(crcTable[crc >> 8] ^ ((crc & 0xFF) << 8) ^ p[i]);
    return quint16((crc << 8) | (crc >> 8));
}

bool storedValue(const QByteArray &content, quint16 *value)
{
    if (content.size() < StoredValueOffset)
        return false;
    const char *p = content.constData() + content.size() - StoredValueOffset;
    const char *end = content.constData() + content.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f'))
        ++p;
    int digits = 0;
    quint16 v = 0;
    while (p < end && digits < 4) {
        const int d = hexDigit(*p);
        if (d < 0)
            break;
        v = quint16((v << 4) | d);
        ++digits;
        ++p;
    }
    if (digits == 0)
        return false;
    *value = v;
    return true;
}

QByteArray trailer(quint16 checksum)
{
    QByteArray t("\r\n<!--CRC=0x");
    t += QByteArray::number(checksum, 16).toUpper().rightJustified(4, '0');
    t += " -->";
    Q_ASSERT(t.size() == PlainTrailerSize);
    return t;
}

qsizetype coveredLength(qsizetype contentSize, bool encrypted)
{
    const qsizetype n = contentSize - (encrypted ? EncryptedTrailerSize : PlainTrailerSize);
    return n < 0 ? -1 : n;
}

} // namespace DeviceChecksum
