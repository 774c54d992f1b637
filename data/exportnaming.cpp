#include "exportnaming.h"

#include <QDir>
#include <QRegularExpression>

namespace ExportNaming {

QString stamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyyMMdd_hhmmss"));
}

QString measure2D(int rule, const QString &description, const QDateTime &when)
{
    if (rule == 0)
        return stamp(when);
    if (rule == 1)
        return stamp(when) + QLatin1Char('_') + description;
    return QString();
}

int nextNumber(const QString &eventDir, int rule, const QString &description, const QString &ext)
{
    const QRegularExpression re(rule == 2 ? QLatin1Char('^') + description + QStringLiteral("_(\\d{1,5})") + ext + QLatin1Char('$')
                                          : QStringLiteral("^(\\d+)") + ext + QLatin1Char('$'));
    int largest = 0;
    const QStringList names = QDir(eventDir).entryList({QLatin1Char('*') + ext}, QDir::Files, QDir::Name);
    for (const QString &n : names) {
        const QRegularExpressionMatch m = re.match(n);
        if (m.hasMatch())
            largest = qMax(largest, m.captured(1).toInt());
    }
    return largest + 1;
}

QString measureMdf(int rule, const QString &description, const QString &eventDir, const QDateTime &when, const QString &ext)
{
    switch (rule) {
    case 0: return stamp(when) + ext;
    case 1: return stamp(when) + QLatin1Char('_') + description + ext;
    case 2: return description + QLatin1Char('_') + QString::number(nextNumber(eventDir, 2, description, ext)) + ext;
    case 3: return QString::number(nextNumber(eventDir, 3, description, ext)) + ext;
    default: return QString();
    }
}

QStringList commentLines(const QString &comment)
{
    const QStringList words = comment.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QStringList lines;
    QString line;
    for (int i = 0; i < words.size(); ++i) {
        line += words[i] + QLatin1Char(' ');
        if (i % 5 == 4) {
            lines.append(line);
            line.clear();
        }
    }
    lines.append(line);
    return lines;
}

QStringList events(const QString &base)
{
    return QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time);
}

bool removeContent(const QString &dir)
{
    QDir d(dir);
    bool ok = true;
    for (const QString &f : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
        ok = d.remove(f) && ok;
    for (const QString &sub : d.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (removeContent(d.filePath(sub)))
            ok = d.rmdir(sub) && ok;
        else
            ok = false;
    }
    return ok;
}

} // namespace ExportNaming
