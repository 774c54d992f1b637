// Fast path for parsing device files: a strict reader for the UTF-8 subset of
// XML that schema-embedding writers produce. Whatever it is not sure about
// (other encodings, DTDs, CDATA, odd characters, any error) makes it give up,
// and the general parser decides; so it never accepts what that one rejects.
#include "xmltable.h"

#include <QStringDecoder>

#include <cstring>
#include <limits>


namespace {

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
inline bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

struct Cursor
{
    const char *p;
    const char *end;
    bool atEnd() const { return p >= end; }
    bool startsWith(const char *s, int n) const { return end - p >= n && memcmp(p, s, size_t(n)) == 0; }
};

// A qualified name of ASCII name characters with at most one colon.
bool readName(Cursor &c, const char **begin, int *len, int *colon)
{
    *begin = c.p;
    *colon = -1;
    if (c.atEnd() || !isNameStart(*c.p))
        return false;
    ++c.p;
    while (!c.atEnd()) {
        const char ch = *c.p;
        if (isNameChar(ch)) {
            ++c.p;
        } else if (ch == ':') {
            if (*colon >= 0)
                return false;
            *colon = int(c.p - *begin);
            ++c.p;
            if (c.atEnd() || !isNameStart(*c.p))
                return false;
        } else {
            break;
        }
    }
    *len = int(c.p - *begin);
    return true;
}

bool validChar(uint u)
{
    return u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD)
           || (u >= 0x10000 && u <= 0x10FFFF);
}

// A piece of the document decoded as the whole document is: invalid bytes
// become U+FFFD, and a byte order mark inside stays a character.
QString decodeUtf8(const char *p, int n)
{
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return dec.decode(QByteArrayView(p, n));
}

// Invalid UTF-8 has become U+FFFD, as in the general parser; what is left
// to refuse are the two non-characters XML forbids.
bool xmlChars(const QString &s)
{
    for (QChar ch : s)
        if (ch.unicode() == 0xFFFE || ch.unicode() == 0xFFFF)
            return false;
    return true;
}

// Decodes character data up to the stop byte ('<' for text, the quote for
// attribute values) with entities and line ends resolved. sawReference tells
// whether an entity or character reference was met.
bool readChars(Cursor &c, char stop, bool attribute, QString &out, bool *sawReference)
{
    *sawReference = false;
    QByteArray raw; // UTF-8 bytes of the decoded text
    const char *start = c.p;
    bool plain = true; // nothing to decode: copy the span as it is
    bool ascii = true;
    for (; !c.atEnd() && *c.p != stop; ++c.p) {
        const unsigned char ch = uchar(*c.p);
        if (ch == '&' || ch == '\r' || (attribute && (ch == '\n' || ch == '\t'))) {
            plain = false;
            break;
        }
        if (ch < 0x20 && ch != '\n' && ch != '\t')
            return false;
        if (ch >= 0x80)
            ascii = false;
        if (ch == '<')
            return false; // only possible inside an attribute value
        if (ch == '>' && !attribute && c.p - start >= 2 && c.p[-1] == ']' && c.p[-2] == ']')
            return false;
    }
    if (plain) {
        if (c.atEnd())
            return false;
        const int n = int(c.p - start);
        if (ascii) {
            out = QString::fromLatin1(start, n);
            return true;
        }
        out = decodeUtf8(start, n);
        return xmlChars(out);
    }

    raw.append(start, c.p - start);
    while (!c.atEnd() && *c.p != stop) {
        const unsigned char ch = uchar(*c.p);
        if (ch == '&') {
            *sawReference = true;
            const char *semi = static_cast<const char *>(memchr(c.p, ';', size_t(qMin<qptrdiff>(c.end - c.p, 12))));
            if (!semi)
                return false;
            const QByteArray ref(c.p + 1, int(semi - c.p - 1));
            if (ref == "lt")
                raw += '<';
            else if (ref == "gt")
                raw += '>';
            else if (ref == "amp")
                raw += '&';
            else if (ref == "quot")
                raw += '"';
            else if (ref == "apos")
                raw += '\'';
            else if (ref.startsWith('#')) {
                // Digits only: no sign, no blanks, which a number parser would allow.
                const bool hex = ref.startsWith("#x");
                const QByteArray digits = ref.mid(hex ? 2 : 1);
                if (digits.isEmpty() || digits.size() > 8)
                    return false;
                for (char d : digits)
                    if (!((d >= '0' && d <= '9') || (hex && ((d >= 'a' && d <= 'f') || (d >= 'A' && d <= 'F')))))
                        return false;
                bool ok = false;
                const uint u = digits.toUInt(&ok, hex ? 16 : 10);
                if (!ok || !validChar(u))
                    return false;
                const char32_t cp = char32_t(u);
                raw += QString::fromUcs4(&cp, 1).toUtf8();
            } else {
                return false; // undeclared entity
            }
            c.p = semi + 1;
            continue;
        }
        if (ch == '<')
            return false;
        if (ch < 0x20 && ch != '\n' && ch != '\t' && ch != '\r')
            return false;
        if (ch == '>' && !attribute && raw.endsWith("]]"))
            return false;
        if (ch == '\r') {
            // CR LF and a lone CR both become one line end.
            raw += attribute ? ' ' : '\n';
            ++c.p;
            if (!c.atEnd() && *c.p == '\n')
                ++c.p;
            continue;
        }
        if (attribute && (ch == '\n' || ch == '\t')) {
            raw += ' ';
            ++c.p;
            continue;
        }
        raw += char(ch);
        ++c.p;
    }
    if (c.atEnd())
        return false;
    out = decodeUtf8(raw.constData(), int(raw.size()));
    return xmlChars(out);
}

bool allSpace(const QString &s)
{
    for (QChar ch : s)
        if (ch != QLatin1Char(' ') && ch != QLatin1Char('\t') && ch != QLatin1Char('\n') && ch != QLatin1Char('\r'))
            return false;
    return true;
}

// Non-ASCII spans of comments and PIs must still decode to XML characters.
bool validUtf8(const char *b, const char *e)
{
    for (const char *q = b; q < e; ++q)
        if (uchar(*q) >= 0x80)
            return xmlChars(decodeUtf8(b, int(e - b)));
    return true;
}

void skipSpace(Cursor &c)
{
    while (!c.atEnd() && isSpace(*c.p))
        ++c.p;
}

// After an attribute name: blanks, '=', blanks, then the opening quote,
// which it returns (0 when any of it is missing).
char openValue(Cursor &c)
{
    skipSpace(c);
    if (c.atEnd() || *c.p != '=')
        return 0;
    ++c.p;
    skipSpace(c);
    if (c.atEnd() || (*c.p != '"' && *c.p != '\''))
        return 0;
    return *c.p++;
}

// Skips a comment or PI body up to `close` ("-->" or "?>"): no control
// characters, and in a comment no "--" before its end.
bool skipTo(Cursor &c, const char *close, int len)
{
    const char *start = c.p;
    for (; c.end - c.p >= 2; ++c.p) {
        if (c.p[0] == close[0] && c.p[1] == close[1]) {
            if (!c.startsWith(close, len))
                return false;
            const bool ok = validUtf8(start, c.p);
            c.p += len;
            return ok;
        }
        const unsigned char ch = uchar(*c.p);
        if (ch < 0x20 && ch != '\n' && ch != '\t' && ch != '\r')
            return false;
    }
    return false;
}

// Processing instruction after "<?"; not the declaration.
bool skipPI(Cursor &c)
{
    const char *name;
    int len, colon;
    if (!readName(c, &name, &len, &colon) || colon >= 0)
        return false;
    if (len == 3 && qstrnicmp(name, "xml", 3) == 0)
        return false;
    if (!c.startsWith("?>", 2) && (c.atEnd() || !isSpace(*c.p)))
        return false;
    return skipTo(c, "?>", 2);
}

// The declaration: version 1.0, encoding UTF-8 if given, standalone yes/no.
bool readDeclaration(Cursor &c)
{
    c.p += 5; // "<?xml"
    int seen = 0;
    while (true) {
        const char *before = c.p;
        skipSpace(c);
        if (c.startsWith("?>", 2)) {
            c.p += 2;
            return seen >= 1;
        }
        if (c.p == before)
            return false;
        const char *name;
        int len, colon;
        if (!readName(c, &name, &len, &colon) || colon >= 0)
            return false;
        const char q = openValue(c);
        if (!q)
            return false;
        const char *v = c.p;
        while (!c.atEnd() && *c.p != q)
            ++c.p;
        if (c.atEnd())
            return false;
        const QByteArray key(name, len), value(v, int(c.p - v));
        ++c.p;
        if (seen == 0) {
            if (key != "version" || value != "1.0")
                return false;
        } else if (key == "encoding" && seen == 1) {
            if (value.toLower() != "utf-8")
                return false;
        } else if (key == "standalone") {
            if (value != "yes" && value != "no")
                return false;
            seen = 2;
        } else {
            return false;
        }
        ++seen;
    }
}

struct Scope
{
    QByteArray prefix;
    int depth;
};

bool prefixDeclared(const std::vector<Scope> &scopes, const char *name, int colon)
{
    if (colon < 0)
        return true;
    const QByteArray p = QByteArray::fromRawData(name, colon);
    if (p == "xml")
        return true;
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it)
        if (it->prefix == p)
            return true;
    return false;
}

} // namespace

bool XmlDocument::parseFast()
{
    const QByteArray &content = m_content;
    if (content.size() > std::numeric_limits<int>::max())
        return false; // spans are int offsets
    const char *const base = content.constData();
    Cursor c{base, base + content.size()};
    if (c.startsWith("\xEF\xBB\xBF", 3))
        c.p += 3;
    if (c.startsWith("<?xml", 5) && c.end - c.p > 5 && isSpace(c.p[5])) {
        if (!readDeclaration(c))
            return false;
    }
    m_nodes.reserve(size_t(content.size() / 24) + 16);

    struct Tag
    {
        const char *name;
        int len;
    };
    std::vector<Tag> stack;
    std::vector<Scope> scopes;
    struct PendingAttr
    {
        const char *name;
        int len;
        int colon;
        QString value;
    };
    std::vector<PendingAttr> attrs;
    bool rootSeen = false;

    while (!c.atEnd()) {
        if (*c.p != '<') {
            // Character data. The usual cases, blanks between elements and a
            // plain ASCII cell, need no decoding and no copy.
            const char *const start = c.p;
            const char *const lt = static_cast<const char *>(memchr(start, '<', size_t(c.end - start)));
            if (!lt)
                return false;
            bool blank = true, plain = true;
            for (const char *q = start; q < lt; ++q) {
                const uchar ch = uchar(*q);
                if (ch == ' ' || ch == '\n' || ch == '\t')
                    continue;
                if (ch == '\r') {
                    plain = false;
                    continue;
                }
                blank = false;
                if (ch < 0x20 || ch >= 0x80 || ch == '&' || (ch == '>' && q - start >= 2 && q[-1] == ']' && q[-2] == ']')) {
                    plain = false;
                    break;
                }
            }
            if (blank) {
                c.p = lt; // dropped inside the root, allowed around it
                continue;
            }
            if (plain) {
                if (stack.empty())
                    return false;
                addAsciiSpan(int(start - base), int(lt - start));
                c.p = lt;
                continue;
            }
            // Between elements only white space counts.
            QString text;
            bool sawRef = false;
            if (!readChars(c, '<', false, text, &sawRef))
                return false;
            const bool ws = allSpace(text);
            if (stack.empty()) {
                if (!ws || sawRef)
                    return false; // outside the root only literal blanks
                continue;
            }
            if (ws) {
                if (sawRef && !text.isEmpty())
                    return false; // let the general parser judge a referenced blank
                continue;
            }
            addText(text);
            continue;
        }
        // Markup.
        if (c.startsWith("<!--", 4)) {
            c.p += 4;
            if (!skipTo(c, "-->", 3))
                return false;
            if (!stack.empty())
                markChild();
            continue;
        }
        if (c.startsWith("<?", 2)) {
            c.p += 2;
            if (!skipPI(c))
                return false;
            if (!stack.empty())
                markChild();
            continue;
        }
        if (c.startsWith("<!", 2))
            return false; // DOCTYPE, CDATA: the general parser's business
        if (c.startsWith("</", 2)) {
            c.p += 2;
            const char *name;
            int len, colon;
            if (!readName(c, &name, &len, &colon) || stack.empty())
                return false;
            const Tag &top = stack.back();
            if (top.len != len || memcmp(top.name, name, size_t(len)) != 0)
                return false;
            skipSpace(c);
            if (c.atEnd() || *c.p != '>')
                return false;
            ++c.p;
            const int depth = int(stack.size());
            while (!scopes.empty() && scopes.back().depth == depth)
                scopes.pop_back();
            stack.pop_back();
            closeElement();
            if (stack.empty())
                return true; // what follows the root is not held against it
            continue;
        }

        // Start tag.
        ++c.p;
        if (rootSeen && stack.empty())
            return false;
        const char *name;
        int len, colon;
        if (!readName(c, &name, &len, &colon))
            return false;
        attrs.clear();
        bool selfClosing = false;
        while (true) {
            const char *before = c.p;
            skipSpace(c);
            if (c.atEnd())
                return false;
            if (*c.p == '>') {
                ++c.p;
                break;
            }
            if (c.startsWith("/>", 2)) {
                c.p += 2;
                selfClosing = true;
                break;
            }
            if (c.p == before)
                return false; // attributes need white space between them
            PendingAttr a;
            if (!readName(c, &a.name, &a.len, &a.colon))
                return false;
            const char q = openValue(c);
            if (!q)
                return false;
            bool sawRef = false;
            if (!readChars(c, q, true, a.value, &sawRef))
                return false;
            ++c.p; // closing quote
            for (const PendingAttr &o : attrs)
                if (o.len == a.len && memcmp(o.name, a.name, size_t(a.len)) == 0)
                    return false;
            attrs.push_back(std::move(a));
        }

        const int depth = int(stack.size()) + 1;
        // Namespace declarations of this element apply to it and its attributes.
        for (const PendingAttr &a : attrs) {
            const QByteArray qn = QByteArray::fromRawData(a.name, a.len);
            if (qn == "xmlns")
                continue;
            if (a.colon == 5 && qn.startsWith("xmlns:")) {
                const QByteArray prefix(a.name + 6, a.len - 6);
                if (a.value.isEmpty() || prefix == "xml" || prefix == "xmlns")
                    return false;
                scopes.push_back({prefix, depth});
            }
        }
        if (!prefixDeclared(scopes, name, colon))
            return false;
        for (const PendingAttr &a : attrs) {
            if (a.colon == 5 && QByteArray::fromRawData(a.name, 5) == "xmlns")
                continue;
            if (!prefixDeclared(scopes, a.name, a.colon))
                return false;
        }

        const int local = colon >= 0 ? colon + 1 : 0;
        const char *const localName = name + local;
        const int localLen = len - local;
        int nameId = -1;
        std::vector<int> *guess = nullptr;
        int key = -1;
        if (!m_open.empty()) {
            const Open &o = m_open.back();
            guess = o.lastChild >= 0 ? &m_nextName : &m_firstChildName;
            key = o.lastChild >= 0 ? m_nodes[size_t(o.lastChild)].name : m_nodes[size_t(o.node)].name;
            if (size_t(key) >= guess->size())
                guess->resize(size_t(key) + 1, -1);
            const int g = (*guess)[size_t(key)];
            if (g >= 0 && m_idBytes[size_t(g)].size() == localLen
                && memcmp(m_idBytes[size_t(g)].constData(), localName, size_t(localLen)) == 0)
                nameId = g;
        }
        if (nameId < 0) {
            nameId = internLatin1(localName, localLen);
            if (guess)
                (*guess)[size_t(key)] = nameId;
        }
        openElement(nameId);
        // Namespace declarations are not attributes, as with the general parser.
        for (PendingAttr &a : attrs) {
            if ((a.len == 5 || a.colon == 5) && QByteArray::fromRawData(a.name, 5) == "xmlns")
                continue;
            m_attrs.push_back({QString::fromLatin1(a.name, a.len), std::move(a.value)});
        }
        rootSeen = true;
        if (selfClosing) {
            closeElement();
            while (!scopes.empty() && scopes.back().depth == depth)
                scopes.pop_back();
            if (stack.empty())
                return true;
        } else {
            stack.push_back({name, len});
        }
    }
    return false; // ended inside the root, or no root at all
}
