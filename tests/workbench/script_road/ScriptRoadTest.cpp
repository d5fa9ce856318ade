// The whole road of one use as a scripted run of the client on the demo company: query, edit, drag a
// parent with lower-level linkage, fix a day quantity in the daily editor, save. The four schedule
// tables afterwards are compared with what the rules make of the rows before: the dragged family's
// dates and days shifted, the fixed days, plan consumption from the day quantities and the item
// rates, and the planned load as its sums per resource and day.
#include <gtest/gtest.h>

#include <QDate>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>

#include "common/TestSupport.h"
#include "frame/KvADO.h"
#include "host/demo/DemoCompany.h"

namespace {

struct LineRow {
    QString key; // TB003|TB051|TB004|TB005|TB037
    QString family, node, item, resource, mps;
    QDate start, stop; // TB013, TB014
    int flag = 0;
};

QDate dateOf(const QString& text) {
    return QDate::fromString(text.trimmed(), "yyyyMMdd");
}
QString textOf(const QDate& d) {
    return d.toString("yyyyMMdd");
}

struct Db {
    TKvADOConnection c;
    explicit Db(const QString& cs) {
        c.SetConnectionString(cs);
        c.Open();
    }
    // Rows of a SELECT as lists of trimmed texts.
    std::vector<QStringList> rows(const QString& sql) {
        TKvADOQuery q;
        q.SetConnection(&c);
        q.SetSQL(sql);
        q.Open();
        std::vector<QStringList> out;
        for (int r = 0; r < q.RecordCount(); ++r) {
            QStringList v;
            for (int f = 0; f < q.FieldCount(); ++f)
                v << q.valueAt(r, f).toString().trimmed();
            out.push_back(v);
        }
        return out;
    }
};

std::vector<LineRow> linesOf(Db& db) {
    std::vector<LineRow> lines;
    for (const QStringList& r :
         db.rows("SELECT TB003, TB051, TB004, TB005, TB037, TB006, TB036, TB038, TB013, TB014, FLAG FROM "
                 "DEMO..MPSTB WHERE TB001 = 'F01' ORDER BY TB001, TB002, TB003, TB004, TB005, TB037")) {
        LineRow l;
        l.key = QStringList(r.mid(0, 5)).join('|');
        l.family = QStringList(r.mid(0, 4)).join('|');
        l.node = r[4];
        l.item = r[5];
        l.resource = r[6];
        l.mps = r[7];
        l.start = dateOf(r[8]);
        l.stop = dateOf(r[9]);
        l.flag = r[10].toInt();
        lines.push_back(l);
    }
    return lines;
}

// Day quantities of F01's lines: line key -> day -> quantity.
QMap<QString, QMap<QString, double>> daysOf(Db& db) {
    QMap<QString, QMap<QString, double>> days;
    for (const QStringList& r :
         db.rows("SELECT TC002, TC009, TC003, TC004, TC005, TC006, TC007 FROM DEMO..MPSTC "
                 "WHERE TC001 = 'F01'"))
        days[QStringList(r.mid(0, 5)).join('|')][r[5]] = r[6].toDouble();
    return days;
}

void expectSameAmounts(const QMap<QString, QPair<double, double>>& actual,
                       const QMap<QString, QPair<double, double>>& expected, const char* what) {
    EXPECT_EQ(actual.keys(), expected.keys()) << what;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const auto a = actual.value(it.key());
        EXPECT_NEAR(a.first, it->first, 1e-9) << what << " " << it.key().toStdString();
        EXPECT_NEAR(a.second, it->second, 1e-9) << what << " " << it.key().toStdString();
    }
}

TEST(ScriptRoad, QueryEditDragFixADaySave) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    kv::demo::DemoOptions options;
    options.lines = 40;
    options.seed = 7;
    options.start = QDate(2026, 1, 5);
    kv::demo::writeDemoInstallation(dir.path(), options);
    Db db(kv::demo::sqliteConnectString(dir.filePath("DEMO.db")));

    const std::vector<LineRow> before = linesOf(db);
    const auto daysBefore = daysOf(db);
    ASSERT_GT(before.size(), 10u);
    // The parent: the first top node with a child; the fixed line: one of another document with two days.
    int parent = -1, fixed = -1;
    for (size_t i = 0; i + 1 < before.size() && parent < 0; ++i)
        if (before[i].node == "01" && before[i + 1].family == before[i].family &&
            before[i + 1].node.size() == 4)
            parent = int(i);
    ASSERT_GE(parent, 0);
    for (size_t i = 0; i < before.size() && fixed < 0; ++i)
        if (before[i].family != before[size_t(parent)].family &&
            daysBefore.value(before[i].key).size() >= 2 && daysBefore.value(before[i].key).first() >= 2)
            fixed = int(i);
    ASSERT_GE(fixed, 0);
    const auto fixedDays = daysBefore.value(before[size_t(fixed)].key);
    const QString dayA = fixedDays.firstKey(), dayB = std::next(fixedDays.begin()).key();
    const double qtyA = fixedDays.value(dayA) - 1, qtyB = fixedDays.value(dayB) + 1;

    // What the rules make of it. Lower-level linkage: a child ending after its parent's new start is
    // pulled back so that it ends there, and its own children are checked against its start.
    constexpr int kDrag = -3;
    std::vector<LineRow> lines = before;
    std::vector<int> shift(lines.size(), 0);
    auto moveLine = [&](size_t r, int d) {
        lines[r].start = lines[r].start.addDays(d);
        lines[r].stop = lines[r].stop.addDays(d);
        shift[r] += d;
    };
    std::function<void(size_t, QDate, const QString&)> linkDown = [&](size_t q, QDate v, const QString& n) {
        for (size_t r = q + 1; r < lines.size() && lines[r].family == lines[q].family; ++r) {
            if (lines[r].node.size() != n.size() + 2 || !lines[r].node.startsWith(n)) continue;
            const int d = int(lines[r].stop.addDays(1).daysTo(v));
            if (d >= 0) continue;
            if (lines[r].mps != "Y") moveLine(r, d);
            linkDown(r, lines[r].start, lines[r].node);
        }
    };
    moveLine(size_t(parent), kDrag);
    linkDown(size_t(parent), lines[size_t(parent)].start, lines[size_t(parent)].node);
    ASSERT_NE(shift[size_t(parent) + 1], 0) << "the child follows its parent";
    QMap<QString, QMap<QString, double>> days;
    for (size_t r = 0; r < lines.size(); ++r) {
        const auto d = daysBefore.value(lines[r].key);
        for (auto it = d.cbegin(); it != d.cend(); ++it)
            days[lines[r].key][textOf(dateOf(it.key()).addDays(shift[r]))] = *it;
    }
    days[before[size_t(fixed)].key][dayA] = qtyA;
    days[before[size_t(fixed)].key][dayB] = qtyB;

    const QString script = dir.filePath("road.txt");
    testsupport::writeFile(script, QString("query F01\n"
                                           "edit\n"
                                           "link chkUp on\n"
                                           "drag %1 %2\n"
                                           "daily %3 %4=%5,%6=%7\n"
                                           "save\n"
                                           "close\n")
                                       .arg(parent)
                                       .arg(kDrag)
                                       .arg(fixed)
                                       .arg(dayA)
                                       .arg(qtyA)
                                       .arg(dayB)
                                       .arg(qtyB)
                                       .toUtf8());
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    client.setProcessEnvironment(env);
    client.start(testsupport::binDir() + "/tarnix-client", {"--install", dir.path(), "--script", script});
    ASSERT_TRUE(client.waitForFinished(120000));
    ASSERT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString()
                                    << client.readAllStandardOutput().toStdString();

    // MPSTB: every line of the factory written once, the dragged family at its new dates.
    const std::vector<LineRow> after = linesOf(db);
    ASSERT_EQ(after.size(), lines.size());
    for (size_t r = 0; r < after.size(); ++r) {
        SCOPED_TRACE(lines[r].key.toStdString());
        EXPECT_EQ(after[r].start, lines[r].start);
        EXPECT_EQ(after[r].stop, lines[r].stop);
        EXPECT_EQ(after[r].flag, before[r].flag + 1);
    }
    // MPSTC: the days moved with their bars; the fixed line's two days.
    EXPECT_EQ(daysOf(db), days);

    // MPSTF: plan rows of every line, day and item resource; work order rows untouched.
    QMap<QString, QList<QStringList>> rates;
    for (const QStringList& r : db.rows("SELECT MC001, MC002, MC004, MC005 FROM DEMO..MPSMC"))
        rates[r[0]] << r;
    QMap<QString, QPair<double, double>> plan, load;
    for (const LineRow& l : lines)
        for (const QStringList& rate : rates.value(l.item)) {
            const auto d = days.value(l.key);
            for (auto it = d.cbegin(); it != d.cend(); ++it) {
                if (*it == 0) continue;
                const double amount =
                    rate[3].toDouble() == 0 ? 0 : rate[2].toDouble() * *it / rate[3].toDouble();
                const QPair<double, double> a =
                    rate[1] == l.resource ? qMakePair(amount, 0.0) : qMakePair(0.0, amount);
                plan[rate[1] + '|' + it.key() + '|' + l.key] = a;
                auto& sum = load[rate[1] + '|' + it.key()];
                sum.first += a.first;
                sum.second += a.second;
            }
        }
    QMap<QString, QPair<double, double>> planAfter;
    for (const QStringList& r :
         db.rows("SELECT TF001, TF002, TF004, TF011, TF005, TF006, TF007, TF008, TF009 FROM "
                 "DEMO..MPSTF WHERE TF003 = '2'"))
        planAfter[QStringList(r.mid(0, 7)).join('|')] = {r[7].toDouble(), r[8].toDouble()};
    expectSameAmounts(planAfter, plan, "MPSTF");

    // MPSTD: planned columns are the plan's sums, zero where nothing is planned.
    QMap<QString, QPair<double, double>> loadAfter;
    for (const QStringList& r : db.rows("SELECT TD001, TD002, TD005, TD007 FROM DEMO..MPSTD")) {
        const QPair<double, double> v{r[2].toDouble(), r[3].toDouble()};
        if (v.first != 0 || v.second != 0 || load.contains(r[0] + '|' + r[1]))
            loadAfter[r[0] + '|' + r[1]] = v;
    }
    expectSameAmounts(loadAfter, load, "MPSTD");
}

} // namespace
