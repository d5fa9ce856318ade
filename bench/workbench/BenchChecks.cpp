#include "BenchChecks.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"

namespace {

// Runs a statement of the benchmark's own; its SQL names the tables with "$$".
QSqlQuery run(TKvADOConnection& db, const QString& sql, const QVariantList& values = {}) {
    QString text = sql;
    text.replace(QStringLiteral("$$"), QString());
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!q.prepare(text)) throw EKvError(q.lastError().text() + QStringLiteral(" in ") + text);
    for (qsizetype i = 0; i < values.size(); ++i)
        q.bindValue(int(i), values[i]);
    if (!q.exec()) throw EKvError(q.lastError().text() + QStringLiteral(" in ") + text);
    return q;
}

qint64 count(TKvADOConnection& db, const QString& sql, const QVariantList& values) {
    QSqlQuery q = run(db, sql, values);
    return q.next() ? q.value(0).toLongLong() : -1;
}

QString trimmed(const QSqlQuery& q, int column) {
    return Krta07RTrim(q.value(column).toString()).trimmed();
}

// The remark the bar shows on a day, as the daily editor shows it.
QString remarkOn(TMyGantItem* item, kv::TDateTime day) {
    QString remark;
    for (int k = 0; k < item->CellCount(); ++k)
        if (item->CellStart(k) >= day && item->CellStop(k) < day + 1) remark = item->CellRemark(k);
    return remark;
}

} // namespace

double ResidentMb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

QString CheckLoadedFactory(TfrmKrta07SM* wb, TKvADOConnection& db, const QString& factory) {
    QHash<QString, int> rowOfKey;
    rowOfKey.reserve(wb->RowKeys().size());
    for (int i = 0; i < wb->RowKeys().size(); ++i)
        rowOfKey.insert(wb->RowKeys()[i], i);
    if (rowOfKey.size() != wb->RowKeys().size()) return QStringLiteral("two rows have the same line");
    TMyGantList* list = wb->mgMPSTC->MyGantList();
    if (list->Count() != wb->RowKeys().size())
        return QStringLiteral("%1 bars for %2 lines").arg(list->Count()).arg(wb->RowKeys().size());

    QSqlQuery lines =
        run(db, QStringLiteral("SELECT TB001, TB003, TB051, TB004, TB005, TB037 FROM $$MPSTB WHERE TB001 = ?"),
            {factory});
    int lineCount = 0;
    while (lines.next()) {
        ++lineCount;
        QStringList key;
        for (int c = 0; c < 6; ++c)
            key << trimmed(lines, c);
        if (!rowOfKey.contains(TfrmKrta07SM::LineKeyOf(key)))
            return QStringLiteral("line %1 is not loaded").arg(key.join(QLatin1Char('-')));
    }
    if (lineCount != wb->RowKeys().size())
        return QStringLiteral("%1 lines loaded, the database has %2").arg(wb->RowKeys().size()).arg(lineCount);

    // Days with a quantity per row, as the database has them.
    std::vector<int> daysOfRow(size_t(lineCount), 0);
    QSqlQuery days = run(db,
                         QStringLiteral("SELECT TC002, TC009, TC003, TC004, TC005, TC006, TC007, TC008 "
                                        "FROM $$MPSTC WHERE TC001 = ?"),
                         {factory});
    qint64 dayCount = 0;
    while (days.next()) {
        ++dayCount;
        QStringList key{factory};
        for (int c = 0; c < 5; ++c)
            key << trimmed(days, c);
        const int row = rowOfKey.value(TfrmKrta07SM::LineKeyOf(key), -1);
        const QString day = trimmed(days, 5);
        const QString where = key.join(QLatin1Char('-')) + QLatin1Char(' ') + day;
        if (row < 0) return QStringLiteral("the day row %1 has no line").arg(where);
        TMyGantItem* item = list->Items(row);
        const kv::TDateTime date = Krta07DayOf(day);
        const double quantity = days.value(6).toDouble();
        if (quantity != 0) ++daysOfRow[size_t(row)];
        if (item->GetDayValue(date) != quantity)
            return QStringLiteral("%1: the bar shows %2, the database has %3")
                .arg(where)
                .arg(item->GetDayValue(date))
                .arg(quantity);
        const QString remark = trimmed(days, 7);
        if (remarkOn(item, date).trimmed() != remark)
            return QStringLiteral("%1: the bar's remark is \"%2\", the database has \"%3\"")
                .arg(where, remarkOn(item, date), remark);
    }
    std::vector<double> values;
    for (int row = 0; row < lineCount; ++row) {
        list->Items(row)->DayCellValues(values);
        int shown = 0;
        for (double v : values)
            shown += v != 0;
        if (shown != daysOfRow[size_t(row)])
            return QStringLiteral("row %1 shows %2 days with a quantity, the database has %3")
                .arg(row)
                .arg(shown)
                .arg(daysOfRow[size_t(row)]);
    }
    std::fprintf(stderr, "bench_workbench: the load lists %d lines and %lld day rows as stored\n", lineCount,
                 (long long)dayCount);
    return {};
}

QString CheckSavedFactory(TKvADOConnection& db, const QString& factory) {
    // The line key of day rows against the line's.
    const QString dayOfLine = QStringLiteral("TC001 = TB001 AND TC002 = TB003 AND TC009 = TB051 AND "
                                             "TC003 = TB004 AND TC004 = TB005 AND TC005 = TB037");
    // What each day quantity consumes of each resource of the line's item.
    const QString computed =
        QStringLiteral("SELECT MC002, TC006, TB003, TB051, TB004, TB005, TB037, "
                       "CASE WHEN MC002 = TB036 AND MC005 <> 0 THEN MC004 * 1.0 * TC007 / MC005 ELSE 0 END AS M, "
                       "CASE WHEN MC002 <> TB036 AND MC005 <> 0 THEN MC004 * 1.0 * TC007 / MC005 ELSE 0 END AS N "
                       "FROM $$MPSTB JOIN $$MPSTC ON %1 JOIN $$MPSMC ON MC001 = TB006 "
                       "WHERE TB001 = ? AND TC007 <> 0")
            .arg(dayOfLine);
    const QString planWrong =
        QStringLiteral("SELECT COUNT(*) FROM (%1) C LEFT JOIN $$MPSTF F ON F.TF001 = C.MC002 AND "
                       "F.TF002 = C.TC006 AND F.TF003 = '2' AND F.TF004 = C.TB003 AND F.TF011 = C.TB051 AND "
                       "F.TF005 = C.TB004 AND F.TF006 = C.TB005 AND F.TF007 = C.TB037 "
                       "WHERE F.TF001 IS NULL OR ABS(F.TF008 - C.M) > 1e-6 OR ABS(F.TF009 - C.N) > 1e-6")
            .arg(computed);
    // With every computed row stored once (the key is unique), equal counts leave no other row.
    const QString planExtra =
        QStringLiteral("SELECT (SELECT COUNT(*) FROM $$MPSTF JOIN $$MPSTB ON TB001 = ? AND TB003 = TF004 AND "
                       "TB051 = TF011 AND TB004 = TF005 AND TB005 = TF006 AND TB037 = TF007 WHERE TF003 = '2') "
                       "- (SELECT COUNT(*) FROM (%1))")
            .arg(computed);
    const QString lineSums = QStringLiteral("SELECT COUNT(*) FROM $$MPSTB WHERE TB001 = ? AND ABS(TB026 - "
                                            "(SELECT COALESCE(SUM(TC007), 0) FROM $$MPSTC WHERE %1)) > 1e-6")
                                 .arg(dayOfLine);
    const QString lineDates = QStringLiteral("SELECT COUNT(*) FROM $$MPSTB WHERE TB001 = ? AND EXISTS (SELECT 1 "
                                             "FROM $$MPSTC WHERE %1 AND (TC006 < TB013 OR TC006 > TB014))")
                                  .arg(dayOfLine);
    // The load of every resource day from the factory's first scheduled day on is what the plan rows
    // of kind "2" add up to (none: 0).
    const QString load = QStringLiteral(
        "SELECT COUNT(*) FROM $$MPSTD LEFT JOIN (SELECT TF001, TF002, SUM(TF008) AS M, SUM(TF009) AS N "
        "FROM $$MPSTF WHERE TF003 = '2' GROUP BY TF001, TF002) P ON P.TF001 = TD001 AND P.TF002 = TD002 "
        "WHERE TD002 >= (SELECT MIN(TB013) FROM $$MPSTB WHERE TB001 = ? AND TB013 <> '') AND "
        "(ABS(TD005 - COALESCE(M, 0)) > 1e-4 OR ABS(TD007 - COALESCE(N, 0)) > 1e-4)");
    const QString loadMissing = QStringLiteral(
        "SELECT COUNT(*) FROM (SELECT DISTINCT TF001, TF002 FROM $$MPSTF WHERE TF003 = '2') P "
        "WHERE NOT EXISTS (SELECT 1 FROM $$MPSTD WHERE TD001 = P.TF001 AND TD002 = P.TF002)");
    const std::pair<QString, QString> rules[] = {
        {QStringLiteral("lines whose days do not add up to their quantity"), lineSums},
        {QStringLiteral("lines with days outside their dates"), lineDates},
        {QStringLiteral("plan rows the day quantities give that are not stored as computed"), planWrong},
        {QStringLiteral("stored plan rows more than the day quantities give"), planExtra},
        {QStringLiteral("resource days whose planned load is not the sum of their plan rows"), load},
        {QStringLiteral("resource days with plan rows but no load row"), loadMissing},
    };
    for (const auto& [what, sql] : rules) {
        const QVariantList values(sql.count(QLatin1Char('?')), factory);
        const qint64 n = count(db, sql, values);
        if (n != 0) return QStringLiteral("%1 %2").arg(n).arg(what);
    }
    return {};
}
