#include "ecufaults.h"

#include <QRegularExpression>

namespace {
bool toNumber(const QString &s, quint32 &out)
{
    bool ok = false;
    const qulonglong v = s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? s.mid(2).toULongLong(&ok, 16)
                                                                              : s.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull)
        return false;
    out = quint32(v);
    return true;
}
} // namespace

void FaultPlan::clear()
{
    m_absent = false;
    m_logger = LoggerFaults();
    m_faults.clear();
    m_refusals.clear();
    m_replies = 0;
}

bool FaultPlan::parse(const QString &text, QString *error)
{
    static const QRegularExpression replyRe(
        QStringLiteral("^(drop|dup|trunc|late)(?:=(\\d+))?(?:x(\\d+|\\*))?(?:@(\\d+))?$"));
    static const QRegularExpression refuseRe(QStringLiteral("^refuse=((?:0x)?[0-9a-fA-F]+)\\+((?:0x)?[0-9a-fA-F]+)$"));
    FaultPlan plan;
    const QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString item : items) {
        item = item.trimmed();
        if (item == QLatin1String("none") || item.isEmpty())
            continue;
        if (item == QLatin1String("absent")) {
            plan.m_absent = true;
            continue;
        }
        bool *flag = item == QLatin1String("nostop")         ? &plan.m_logger.noStop
                     : item == QLatin1String("noclear")      ? &plan.m_logger.noClear
                     : item == QLatin1String("badsum")       ? &plan.m_logger.badChecksum
                     : item == QLatin1String("startpastend") ? &plan.m_logger.startPastEnd
                     : item == QLatin1String("lockheld")     ? &plan.m_logger.lockHeld
                     : item == QLatin1String("hangup")       ? &plan.m_logger.hangUp
                                                             : nullptr;
        if (flag) {
            *flag = true;
            continue;
        }
        if (item.startsWith(QLatin1String("vanish="))) {
            bool ok = false;
            plan.m_logger.vanishAfter = item.mid(7).toLongLong(&ok);
            if (!ok || plan.m_logger.vanishAfter < 0) {
                if (error)
                    *error = QStringLiteral("\"%1\" needs a byte count").arg(item);
                return false;
            }
            continue;
        }
        QRegularExpressionMatch m = refuseRe.match(item);
        if (m.hasMatch()) {
            Refusal r;
            if (!toNumber(m.captured(1), r.address) || !toNumber(m.captured(2), r.size) || r.size == 0) {
                if (error)
                    *error = QStringLiteral("bad region in \"%1\"").arg(item);
                return false;
            }
            plan.m_refusals.append(r);
            continue;
        }
        m = replyRe.match(item);
        if (!m.hasMatch()) {
            if (error)
                *error = QStringLiteral("unknown fault \"%1\"").arg(item);
            return false;
        }
        ReplyFault f;
        const QString kind = m.captured(1);
        f.kind = kind == QLatin1String("drop") ? Drop
                 : kind == QLatin1String("dup") ? Duplicate
                 : kind == QLatin1String("trunc") ? Truncate
                                                  : Late;
        if ((f.kind == Truncate || f.kind == Late) && m.captured(2).isEmpty()) {
            if (error)
                *error = QStringLiteral("\"%1\" needs a value").arg(item);
            return false;
        }
        f.value = m.captured(2).toInt();
        if (f.kind == Late)
            f.count = -1;
        if (!m.captured(3).isEmpty())
            f.count = m.captured(3) == QLatin1String("*") ? -1 : m.captured(3).toInt();
        f.after = m.captured(4).toInt();
        plan.m_faults.append(f);
    }
    *this = plan;
    return true;
}

FaultPlan::Decision FaultPlan::nextReply()
{
    Decision d;
    const qint64 n = m_replies++;
    for (const ReplyFault &f : std::as_const(m_faults)) {
        if (n < f.after || (f.count >= 0 && n >= qint64(f.after) + f.count))
            continue;
        switch (f.kind) {
        case Drop:
            d.drop = true;
            break;
        case Duplicate:
            d.copies = 2;
            break;
        case Truncate:
            d.truncateTo = f.value;
            break;
        case Late:
            d.delayMs = f.value;
            break;
        }
    }
    return d;
}
