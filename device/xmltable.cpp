#include "xmltable.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

// ---------------------------------------------------------------- XmlDocument

void XmlDocument::clear()
{
    m_nodes.clear();
    m_attrs.clear();
    m_names.clear();
    m_nameList.clear();
    m_latin1Names.clear();
    m_fast = false;
    m_rootChildByName.clear();
    m_rootIndexed = false;
    m_laterText.clear();
}

void XmlDocument::addText(int node, const QString &text)
{
    Node &n = m_nodes[size_t(node)];
    n.hasChildNodes = true;
    if (n.elementChildren > 0)
        m_laterText[node].append({n.elementChildren, text});
    else if (n.text.isEmpty())
        n.text = text;
    else
        n.text += text;
}

int XmlDocument::firstChildNamed(int node, int nameId) const
{
    if (node == 0) {
        if (!m_rootIndexed) {
            for (int c = m_nodes.empty() ? -1 : m_nodes[0].firstChild; c >= 0; c = m_nodes[size_t(c)].nextSibling)
                if (!m_rootChildByName.contains(m_nodes[size_t(c)].name))
                    m_rootChildByName.insert(m_nodes[size_t(c)].name, c);
            m_rootIndexed = true;
        }
        return m_rootChildByName.value(nameId, -1);
    }
    for (int c = m_nodes[size_t(node)].firstChild; c >= 0; c = m_nodes[size_t(c)].nextSibling)
        if (m_nodes[size_t(c)].name == nameId)
            return c;
    return -1;
}

int XmlDocument::internLatin1(const char *name, int size)
{
    const QByteArray key = QByteArray::fromRawData(name, size);
    const auto it = m_latin1Names.constFind(key);
    if (it != m_latin1Names.constEnd())
        return it.value();
    const int id = intern(QString::fromLatin1(name, size));
    m_latin1Names.insert(QByteArray(name, size), id);
    return id;
}

int XmlDocument::addElement(int parent, int nameId)
{
    const int idx = int(m_nodes.size());
    Node n;
    n.name = nameId;
    n.parent = parent;
    if (parent >= 0) {
        Node &pn = m_nodes[size_t(parent)];
        pn.hasChildNodes = true;
        pn.hasElementChildren = true;
        ++pn.elementChildren;
        if (pn.lastChild >= 0)
            m_nodes[size_t(pn.lastChild)].nextSibling = idx;
        else
            pn.firstChild = idx;
        pn.lastChild = idx;
    }
    m_nodes.push_back(std::move(n));
    return idx;
}

bool XmlDocument::setContent(const QByteArray &content, Error *error, Parser parser)
{
    clear();
    if (parser == AnyParser && parseFast(content)) {
        m_fast = true;
        return true;
    }
    clear();
    return parseGeneral(content, error);
}

int XmlDocument::intern(QStringView name)
{
    // Device files repeat a few dozen names hundreds of thousands of times;
    // the last hit is usually the next one too.
    static thread_local int lastId = -1;
    if (lastId >= 0 && lastId < m_nameList.size() && m_nameList[lastId] == name)
        return lastId;
    const QString key = name.toString();
    auto it = m_names.constFind(key);
    if (it == m_names.constEnd()) {
        it = m_names.insert(key, int(m_nameList.size()));
        m_nameList.append(key);
    }
    lastId = it.value();
    return lastId;
}

namespace {
// The document as text. Bytes that are not valid in the document's encoding
// become U+FFFD rather than an error: device files edited by hand often
// carry a stray Latin-1 byte, and the trailer after the root may hold any
// bytes at all. Null when the general parser should detect the encoding
// itself (UTF-16 and UTF-32).
QString decodeContent(const QByteArray &content)
{
    if (content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF") || content.startsWith(QByteArray("\0\0", 2))
        || (content.size() >= 2 && (content[0] == 0 || content[1] == 0)))
        return QString();
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    if (!content.startsWith("\xEF\xBB\xBF") && content.startsWith("<?xml")) {
        const int end = content.indexOf("?>");
        const QByteArray decl = content.left(end < 0 ? 0 : end);
        const int at = decl.indexOf("encoding");
        if (at >= 0) {
            int q = at + 8;
            while (q < decl.size() && (decl[q] == ' ' || decl[q] == '=' || decl[q] == '\t' || decl[q] == '\r' || decl[q] == '\n'))
                ++q;
            if (q < decl.size() && (decl[q] == '"' || decl[q] == '\'')) {
                const int close = decl.indexOf(decl[q], q + 1);
                const auto named = QStringConverter::encodingForName(decl.mid(q + 1, close - q - 1).constData());
                if (!named)
                    return QString(); // unknown: let the parser say so
                encoding = *named;
            }
        }
    }
    QStringDecoder decoder(encoding);
    QString text = decoder.decode(content);
    if (text.isNull())
        text = QLatin1String("");
    return text;
}
} // namespace

bool XmlDocument::parseGeneral(const QByteArray &content, Error *error)
{
    const QString text = decodeContent(content);
    QXmlStreamReader xml;
    if (text.isNull())
        xml.addData(content);
    else
        xml.addData(text);
    xml.setNamespaceProcessing(true);
    std::vector<int> stack;
    bool rootClosed = false;
    m_nodes.reserve(size_t(content.size() / 24) + 16);

    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType tok = xml.readNext();
        switch (tok) {
        case QXmlStreamReader::StartElement: {
            if (rootClosed) {
                // A second root: not XML.
                xml.raiseError(QStringLiteral("extra content at end of document"));
                break;
            }
            const int idx = addElement(stack.empty() ? -1 : stack.back(), intern(xml.name()));
            const QXmlStreamAttributes attrs = xml.attributes();
            m_nodes[size_t(idx)].attrBegin = int(m_attrs.size());
            m_nodes[size_t(idx)].attrCount = int(attrs.size());
            for (const QXmlStreamAttribute &a : attrs)
                m_attrs.push_back({a.qualifiedName().toString(), a.value().toString()});
            stack.push_back(idx);
            break;
        }
        case QXmlStreamReader::EndElement:
            stack.pop_back();
            if (stack.empty())
                rootClosed = true;
            break;
        case QXmlStreamReader::Characters:
            if (!stack.empty() && !xml.isWhitespace())
                addText(stack.back(), xml.text().toString());
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            if (!stack.empty())
                m_nodes[size_t(stack.back())].hasChildNodes = true;
            break;
        default:
            break;
        }
        if (xml.hasError())
            break;
    }
    if (xml.hasError() && !rootClosed) {
        if (error) {
            error->message = xml.errorString();
            error->line = xml.lineNumber();
            error->column = xml.columnNumber();
        }
        clear();
        return false;
    }
    if (m_nodes.empty()) {
        if (error) {
            error->message = QStringLiteral("no root element");
            error->line = xml.lineNumber();
            error->column = xml.columnNumber();
        }
        return false;
    }
    return true;
}

QString XmlDocument::attribute(int node, const QString &qualifiedName) const
{
    const Node &n = m_nodes[size_t(node)];
    for (int i = 0; i < n.attrCount; ++i) {
        const Attr &a = m_attrs[size_t(n.attrBegin + i)];
        if (a.qualifiedName == qualifiedName)
            return a.value;
    }
    return QString();
}

void XmlDocument::appendText(int node, QString &out) const
{
    const Node &n = m_nodes[size_t(node)];
    out += n.text;
    const auto later = m_laterText.constFind(node);
    int ordinal = 0;
    for (int c = n.firstChild; c >= 0; c = m_nodes[size_t(c)].nextSibling) {
        appendText(c, out);
        ++ordinal;
        if (later != m_laterText.constEnd())
            for (const auto &piece : *later)
                if (piece.first == ordinal)
                    out += piece.second;
    }
}

QString XmlDocument::text(int node) const
{
    const Node &n = m_nodes[size_t(node)];
    if (!n.hasElementChildren)
        return n.text;
    QString out;
    appendText(node, out);
    return out;
}

// ------------------------------------------------------------- XmlTableSchema

namespace {
// A child named like nameId of start or of one of its following siblings;
// failing that, the same search one level down, sibling after sibling.
int findChildNamedIn(const XmlDocument &doc, int start, int nameId)
{
    for (int n = start; n >= 0; n = doc.node(n).nextSibling) {
        const int c = doc.firstChildNamed(n, nameId);
        if (c >= 0)
            return c;
        const int r = findChildNamedIn(doc, doc.node(n).firstChild, nameId);
        if (r >= 0)
            return r;
    }
    return -1;
}
} // namespace

void XmlTableSchema::clear()
{
    m_table.clear();
    m_schema = -1;
    m_definition = -1;
    m_state = LookingForSchema;
    m_previousState = LookingForSchema;
    m_inSequence = false;
    m_pending = XmlField::Descriptor();
    m_columns.clear();
}

int XmlTableSchema::findChildNamed(int start, int nameId) const
{
    return findChildNamedIn(*m_doc, start, nameId);
}

int XmlTableSchema::findDefinition(int node, const QString &table) const
{
    // Nodes are numbered in document order, so the subtree of node is the
    // index range up to the next sibling of it or of its nearest ancestor.
    int end = m_doc->nodeCount();
    for (int p = node; p >= 0; p = m_doc->node(p).parent) {
        if (m_doc->node(p).nextSibling >= 0) {
            end = m_doc->node(p).nextSibling;
            break;
        }
    }
    const QString nameAttr = QStringLiteral("name");
    for (int i = node; i < end; ++i)
        if (m_doc->hasAttributes(i) && m_doc->attribute(i, nameAttr) == table)
            return i;
    return -1;
}

void XmlTableSchema::readColumns(int definition)
{
    const int sequenceId = m_doc->nameId(QStringLiteral("sequence"));
    const int elementId = m_doc->nameId(QStringLiteral("element"));
    const int restrictionId = m_doc->nameId(QStringLiteral("restriction"));
    const int maxLengthId = m_doc->nameId(QStringLiteral("maxLength"));
    const QString xsPrefix = QStringLiteral("xs:");
    auto stripXs = [&](QString t) {
        if (t.startsWith(xsPrefix))
            t.remove(0, 3);
        return t;
    };

    // Iterative depth-first walk with an explicit "after children" step.
    struct Frame
    {
        int node;
        bool startsColumn;
    };
    std::vector<Frame> stack;
    auto enter = [&](int n) {
        const XmlDocument::Node &nd = m_doc->node(n);
        bool starts = false;
        if (nd.name == sequenceId && sequenceId >= 0) {
            m_inSequence = true;
        } else if (m_inSequence) {
            if (nd.name == elementId && elementId >= 0) {
                starts = true;
                m_pending.name = m_doc->attribute(n, QStringLiteral("name"));
                m_pending.type = stripXs(m_doc->attribute(n, QStringLiteral("type")));
            } else if (nd.name == restrictionId && restrictionId >= 0) {
                m_pending.type = stripXs(m_doc->attribute(n, QStringLiteral("base")));
            } else if (nd.name == maxLengthId && maxLengthId >= 0) {
                m_pending.maxLength = m_doc->attribute(n, QStringLiteral("value"));
            }
        }
        stack.push_back({n, starts});
    };

    enter(definition);
    std::vector<int> nextChild{m_doc->node(definition).firstChild};
    while (!stack.empty()) {
        int &child = nextChild.back();
        if (child >= 0) {
            const int c = child;
            child = m_doc->node(c).nextSibling;
            enter(c);
            nextChild.push_back(m_doc->node(c).firstChild);
            continue;
        }
        const Frame f = stack.back();
        stack.pop_back();
        nextChild.pop_back();
        if (f.startsColumn) {
            m_columns.push_back(std::make_shared<const XmlField::Descriptor>(m_pending));
            m_pending = XmlField::Descriptor();
        }
    }
}

bool XmlTableSchema::find(const QString &table, bool withColumns)
{
    clear();
    m_table = table;
    if (!m_doc || m_doc->isNull() || table.isEmpty())
        return false;

    m_previousState = m_state;
    const int schemaId = m_doc->nameId(QStringLiteral("schema"));
    m_schema = schemaId < 0 ? -1 : findChildNamed(m_doc->firstTopLevel(), schemaId);
    if (m_schema < 0)
        return false;
    m_state = LookingForDefinition;

    m_definition = findDefinition(m_schema, table);
    if (m_definition < 0)
        return false;
    m_previousState = m_state;
    if (withColumns) {
        m_state = ReadingColumns;
        readColumns(m_definition);
        m_previousState = m_state;
    }
    m_state = Finished;
    return true;
}

// -------------------------------------------------------------------- XmlTable

void XmlTable::setDocument(const XmlDocument *doc)
{
    m_doc = doc;
    m_schema.setDocument(doc);
    clear();
}

void XmlTable::clear()
{
    m_name.clear();
    m_rows.clear();
    m_firstRow = -1;
    m_rowState = 0;
    m_previousRowState = 0;
    m_schema.clear();
}

bool XmlTable::hasTable(const QString &name)
{
    if (name.isEmpty() || !m_doc)
        return false;
    // Leaves the rows of the open table alone.
    XmlTableSchema probe;
    probe.setDocument(m_doc);
    return probe.find(name, false);
}

bool XmlTable::open(const QString &name)
{
    clear();
    if (name.isEmpty())
        return false;
    m_name = name;
    if (!m_schema.find(name, true))
        return false;
    readRows();
    return true;
}

void XmlTable::readRows()
{
    const int tableId = m_doc->nameId(m_name);
    if (tableId < 0)
        return;
    // State 0: the first element named like the table.
    m_firstRow = findChildNamedIn(*m_doc, m_doc->firstTopLevel(), tableId);
    if (m_firstRow < 0)
        return;
    m_previousRowState = m_rowState;
    m_rowState = 1;

    const auto &cols = m_schema.columns();
    std::vector<int> colIds(cols.size());
    for (size_t i = 0; i < cols.size(); ++i)
        colIds[i] = m_doc->nameId(cols[i]->name);

    int rowCount = 0;
    for (int n = m_firstRow; n >= 0; n = m_doc->node(n).nextSibling)
        if (m_doc->node(n).name == tableId && m_doc->node(n).hasChildNodes)
            ++rowCount;
    m_rows.reserve(size_t(rowCount));

    std::vector<int> childOf(cols.size());
    for (int n = m_firstRow; n >= 0; n = m_doc->node(n).nextSibling) {
        const XmlDocument::Node &rn = m_doc->node(n);
        if (rn.name != tableId || !rn.hasChildNodes)
            continue;
        m_rows.emplace_back();
        XmlRow &row = m_rows.back();
        row.reserve(cols.size());
        // One pass over the row's children finds every column's element.
        std::fill(childOf.begin(), childOf.end(), -1);
        for (int c = rn.firstChild; c >= 0; c = m_doc->node(c).nextSibling) {
            const int id = m_doc->node(c).name;
            for (size_t i = 0; i < colIds.size(); ++i)
                if (colIds[i] == id && childOf[i] < 0)
                    childOf[i] = c;
        }
        for (size_t i = 0; i < cols.size(); ++i)
            row.emplace_back(cols[i], childOf[i] >= 0 ? m_doc->text(childOf[i]) : QString());
    }
}

int XmlTable::columnIndex(const QString &column) const
{
    const auto &cols = m_schema.columns();
    for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i]->name == column)
            return int(i);
    return -1;
}
