#pragma once
// Wrapper of the maker's crypto library, loaded by name at run time from the
// program folder. Encrypted device files are read only through it.

#include <QByteArray>
#include <QLibrary>
#include <QString>

class CryptoLibrary
{
public:
    static constexpr const char *Marker = "ENCRYPTED by ORVLibCrypt.dll";
    static constexpr const char *BaseName = "ORVLibCrypt";

    // Resolves the entry points of the library in programFolder; usable()
    // tells whether they all resolved and the library says it is ready.
    explicit CryptoLibrary(const QString &programFolder);

    bool usable() const { return m_usable; }
    QString fileName() const { return m_lib.fileName(); }
    QString errorString() const { return m_error; }

    // The decrypted content; empty on any failure.
    QByteArray readFile(const QString &path) const;
    // 0 on success, as the library returns it; -1 when not usable.
    int writeFile(const QString &path, const QByteArray &content) const;

private:
    using GetSizeFn = int (*)(const char *, quint32 *);
    using ReadFn = int (*)(const char *, unsigned char *, quint32 *);
    using WriteFn = int (*)(const char *, const unsigned char *, quint32);
    using DetectFn = int (*)(const char *, unsigned char *, quint32 *, int *);
    using ReadyFn = int (*)();

    QLibrary m_lib;
    GetSizeFn m_getSize = nullptr;
    ReadFn m_read = nullptr;
    WriteFn m_write = nullptr;
    DetectFn m_detect = nullptr;
    bool m_usable = false;
    QString m_error;
};
