#pragma once
// Registry access for the few keys the program reads (server program, device
// folder). On Linux the registry is an INI file "registry.ini" next to the
// program, one section per full key path, e.g.
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Orvotek Srl\Pontis]
//   FileName = /opt/brisca/brisca-ecu-server
// A Windows port replaces registrykey_ini.cpp by one that calls advapi32.

#include <QString>
#include <QtGlobal>

class RegistryKey
{
public:
    static constexpr quint32 ErrorFileNotFound = 2;

    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey &) = delete;
    RegistryKey &operator=(const RegistryKey &) = delete;

    // rootName is compared without regard to case; unknown names select HKEY_DYN_DATA.
    bool open(const QString &rootName, const char *path, bool create);
    // Copies the value as 8-bit text into buffer (always NUL-terminated when size > 0).
    bool queryString(const char *valueName, char *buffer, unsigned size);
    bool setString(const char *valueName, const QString &value);
    void close();

    bool isOpen() const { return m_open; }
    quint32 lastError() const { return m_lastError; }
    QString rootName() const { return m_root; }

    // The backing file; defaults to registry.ini in the program's folder.
    // BRISCA_REGISTRY_FILE in the environment overrides the default.
    static QString storePath();
    static void setStorePath(const QString &path);
    static QString canonicalRoot(const QString &rootName);

private:
    QString sectionName() const;

    QString m_root;
    QString m_path;
    bool m_open = false;
    quint32 m_lastError = ErrorFileNotFound;
};
