// The table reader over documents shaped like those schema-embedding writers
// produce: prefixes, restrictions, omitted null columns, unknown columns.
#include "devicefixture.h"
#include "xmltable.h"

#include <QtTest>

// Refused by both parsers, accepted by the general one only, or built fast.
enum Verdict { Refused, General, Fast };

class TestXmlTable : public QObject
{
    Q_OBJECT

    // Rows of one table as "name=value:type[/maxLength]" cells joined by '|'.
    static QStringList rows(const QByteArray &text, const QString &table)
    {
        XmlDocument doc;
        if (!doc.setContent(text))
            return {"not parsed"};
        XmlTable t;
        t.setDocument(&doc);
        if (!t.hasTable(table) || !t.open(table))
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
            for (const char *attr : {"b", "c", "p:c", "name", "xmlns"})
                QCOMPARE(a.attribute(i, attr), b.attribute(i, attr));
        }
    }

private slots:
    void tableRows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("rows");
        const auto ab = [](const QByteArray &prefix) {
            return Fixture::dataSet({{"T", {"A", "B"}, {{"1", "2"}, {"3", "4"}}}}, prefix);
        };
        QTest::newRow("xs prefix") << ab("xs") << QStringList{"A=1:string|B=2:string", "A=3:string|B=4:string"};
        QTest::newRow("xsd prefix: only xs: comes off a type")
            << ab("xsd") << QStringList{"A=1:xsd:string|B=2:xsd:string", "A=3:xsd:string|B=4:xsd:string"};
        QTest::newRow("odd prefix") << ab("q1") << QStringList{"A=1:q1:string|B=2:q1:string", "A=3:q1:string|B=4:q1:string"};
        // The element in the annotation, before the sequence, is no column.
        QTest::newRow("restriction gives type and maxLength")
            << QByteArray("<R><xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                          "<xs:element name=\"T\"><xs:annotation><xs:element name=\"NotAColumn\" type=\"xs:int\"/>"
                          "</xs:annotation><xs:complexType><xs:sequence>"
                          "<xs:element name=\"Name\" minOccurs=\"0\"><xs:simpleType><xs:restriction base=\"xs:string\">"
                          "<xs:maxLength value=\"32\"/></xs:restriction></xs:simpleType></xs:element>"
                          "<xs:element name=\"N\" type=\"xs:int\"/>"
                          "</xs:sequence></xs:complexType></xs:element></xs:schema>"
                          "<T><Name>abc</Name><N>7</N></T></R>")
            << QStringList{"Name=abc:string/32|N=7:int"};
        // Null columns left out, an undeclared column, another order, no
        // whitespace, and <T/> without children is not a row.
        QTest::newRow("rows keep schema order whatever the file order")
            << QByteArray("<D><xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"T\">"
                          "<xs:complexType><xs:sequence><xs:element name=\"A\" type=\"xs:string\"/>"
                          "<xs:element name=\"B\" type=\"xs:string\"/><xs:element name=\"C\" type=\"xs:string\"/>"
                          "</xs:sequence></xs:complexType></xs:element></xs:schema><T><C>c1</C><Extra>x</Extra>"
                          "<A>a1</A></T><T/><T><B>b2</B></T><Other><A>no</A></Other><T><A>a3</A></T></D>")
            << QStringList{"A=a1:string|B=:string|C=c1:string", "A=:string|B=b2:string|C=:string",
                           "A=a3:string|B=:string|C=:string"};
        QTest::newRow("entities and UTF-8 survive")
            << Fixture::dataSet({{"T", {"A", "B"}, {{"a &amp; b &lt;c&gt;", "Velocit\xC3\xA0"}}}})
            << QStringList{QString::fromUtf8("A=a & b <c>:string|B=Velocit\xC3\xA0:string")};
        QTest::newRow("document without schema declares nothing")
            << QByteArray("<D><T><A>1</A></T></D>") << QStringList{"no table"};
    }
    void tableRows()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, rows);
        QCOMPARE(TestXmlTable::rows(text, "T"), rows);
    }

    void secondTableReplacesTheFirst()
    {
        XmlDocument doc;
        QVERIFY(doc.setContent(Fixture::dataSet({{"T1", {"A"}, {{"1"}, {"2"}}}, {"T2", {"B"}, {{"x"}}},
                                                 {"Empty", {"C"}, {}}})));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(t.open("T1"));
        QVERIFY(t.hasTable("T2"));
        QCOMPARE(t.rows().size(), size_t(2)); // hasTable leaves the rows alone
        QVERIFY(t.open("T2"));
        QCOMPARE(t.rows()[0][0].value(), QString("x"));
        QVERIFY(t.open("Empty"));
        QVERIFY(t.rows().empty());
        QVERIFY(t.open("T1"));
        QVERIFY(!t.open("Missing"));
        QVERIFY(t.rows().empty());
        QVERIFY(!t.hasTable(QString()));
        QVERIFY(!t.open(QString()));
    }

    // The fast parser must build the same tree as the general one, and give
    // up (leaving the verdict to it) on anything it does not fully handle.
    void fastParserAgreesWithGeneralParser_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("verdict");
        const QByteArray ds = Fixture::dataSet({{"T", {"A", "B"}, {{"x", QString()}, {"  y\r\nz ", "&amp;&lt;"}}}});
        QTest::newRow("dataset") << ds << int(Fast);
        QTest::newRow("dataset with bom and trailer") << "\xEF\xBB\xBF" + Fixture::stamped(ds) << int(Fast);
        QTest::newRow("declaration utf-8 single quotes") << QByteArray("<?xml version='1.0' encoding='UTF-8'?><a b='1'/>") << int(Fast);
        QTest::newRow("declaration latin-1") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE0</a>") << int(General);
        QTest::newRow("attribute line ends") << QByteArray("<a b=\"1\r\n2\t3&#10;\"/>") << int(Fast);
        QTest::newRow("char refs") << QByteArray("<a>&#65;&#x42;&#233;</a>") << int(Fast);
        QTest::newRow("line end inside a char ref") << QByteArray("<a x=\"&#35\r;\"/>") << int(Refused);
        QTest::newRow("signed char ref") << QByteArray("<a>&#+65;</a>") << int(Refused);
        QTest::newRow("blank char ref") << QByteArray("<a>&#32;<b/></a>") << int(General);
        QTest::newRow("utf-8 text") << QByteArray("<a>Velocit\xC3\xA0</a>") << int(Fast);
        QTest::newRow("bad utf-8 becomes U+FFFD") << QByteArray("<a>\xC3\x28</a>") << int(Fast);
        QTest::newRow("non-character") << QByteArray("<a>\xEF\xBF\xBE</a>") << int(Refused);
        QTest::newRow("comments and PIs") << QByteArray("<!--c--><?p x?><a><!--in--><?q?>t<b/>u</a><!--after-->") << int(Fast);
        QTest::newRow("cdata") << QByteArray("<a><![CDATA[<x>]]></a>") << int(General);
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE a><a/>") << int(General);
        QTest::newRow("default namespace") << QByteArray("<a xmlns=\"urn:x\"><b>1</b></a>") << int(Fast);
        QTest::newRow("prefix declared below") << QByteArray("<a><p:b xmlns:p=\"urn:p\" p:c=\"1\"/></a>") << int(Fast);
        QTest::newRow("prefix out of scope") << QByteArray("<a><p:b xmlns:p=\"urn:p\"/><p:c/></a>") << int(Refused);
        QTest::newRow("duplicate attribute") << QByteArray("<a b=\"1\" b=\"2\"/>") << int(Refused);
        QTest::newRow("attributes run together") << QByteArray("<a b=\"1\"c=\"2\"/>") << int(Refused);
        QTest::newRow("lt in attribute") << QByteArray("<a b=\"<\"/>") << int(Refused);
        QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << int(Refused);
        QTest::newRow("cdata end in text") << QByteArray("<a>]]></a>") << int(Refused);
        QTest::newRow("double dash in comment") << QByteArray("<a><!-- a -- b --></a>") << int(Refused);
        QTest::newRow("declaration not first") << QByteArray(" <?xml version=\"1.0\"?><a/>") << int(Refused);
        QTest::newRow("text before root") << QByteArray("x<a/>") << int(Refused);
        QTest::newRow("byte order mark after the declaration") << QByteArray("<?xml version=\"1.0\"?>\xEF\xBB\xBF<a/>") << int(Refused);
        QTest::newRow("byte order mark in text") << QByteArray("<a>\xEF\xBB\xBFx</a>") << int(Fast);
        QTest::newRow("char ref before root") << QByteArray("&#10;<a/>") << int(Refused);
        QTest::newRow("control character") << QByteArray("<a>\x01</a>") << int(Refused);
        QTest::newRow("unclosed") << QByteArray("<a><b></b>") << int(Refused);
        QTest::newRow("end tag with blank") << QByteArray("<a><b></b ></a >") << int(Fast);
        QTest::newRow("junk after the root") << ds + "\r\nCRC 1234 ok" << int(Fast);
        QTest::newRow("mismatched tag") << QByteArray("<a><b></a></b>") << int(Refused);
        QTest::newRow("undeclared prefix") << QByteArray("<a><p:b/></a>") << int(Refused);
        QTest::newRow("empty") << QByteArray() << int(Refused);
        QTest::newRow("text only") << QByteArray("hello") << int(Refused);
        QTest::newRow("row without children") << QByteArray("<a><T/><T>  </T><T><!--c--></T></a>") << int(Fast);
    }
    void fastParserAgreesWithGeneralParser()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, verdict);
        XmlDocument a, b;
        XmlDocument::Error e;
        const bool okA = a.setContent(text, &e);
        QCOMPARE(okA, verdict != Refused);
        QCOMPARE(b.setContent(text, nullptr, XmlDocument::GeneralParserOnly), okA);
        QCOMPARE(a.builtByFastParser(), verdict == Fast);
        if (okA)
            sameTree(a, b);
        else
            QVERIFY(!e.message.isEmpty());
    }

    // Damaged device files: the two parsers agree on every verdict and tree,
    // and nothing crashes.
    void mutatedDocumentsAgree()
    {
        const QByteArray base = Fixture::stamped(Fixture::dataSet(
            {{"T", {"A", "B"}, {{"x &amp; y", "1"}, {QString(), "z"}}}, {"U", {"C"}, {{"Velocit\xC3\xA0"}}}}));
        const QByteArray alphabet("<>/&;\"'=!?-[]:x \r\n\t\x00\x01\xC3\xA0#", 27);
        quint32 seed = 2024;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        int fastUsed = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray doc = base;
            for (int e = 1 + int(next() % 3); e > 0; --e) {
                const int pos = int(next() % quint32(doc.size()));
                const auto pick = [&] { return alphabet[int(next() % quint32(alphabet.size()))]; };
                switch (next() % 3) {
                case 0: doc[pos] = pick(); break;
                case 1: doc.remove(pos, 1 + int(next() % 4)); break;
                default: doc.insert(pos, pick()); break;
                }
            }
            XmlDocument a, b;
            const bool okA = a.setContent(doc);
            QVERIFY2(okA == b.setContent(doc, nullptr, XmlDocument::GeneralParserOnly),
                     doc.toPercentEncoding(" <>/=\"?!-:").constData());
            if (!okA)
                continue;
            fastUsed += a.builtByFastParser();
            sameTree(a, b);
            if (QTest::currentTestFailed())
                return;
            XmlTable t;
            t.setDocument(&a);
            t.open("T");
            t.open("U");
        }
        QVERIFY(fastUsed > 100);
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
