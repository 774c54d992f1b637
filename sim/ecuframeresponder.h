#pragma once
// The ECU's side of the raw Ethernet protocol, without any socket: takes one
// received frame and returns the frames the ECU answers with. Frames are
// Ethernet II from the destination MAC on, big-endian fields:
//   0 dst MAC | 6 src MAC | 12 EtherType | 14 sequence (12 bits) | 16 u32 command | 20 u16 L | 22 ...
// 0xC1A0 control: command 1 discovery (reply: NUL-terminated description
// lines and a closing NUL), command 2 presence (reply L = 0).
// 0xC1A1 memory: command = (space & 0xFF) * 8 + op; op 3 read (u32 address,
// u16 N; answered with ceil(N/1024) frames of at most 1024 data bytes, each
// echoing the command), op 3 with L = 4 and address 0xFFFFFFFF: static table
// start (reply L = 4, u32 address), op 7 write (u32 address, u16 K, K bytes;
// not answered). Replies echo the request's 12-bit sequence number and go to its
// source MAC; replies shorter than 60 bytes are padded with zeros.
//
// Requests for another MAC (other than broadcast or 02:5A:4B:00:00:00 for
// discovery), for an unknown space, truncated requests and refused memory get
// no answer, as a real ECU would stay silent.

#include "ecusimulator.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class EcuFrameResponder
{
public:
    static constexpr quint16 ControlType = 0xC1A0;
    static constexpr quint16 MemoryType = 0xC1A1;
    static constexpr int MaxReplyData = 1024;

    EcuFrameResponder(EcuSimulator &simulator, const QByteArray &mac);

    QByteArray mac() const { return m_mac; }
    void setMac(const QByteArray &mac) { m_mac = mac.left(6).leftJustified(6, '\0'); }
    // Sent in discovery replies; an empty list gives a reply that starts with NUL.
    void setDescriptionLines(const QStringList &lines) { m_lines = lines; }
    QStringList descriptionLines() const { return m_lines; }

    // Appends the replies to `out`; returns how many were appended.
    int respond(const char *frame, int length, QList<QByteArray> &out);
    QList<QByteArray> respond(const QByteArray &frame);

    // Cuts a reply to `dataBytes` of payload (L and the length follow).
    static QByteArray truncated(const QByteArray &reply, int dataBytes);

private:
    QByteArray header(const char *request, quint32 command, quint16 length, int payload) const;

    EcuSimulator &m_sim;
    QByteArray m_mac;
    QStringList m_lines;
    QByteArray m_scratch;
};
