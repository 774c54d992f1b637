#include "inisections.h"
#include "savefile.h"

#include <QFile>
#include <QTextStream>

namespace Platform {

bool readIniSections(const QString &path, IniSectionMap &out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QString current;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const int end = line.lastIndexOf(QLatin1Char(']'));
            current = line.mid(1, end < 0 ? -1 : end - 1).trimmed();
            out[current];
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && !current.isEmpty())
            out[current][line.left(eq).trimmed()] = line.mid(eq + 1).trimmed();
    }
    return true;
}

bool writeIniSections(const QString &path, const IniSectionMap &sections)
{
    QByteArray text;
    for (auto s = sections.cbegin(); s != sections.cend(); ++s) {
        text += '[' + s.key().toUtf8() + "]\n";
        for (auto e = s.value().cbegin(); e != s.value().cend(); ++e)
            text += e.key().toUtf8() + " = " + e.value().toUtf8() + '\n';
        text += '\n';
    }
    return writeFileAtomically(path, text);
}

} // namespace Platform
