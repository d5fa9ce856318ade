// Who changed what when a save is refused: the loaded lines and resource days whose stored FLAG is no
// longer the one read at loading, as they are stored now, each with the user and time of its last
// change. They are read after the rollback, so they show what the other planner committed.
#include <QHash>

#include "frame/KvADO.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"

namespace {

// The most rows a refusal names; the others are counted.
constexpr int kNamed = 20;

struct TStoredRow {
    double Flag = 0;
    QString Modifier, ModiDate;
};

// Stored rows by their key columns, joined as the workbench joins a line's key.
QHash<QString, TStoredRow> storedRows(TdmKrta07S& dm, const char* sql, const QStringList& keys,
                                      const QList<QPair<QString, QString>>& params) {
    TKvADOQuery q;
    q.SetConnection(dm.dbKrta07);
    q.SetSQL(dm.ExpandSQL(QString::fromLatin1(sql)));
    for (const auto& [name, value] : params)
        q.ParamByName(name).SetAsString(Krta07Text(value));
    q.Open();
    QHash<QString, TStoredRow> rows;
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList parts;
        for (const QString& k : keys)
            parts << Krta07RTrim(q.FieldByName(k).AsString());
        rows.insert(parts.join(Krta07KeySeparator),
                    {q.FieldByName(QStringLiteral("FLAG")).AsFloat(),
                     q.FieldByName(QStringLiteral("MODIFIER")).AsString().trimmed(),
                     q.FieldByName(QStringLiteral("MODI_DATE")).AsString().trimmed()});
    }
    return rows;
}

} // namespace

QString TfrmKrta07SM::ChangedByOthersText() {
    TdmKrta07S& dm = *dmKrta07S;
    const QString gone = OwnText("sRowDeleted", "已删除");
    QStringList named;
    int count = 0;
    auto changed = [&](const QString& what, const TStoredRow* now) {
        if (count++ >= kNamed) return;
        named << (now ? QStringLiteral("%1: %2 %3").arg(what, now->Modifier, now->ModiDate).trimmed()
                      : QStringLiteral("%1: %2").arg(what, gone));
    };

    const kv::TClientDataSet& lines = *dm.qryMPSTB;
    if (lines.Active()) {
        const auto stored =
            storedRows(dm,
                       "SELECT TB001 , TB003 , TB051 , TB004 , TB005 , TB037 , FLAG , MODIFIER , "
                       "MODI_DATE FROM $$MPSTB WHERE TB001 =:TB001 ",
                       {QStringLiteral("TB001"), QStringLiteral("TB003"), QStringLiteral("TB051"),
                        QStringLiteral("TB004"), QStringLiteral("TB005"), QStringLiteral("TB037")},
                       {{QStringLiteral("TB001"), dm.FFactory}});
        const int flag = lines.FieldByName(QStringLiteral("FLAG")).Index();
        for (int r = 0; r < FRowKeys.size() && r < lines.RecordCount(); ++r) {
            const auto it = stored.constFind(FRowKeys[r]);
            if (it != stored.cend() && it->Flag == lines.valueAt(r, flag).toDouble()) continue;
            // Factory, demand source, source document as the header shows it, node.
            const QStringList p = FRowKeys[r].split(Krta07KeySeparator);
            changed(QStringList{p.value(0), p.value(1),
                                QStringList{p.value(2), p.value(3), p.value(4)}.join(QLatin1Char('-')),
                                p.value(5)}
                        .join(QLatin1Char(' ')),
                    it == stored.cend() ? nullptr : &*it);
        }
    }
    // Load rows count too: a save of another factory on the same resources changes them.
    const kv::TClientDataSet& load = *dm.qryMPSTD;
    if (load.Active()) {
        const auto stored = storedRows(
            dm,
            "SELECT TD001 , TD002 , FLAG , MODIFIER , MODI_DATE FROM $$MPSTD WHERE TD002 "
            "BETWEEN :FIRSTDAY AND :LASTDAY ",
            {QStringLiteral("TD001"), QStringLiteral("TD002")},
            {{QStringLiteral("FIRSTDAY"), dm.FRangeStart}, {QStringLiteral("LASTDAY"), dm.FRangeEnd}});
        const int td001 = load.FieldByName(QStringLiteral("TD001")).Index(),
                  td002 = load.FieldByName(QStringLiteral("TD002")).Index(),
                  flag = load.FieldByName(QStringLiteral("FLAG")).Index();
        for (int r = 0; r < load.RecordCount(); ++r) {
            const double loaded = load.valueAt(r, flag).toDouble();
            // Days computed in memory were never read, so nobody can have changed them since.
            if (loaded == -1) continue;
            const QString resource = Krta07RTrim(load.valueAt(r, td001).toString()),
                          day = Krta07RTrim(load.valueAt(r, td002).toString());
            const auto it = stored.constFind(resource + Krta07KeySeparator + day);
            if (it != stored.cend() && it->Flag == loaded) continue;
            changed(resource + QLatin1Char(' ') + day, it == stored.cend() ? nullptr : &*it);
        }
    }
    if (count == 0) return QString();
    QString text = OwnText("sChangedByOthers", "下列资料已被他人修改(修改者 修改日期):") + QLatin1Char('\n') +
                   named.join(QLatin1Char('\n'));
    if (count > kNamed) text += QLatin1Char('\n') + OwnText("sMoreChanged", "另有 %1 笔").arg(count - kNamed);
    return text;
}
