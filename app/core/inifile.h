#pragma once
// The settings file brisca.ini: sections of key/value strings held in memory,
// read once at start and written back whole. Every key of the program lives in
// the section "Default". Owned by the main window; dialogs that edit settings
// get a pointer to it.

#include <QMap>
#include <QString>
#include <QStringConverter>

#include <map>
#include <optional>

class IniSection
{
public:
    explicit IniSection(const QString &name) : m_name(name) {}

    QString name() const { return m_name; }
    // Ordered by key with QString comparison: that is also the order of writing.
    const QMap<QString, QString> &entries() const { return m_entries; }
    QMap<QString, QString> &entries() { return m_entries; }

private:
    QString m_name;
    QMap<QString, QString> m_entries;
};

class IniFile
{
public:
    explicit IniFile(const QString &fileName);
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    QString fileName() const { return m_fileName; }

    // False when the file cannot be read; nothing changes then.
    bool read();
    // Replaces the file through a temporary file and rename.
    bool write();

    void setSection(const QString &name);
    bool selectSection(const QString &name);
    QString currentSectionName() const;

    // A key missing from the current section is added with an empty value, so
    // the next write lists it. An empty value gives def.
    QString value(const QString &key, const QString &def = QString());
    int intValue(const QString &key, int def);
    void setValue(const QString &key, const QString &value);
    void setValue(const QString &key, int value);

    // Read-only views, mainly for checks.
    const IniSection *section(const QString &name) const;
    QStringList sectionNames() const;
    // Name to write after CHARSET; empty while no known codec has been read.
    QString codecName() const;

    // Codec names understood in a CHARSET line. Only encodings that keep
    // "\n" a single byte are accepted: the reader splits lines before decoding.
    static std::optional<QStringConverter::Encoding> encodingForCharset(const QString &name);

private:
    QString m_fileName;
    std::map<QString, IniSection> m_sections;
    IniSection *m_current = nullptr;
    std::optional<QStringConverter::Encoding> m_codec;
};
