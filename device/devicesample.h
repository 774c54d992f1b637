#pragma once
// Device files made from an ECU description (samples/sample_ecu.json, shared
// with the ECU simulator so both agree on addresses and the ident string) and
// large synthetic devices for the benchmark.

#include "datasetwriter.h"

#include <QByteArray>
#include <QString>

namespace DeviceSample {

// The DataSet of an ECU description in JSON; lineOverride "CAN" or
// "ETHERNET" replaces the description's line when not empty. Empty document
// and *error set when the JSON lacks what a device needs.
DataSetDocument fromJson(const QByteArray &json, const QString &lineOverride, QString *error);

// A device with the given number of channels, every size, sign and period,
// a few scalings, a full logger table and ELF identification.
DataSetDocument large(int channelCount);

// Serialised device with its 20-byte checksum trailer.
QByteArray toDeviceFile(const DataSetDocument &doc, bool withBom = true);

} // namespace DeviceSample
