#pragma once
// Reader for the named tables of a device file: the embedded schema declares
// each table and its columns, the data part holds one element per row. The
// document is parsed once into a compact element tree; the schema and row
// walks then run over that tree without re-parsing or repeated searches.

#include <QByteArray>
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
    struct Node
    {
        int name = -1;        // interned local name
        int parent = -1;
        int firstChild = -1;  // first element child
        int lastChild = -1;
        int nextSibling = -1;
        int attrBegin = 0;
        int attrCount = 0;
        bool hasChildNodes = false; // any element, text, comment or PI child
        bool hasElementChildren = false;
        QString text;         // direct text, whitespace-only pieces dropped
    };

    struct Error
    {
        QString message;
        qint64 line = 0;
        qint64 column = 0;
    };

    // Parses the whole content. Anything after the root element has been
    // closed (the checksum trailer) is not held against the document.
    bool setContent(const QByteArray &content, Error *error = nullptr);
    void clear();
    bool isNull() const { return m_nodes.empty(); }

    int firstTopLevel() const { return m_nodes.empty() ? -1 : 0; }
    const Node &node(int i) const { return m_nodes[size_t(i)]; }
    int nodeCount() const { return int(m_nodes.size()); }
    int nameId(const QString &name) const { return m_names.value(name, -1); }
    const QString &nameOf(int node) const { return m_nameList[m_nodes[size_t(node)].name]; }
    // Attribute by its qualified name, as a DOM lookup does; null when absent.
    QString attribute(int node, const QString &qualifiedName) const;
    bool hasAttributes(int node) const { return m_nodes[size_t(node)].attrCount > 0; }
    // All text below the element, in document order.
    QString text(int node) const;

private:
    int intern(QStringView name);
    void appendText(int node, QString &out) const;

    std::vector<Node> m_nodes; // the root element is node 0; top-level siblings follow
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
// their column's descriptor so a row costs one string per cell.
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
    XmlField(std::shared_ptr<const Descriptor> d, QString value)
        : m_d(std::move(d)), m_value(std::move(value)) {}

    QString name() const { return m_d ? m_d->name : QString(); }
    QString value() const { return m_value; }
    QString type() const { return m_d ? m_d->type : QString(); }
    QString maxLength() const { return m_d ? m_d->maxLength : QString(); }
    const QString &valueRef() const { return m_value; }

private:
    std::shared_ptr<const Descriptor> m_d;
    QString m_value;
};

using XmlRow = std::vector<XmlField>;

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
    XmlTableSchema m_schema;
};
