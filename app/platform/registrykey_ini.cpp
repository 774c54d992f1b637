#include "registrykey.h"
#include "inisections.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString g_storePath;

const char *const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG",
                              "HKEY_CURRENT_USER",  "HKEY_USERS",        "HKEY_PERFORMANCE_DATA"};

// Registry paths are case-insensitive; find the stored spelling of a section.
QString findSection(const Platform::IniSectionMap &map, const QString &name)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    return QString();
}
} // namespace

RegistryKey::~RegistryKey() { close(); }

QString RegistryKey::storePath()
{
    if (!g_storePath.isEmpty())
        return g_storePath;
    const QByteArray env = qgetenv("BRISCA_REGISTRY_FILE");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QCoreApplication::applicationDirPath() + QStringLiteral("/registry.ini");
}

void RegistryKey::setStorePath(const QString &path) { g_storePath = path; }

QString RegistryKey::canonicalRoot(const QString &rootName)
{
    for (const char *r : kRoots)
        if (rootName.compare(QLatin1String(r), Qt::CaseInsensitive) == 0)
            return QLatin1String(r);
    return QStringLiteral("HKEY_DYN_DATA");
}

QString RegistryKey::sectionName() const { return m_root + QLatin1Char('\\') + m_path; }

bool RegistryKey::open(const QString &rootName, const char *path, bool create)
{
    close();
    m_root = canonicalRoot(rootName);
    m_path = QString::fromLatin1(path ? path : "");
    Platform::IniSectionMap map;
    const bool fileRead = Platform::readIniSections(storePath(), map);
    if (fileRead && !findSection(map, sectionName()).isEmpty()) {
        m_open = true;
        m_lastError = 0;
        return true;
    }
    if (create) {
        map[sectionName()];
        if (Platform::writeIniSections(storePath(), map)) {
            m_open = true;
            m_lastError = 0;
            return true;
        }
        m_lastError = 5; // access denied
        return false;
    }
    m_lastError = ErrorFileNotFound;
    return false;
}

bool RegistryKey::queryString(const char *valueName, char *buffer, unsigned size)
{
    if (buffer && size > 0)
        buffer[0] = 0;
    if (!m_open || !buffer || size == 0)
        return false;
    Platform::IniSectionMap map;
    if (!Platform::readIniSections(storePath(), map)) {
        m_lastError = ErrorFileNotFound;
        return false;
    }
    const QMap<QString, QString> values = map.value(findSection(map, sectionName()));
    const QString wanted = QString::fromLatin1(valueName ? valueName : "");
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key().compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray bytes = it.value().toLocal8Bit();
        if (unsigned(bytes.size()) + 1 > size) {
            m_lastError = 234; // more data
            return false;
        }
        memcpy(buffer, bytes.constData(), size_t(bytes.size()) + 1);
        m_lastError = 0;
        return true;
    }
    m_lastError = ErrorFileNotFound;
    return false;
}

bool RegistryKey::setString(const char *valueName, const QString &value)
{
    if (!m_open)
        return false;
    Platform::IniSectionMap map;
    Platform::readIniSections(storePath(), map);
    QString section = findSection(map, sectionName());
    if (section.isEmpty())
        section = sectionName();
    map[section][QString::fromLatin1(valueName)] = value;
    const bool ok = Platform::writeIniSections(storePath(), map);
    m_lastError = ok ? 0 : 5;
    return ok;
}

void RegistryKey::close()
{
    m_open = false;
    m_root.clear();
    m_path.clear();
    m_lastError = ErrorFileNotFound;
}
