#include <QSignalSpy>
#include <gtest/gtest.h>
#include <cmath>
#include <random>

#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Provider.h"

using namespace kv;

namespace {

// Day rows of two lines: key (line, day), quantity.
void makeDays(TClientDataSet& ds) {
    ds.AddField("TC003", TFieldType::ftString, 11);
    ds.AddField("TC006", TFieldType::ftString, 8);
    ds.AddField("TC007", TFieldType::ftFloat);
    ds.CreateDataSet();
}

void addDay(TClientDataSet& ds, const QString& line, const QString& day, double qty) {
    ds.Append();
    ds.FieldByName("TC003").SetAsString(line);
    ds.FieldByName("TC006").SetAsString(day);
    ds.FieldByName("TC007").SetAsFloat(qty);
    ds.Post();
}

QStringList column(TClientDataSet& ds, const QString& field) {
    QStringList out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out << ds.FieldByName(field).AsString();
    return out;
}

// A row source over fixed rows, counting how it is used.
class FakeSource : public TRowSource {
public:
    QStringList names;
    std::vector<TFieldType> types;
    std::vector<std::vector<QVariant>> rows;
    int pos = -1, opened = 0, closed = 0;
    void openRows() override {
        ++opened;
        pos = -1;
    }
    int columnCount() const override { return static_cast<int>(names.size()); }
    QString columnName(int c) const override { return names[c]; }
    TFieldType columnType(int c) const override { return types[static_cast<size_t>(c)]; }
    int columnSize(int) const override { return 0; }
    bool nextRow() override { return ++pos < static_cast<int>(rows.size()); }
    QVariant columnValue(int c) const override {
        return rows[static_cast<size_t>(pos)][static_cast<size_t>(c)];
    }
    void closeRows() override { ++closed; }
};

} // namespace

TEST(ClientDataSet, CursorFollowsTheRecordsAndTheEndFlags) {
    TClientDataSet ds;
    makeDays(ds);
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Eof());
    addDay(ds, "A", "20260101", 1);
    addDay(ds, "A", "20260102", 2);
    addDay(ds, "B", "20260101", 3);
    EXPECT_EQ(ds.RecordCount(), 3);
    ds.First();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 1);
    ds.Next();
    ds.Next();
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 3);
    ds.Next();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(ds.MoveBy(-5), -2);
    EXPECT_TRUE(ds.Bof());
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    ds.Prior();
    EXPECT_EQ(ds.FieldByName("TC006").AsString(), "20260102");
    EXPECT_EQ(column(ds, "TC003"), QStringList({"A", "A", "B"}));
}

TEST(ClientDataSet, EditPostCancelAndDelete) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260101", 1);
    addDay(ds, "A", "20260102", 2);
    ds.First();
    ds.Edit();
    ds.FieldByName("TC007").SetAsFloat(10);
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 10);
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 1);
    ds.Edit();
    ds.FieldByName("TC007").SetAsFloat(10);
    ds.Next(); // moving posts the edit
    ds.First();
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 10);
    ds.Delete();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName("TC006").AsString(), "20260102");
    // Assigning outside edit state is refused.
    EXPECT_THROW(ds.FieldByName("TC007").SetAsFloat(5), EKvError);
}

TEST(ClientDataSet, ReadOnlySetsAndFieldsRefuseChanges) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260101", 1);
    ds.SetReadOnly(true);
    EXPECT_THROW(ds.Edit(), EKvError);
    EXPECT_THROW(ds.Append(), EKvError);
    EXPECT_THROW(ds.Delete(), EKvError);
    ds.SetReadOnly(false);
    ds.FieldByName("TC003").SetReadOnly(true);
    ds.Edit();
    EXPECT_THROW(ds.FieldByName("TC003").SetAsString("X"), EKvError);
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName("TC003").AsString(), "A");
}

TEST(ClientDataSet, NewRecordRequestCanBeCancelled) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260101", 1);
    ds.OnNewRecord = [](TClientDataSet&) { Abort(); };
    EXPECT_THROW(ds.Append(), EAbort);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName("TC003").AsString(), "A");
}

TEST(ClientDataSet, BeforeScrollCanRefuseTheMove) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260101", 1);
    addDay(ds, "A", "20260102", 2);
    ds.First();
    int after = 0;
    ds.BeforeScroll = [](TClientDataSet& d) {
        if (d.FieldByName("TC007").AsFloat() == 1) Abort();
    };
    ds.AfterScroll = [&](TClientDataSet&) { ++after; };
    EXPECT_THROW(ds.Next(), EAbort);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(after, 0);
    ds.BeforeScroll = nullptr;
    ds.Next();
    EXPECT_EQ(after, 1);
}

TEST(ClientDataSet, LocateIgnoresTrailingBlanksAndFollowsEdits) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A   ", "20260101", 1);
    addDay(ds, "A", "20260102", 2);
    addDay(ds, "B", "20260101", 3);
    ASSERT_TRUE(ds.Locate("TC003;TC006", {"A", "20260101"}));
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 1);
    ASSERT_TRUE(ds.Locate("TC003;TC006", {"B  ", "20260101"}));
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 3);
    EXPECT_FALSE(ds.Locate("TC003;TC006", {"C", "20260101"}));
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 3); // a failed look-up does not move

    // The index follows an edit of a key field...
    ds.Edit();
    ds.FieldByName("TC006").SetAsString("20260109");
    ds.Post();
    EXPECT_FALSE(ds.Locate("TC003;TC006", {"B", "20260101"}));
    EXPECT_TRUE(ds.Locate("TC003;TC006", {"B", "20260109"}));
    // ...a delete and an append.
    ASSERT_TRUE(ds.Locate("TC003;TC006", {"A", "20260102"}));
    ds.Delete();
    EXPECT_FALSE(ds.Locate("TC003;TC006", {"A", "20260102"}));
    addDay(ds, "A", "20260102", 7);
    ASSERT_TRUE(ds.Locate("TC003;TC006", {"A", "20260102"}));
    EXPECT_EQ(ds.FieldByName("TC007").AsFloat(), 7);
    // Numbers are keys too.
    ASSERT_TRUE(ds.Locate("TC007", QVariant(3.0)));
    EXPECT_EQ(ds.FieldByName("TC006").AsString(), "20260109");
}

TEST(ClientDataSet, FilterComparesValuesAndFollowsPosts) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260101", 1);
    addDay(ds, "B", "20260101", 2);
    addDay(ds, "A ", "20260102", 3);
    addDay(ds, "x' OR 1=1", "20260103", 4);
    ds.SetFilter("TC003", {"A"});
    EXPECT_EQ(ds.RecordCount(), 2);
    EXPECT_EQ(column(ds, "TC007"), QStringList({"1", "3"}));
    // A value that looks like code is only a value.
    ds.SetFilter("TC003", {"x' OR 1=1"});
    EXPECT_EQ(column(ds, "TC007"), QStringList({"4"}));
    ds.SetFilter("TC003;TC006", {"A", "20260102"});
    EXPECT_EQ(column(ds, "TC007"), QStringList({"3"}));
    ds.SetFilter("TC003", {"A"});
    // A record edited out of the filter leaves the view; an appended one outside it is not shown.
    ds.First();
    ds.Edit();
    ds.FieldByName("TC003").SetAsString("C");
    ds.Post();
    EXPECT_EQ(ds.RecordCount(), 1);
    addDay(ds, "D", "20260104", 5);
    EXPECT_EQ(ds.RecordCount(), 1);
    addDay(ds, "A", "20260105", 6);
    EXPECT_EQ(column(ds, "TC007"), QStringList({"3", "6"}));
    ds.SetFiltered(false);
    EXPECT_EQ(column(ds, "TC007"), QStringList({"1", "2", "3", "4", "5", "6"}));
}

TEST(ClientDataSet, IndexOrdersStablyAndFindKeyUsesIt) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260103", 1);
    addDay(ds, "B", "20260101", 2);
    addDay(ds, "C", "20260103", 3);
    addDay(ds, "D", "20260102", 4);
    ds.SetIndexFieldNames("TC006");
    EXPECT_EQ(column(ds, "TC003"), QStringList({"B", "D", "A", "C"}));
    ASSERT_TRUE(ds.FindKey({"20260103"}));
    EXPECT_EQ(ds.FieldByName("TC003").AsString(), "A"); // the first in index order
    addDay(ds, "E", "20260102", 5);
    EXPECT_EQ(column(ds, "TC003"), QStringList({"B", "D", "E", "A", "C"}));
    ds.SetIndexFieldNames("");
    EXPECT_EQ(column(ds, "TC003"), QStringList({"A", "B", "C", "D", "E"}));
}

TEST(ClientDataSet, NamedIndexesAndBookmarks) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260103", 1);
    addDay(ds, "B", "20260101", 2);
    addDay(ds, "C", "20260102", 3);
    ds.AddIndex("TF002Index", "TC006");
    EXPECT_THROW(ds.AddIndex("Bad", "NOPE"), EKvError);
    ds.SetIndexName("TF002Index");
    EXPECT_EQ(column(ds, "TC003"), QStringList({"B", "C", "A"}));
    ds.SetRecNo(3);
    const int mark = ds.Bookmark();
    ds.SetIndexName("");
    EXPECT_EQ(column(ds, "TC003"), QStringList({"A", "B", "C"}));
    ASSERT_TRUE(ds.GotoBookmark(mark));
    EXPECT_EQ(ds.FieldByName("TC003").AsString(), "A");
    ds.SetFilter("TC003", {"B"});
    EXPECT_FALSE(ds.GotoBookmark(mark)); // filtered out
    ds.SetFiltered(false);
    ASSERT_TRUE(ds.GotoBookmark(mark));
    ds.Delete();
    EXPECT_FALSE(ds.BookmarkValid(mark));
}

// Random edits, deletes and appends: every keyed look-up agrees with a plain scan.
TEST(ClientDataSet, KeyedLookupsAgreeWithAScanAfterRandomChanges) {
    TClientDataSet ds;
    makeDays(ds);
    std::mt19937 rng(7);
    auto key = [&](int n) { return QString("L%1").arg(n % 13); };
    for (int i = 0; i < 300; ++i)
        addDay(ds, key(static_cast<int>(rng())), QString::number(20260100 + static_cast<int>(rng() % 20)), i);
    ds.SetFilter("TC006", {"20260105"});
    ds.SetFiltered(false);
    for (int step = 0; step < 600; ++step) {
        const int op = static_cast<int>(rng() % 4);
        ds.SetRecNo(1 + static_cast<int>(rng() % static_cast<unsigned>(ds.RecordCount())));
        if (op == 0) {
            ds.Delete();
        } else if (op == 1) {
            ds.Edit();
            ds.FieldByName("TC006").SetAsString(QString::number(20260100 + static_cast<int>(rng() % 20)));
            ds.Post();
        } else {
            addDay(ds, key(static_cast<int>(rng())), QString::number(20260100 + static_cast<int>(rng() % 20)),
                   1000 + step);
        }
        const QString line = key(static_cast<int>(rng())),
                      day = QString::number(20260100 + static_cast<int>(rng() % 20));
        int expected = -1;
        for (int r = 0; r < ds.RecordCount() && expected < 0; ++r)
            if (ds.valueAt(r, 0).toString() == line && ds.valueAt(r, 1).toString() == day) expected = r + 1;
        const bool found = ds.Locate("TC003;TC006", {line, day});
        ASSERT_EQ(found, expected > 0) << step;
        if (found) {
            ASSERT_EQ(ds.RecNo(), expected) << step;
        }
    }
}

// Computed rows repeat a value in every record of some columns; each record keeps its own value
// once another one comes, whether it comes by a loader, an edit or an append, and look-ups agree.
TEST(ClientDataSet, ColumnsOfOneValueKeepEveryRecordsOwnValue) {
    TClientDataSet ds;
    ds.AddField("KIND", TFieldType::ftString, 1);
    ds.AddField("QTY", TFieldType::ftFloat);
    ds.AddField("FLAG", TFieldType::ftFloat);
    ds.CreateDataSet();
    const int fields[] = {0, 1, 2};
    ds.beginLoad();
    const int32_t two = ds.PoolTextId("2");
    for (int r = 0; r < 300; ++r) {
        const int32_t texts[] = {two, -1, -1};
        const double numbers[] = {0, r == 299 ? -0.0 : 0.0, std::nan("")};
        ds.loadRowIds(texts, numbers, fields, 3);
    }
    ds.endLoad();
    ASSERT_EQ(ds.RecordCount(), 300);
    EXPECT_EQ(ds.valueAt(0, 0).toString(), "2");
    EXPECT_EQ(ds.valueAt(299, 0).toString(), "2");
    EXPECT_TRUE(ds.valueAt(150, 2).isNull());
    EXPECT_FALSE(std::signbit(ds.valueAt(0, 1).toDouble()));
    EXPECT_TRUE(std::signbit(ds.valueAt(299, 1).toDouble()));

    ds.SetRecNo(101);
    ds.Edit();
    ds.FieldByName("KIND").SetAsString("3");
    ds.FieldByName("FLAG").SetAsFloat(1);
    ds.Post();
    ds.Append();
    ds.Post(); // a record of nulls
    EXPECT_EQ(column(ds, "KIND").count("2"), 299);
    EXPECT_EQ(ds.valueAt(100, 0).toString(), "3");
    EXPECT_EQ(ds.valueAt(100, 2).toDouble(), 1);
    EXPECT_TRUE(ds.valueAt(101, 2).isNull());
    EXPECT_TRUE(ds.valueAt(300, 0).isNull());
    ASSERT_TRUE(ds.Locate("KIND", QVariant("3")));
    EXPECT_EQ(ds.RecNo(), 101);
    ds.SetFilter("KIND", {"2"});
    ds.SetFiltered(true);
    EXPECT_EQ(ds.RecordCount(), 299);
    ds.SetFiltered(false);

    // A provider's rows: a column null at first, then a value.
    FakeSource source;
    source.names = {"KIND", "QTY"};
    source.types = {TFieldType::ftString, TFieldType::ftFloat};
    for (int r = 0; r < 100; ++r)
        source.rows.push_back({r < 99 ? QVariant() : QVariant("X"), r < 50 ? QVariant(5.0) : QVariant(6.0)});
    TDataSetProvider provider;
    provider.SetDataSet(&source);
    TClientDataSet fetched;
    fetched.SetProvider(&provider);
    fetched.Open();
    ASSERT_EQ(fetched.RecordCount(), 100);
    EXPECT_TRUE(fetched.valueAt(98, 0).isNull());
    EXPECT_EQ(fetched.valueAt(99, 0).toString(), "X");
    EXPECT_EQ(fetched.valueAt(49, 1).toDouble(), 5);
    EXPECT_EQ(fetched.valueAt(50, 1).toDouble(), 6);
}

// Computed plan rows repeat their line's texts over runs of records and are looked up by a key of
// many fields. Every record keeps its own values through loads, edits inside and between runs, runs
// that get too short, late nulls, deletes and appends, and keyed look-ups agree with a scan.
TEST(ClientDataSet, TextsInRunsAndLongKeysFollowEveryChange) {
    TClientDataSet ds;
    for (const char* name : {"RES", "DAY", "DOC", "NODE"})
        ds.AddField(name, TFieldType::ftString, 10);
    ds.AddField("QTY", TFieldType::ftFloat);
    ds.CreateDataSet();
    struct Row {
        QString res, day, doc, node;
        double qty; // NaN: null
        bool live = true;
    };
    std::vector<Row> model;
    std::mt19937 rng(5);
    const int fields[] = {0, 1, 2, 3, 4};
    ds.beginLoad();
    for (int line = 0; line < 120; ++line)
        for (int res = 0; res < 2; ++res)
            for (int day = 0; day < 12; ++day) {
                Row row{QString("R%1").arg(res + line % 3), QString::number(20260101 + day),
                        QString("D%1").arg(line / 4), QString("N%1").arg(line % 4), double(line * 100 + day)};
                const int32_t texts[] = {ds.PoolTextId(row.res), ds.PoolTextId(row.day), ds.PoolTextId(row.doc),
                                         ds.PoolTextId(row.node), -1};
                const double numbers[] = {0, 0, 0, 0, row.qty};
                ds.loadRowIds(texts, numbers, fields, 5);
                model.push_back(row);
            }
    ds.endLoad();
    auto live = [&model] {
        std::vector<const Row*> rows;
        for (const Row& r : model)
            if (r.live) rows.push_back(&r);
        return rows;
    };
    auto check = [&](int step) {
        const std::vector<const Row*> rows = live();
        ASSERT_EQ(ds.RecordCount(), int(rows.size())) << step;
        for (int r = 0; r < ds.RecordCount(); ++r) {
            const Row& m = *rows[size_t(r)];
            ASSERT_EQ(ds.valueAt(r, 0).toString(), m.res) << step << " " << r;
            ASSERT_EQ(ds.valueAt(r, 1).toString(), m.day) << step << " " << r;
            ASSERT_EQ(ds.valueAt(r, 2).toString(), m.doc) << step << " " << r;
            ASSERT_EQ(ds.valueAt(r, 3).toString(), m.node) << step << " " << r;
            ASSERT_EQ(ds.valueAt(r, 4).isNull(), std::isnan(m.qty)) << step << " " << r;
            if (!std::isnan(m.qty)) {
                ASSERT_EQ(ds.valueAt(r, 4).toDouble(), m.qty) << step << " " << r;
            }
        }
        const Row& probe = *rows[rng() % rows.size()];
        std::vector<int> scan;
        for (size_t r = 0; r < rows.size(); ++r)
            if (rows[r]->res == probe.res && rows[r]->doc == probe.doc && rows[r]->node == probe.node)
                scan.push_back(int(r));
        ASSERT_EQ(ds.LocateAll("RES;DOC;NODE", {probe.res, probe.doc, probe.node}), scan) << step;
    };
    check(-1);
    for (int step = 0; step < 600; ++step) {
        const int op = int(rng() % 5);
        const int pos = int(rng() % unsigned(ds.RecordCount()));
        Row& m = *const_cast<Row*>(live()[size_t(pos)]);
        if (op == 0) {
            // A value inside a run, or a late null among numbers.
            ds.SetRecNo(pos + 1);
            ds.Edit();
            m.doc = QString("E%1").arg(rng() % 3);
            ds.FieldByName("DOC").SetAsString(m.doc);
            if (rng() % 2) {
                m.qty = std::nan("");
                ds.FieldByName("QTY").Clear();
            }
            ds.Post();
        } else if (op == 1) {
            const int gone = ds.DeleteMatching("RES;DOC;NODE", {m.res, m.doc, m.node});
            int expected = 0;
            for (Row& r : model)
                if (r.live && r.res == m.res && r.doc == m.doc && r.node == m.node) {
                    r.live = false;
                    ++expected;
                }
            ASSERT_EQ(gone, expected) << step;
        } else if (op == 2) {
            const Row row{m.res, QString::number(20260200 + step), m.doc, m.node, double(step)};
            ds.Append();
            ds.FieldByName("RES").SetAsString(row.res);
            ds.FieldByName("DAY").SetAsString(row.day);
            ds.FieldByName("DOC").SetAsString(row.doc);
            ds.FieldByName("NODE").SetAsString(row.node);
            ds.FieldByName("QTY").SetAsFloat(row.qty);
            ds.Post();
            model.push_back(row);
        } else {
            // Many edits of single records make the runs short.
            ds.SetRecNo(pos + 1);
            ds.Edit();
            m.node = QString("M%1").arg(step);
            ds.FieldByName("NODE").SetAsString(m.node);
            ds.Post();
        }
        if (ds.RecordCount() == 0) break;
        check(step);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Above 64 records a filter takes its records from the hash index, so the index must follow every
// delete (by key or one by one), edit and append, and a filter on a text the set does not hold yet
// must still take records that bring it.
TEST(ClientDataSet, FiltersOfLargeSetsFollowDeletesEditsAndAppends) {
    struct Row {
        QString line, day;
        int qty;
        bool alive = true;
    };
    std::vector<Row> model;
    TClientDataSet ds;
    makeDays(ds);
    auto add = [&](const QString& line, const QString& day) {
        const int qty = static_cast<int>(model.size());
        model.push_back({line.trimmed(), day, qty});
        addDay(ds, line, day, qty);
    };
    // Lines of many days, some keys with the trailing blanks of fixed-width columns.
    for (int i = 0; i < 150; ++i)
        add(QString("L%1").arg(i % 10) + (i % 7 == 0 ? "   " : ""), QString::number(20260101 + i / 10 % 5));
    auto expected = [&](const QString& line, const QString& day) {
        QStringList out;
        for (const Row& r : model)
            if (r.alive && r.line == line && (day.isEmpty() || r.day == day)) out << QString::number(r.qty);
        return out;
    };
    // Every line, and every line and day, filtered again: the records of exactly that key, in load order.
    auto everyFilterAgrees = [&](const char* when) {
        for (int l = 0; l < 12; ++l) {
            const QString line = QString("L%1").arg(l);
            ds.SetFilter("TC003", {line});
            ASSERT_EQ(column(ds, "TC007"), expected(line, "")) << when << ' ' << line.toStdString();
            for (int d = 0; d < 5; ++d) {
                const QString day = QString::number(20260101 + d);
                ds.SetFilter("TC003;TC006", {line, day});
                ASSERT_EQ(column(ds, "TC007"), expected(line, day))
                    << when << ' ' << line.toStdString() << ' ' << day.toStdString();
            }
        }
        ds.SetFiltered(false);
    };
    everyFilterAgrees("loaded");

    // Deleted by key under the filter, then the same filter again.
    auto deleteModel = [&](const QString& line, const QString& day) {
        int n = 0;
        for (Row& r : model)
            if (r.alive && r.line == line && (day.isEmpty() || r.day == day)) {
                r.alive = false;
                ++n;
            }
        return n;
    };
    ds.SetFilter("TC003", {"L3"});
    const int l3 = deleteModel("L3", "20260102");
    ASSERT_GT(l3, 1);
    EXPECT_EQ(ds.DeleteMatching("TC003;TC006", {"L3", "20260102"}), l3);
    EXPECT_EQ(column(ds, "TC007"), expected("L3", ""));
    ds.SetFilter("TC003", {"L3"});
    EXPECT_EQ(column(ds, "TC007"), expected("L3", ""));
    // Without a filter, then filtered by the deleted key.
    ds.SetFiltered(false);
    EXPECT_EQ(ds.DeleteMatching("TC003", {"L5"}), deleteModel("L5", ""));
    ds.SetFilter("TC003", {"L5"});
    EXPECT_TRUE(ds.IsEmpty());
    // One by one under a filter.
    ds.SetFilter("TC003", {"L7"});
    while (ds.Locate("TC006", QVariant("20260104")))
        ds.Delete();
    deleteModel("L7", "20260104");
    // An edited key moves its record from one filter to the other.
    ds.SetFilter("TC003;TC006", {"L1", "20260101"});
    ds.First();
    const int moved = ds.FieldByName("TC007").AsInteger();
    ds.Edit();
    ds.FieldByName("TC003").SetAsString("L2");
    ds.Post();
    model[static_cast<size_t>(moved)].line = "L2";
    everyFilterAgrees("after deletes and an edit");

    // Appends past the room the index was built with rebuild it; deleted records stay out.
    for (int i = 0; i < 120; ++i)
        add(QString("L%1").arg(i % 12), QString::number(20260101 + i % 5));
    everyFilterAgrees("after appends");

    // A filter on a line the set does not hold yet shows such a line once it is appended.
    ds.SetFilter("TC003", {"L99"});
    EXPECT_TRUE(ds.IsEmpty());
    add("L99", "20260101");
    EXPECT_EQ(column(ds, "TC007"), expected("L99", ""));
    ds.SetFilter("TC003", {"L99"});
    EXPECT_EQ(column(ds, "TC007"), expected("L99", ""));
}

// Deleting every match at once leaves the same rows, cursor and look-ups as Locate and Delete in a
// loop, in natural order and under an index; LocateAll finds what a scan finds.
TEST(ClientDataSet, DeleteMatchingAgreesWithDeletingOneByOne) {
    for (const char* order : {"", "TC006;TC003"}) {
        TClientDataSet fast, slow;
        makeDays(fast);
        makeDays(slow);
        TDataSource fastSource, slowSource;
        fastSource.SetDataSet(&fast);
        slowSource.SetDataSet(&slow);
        QSignalSpy fastRemoved(&fastSource, &TDataSource::rowRemoved);
        QSignalSpy slowRemoved(&slowSource, &TDataSource::rowRemoved);
        std::mt19937 rng(11);
        for (int i = 0; i < 400; ++i) {
            const QString line = QString("L%1").arg(rng() % 9), day = QString::number(20260100 + rng() % 6);
            addDay(fast, line, day, i);
            addDay(slow, line + "  ", day, i);
        }
        fast.SetIndexFieldNames(order);
        slow.SetIndexFieldNames(order);
        for (int step = 0; step < 40; ++step) {
            const QString line = QString("L%1").arg(rng() % 9), day = QString::number(20260100 + rng() % 6);
            std::vector<int> scan;
            for (int r = 0; r < fast.RecordCount(); ++r)
                if (fast.valueAt(r, 0).toString() == line && fast.valueAt(r, 1).toString() == day)
                    scan.push_back(r);
            ASSERT_EQ(fast.LocateAll("TC003;TC006", {line, day}), scan) << step;
            int slowCount = 0;
            while (slow.Locate("TC003;TC006", {line, day})) {
                slow.Delete();
                ++slowCount;
            }
            ASSERT_EQ(fast.DeleteMatching("TC003;TC006", {line, day}), slowCount) << step;
            ASSERT_EQ(column(fast, "TC007"), column(slow, "TC007")) << step;
            if (step % 3 == 0) {
                addDay(fast, line, day, 1000 + step);
                addDay(slow, line, day, 1000 + step);
            }
            const QString other = QString("L%1").arg(rng() % 9);
            ASSERT_EQ(fast.Locate("TC003", other), slow.Locate("TC003", other)) << step;
            ASSERT_EQ(fast.RecNo(), slow.RecNo()) << step;
        }
        EXPECT_GT(fastRemoved.count(), 0);
        ASSERT_EQ(fastRemoved.count(), slowRemoved.count());
        for (int i = 0; i < fastRemoved.count(); ++i)
            EXPECT_EQ(fastRemoved.at(i).at(0).toInt(), slowRemoved.at(i).at(0).toInt()) << i;
    }
}

// With a delete handler every record is deleted as the current one, so the handler sees each.
TEST(ClientDataSet, DeleteMatchingRunsDeleteHandlersPerRecord) {
    TClientDataSet ds;
    makeDays(ds);
    addDay(ds, "A", "20260101", 1);
    addDay(ds, "B", "20260101", 2);
    addDay(ds, "A", "20260101", 3);
    QList<double> seen;
    ds.BeforeDelete = [&seen](TClientDataSet& set) { seen << set.FieldByName("TC007").AsFloat(); };
    EXPECT_EQ(ds.DeleteMatching("TC003;TC006", {"A", "20260101"}), 2);
    EXPECT_EQ(seen, (QList<double>{1, 3}));
    EXPECT_EQ(column(ds, "TC003"), QStringList{"B"});
    EXPECT_EQ(ds.DeleteMatching("TC003", {"Z"}), 0);
}

TEST(ClientDataSet, ProviderFillsFromItsSourceAfterTheBeforeFetchHandler) {
    FakeSource source;
    source.names = {"TB001", "TB026", "FLAG"};
    source.types = {TFieldType::ftString, TFieldType::ftFloat, TFieldType::ftInteger};
    source.rows = {{"F01   ", 100.0, 0}, {"F01   ", QVariant(), 3}};
    TDataSetProvider provider;
    provider.SetDataSet(&source);
    int before = 0;
    provider.BeforeGetRecords = [&](TDataSetProvider&) {
        ++before;
        EXPECT_EQ(source.opened, before - 1);
    };
    TClientDataSet ds;
    ds.SetProvider(&provider);
    ds.Open();
    EXPECT_EQ(before, 1);
    EXPECT_EQ(source.closed, 1);
    EXPECT_EQ(ds.RecordCount(), 2);
    EXPECT_EQ(ds.FieldByName("TB001").AsString(), "F01   ");
    ds.Next();
    EXPECT_TRUE(ds.FieldByName("TB026").IsNull());
    EXPECT_EQ(ds.FieldByName("FLAG").AsInteger(), 3);
    // Handlers set on the fields survive a reopen.
    ds.FieldByName("TB026").SetDisplayFormat("#,##0.#######");
    source.rows = {{"F02", 1234567.5, 1}};
    ds.Close();
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName("TB026").DisplayText(), "1,234,567.5");
}

TEST(ClientDataSet, DataSourceReportsChanges) {
    TClientDataSet ds;
    makeDays(ds);
    TDataSource src;
    src.SetDataSet(&ds);
    QSignalSpy inserted(&src, &TDataSource::rowInserted);
    QSignalSpy changed(&src, &TDataSource::recordChanged);
    QSignalSpy removed(&src, &TDataSource::rowRemoved);
    QSignalSpy reset(&src, &TDataSource::dataSetChanged);
    addDay(ds, "A", "20260101", 1);
    addDay(ds, "B", "20260101", 2);
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(0).toInt(), 1);
    ds.First();
    ds.Edit();
    changed.clear();
    ds.FieldByName("TC007").SetAsFloat(9);
    EXPECT_EQ(changed.count(), 1);
    ds.Post();
    ds.Delete();
    EXPECT_EQ(removed.count(), 1);
    reset.clear();
    ds.DisableControls();
    addDay(ds, "C", "20260101", 3);
    ds.SetFilter("TC003", {"C"});
    EXPECT_EQ(reset.count(), 0);
    ds.EnableControls();
    EXPECT_EQ(reset.count(), 1);
}
