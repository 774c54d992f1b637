#pragma once
// Writes tables the way a .NET DataSet writes XML with its schema: the
// xs:schema inside the root, the tables inside xs:choice, one element per
// row, null cells left out, columns in schema order, CRLF, two-space indent.
// Used to make the sample devices and the large benchmark devices.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct DataSetColumn
{
    QString name;
    QString type;       // schema type, e.g. "xs:string", "xs:int"
    int maxLength = -1; // > 0 writes a restriction with maxLength
};

struct DataSetTable
{
    QString name;
    QList<DataSetColumn> columns;
    QList<QList<std::optional<QString>>> rows; // one value per column; nullopt = null
};

struct DataSetDocument
{
    QString name = QStringLiteral("NewDataSet");
    QList<DataSetTable> tables;
};

QByteArray writeDataSet(const DataSetDocument &doc, bool withBom = true);

// Shortest text that reads back as the same float/double, in the form a
// DataSet writes numbers (exponent with a capital E).
QString dataSetNumber(float v);
QString dataSetNumber(double v);
