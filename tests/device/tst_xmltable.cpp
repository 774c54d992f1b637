// The table reader over documents shaped like those schema-embedding writers
// produce: prefixes, restrictions, omitted null columns, unknown columns.
#include "devicefixture.h"
#include "xmltable.h"

#include <QtTest>

class TestXmlTable : public QObject
{
    Q_OBJECT

    static QStringList cells(const XmlRow &row)
    {
        QStringList l;
        for (const XmlField &f : row)
            l << f.name() + "=" + f.value();
        return l;
    }

private slots:
    void prefixesDoNotMatter_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("xs") << QByteArray("xs");
        QTest::newRow("xsd") << QByteArray("xsd");
        QTest::newRow("odd prefix") << QByteArray("q1");
    }
    void prefixesDoNotMatter()
    {
        QFETCH(QByteArray, prefix);
        const QByteArray text = Fixture::dataSet({{"T", {"A", "B"}, {{"1", "2"}, {"3", "4"}}}}, prefix);
        XmlDocument doc;
        QVERIFY(doc.setContent(text));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(t.hasTable("T"));
        QVERIFY(t.open("T"));
        QCOMPARE(t.rows().size(), size_t(2));
        QCOMPARE(cells(t.rows()[1]), QStringList({"A=3", "B=4"}));
        // Only the xs: prefix is taken off a type.
        QCOMPARE(t.rows()[0][0].type(), prefix == "xs" ? QString("string") : QString(prefix + ":string"));
    }

    void restrictionGivesTypeAndMaxLength()
    {
        const QByteArray text =
            "<R><xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
            "<xs:element name=\"T\"><xs:annotation><xs:element name=\"NotAColumn\" type=\"xs:int\"/></xs:annotation>"
            "<xs:complexType><xs:sequence>"
            "<xs:element name=\"Name\" minOccurs=\"0\"><xs:simpleType><xs:restriction base=\"xs:string\">"
            "<xs:maxLength value=\"32\"/></xs:restriction></xs:simpleType></xs:element>"
            "<xs:element name=\"N\" type=\"xs:int\"/>"
            "</xs:sequence></xs:complexType></xs:element></xs:schema>"
            "<T><Name>abc</Name><N>7</N></T></R>";
        XmlDocument doc;
        QVERIFY(doc.setContent(text));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(t.open("T"));
        QCOMPARE(t.columns().size(), size_t(2)); // the element before the sequence is no column
        const XmlField &name = t.rows()[0][0];
        QCOMPARE(name.name(), QString("Name"));
        QCOMPARE(name.value(), QString("abc"));
        QCOMPARE(name.type(), QString("string"));
        QCOMPARE(name.maxLength(), QString("32"));
        QCOMPARE(t.rows()[0][1].type(), QString("int"));
        QVERIFY(t.rows()[0][1].maxLength().isEmpty());
    }

    void rowsKeepSchemaOrderWhateverTheFileOrder()
    {
        // Null columns left out, an undeclared column, columns in another
        // order and no whitespace at all.
        const QByteArray text =
            "<D><xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"T\"><xs:complexType>"
            "<xs:sequence><xs:element name=\"A\" type=\"xs:string\"/><xs:element name=\"B\" type=\"xs:string\"/>"
            "<xs:element name=\"C\" type=\"xs:string\"/></xs:sequence></xs:complexType></xs:element></xs:schema>"
            "<T><C>c1</C><Extra>x</Extra><A>a1</A></T><T/><T><B>b2</B></T><Other><A>no</A></Other><T><A>a3</A></T></D>";
        XmlDocument doc;
        QVERIFY(doc.setContent(text));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(t.open("T"));
        QCOMPARE(t.rows().size(), size_t(3)); // <T/> has no children: not a row
        QCOMPARE(cells(t.rows()[0]), QStringList({"A=a1", "B=", "C=c1"}));
        QCOMPARE(cells(t.rows()[1]), QStringList({"A=", "B=b2", "C="}));
        QCOMPARE(cells(t.rows()[2]), QStringList({"A=a3", "B=", "C="}));
    }

    void secondTableReplacesTheFirst()
    {
        const QByteArray text = Fixture::dataSet({{"T1", {"A"}, {{"1"}, {"2"}}}, {"T2", {"B"}, {{"x"}}},
                                                  {"Empty", {"C"}, {}}});
        XmlDocument doc;
        QVERIFY(doc.setContent(text));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(t.open("T1"));
        QCOMPARE(t.rows().size(), size_t(2));
        QVERIFY(t.hasTable("T2"));
        QCOMPARE(t.rows().size(), size_t(2)); // hasTable leaves the rows alone
        QVERIFY(t.open("T2"));
        QCOMPARE(cells(t.rows()[0]), QStringList({"B=x"}));
        QVERIFY(t.open("Empty"));
        QVERIFY(t.rows().empty());
        QVERIFY(!t.open("Missing"));
        QVERIFY(t.rows().empty());
        QVERIFY(!t.hasTable(QString()));
        QVERIFY(!t.open(QString()));
    }

    void documentWithoutSchemaDeclaresNothing()
    {
        XmlDocument doc;
        QVERIFY(doc.setContent("<D><T><A>1</A></T></D>"));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(!t.hasTable("T"));
        QVERIFY(!t.open("T"));
    }

    void parseAcceptsBomAndTrailerRejectsBrokenXml_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        const QByteArray body = Fixture::dataSet({{"T", {"A"}, {{"&lt;1&amp;"}}}});
        QTest::newRow("plain") << body << true;
        QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF") + body << true;
        QTest::newRow("checksum trailer") << Fixture::stamped(body) << true;
        QTest::newRow("junk after the root") << body + "\r\nCRC 1234 ok" << true;
        QTest::newRow("unclosed element") << body.left(body.size() - 5) << false;
        QTest::newRow("mismatched tag") << QByteArray("<a><b></a></b>") << false;
        QTest::newRow("undeclared prefix") << QByteArray("<a><p:b/></a>") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("text only") << QByteArray("hello") << false;
    }
    void parseAcceptsBomAndTrailerRejectsBrokenXml()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        XmlDocument doc;
        XmlDocument::Error e;
        QCOMPARE(doc.setContent(text, &e), ok);
        if (!ok)
            QVERIFY(!e.message.isEmpty());
    }

    // The fast parser must build the same tree as the general one, and give
    // up (leaving the verdict to it) on anything it does not fully handle.
    void fastParserAgreesWithGeneralParser_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("fast");
        const QByteArray ds = Fixture::dataSet({{"T", {"A", "B"}, {{"x", QString()}, {"  y\r\nz ", "&amp;&lt;"}}}});
        QTest::newRow("dataset") << ds << true;
        QTest::newRow("dataset with bom and trailer") << "\xEF\xBB\xBF" + Fixture::stamped(ds) << true;
        QTest::newRow("declaration utf-8 single quotes") << QByteArray("<?xml version='1.0' encoding='UTF-8'?><a b='1'/>") << true;
        QTest::newRow("declaration latin-1") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE0</a>") << false;
        QTest::newRow("attribute line ends") << QByteArray("<a b=\"1\r\n2\t3&#10;\"/>") << true;
        QTest::newRow("char refs") << QByteArray("<a>&#65;&#x42;&#233;</a>") << true;
        QTest::newRow("line end inside a char ref") << QByteArray("<a x=\"&#35\r;\"/>") << false;
        QTest::newRow("signed char ref") << QByteArray("<a>&#+65;</a>") << false;
        QTest::newRow("blank char ref") << QByteArray("<a>&#32;<b/></a>") << false;
        QTest::newRow("utf-8 text") << QByteArray("<a>Velocit\xC3\xA0</a>") << true;
        QTest::newRow("bad utf-8 becomes U+FFFD") << QByteArray("<a>\xC3\x28</a>") << true;
        QTest::newRow("non-character") << QByteArray("<a>\xEF\xBF\xBE</a>") << false;
        QTest::newRow("comments and PIs") << QByteArray("<!--c--><?p x?><a><!--in--><?q?>t<b/>u</a><!--after-->") << true;
        QTest::newRow("cdata") << QByteArray("<a><![CDATA[<x>]]></a>") << false;
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE a><a/>") << false;
        QTest::newRow("default namespace") << QByteArray("<a xmlns=\"urn:x\"><b>1</b></a>") << true;
        QTest::newRow("prefix declared below") << QByteArray("<a><p:b xmlns:p=\"urn:p\" p:c=\"1\"/></a>") << true;
        QTest::newRow("prefix out of scope") << QByteArray("<a><p:b xmlns:p=\"urn:p\"/><p:c/></a>") << false;
        QTest::newRow("duplicate attribute") << QByteArray("<a b=\"1\" b=\"2\"/>") << false;
        QTest::newRow("attributes run together") << QByteArray("<a b=\"1\"c=\"2\"/>") << false;
        QTest::newRow("lt in attribute") << QByteArray("<a b=\"<\"/>") << false;
        QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << false;
        QTest::newRow("cdata end in text") << QByteArray("<a>]]></a>") << false;
        QTest::newRow("double dash in comment") << QByteArray("<a><!-- a -- b --></a>") << false;
        QTest::newRow("declaration not first") << QByteArray(" <?xml version=\"1.0\"?><a/>") << false;
        QTest::newRow("text before root") << QByteArray("x<a/>") << false;
        QTest::newRow("byte order mark after the declaration") << QByteArray("<?xml version=\"1.0\"?>\xEF\xBB\xBF<a/>") << false;
        QTest::newRow("byte order mark in text") << QByteArray("<a>\xEF\xBB\xBFx</a>") << true;
        QTest::newRow("char ref before root") << QByteArray("&#10;<a/>") << false;
        QTest::newRow("control character") << QByteArray("<a>\x01</a>") << false;
        QTest::newRow("unclosed") << QByteArray("<a><b></b>") << false;
        QTest::newRow("end tag with blank") << QByteArray("<a><b></b ></a >") << true;
        QTest::newRow("row without children") << QByteArray("<a><T/><T>  </T><T><!--c--></T></a>") << true;
    }
    void fastParserAgreesWithGeneralParser()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, fast);
        XmlDocument a, b;
        const bool okA = a.setContent(text);
        const bool okB = b.setContent(text, nullptr, XmlDocument::GeneralParserOnly);
        QCOMPARE(okA, okB);
        QCOMPARE(a.builtByFastParser(), fast);
        if (!okA)
            return;
        QCOMPARE(a.nodeCount(), b.nodeCount());
        for (int i = 0; i < a.nodeCount(); ++i) {
            const XmlDocument::Node &x = a.node(i), &y = b.node(i);
            QCOMPARE(a.nameOf(i), b.nameOf(i));
            QCOMPARE(a.text(i), b.text(i));
            QCOMPARE(x.parent, y.parent);
            QCOMPARE(x.nextSibling, y.nextSibling);
            QCOMPARE(x.hasChildNodes, y.hasChildNodes);
            QCOMPARE(x.attrCount, y.attrCount);
            for (const char *attr : {"b", "c", "p:c", "name", "xmlns"})
                QCOMPARE(a.attribute(i, attr), b.attribute(i, attr));
        }
    }

    // Damaged device files: the two parsers agree on every verdict and tree,
    // and nothing crashes.
    void mutatedDocumentsAgree()
    {
        const QByteArray base = Fixture::stamped(Fixture::dataSet(
            {{"T", {"A", "B"}, {{"x &amp; y", "1"}, {QString(), "z"}}}, {"U", {"C"}, {{"Velocit\xC3\xA0"}}}}));
        const QByteArray alphabet("<>/&;\"'=!?-[]:x \r\n\t\x00\x01\xC3\xA0#", 27);
        quint32 seed = qEnvironmentVariableIsSet("BRISCA_FUZZ_SEED") ? qEnvironmentVariableIntValue("BRISCA_FUZZ_SEED") : 2024;
        const int rounds = qEnvironmentVariableIsSet("BRISCA_FUZZ_ROUNDS") ? qEnvironmentVariableIntValue("BRISCA_FUZZ_ROUNDS") : 3000;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        int fastUsed = 0;
        for (int round = 0; round < rounds; ++round) {
            QByteArray doc = base;
            const int edits = 1 + int(next() % 3);
            for (int e = 0; e < edits; ++e) {
                const int pos = int(next() % quint32(doc.size()));
                switch (next() % 3) {
                case 0: doc[pos] = alphabet[int(next() % quint32(alphabet.size()))]; break;
                case 1: doc.remove(pos, 1 + int(next() % 4)); break;
                default: doc.insert(pos, alphabet[int(next() % quint32(alphabet.size()))]); break;
                }
            }
            XmlDocument a, b;
            const bool okA = a.setContent(doc);
            const bool okB = b.setContent(doc, nullptr, XmlDocument::GeneralParserOnly);
            if (okA != okB && qEnvironmentVariableIsSet("BRISCA_DUMP_MISMATCH")) {
                QFile f(qEnvironmentVariable("BRISCA_DUMP_MISMATCH"));
                if (f.open(QIODevice::WriteOnly))
                    f.write(doc);
            }
            QVERIFY2(okA == okB, (QByteArray(okA ? "fast accepted: " : "fast rejected: ") + doc.toPercentEncoding(" <>/=\"?!-:")).constData());
            if (!okA)
                continue;
            fastUsed += a.builtByFastParser();
            QCOMPARE(a.nodeCount(), b.nodeCount());
            for (int i = 0; i < a.nodeCount(); ++i) {
                QCOMPARE(a.nameOf(i), b.nameOf(i));
                QCOMPARE(a.text(i), b.text(i));
                QCOMPARE(a.node(i).hasChildNodes, b.node(i).hasChildNodes);
                QCOMPARE(a.node(i).attrCount, b.node(i).attrCount);
            }
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

    void entitiesAndLatin1Survive()
    {
        XmlDocument doc;
        QVERIFY(doc.setContent(Fixture::dataSet({{"T", {"A", "B"}, {{"a &amp; b &lt;c&gt;", "Velocit\xC3\xA0"}}}})));
        XmlTable t;
        t.setDocument(&doc);
        QVERIFY(t.open("T"));
        QCOMPARE(t.rows()[0][0].value(), QString("a & b <c>"));
        QCOMPARE(t.rows()[0][1].value(), QString::fromUtf8("Velocit\xC3\xA0"));
    }
};

QTEST_GUILESS_MAIN(TestXmlTable)
#include "tst_xmltable.moc"
