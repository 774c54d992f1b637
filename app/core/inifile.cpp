#include "inifile.h"
#include "savefile.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {
// The program was born on Windows, where the local 8-bit encoding is the
// Western code page; Latin-1 stands in for it, so that a file without a known
// CHARSET line reads the same everywhere and its header tells the truth.
constexpr QStringConverter::Encoding kLocalEncoding = QStringConverter::Latin1;
const char *const kLocalCharsetName = "ISO8859-1";

QString charsetNameOf(QStringConverter::Encoding e)
{
    return e == QStringConverter::Utf8 ? QStringLiteral("UTF-8") : QString::fromLatin1(kLocalCharsetName);
}
} // namespace

IniFile::IniFile(const QString &fileName) : m_fileName(fileName)
{
    setSection(QStringLiteral("Default"));
}

std::optional<QStringConverter::Encoding> IniFile::encodingForCharset(const QString &name)
{
    QString n = name.trimmed().toUpper();
    n.remove(QLatin1Char('-')).remove(QLatin1Char('_')).remove(QLatin1Char(' '));
    if (n == QLatin1String("ISO88591") || n == QLatin1String("LATIN1") || n == QLatin1String("L1"))
        return QStringConverter::Latin1;
    if (n == QLatin1String("UTF8"))
        return QStringConverter::Utf8;
    return std::nullopt;
}

QString IniFile::codecName() const { return m_codec ? charsetNameOf(*m_codec) : QString(); }

bool IniFile::read()
{
    if (m_fileName.isEmpty())
        return false;
    QFile f(m_fileName);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();

    static const QRegularExpression comment(QStringLiteral("^[;#]+"));
    static const QRegularExpression header(QStringLiteral("^\\s*\\["));
    QStringConverter::Encoding decoding = kLocalEncoding;

    for (const QByteArray &raw : data.split('\n')) {
        QStringDecoder decoder(decoding);
        const QString line = QString(decoder(raw)).trimmed();
        if (comment.match(line).hasMatch())
            continue;
        const int charset = line.indexOf(QLatin1String("CHARSET"));
        if (charset >= 0) {
            // An unknown name forgets the codec for writing but leaves the
            // decoding of the following lines as it was.
            m_codec = encodingForCharset(line.mid(charset + 8));
            if (m_codec)
                decoding = *m_codec;
            continue;
        }
        if (header.match(line).hasMatch()) {
            const int open = line.indexOf(QLatin1Char('['));
            const int close = line.lastIndexOf(QLatin1Char(']'));
            const QString name = close > open ? line.mid(open + 1, close - open - 1) : line.mid(open + 1);
            setSection(name.trimmed());
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            setValue(line.left(eq), line.mid(eq + 1));
    }
    setSection(QStringLiteral("Default"));
    return true;
}

bool IniFile::write()
{
    if (m_fileName.isEmpty())
        return false;
    const QString eol = QStringLiteral("\r\n");
    QString text = QStringLiteral("CHARSET ") + (m_codec ? charsetNameOf(*m_codec) : QString::fromLatin1(kLocalCharsetName)) + eol;
    for (const auto &[name, section] : m_sections) {
        if (section.entries().isEmpty())
            continue;
        text += eol + QLatin1Char('[') + name + QLatin1Char(']') + eol;
        for (auto it = section.entries().cbegin(); it != section.entries().cend(); ++it)
            text += it.key() + QLatin1String(" = ") + it.value() + eol;
    }
    QStringEncoder encoder(m_codec.value_or(kLocalEncoding));
    const QByteArray bytes = encoder(text);
    return Platform::writeFileAtomicallyOrInPlace(m_fileName, bytes);
}

void IniFile::setSection(const QString &name)
{
    auto it = m_sections.find(name);
    if (it == m_sections.end())
        it = m_sections.emplace(name, IniSection(name)).first;
    m_current = &it->second;
}

bool IniFile::selectSection(const QString &name)
{
    auto it = m_sections.find(name);
    if (it == m_sections.end())
        return false;
    m_current = &it->second;
    return true;
}

QString IniFile::currentSectionName() const { return m_current ? m_current->name() : QString(); }

QString IniFile::value(const QString &key, const QString &def)
{
    if (!m_current)
        return def;
    auto &entries = m_current->entries();
    auto it = entries.find(key);
    if (it == entries.end())
        it = entries.insert(key, QString(""));
    return it->isEmpty() ? def : *it;
}

int IniFile::intValue(const QString &key, int def)
{
    const QString text = value(key, QString());
    if (text.isNull())
        return def;
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : def;
}

void IniFile::setValue(const QString &key, const QString &value)
{
    if (!m_current)
        return;
    m_current->entries().insert(key.trimmed(), value.trimmed());
}

void IniFile::setValue(const QString &key, int value) { setValue(key, QString::number(value)); }

const IniSection *IniFile::section(const QString &name) const
{
    auto it = m_sections.find(name);
    return it == m_sections.end() ? nullptr : &it->second;
}

QStringList IniFile::sectionNames() const
{
    QStringList names;
    for (const auto &entry : m_sections)
        names << entry.first;
    return names;
}
