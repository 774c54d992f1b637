#include "datasetwriter.h"

#include <charconv>

namespace {
void escape(QByteArray &out, const QString &text)
{
    const QByteArray u = text.toUtf8();
    for (char c : u) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
}

void escapeAttr(QByteArray &out, const QString &text)
{
    const QByteArray u = text.toUtf8();
    for (char c : u) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
}

template <typename T>
QString shortest(T v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    QString s = QString::fromLatin1(buf, int(r.ptr - buf));
    const int e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        // 1e-07 -> 1E-07, 1e+20 -> 1E+20 as the .NET writer has them
        QString mant = s.left(e), exp = s.mid(e + 1);
        QChar sign = QLatin1Char('+');
        if (exp.startsWith(QLatin1Char('-')) || exp.startsWith(QLatin1Char('+'))) {
            sign = exp.at(0);
            exp.remove(0, 1);
        }
        s = mant + QLatin1Char('E') + sign + exp.rightJustified(2, QLatin1Char('0'));
    }
    return s;
}
} // namespace

QString dataSetNumber(float v) { return shortest(v); }
QString dataSetNumber(double v) { return shortest(v); }

QByteArray writeDataSet(const DataSetDocument &doc, bool withBom)
{
    QByteArray out;
    out.reserve(1 << 16);
    const char *nl = "\r\n";
    if (withBom)
        out += "\xEF\xBB\xBF";
    out += "<?xml version=\"1.0\" standalone=\"yes\"?>";
    out += nl;
    out += '<';
    escape(out, doc.name);
    out += '>';
    out += nl;
    out += "  <xs:schema id=\"";
    escapeAttr(out, doc.name);
    out += "\" xmlns=\"\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\">";
    out += nl;
    out += "    <xs:element name=\"";
    escapeAttr(out, doc.name);
    out += "\" msdata:IsDataSet=\"true\" msdata:UseCurrentLocale=\"true\">";
    out += nl;
    out += "      <xs:complexType>";
    out += nl;
    out += "        <xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">";
    out += nl;
    for (const DataSetTable &t : doc.tables) {
        out += "          <xs:element name=\"";
        escapeAttr(out, t.name);
        out += "\">";
        out += nl;
        out += "            <xs:complexType>";
        out += nl;
        out += "              <xs:sequence>";
        out += nl;
        for (const DataSetColumn &c : t.columns) {
            out += "                <xs:element name=\"";
            escapeAttr(out, c.name);
            if (c.maxLength > 0) {
                out += "\" minOccurs=\"0\">";
                out += nl;
                out += "                  <xs:simpleType>";
                out += nl;
                out += "                    <xs:restriction base=\"";
                escapeAttr(out, c.type);
                out += "\">";
                out += nl;
                out += "                      <xs:maxLength value=\"";
                out += QByteArray::number(c.maxLength);
                out += "\" />";
                out += nl;
                out += "                    </xs:restriction>";
                out += nl;
                out += "                  </xs:simpleType>";
                out += nl;
                out += "                </xs:element>";
            } else {
                out += "\" type=\"";
                escapeAttr(out, c.type);
                out += "\" minOccurs=\"0\" />";
            }
            out += nl;
        }
        out += "              </xs:sequence>";
        out += nl;
        out += "            </xs:complexType>";
        out += nl;
        out += "          </xs:element>";
        out += nl;
    }
    out += "        </xs:choice>";
    out += nl;
    out += "      </xs:complexType>";
    out += nl;
    out += "    </xs:element>";
    out += nl;
    out += "  </xs:schema>";
    out += nl;

    for (const DataSetTable &t : doc.tables) {
        QList<QByteArray> colNames;
        for (const DataSetColumn &c : t.columns) {
            QByteArray n;
            escape(n, c.name);
            colNames.append(n);
        }
        QByteArray rowName;
        escape(rowName, t.name);
        for (const auto &row : t.rows) {
            out += "  <";
            out += rowName;
            out += '>';
            out += nl;
            for (int i = 0; i < colNames.size() && i < row.size(); ++i) {
                if (!row[i])
                    continue;
                out += "    <";
                out += colNames[i];
                if (row[i]->isEmpty()) {
                    out += " />";
                } else {
                    out += '>';
                    escape(out, *row[i]);
                    out += "</";
                    out += colNames[i];
                    out += '>';
                }
                out += nl;
            }
            out += "  </";
            out += rowName;
            out += '>';
            out += nl;
        }
    }
    out += "</";
    escape(out, doc.name);
    out += '>';
    return out;
}
