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

// One step of the check: the register times x^8, plus the byte.
inline quint16 step(quint16 crc, uchar b)
{
    return quint16(crcTable[crc >> 8] ^ ((crc & 0xFF) << 8) ^ b);
}

// The step is linear, so eight steps fold into independent lookups:
// after bytes b0..b7, crc = A^8(crc) ^ A^7(b0) ^ ... ^ A(b6) ^ b7, with A the
// step without a byte. power[k][v] = A^k(v) for a byte v; stateHigh and
// stateLow give A^8 of the register's two bytes.
struct Folded
{
    std::array<std::array<quint16, 256>, 8> power{};
    std::array<quint16, 256> stateHigh{}, stateLow{};
    Folded()
    {
        for (int v = 0; v < 256; ++v) {
            quint16 x = quint16(v);
            for (int k = 0; k < 8; ++k) {
                power[size_t(k)][size_t(v)] = x;
                x = step(x, 0);
            }
            stateLow[size_t(v)] = x; // A^8(v)
            quint16 h = quint16(v << 8);
            for (int k = 0; k < 8; ++k)
                h = step(h, 0);
            stateHigh[size_t(v)] = h;
        }
    }
};
const Folded folded;

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
    qsizetype i = 0;
    const auto &w = folded.power;
    for (; i + 8 <= size; i += 8) {
        crc = quint16(folded.stateHigh[crc >> 8] ^ folded.stateLow[crc & 0xFF] ^ w[7][p[i]] ^ w[6][p[i + 1]]
                      ^ w[5][p[i + 2]] ^ w[4][p[i + 3]] ^ w[3][p[i + 4]] ^ w[2][p[i + 5]] ^ w[1][p[i + 6]]
                      ^ p[i + 7]);
    }
    for (; i < size; ++i)
        crc = step(crc, p[i]);
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
