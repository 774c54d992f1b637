#include "datasetwriter.h"

#include <charconv>

namespace {
// Attribute values also escape the double quote; element text does not.
void escape(QByteArray &out, const QString &text, bool attribute = false)
{
    const QByteArray u = text.toUtf8();
    for (char c : u) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += attribute ? "&quot;" : "\""; break;
        default: out += c;
        }
    }
}

void escapeAttr(QByteArray &out, const QString &text) { escape(out, text, true); }

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
    // Every line of the .NET layout ends in CRLF.
    const auto line = [&out](const char *text) {
        out += text;
        out += "\r\n";
    };
    if (withBom)
        out += "\xEF\xBB\xBF";
    line("<?xml version=\"1.0\" standalone=\"yes\"?>");
    out += '<';
    escape(out, doc.name);
    line(">");
    out += "  <xs:schema id=\"";
    escapeAttr(out, doc.name);
    line("\" xmlns=\"\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\">");
    out += "    <xs:element name=\"";
    escapeAttr(out, doc.name);
    line("\" msdata:IsDataSet=\"true\" msdata:UseCurrentLocale=\"true\">");
    line("      <xs:complexType>");
    line("        <xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">");
    for (const DataSetTable &t : doc.tables) {
        out += "          <xs:element name=\"";
        escapeAttr(out, t.name);
        line("\">");
        line("            <xs:complexType>");
        line("              <xs:sequence>");
        for (const DataSetColumn &c : t.columns) {
            out += "                <xs:element name=\"";
            escapeAttr(out, c.name);
            if (c.maxLength > 0) {
                line("\" minOccurs=\"0\">");
                line("                  <xs:simpleType>");
                out += "                    <xs:restriction base=\"";
                escapeAttr(out, c.type);
                line("\">");
                out += "                      <xs:maxLength value=\"" + QByteArray::number(c.maxLength);
                line("\" />");
                line("                    </xs:restriction>");
                line("                  </xs:simpleType>");
                line("                </xs:element>");
            } else {
                out += "\" type=\"";
                escapeAttr(out, c.type);
                line("\" minOccurs=\"0\" />");
            }
        }
        line("              </xs:sequence>");
        line("            </xs:complexType>");
        line("          </xs:element>");
    }
    line("        </xs:choice>");
    line("      </xs:complexType>");
    line("    </xs:element>");
    line("  </xs:schema>");

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
            out += "  <" + rowName;
            line(">");
            for (int i = 0; i < colNames.size() && i < row.size(); ++i) {
                if (!row[i])
                    continue;
                out += "    <" + colNames[i];
                if (row[i]->isEmpty()) {
                    line(" />");
                    continue;
                }
                out += '>';
                escape(out, *row[i]);
                out += "</" + colNames[i];
                line(">");
            }
            out += "  </" + rowName;
            line(">");
        }
    }
    out += "</";
    escape(out, doc.name);
    out += '>';
    return out;
}
