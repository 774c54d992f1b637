#pragma once
// Small device documents written out by hand in the shape a DataSet gives
// them, so the tests do not lean on the project's own writer.

#include "devicechecksum.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace Fixture {

struct Table
{
    QString name;
    QStringList columns;     // all declared as xs:string
    QList<QStringList> rows; // a null QString leaves the cell out
};

inline QByteArray dataSet(const QList<Table> &tables, const QByteArray &xs = "xs")
{
    const auto el = [&xs](const QByteArray &rest) { return "<" + xs + ":" + rest; };
    QByteArray s = "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<NewDataSet>\r\n  " + el("schema id=\"NewDataSet\" xmlns=\"\" xmlns:")
                   + xs + "=\"http://www.w3.org/2001/XMLSchema\">\r\n    " + el("element name=\"NewDataSet\">") + el("complexType>")
                   + el("choice maxOccurs=\"unbounded\">\r\n");
    for (const Table &t : tables) {
        s += "      " + el("element name=\"" + t.name.toUtf8() + "\">") + el("complexType>") + el("sequence>\r\n");
        for (const QString &c : t.columns)
            s += "        " + el("element name=\"" + c.toUtf8() + "\" type=\"" + xs + ":string\" minOccurs=\"0\" />\r\n");
        s += "      </" + xs + ":sequence></" + xs + ":complexType></" + xs + ":element>\r\n";
    }
    s += "    </" + xs + ":choice></" + xs + ":complexType></" + xs + ":element>\r\n  </" + xs + ":schema>\r\n";
    for (const Table &t : tables)
        for (const QStringList &r : t.rows) {
            s += "  <" + t.name.toUtf8() + ">\r\n";
            for (int i = 0; i < r.size() && i < t.columns.size(); ++i)
                if (!r[i].isNull())
                    s += "    <" + t.columns[i].toUtf8() + ">" + r[i].toUtf8() + "</" + t.columns[i].toUtf8() + ">\r\n";
            s += "  </" + t.name.toUtf8() + ">\r\n";
        }
    return s + "</NewDataSet>";
}

// Trailer: 12 bytes, four hex digits 8 bytes before the end, 4 bytes.
inline QByteArray stamped(const QByteArray &body)
{
    return body + "\r\n<!--CRC=0x" + QByteArray::number(DeviceChecksum::compute(body), 16).rightJustified(4, '0') + " -->";
}

inline Table *find(QList<Table> &tables, const QString &name)
{
    for (Table &t : tables)
        if (t.name == name)
            return &t;
    return nullptr;
}

inline QStringList channelColumns()
{
    return {"FactoryName", "TabAdr", "Address", "VarNameL0", "VarNameL1", "DescL0", "DescL1", "Type", "LoggerMaxPer",
            "Unit", "NByte", "Logger", "G1", "O1", "G2", "O2", "Channel_ScalingID", "LoggerNBytes", "Validated"};
}

// FactoryName, TabAdr, Address, NByte, LoggerNBytes, LoggerMaxPer, scaling id, Validated
inline QStringList channel(const QString &name, const QString &tab, const QString &addr, const QString &nbyte,
                           const QString &lnb, const QString &per, const QString &scaling = QString(),
                           const QString &validated = QStringLiteral("true"))
{
    return {name, tab, addr, "Etichetta " + name, "Label " + name, "Descrizione", "Description", "1", per,
            "rpm", nbyte, "true", "2", "3", "0", "1", scaling, lnb, validated};
}

// A complete device with usable ELF identification.
inline QList<Table> device()
{
    return {
        {"Channels", channelColumns(),
         {channel("nEngine", "0", "0x70000000", "2", "2", "5", "SC_RPM"), channel("tWater", "1", "0x70000002", "1", "1", "160"),
          channel("tiInj[0]", "2", "0x70000004", "4", "4", "10")}},
        {"CalibrationScalings", {"ID", "G1", "O1", "G2", "O2"}, {{"SC_TEMP", "0.75", "-48", "0", "1"}, {"SC_RPM", "0.25", "0", "0", "1"}}},
        {"TabDataLogger",
         {"AvailableBytes", "ChannelsCount_OffLine", "ClearTimeOutSec", "MaxDownloadBuffer", "PageAlignment",
          "XA_DataBeginAddress", "XA_DataEndAddress", "XA_StartStopAddress", "XA_SetupBeginAddress", "XA_HeaderBeginAddress",
          "XA_StopLoggerReqAddress", "XA_ClearLoggerDataReqAddress", "XA_LoggerRunAddress", "XA_ChannelInfoBeginAddress",
          "XA_SpeedChannelAddress", "XA_ChannelInfoSizeAddress"},
         {{"1048576", "64", "10", "8192", "32", "0x70110000", "0x70210000", "0x70103400", "0x70100400", "0x70100000",
           "0x70103404", "0x70103408", "*1880110092", "0x70102400", "tWater", "0x0"}}},
        {"ELFData", {"ELFName", "ELFIDStringAddress", "ELFIDStringSize", "ELFIDStringValue", "ELFIDStringName"},
         {{"ecu.elf", "2147483904", "32", "ID-1.0", "sw_IdString"}}},
        {"CAN_Id", {"ToEcu_App_CAN_Id", "ToEcu_Kernel_CAN_Id", "App_CAN_Id", "Kernel_CAN_Id"}, {{"0x6A0", "0x6A8", "1697", "017"}}},
        {"CommunicationLineSettings", {"Line"}, {{"CAN"}}},
        {"CANLineSettings", {"BitRate"}, {{"500000"}}},
    };
}

} // namespace Fixture
