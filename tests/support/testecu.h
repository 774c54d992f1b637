#pragma once
// A small ECU with known contents, described in tests/data/test_ecu.json, for
// tests that need an ECU before (or instead of) the sample device. The
// constants below are the ones written in that file.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QProcess;

namespace TestEcu {

constexpr quint32 ToEcuAppCanId = 0x610;
constexpr quint32 Space = ToEcuAppCanId >> 3; // 0xC2
constexpr quint32 StaticTable = 0x40001000;
constexpr quint32 IdStringAddress = 0x40000100;
constexpr const char *IdString = "BRISCA-SIM 1.0";
constexpr quint32 RamBase = 0x40000000;
constexpr quint32 RamSize = 0x00100000; // 1 MiB of plain RAM
constexpr quint32 ScratchAddress = 0x40010000; // free RAM for write tests

// Channels in description order: name, table index, address, bytes.
struct Channel
{
    const char *name;
    quint32 index;
    quint32 address;
    quint32 bytes;
};
constexpr Channel Channels[] = {
    {"RPM", 0, 0x40002000, 2},
    {"TH2O", 1, 0x40002002, 2},
    {"LAMBDA", 3, 0x40002004, 4},
    {"GEAR", 4, 0x40002008, 1},
};

QString jsonFile();
QByteArray json();
// Sends one control line to a simulator program reading its standard input
// and waits for the answer line; true when the answer is "ok ...".
bool controlCommand(QProcess &process, const QByteArray &line, QByteArray *answer);
// Test data that shows a shifted or repeated block (no period of 256).
QByteArray pattern(int length, int seed);
// Where the built programs and libraries are: BRISCA_BIN_DIR, else next to the test.
QString binDir();

} // namespace TestEcu
