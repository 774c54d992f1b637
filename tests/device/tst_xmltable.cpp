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
