#include "xmltable.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

// ---------------------------------------------------------------- XmlDocument

void XmlDocument::clear()
{
    m_content = QByteArray();
    m_open.clear();
    m_nodes.clear();
    m_pool.clear();
    m_attrs.clear();
    m_nextName.clear();
    m_firstChildName.clear();
    m_idBytes.clear();
    m_names.clear();
    m_nameList.clear();
    m_latin1Names.clear();
    m_fast = false;
    m_rootChildByName.clear();
    m_rootIndexed = false;
    m_laterText.clear();
}

void XmlDocument::addText(const QString &text)
{
    const Open &o = m_open.back();
    Node &n = m_nodes[size_t(o.node)];
    n.hasChildNodes = true;
    if (o.elementChildren > 0) {
        m_laterText[o.node].append({o.elementChildren, text});
    } else if (n.textKind == Pooled) {
        m_pool[size_t(n.textBegin)] += text;
    } else {
        QString joined = directText(n) + text;
        n.textKind = Pooled;
        n.textBegin = int(m_pool.size());
        m_pool.push_back(std::move(joined));
    }
}

void XmlDocument::addAsciiSpan(int begin, int size)
{
    const Open &o = m_open.back();
    Node &n = m_nodes[size_t(o.node)];
    if (o.elementChildren > 0 || n.textKind != NoText) {
        addText(QString::fromLatin1(m_content.constData() + begin, size));
        return;
    }
    n.hasChildNodes = true;
    n.textKind = AsciiSpan;
    n.textBegin = begin;
    n.textSize = size;
}

QString XmlDocument::directText(const Node &n) const
{
    switch (n.textKind) {
    case AsciiSpan: return QString::fromLatin1(m_content.constData() + n.textBegin, n.textSize);
    case Pooled: return m_pool[size_t(n.textBegin)];
    case NoText: break;
    }
    return QString();
}

bool XmlDocument::asciiText(int node, QByteArrayView *out) const
{
    const Node &n = m_nodes[size_t(node)];
    if (n.firstChild >= 0 || n.textKind == Pooled)
        return false;
    *out = n.textKind == AsciiSpan ? QByteArrayView(m_content.constData() + n.textBegin, n.textSize)
                                   : QByteArrayView();
    return true;
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
    if (size_t(id) >= m_idBytes.size())
        m_idBytes.resize(size_t(id) + 1);
    m_idBytes[size_t(id)] = QByteArray(name, size);
    return id;
}

int XmlDocument::openElement(int nameId)
{
    const int idx = int(m_nodes.size());
    Node n;
    n.name = nameId;
    n.attrBegin = int(m_attrs.size());
    if (!m_open.empty()) {
        Open &o = m_open.back();
        n.parent = o.node;
        Node &pn = m_nodes[size_t(o.node)];
        pn.hasChildNodes = true;
        ++o.elementChildren;
        if (o.lastChild >= 0)
            m_nodes[size_t(o.lastChild)].nextSibling = idx;
        else
            pn.firstChild = idx;
        o.lastChild = idx;
    }
    m_nodes.push_back(n);
    m_open.push_back({idx});
    return idx;
}

bool XmlDocument::setContent(const QByteArray &content, Error *error, Parser parser)
{
    clear();
    m_content = content;
    if (parser == AnyParser && parseFast()) {
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
            openElement(intern(xml.name()));
            const QXmlStreamAttributes attrs = xml.attributes();
            for (const QXmlStreamAttribute &a : attrs)
                m_attrs.push_back({a.qualifiedName().toString(), a.value().toString()});
            break;
        }
        case QXmlStreamReader::EndElement:
            closeElement();
            if (m_open.empty())
                rootClosed = true;
            break;
        case QXmlStreamReader::Characters:
            if (!m_open.empty() && !xml.isWhitespace())
                addText(xml.text().toString());
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            if (!m_open.empty())
                markChild();
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
    const int count = attributeCount(node);
    for (int i = 0; i < count; ++i) {
        const Attr &a = m_attrs[size_t(n.attrBegin + i)];
        if (a.qualifiedName == qualifiedName)
            return a.value;
    }
    return QString();
}

void XmlDocument::appendText(int node, QString &out) const
{
    const Node &n = m_nodes[size_t(node)];
    out += directText(n);
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
    if (n.firstChild < 0)
        return directText(n);
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
    m_cells.clear();
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
    // Column of each element name, -1 for none. A column declared twice
    // takes the same element in both cells.
    std::vector<int> colIds(cols.size()), columnOfName;
    bool declaredTwice = false;
    for (size_t i = 0; i < cols.size(); ++i) {
        const int id = colIds[i] = m_doc->nameId(cols[i]->name);
        if (id < 0)
            continue;
        if (size_t(id) >= columnOfName.size())
            columnOfName.resize(size_t(id) + 1, -1);
        if (columnOfName[size_t(id)] >= 0)
            declaredTwice = true;
        else
            columnOfName[size_t(id)] = int(i);
    }

    int rowCount = 0;
    for (int n = m_firstRow; n >= 0; n = m_doc->node(n).nextSibling)
        if (m_doc->node(n).name == tableId && m_doc->node(n).hasChildNodes)
            ++rowCount;
    m_rows.reserve(size_t(rowCount));
    m_cells.reserve(size_t(rowCount) * cols.size());

    std::vector<int> childOf(cols.size());
    for (int n = m_firstRow; n >= 0; n = m_doc->node(n).nextSibling) {
        const XmlDocument::Node &rn = m_doc->node(n);
        if (rn.name != tableId || !rn.hasChildNodes)
            continue;
        m_rows.emplace_back(this, m_cells.size());
        // One pass over the row's children finds every column's element.
        std::fill(childOf.begin(), childOf.end(), -1);
        for (int c = rn.firstChild; c >= 0; c = m_doc->node(c).nextSibling) {
            const int id = m_doc->node(c).name;
            if (size_t(id) >= columnOfName.size() || columnOfName[size_t(id)] < 0)
                continue;
            if (!declaredTwice) {
                int &slot = childOf[size_t(columnOfName[size_t(id)])];
                if (slot < 0)
                    slot = c;
                continue;
            }
            for (size_t i = 0; i < colIds.size(); ++i)
                if (colIds[i] == id && childOf[i] < 0)
                    childOf[i] = c;
        }
        m_cells.insert(m_cells.end(), childOf.begin(), childOf.end());
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
