// The table reader over documents shaped like those schema-embedding writers
// produce, and the fast parser against the general one.
#include "devicefixture.h"
#include "xmltable.h"

#include <QtTest>

class TestXmlTable : public QObject
{
    Q_OBJECT

    // Rows of table T as "name=value:type[/maxLength]" cells joined by '|'.
    static QStringList rows(const QByteArray &text)
    {
        XmlDocument doc;
        XmlTable t;
        t.setDocument(&doc);
        if (!doc.setContent(text) || !t.hasTable("T") || !t.open("T"))
            return {"no table"};
        QStringList out;
        for (const XmlRow &row : t.rows()) {
            QStringList l;
            for (const XmlField &f : row)
                l << f.name() + "=" + f.value() + ":" + f.type() + (f.maxLength().isEmpty() ? "" : "/" + f.maxLength());
            out << l.join('|');
        }
        return out;
    }

    // Both parsers built the same nodes (names, texts, links, attributes).
    static void sameTree(const XmlDocument &a, const XmlDocument &b)
    {
        QCOMPARE(a.nodeCount(), b.nodeCount());
        for (int i = 0; i < a.nodeCount(); ++i) {
            const XmlDocument::Node &x = a.node(i), &y = b.node(i);
            QCOMPARE(a.nameOf(i), b.nameOf(i));
            QCOMPARE(a.text(i), b.text(i));
            QCOMPARE(x.parent, y.parent);
            QCOMPARE(x.nextSibling, y.nextSibling);
            QCOMPARE(x.hasChildNodes, y.hasChildNodes);
            QCOMPARE(a.attributeCount(i), b.attributeCount(i));
            for (const char *attr : {"b", "p:c", "name"})
                QCOMPARE(a.attribute(i, attr), b.attribute(i, attr));
        }
    }

private slots:
    void tableRows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("rows");
        // The element in the annotation, before the sequence, is no column.
        QTest::newRow("restriction gives type and maxLength")
            << QByteArray("<R><xs:schema xmlns:xs=\"urn:s\"><xs:element name=\"T\"><xs:annotation><xs:element name=\"No\" "
                          "type=\"xs:int\"/></xs:annotation><xs:complexType><xs:sequence><xs:element name=\"Name\"><xs:simpleType>"
                          "<xs:restriction base=\"xs:string\"><xs:maxLength value=\"32\"/></xs:restriction></xs:simpleType>"
                          "</xs:element><xs:element name=\"N\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element>"
                          "</xs:schema><T><Name>abc</Name><N>7</N></T></R>")
            << QStringList{"Name=abc:string/32|N=7:int"};
        // Null columns left out, an undeclared column, another order, and
        // <T/> without children is not a row.
        QTest::newRow("rows keep schema order whatever the file order")
            << QByteArray("<D><xs:schema xmlns:xs=\"urn:s\"><xs:element name=\"T\"><xs:sequence><xs:element name=\"A\"/>"
                          "<xs:element name=\"B\"/><xs:element name=\"A\"/></xs:sequence></xs:element></xs:schema><T><B>b1</B>"
                          "<Extra>x</Extra><A>a1</A></T><T/><Other><A>no</A></Other><T><B>b2</B></T></D>")
            << QStringList{"A=a1:|B=b1:|A=a1:", "A=:|B=b2:|A=:"};
    }
    void tableRows()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, rows);
        QCOMPARE(TestXmlTable::rows(text), rows);
    }

    // The fast parser must build the same tree as the general one, and give
    // up (leaving the verdict to it) on anything it does not fully handle.
    void fastParserAgreesWithGeneralParser_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("verdict");
        const QByteArray ds = Fixture::dataSet({{"T", {"A", "B"}, {{"x", QString()}, {"  y\r\nz ", "&amp;&lt;"}}}});
        QTest::newRow("dataset") << ds << "Fast";
        QTest::newRow("dataset with BOM and trailer") << "\xEF\xBB\xBF" + Fixture::stamped(ds) << "Fast";
        QTest::newRow("junk after the root") << ds + "\r\nCRC 1234 ok" << "Fast";
        QFile cases(qEnvironmentVariable("BRISCA_SOURCE_DIR") + "/tests/data/device/parser-cases.txt");
        QVERIFY(cases.open(QIODevice::ReadOnly));
        for (const QByteArray &line : cases.readAll().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() != 3)
                continue;
            QTest::newRow(f[1].constData()) << QByteArray::fromPercentEncoding(f[2]) << QString(f[0]);
        }
    }
    void fastParserAgreesWithGeneralParser()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, verdict);
        XmlDocument a, b;
        XmlDocument::Error e;
        const bool okA = a.setContent(text, &e);
        QCOMPARE(okA, verdict != "Refused");
        QCOMPARE(b.setContent(text, nullptr, XmlDocument::GeneralParserOnly), okA);
        QCOMPARE(a.builtByFastParser(), verdict == "Fast");
        if (okA)
            sameTree(a, b);
        else
            QVERIFY(!e.message.isEmpty());
    }

    void mixedContentKeepsDocumentOrder()
    {
        for (auto parser : {XmlDocument::AnyParser, XmlDocument::GeneralParserOnly}) {
            XmlDocument doc;
            QVERIFY(doc.setContent("<r><c>a<i>x</i>b<!--n--><i>y<j>z</j></i>c</c></r>", nullptr, parser));
            QCOMPARE(doc.text(1), QString("axbyzc"));
        }
    }
};

QTEST_GUILESS_MAIN(TestXmlTable)
#include "tst_xmltable.moc"
