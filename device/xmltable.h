#pragma once
// Reader for the named tables of a device file: the embedded schema declares
// each table and its columns, the data part holds one element per row. The
// document is parsed once into a compact element tree; the schema and row
// walks then run over that tree without re-parsing or repeated searches.

#include "largebuffer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

// Parsed device document: elements only, names by local name (namespace
// processing on), direct text kept per element. Whitespace-only text is
// dropped, as a DOM parse does.
class XmlDocument
{
public:
    // A node's direct text: none, a span of plain ASCII in the content (the
    // usual cell, kept without a copy), or a decoded string in the pool.
    enum TextKind : quint8 { NoText, AsciiSpan, Pooled };

    // 32 bytes: a large device has hundreds of thousands of elements.
    struct Node
    {
        int name = -1;        // interned local name
        int parent = -1;
        int firstChild = -1;  // first element child
        int nextSibling = -1;
        int attrBegin = 0;    // attributes run up to the next node's attrBegin
        int textBegin = 0;    // content offset (AsciiSpan) or pool index (Pooled)
        int textSize = 0;
        TextKind textKind = NoText;
        bool hasChildNodes = false; // any element, text, comment or PI child
    };

    struct Error
    {
        QString message;
        qint64 line = 0;
        qint64 column = 0;
    };

    // Parses the whole content. Anything after the root element has been
    // closed (the checksum trailer) is not held against the document. The
    // document keeps a reference to the content.
    enum Parser { AnyParser, GeneralParserOnly };
    bool setContent(const QByteArray &content, Error *error = nullptr, Parser parser = AnyParser);
    void clear();
    bool isNull() const { return m_nodes.empty(); }

    int firstTopLevel() const { return m_nodes.empty() ? -1 : 0; }
    const Node &node(int i) const { return m_nodes[size_t(i)]; }
    int nodeCount() const { return int(m_nodes.size()); }
    int nameId(const QString &name) const { return m_names.value(name, -1); }
    const QString &nameOf(int node) const { return m_nameList[m_nodes[size_t(node)].name]; }
    // Attribute by its qualified name, as a DOM lookup does; null when absent.
    QString attribute(int node, const QString &qualifiedName) const;
    int attributeCount(int node) const
    {
        const size_t next = size_t(node) + 1;
        return (next < m_nodes.size() ? m_nodes[next].attrBegin : int(m_attrs.size())) - m_nodes[size_t(node)].attrBegin;
    }
    bool hasAttributes(int node) const { return attributeCount(node) > 0; }
    // All text below the element, in document order.
    QString text(int node) const;
    // The same text as ASCII bytes, when it is stored that way; false when
    // text() must be used.
    bool asciiText(int node, QByteArrayView *out) const;
    // First child of node named nameId, -1 when none. The root's children
    // (every row of every table) are indexed on first use.
    int firstChildNamed(int node, int nameId) const;

    // Which parser built the tree: the fast one for the usual UTF-8 device
    // files, the general one for everything else (and for every error).
    bool builtByFastParser() const { return m_fast; }

private:
    bool parseFast();
    bool parseGeneral(const QByteArray &content, Error *error);
    int intern(QStringView name);
    int internLatin1(const char *name, int size);
    // The element starts inside the innermost open one; its attributes are
    // appended to m_attrs right after.
    int openElement(int nameId);
    void closeElement() { m_open.pop_back(); }
    QString directText(const Node &n) const;
    // Character data of the innermost open element, in document order.
    void addText(const QString &text);
    void addAsciiSpan(int begin, int size);
    void markChild() { m_nodes[size_t(m_open.back().node)].hasChildNodes = true; }

    struct Open
    {
        int node;
        int lastChild = -1;
        int elementChildren = 0;
    };
    std::vector<Open> m_open; // while parsing
    void appendText(int node, QString &out) const;

    QByteArray m_content;
    bool m_fast = false;
    // Text that follows a child element (mixed content), by node: the
    // number of child elements before it and the text.
    QHash<int, QList<QPair<int, QString>>> m_laterText;
    mutable QHash<int, int> m_rootChildByName;
    mutable bool m_rootIndexed = false;
    QHash<QByteArray, int> m_latin1Names; // fast parser: raw name bytes -> id
    // Fast parser: the name that followed each name as a sibling last time,
    // and each name's first child; rows repeat them, so most lookups are one
    // comparison.
    std::vector<int> m_nextName, m_firstChildName;
    std::vector<QByteArray> m_idBytes;

    std::vector<Node, LargeAllocator<Node>> m_nodes; // the root element is node 0; top-level siblings follow
    std::vector<QString> m_pool;
    struct Attr
    {
        QString qualifiedName;
        QString value;
    };
    std::vector<Attr> m_attrs;
    QHash<QString, int> m_names;
    QList<QString> m_nameList;
};

// Column descriptor and row cell: name, value, type, maxLength. Cells share
// their column's descriptor and read their text from the document on
// demand, so a row costs no string until a value is asked for.
class XmlField
{
public:
    struct Descriptor
    {
        QString name;
        QString type;
        QString maxLength;
    };

    XmlField() = default;
    XmlField(std::shared_ptr<const Descriptor> d, const XmlDocument *doc, int node)
        : m_d(std::move(d)), m_doc(doc), m_node(node) {}

    QString name() const { return m_d ? m_d->name : QString(); }
    QString value() const { return m_node >= 0 ? m_doc->text(m_node) : QString(); }
    QString type() const { return m_d ? m_d->type : QString(); }
    QString maxLength() const { return m_d ? m_d->maxLength : QString(); }
    // The value as ASCII bytes without a copy, when the document holds it so.
    bool asciiValue(QByteArrayView *out) const
    {
        if (m_node < 0) {
            *out = QByteArrayView();
            return true;
        }
        return m_doc->asciiText(m_node, out);
    }

private:
    std::shared_ptr<const Descriptor> m_d;
    const XmlDocument *m_doc = nullptr;
    int m_node = -1; // the column's element in the row; -1 when missing
};

class XmlTable;

// One row: its cells in the order of the table's columns, read from the
// document when asked for. Valid until the table is opened again.
class XmlRow
{
public:
    class const_iterator
    {
    public:
        const_iterator(const XmlRow *row, size_t i) : m_row(row), m_i(i) {}
        XmlField operator*() const { return (*m_row)[m_i]; }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator!=(const const_iterator &o) const { return m_i != o.m_i; }
        bool operator==(const const_iterator &o) const { return m_i == o.m_i; }

    private:
        const XmlRow *m_row;
        size_t m_i;
    };

    XmlRow(const XmlTable *table, size_t firstCell) : m_table(table), m_first(firstCell) {}
    size_t size() const;
    bool empty() const { return size() == 0; }
    XmlField operator[](size_t i) const;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    const XmlTable *m_table;
    size_t m_first;
};

// Schema walker of one table: finds the schema, the table's definition and
// its columns in schema order.
class XmlTableSchema
{
public:
    enum State { LookingForSchema = 0, LookingForDefinition = 1, ReadingColumns = 2, Finished = 3 };

    void setDocument(const XmlDocument *doc) { m_doc = doc; }
    // Reads the columns too when withColumns is set; true when declared.
    bool find(const QString &table, bool withColumns);
    void clear();

    const std::vector<std::shared_ptr<const XmlField::Descriptor>> &columns() const { return m_columns; }
    State state() const { return m_state; }

private:
    int findChildNamed(int start, int nameId) const;
    int findDefinition(int node, const QString &table) const;
    void readColumns(int definition);

    const XmlDocument *m_doc = nullptr;
    QString m_table;
    int m_schema = -1;
    int m_definition = -1;
    State m_state = LookingForSchema;
    State m_previousState = LookingForSchema;
    bool m_inSequence = false;
    XmlField::Descriptor m_pending;
    std::vector<std::shared_ptr<const XmlField::Descriptor>> m_columns;
};

class XmlTable
{
public:
    void setDocument(const XmlDocument *doc);
    bool hasTable(const QString &name);
    bool open(const QString &name);

    const QString &name() const { return m_name; }
    const std::vector<XmlRow> &rows() const { return m_rows; }
    const std::vector<std::shared_ptr<const XmlField::Descriptor>> &columns() const
    {
        return m_schema.columns();
    }
    // Index of a column in schema order (first declaration), -1 when absent.
    int columnIndex(const QString &column) const;

private:
    void clear();
    void readRows();

    const XmlDocument *m_doc = nullptr;
    QString m_name;
    int m_firstRow = -1;
    int m_rowState = 0;
    int m_previousRowState = 0;
    std::vector<XmlRow> m_rows;
    std::vector<int, LargeAllocator<int>> m_cells; // element of each row's cell, row after row; -1 when missing
    XmlTableSchema m_schema;
    friend class XmlRow;
};

inline size_t XmlRow::size() const { return m_table->columns().size(); }

inline XmlField XmlRow::operator[](size_t i) const
{
    return XmlField(m_table->columns()[i], m_table->m_doc, m_table->m_cells[m_first + i]);
}
