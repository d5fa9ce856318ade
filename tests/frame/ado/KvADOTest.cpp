// The access layer against real engines: SQLite files, a PostgreSQL server started for the test
// program, and the same server through unixODBC.
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

#include "common/PgServer.h"
#include "frame/KvADO.h"
#include "host/schema/CompanySchema.h"

using testsupport::PgServer;

namespace {

enum class Engine { SQLite, PostgreSQL, Odbc };

std::string engineName(const ::testing::TestParamInfo<Engine>& info) {
    switch (info.param) {
    case Engine::SQLite:
        return "SQLite";
    case Engine::PostgreSQL:
        return "PostgreSQL";
    default:
        return "PostgreSQLThroughOdbc";
    }
}

// What the process writes to its standard error while it lives: a client library may write there
// behind the program's back.
class StderrCapture {
public:
    StderrCapture() {
        FFile.open();
        std::fflush(stderr);
        FSaved = dup(STDERR_FILENO);
        dup2(FFile.handle(), STDERR_FILENO);
    }
    QString text() {
        std::fflush(stderr);
        dup2(FSaved, STDERR_FILENO);
        close(FSaved);
        FFile.seek(0);
        return QString::fromUtf8(FFile.readAll());
    }

private:
    QTemporaryFile FFile;
    int FSaved = -1;
};

const char* kLineQuery =
    "SELECT TB001,TB004,TB005,TB036 FROM DEMO..MPSTB AS MPSTB WHERE TB001 = :TB001 AND :TB036 in (TB036,'') "
    "AND :TB004 IN (TB051+TB004+TB005,'') ORDER BY TB001 , TB002 ,TB003 , TB004 , TB005 , TB037 ";

class KvADOEngine : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::SQLite) {
            FConnectString =
                QString("Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;"
                        "Initial Catalog=DEMO;Data Source=%1;Auto Translate=False;Connect Timeout=5;"
                        "Extended Properties=\"Command Timeout=30\"")
                    .arg(FDir.filePath("DEMO.db"));
        } else {
            PgServer& pg = PgServer::shared();
            if (!pg.installed()) GTEST_SKIP() << "PostgreSQL tests skipped: " << pg.error().toStdString();
            ASSERT_TRUE(pg.available()) << pg.error().toStdString();
            const QString db = pg.createDatabase("ado");
            FConnectString =
                GetParam() == Engine::PostgreSQL ? pg.connectString(db) : pg.odbcConnectString(db);
        }
        FConnection = connect();
        kv::schema::applyCompanySchema(*FConnection);
    }

    std::unique_ptr<TKvADOConnection> connect() {
        auto c = std::make_unique<TKvADOConnection>();
        c->SetConnectionString(FConnectString);
        c->Open();
        return c;
    }

    void exec(TKvADOConnection& c, const QString& sql, const QList<QPair<QString, QVariant>>& params) {
        TKvADOQuery q;
        q.SetConnection(&c);
        q.SetSQL(sql);
        for (const auto& [name, value] : params) {
            if (value.typeId() == QMetaType::Double)
                q.ParamByName(name).SetAsFloat(value.toDouble());
            else
                q.ParamByName(name).SetAsString(value.toString());
        }
        q.ExecSQL();
    }

    void insertLine(const QString& doc, const QString& line, const QString& resource) {
        exec(*FConnection,
             "INSERT INTO DEMO..MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB036,TB026,FLAG) VALUES "
             "(:TB001,:TB002,'1',:TB051,:TB004,:TB005,'01',:TB036,:TB026,0)",
             {{"TB001", "F01"},
              {"TB002", doc.right(2)},
              {"TB051", "5201"},
              {"TB004", doc},
              {"TB005", line},
              {"TB036", resource},
              {"TB026", 100.0}});
    }

    QStringList lines(const QString& resource, const QString& sourceDoc) {
        TKvADOQuery q;
        q.SetConnection(FConnection.get());
        q.SetSQL(kLineQuery);
        q.ParamByName("TB001").SetAsString("F01");
        q.ParamByName("TB036").SetAsString(resource);
        q.ParamByName("TB004").SetAsString(sourceDoc);
        q.Open();
        QStringList out;
        for (q.First(); !q.Eof(); q.Next())
            out << q.FieldByName("TB004").AsString().trimmed() + "/" +
                       q.FieldByName("TB005").AsString().trimmed();
        return out;
    }

    QTemporaryDir FDir;
    QString FConnectString;
    std::unique_ptr<TKvADOConnection> FConnection;
};

} // namespace

TEST_P(KvADOEngine, LineConditionsMatchFixedWidthTexts) {
    insertLine("20260101001", "1", "R1");
    insertLine("20260101002", "0002", "R2");
    insertLine("20260101003", "3", "");
    EXPECT_EQ(lines("", ""), QStringList({"20260101001/1", "20260101002/0002", "20260101003/3"}));
    // An empty line resource does not match a given one: the parameter is compared, not the column.
    EXPECT_EQ(lines("R2", ""), QStringList({"20260101002/0002"}));
    // Type, number and line run together, each blank-padded, the whole trimmed.
    EXPECT_EQ(lines("", "5201202601010011"), QStringList({"20260101001/1"}));
    EXPECT_EQ(lines("", "5201202601010020002"), QStringList({"20260101002/0002"}));
    EXPECT_EQ(lines("R1", "5201202601010020002"), QStringList());
}

TEST_P(KvADOEngine, AwkwardValuesRoundTripThroughEveryStatementKind) {
    const QString awkward = "it's 100% -- ok; :TC008 $$";
    const QString line =
        " TC001 =:TC001 AND TC002 =:TC002 AND TC009 =:TC009 AND TC003 =:TC003 AND TC004 =:TC004 "
        "AND TC005 =:TC005 ";
    const QList<QPair<QString, QVariant>> key = {{"TC001", "F01"},    {"TC002", "1"}, {"TC009", "5201"},
                                                 {"TC003", "X'1%--"}, {"TC004", "1"}, {"TC005", "01"}};
    auto withKey = [&](QList<QPair<QString, QVariant>> extra) { return key + extra; };
    exec(*FConnection,
         "INSERT INTO DEMO..MPSTC(COMPANY , CREATOR , CREATE_DATE , FLAG ,TC001 ,TC002 ,TC003 ,TC004 ,TC005 "
         ",TC006 "
         ",TC007 ,TC008 , TC009) VALUES(:COMPANY , :CREATOR , :CREATEDATE , 0 , :TC001 , :TC002 ,:TC003 , "
         ":TC004 "
         ",:TC005 , :TC006 , :TC007 , :TC008 ,:TC009) ",
         withKey({{"COMPANY", "DEMO"},
                  {"CREATOR", "DS"},
                  {"CREATEDATE", "20260101120000000"},
                  {"TC006", "20260105"},
                  {"TC007", 12.5},
                  {"TC008", awkward}}));
    auto read = [&]() {
        TKvADOQuery q;
        q.SetConnection(FConnection.get());
        q.SetSQL("SELECT FLAG, TC007, TC008, MODI_DATE FROM DEMO..MPSTC WHERE" + line + "AND TC006 =:TC006 ");
        for (const auto& [name, value] : key)
            q.ParamByName(name).SetAsString(value.toString());
        q.ParamByName("TC006").SetAsString("20260105");
        q.Open();
        return std::make_tuple(q.IsEmpty(), q.IsEmpty() ? 0 : q.FieldByName("FLAG").AsInteger(),
                               q.IsEmpty() ? 0.0 : q.FieldByName("TC007").AsFloat(),
                               q.IsEmpty() ? QString() : q.FieldByName("TC008").AsString().trimmed(),
                               q.IsEmpty() ? QString() : q.FieldByName("MODI_DATE").AsString().trimmed());
    };
    auto [empty, flag, qty, remark, modified] = read();
    ASSERT_FALSE(empty);
    EXPECT_EQ(qty, 12.5);
    EXPECT_EQ(remark, awkward);
    exec(*FConnection,
         "UPDATE DEMO..MPSTC  SET MODIFIER =:MODIFIER, MODI_DATE =Convert(Char(17),getDate(),112) , FLAG "
         "=(FLAG + 1),  "
         "TC007 =:TC007 , TC008 =:TC008  WHERE" +
             line + " AND TC006 =:TC006 ",
         withKey({{"MODIFIER", "DS"}, {"TC007", 7.0}, {"TC008", awkward + "!"}, {"TC006", "20260105"}}));
    std::tie(empty, flag, qty, remark, modified) = read();
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(qty, 7.0);
    EXPECT_EQ(remark, awkward + "!");
    EXPECT_EQ(modified, QDate::currentDate().toString("yyyyMMdd"));
    exec(*FConnection, "DELETE DEMO..MPSTC WHERE " + line + "AND TC006=:TC006",
         withKey({{"TC006", "20260105"}}));
    EXPECT_TRUE(std::get<0>(read()));
}

// A text parameter set from an unset string is the empty text, never NULL: it matches empty columns
// and goes into columns that take no NULL.
TEST_P(KvADOEngine, AnUnsetTextIsTheEmptyText) {
    insertLine("20260101003", "3", "");
    TKvADOQuery q;
    q.SetConnection(FConnection.get());
    q.SetSQL("SELECT TB004 FROM DEMO..MPSTB WHERE TB001 = :TB001 AND (:TB036 = '' OR TB036 = :TB036) ");
    q.ParamByName("TB001").SetAsString("F01");
    q.ParamByName("TB036").SetAsString(QString());
    q.Open();
    EXPECT_EQ(q.RecordCount(), 1);
    q.Close();
    q.SetSQL("INSERT INTO DEMO..MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB036,TB026,FLAG) VALUES "
             "(:TB001,'01','1','5201','20260101004','4','01',:TB036,1,0)");
    q.ParamByName("TB001").SetAsString("F01");
    q.ParamByName("TB036").SetAsString(QString());
    EXPECT_EQ(q.ExecSQL(), 1);
}

TEST_P(KvADOEngine, SecondWriterSeesTheChangedFlag) {
    exec(*FConnection, "INSERT INTO DEMO..MPSTD (FLAG, TD001, TD002, TD005) VALUES (998, :TD001, :TD002, 0)",
         {{"TD001", "R1"}, {"TD002", "20260105"}});
    auto other = connect();
    const QString check = "SELECT FLAG FROM DEMO..MPSTD WHERE TD001 =:TD001 AND TD002 =:TD002 ";
    const QString update =
        "UPDATE DEMO..MPSTD SET TD005 =:TD005 ,TD007 =:TD007 , MODIFIER =:MODIFIER,  MODI_DATE "
        "=Convert(Char(17),getDate(),112) , FLAG =(convert(int,FLAG))%999+1 WHERE TD001 =:TD001 "
        "AND TD002 =:TD002 ";
    auto flagOn = [&](TKvADOConnection& c) {
        TKvADOQuery q;
        q.SetConnection(&c);
        q.SetSQL(check);
        q.ParamByName("TD001").SetAsString("R1");
        q.ParamByName("TD002").SetAsString("20260105");
        q.Open();
        return q.FieldByName("FLAG").AsString();
    };
    const QString loadedByFirst = flagOn(*FConnection);
    EXPECT_EQ(loadedByFirst, "998");
    // The other planner saves first, in his own transaction.
    other->StartTransaction();
    exec(*other, update,
         {{"TD005", 1.0}, {"TD007", 2.0}, {"MODIFIER", "B"}, {"TD001", "R1"}, {"TD002", "20260105"}});
    other->Commit();
    EXPECT_EQ(flagOn(*FConnection), "999");
    EXPECT_NE(flagOn(*FConnection), loadedByFirst);
    // The counter wraps from 999 to 1.
    exec(*FConnection, update,
         {{"TD005", 1.0}, {"TD007", 2.0}, {"MODIFIER", "A"}, {"TD001", "R1"}, {"TD002", "20260105"}});
    EXPECT_EQ(flagOn(*other), "1");
}

TEST_P(KvADOEngine, RollbackKeepsNothingAndCommitKeepsAll) {
    FConnection->StartTransaction();
    insertLine("20260101001", "1", "R1");
    FConnection->Rollback();
    EXPECT_TRUE(lines("", "").isEmpty());
    FConnection->StartTransaction();
    insertLine("20260101001", "1", "R1");
    insertLine("20260101002", "1", "R1");
    FConnection->Commit();
    EXPECT_EQ(lines("", "").size(), 2);
    // A failing statement raises; the access layer does not swallow it.
    EXPECT_THROW(insertLine("20260101001", "1", "R1"), EKvError);
}

TEST_P(KvADOEngine, QueryFeedsAProviderAndAClientDataSet) {
    for (int i = 1; i <= 5; ++i)
        insertLine(QString("2026010100%1").arg(i), "1", i % 2 ? "R1" : "R2");
    TKvADOQuery source;
    source.SetConnection(FConnection.get());
    kv::TDataSetProvider provider;
    provider.SetDataSet(&source);
    QString resource = "R1";
    provider.BeforeGetRecords = [&](kv::TDataSetProvider&) {
        source.SetSQL("SELECT TB004, TB026, MPSTB.FLAG AS FLAG, TB026 * 2 AS MyEnd FROM DEMO..MPSTB AS MPSTB "
                      "WHERE :TB036 IN (TB036,'') ORDER BY TB004");
        source.ParamByName("TB036").SetAsString(resource);
    };
    kv::TClientDataSet lines;
    lines.SetProvider(&provider);
    lines.Open();
    EXPECT_EQ(lines.RecordCount(), 3);
    EXPECT_EQ(lines.FieldByName("TB026").DataType(), kv::TFieldType::ftFloat);
    EXPECT_EQ(lines.FieldByName("MyEnd").AsFloat(), 200.0);
    EXPECT_TRUE(lines.Locate("TB004", QVariant("20260101003")));
    resource = "R2";
    lines.Close();
    lines.Open();
    EXPECT_EQ(lines.RecordCount(), 2);
    EXPECT_FALSE(lines.Locate("TB004", QVariant("20260101003")));
}

// A save's rows in batches: texts with quotes, blanks and markers, numbers, the guard's count when one
// row changed in between, and the trailing rows of a count that is no multiple of the batch.
TEST_P(KvADOEngine, BatchesWriteEveryRowAndCountWhatTheGuardsTouched) {
    const int rows = 300;
    auto keyOf = [](int i) { return QString("K'%1-$$").arg(i); };
    TKvADOBatch insert(FConnection.get(),
                       "INSERT INTO DEMO..MPSTD (COMPANY , CREATOR , CREATE_DATE , FLAG ,TD001 ,TD002 ,TD003 "
                       ",TD004 ,TD005 ,TD006 ,TD007 ,TD008 ) VALUES (:COMPANY , :CREATOR , :CREATEDATE , 0 , "
                       ":TD001 , :TD002 ,:TD003 ,:TD004 ,:TD005 ,:TD006 ,:TD007 ,:TD008 ) ");
    insert.SetMaxRows(64);
    FConnection->StartTransaction();
    for (int i = 0; i < rows; ++i) {
        for (const char* name : {"COMPANY", "CREATOR", "CREATEDATE"})
            insert.ParamByName(name).SetAsString("X");
        insert.ParamByName("TD001").SetAsString(keyOf(i));
        insert.ParamByName("TD002").SetAsString("20260105");
        for (const char* name : {"TD003", "TD004", "TD006", "TD007"})
            insert.ParamByName(name).SetAsFloat(0);
        insert.ParamByName("TD005").SetAsFloat(i + 0.25);
        insert.ParamByName("TD008").SetAsString(i % 2 ? QString("备注 %1").arg(i) : QString(":TD008 %"));
        insert.AddRow();
    }
    insert.Flush();
    FConnection->Commit();
    EXPECT_EQ(insert.RowsRun(), rows);
    EXPECT_EQ(insert.RowsAffected(), rows);

    // Another planner changes row 7 after this one read the FLAGs (all 0).
    exec(*connect(), "UPDATE DEMO..MPSTD SET FLAG = 5 WHERE TD001 = :TD001", {{"TD001", keyOf(7)}});
    TKvADOBatch update(
        FConnection.get(),
        "UPDATE DEMO..MPSTD SET TD005 =:TD005 ,TD007 =:TD007 , MODIFIER =:MODIFIER,  MODI_DATE "
        "=Convert(Char(17),getDate(),112) , FLAG =(convert(int,FLAG))%999+1 WHERE TD001 "
        "=:TD001 AND TD002 =:TD002 AND FLAG =:FLAG ");
    update.SetMaxRows(64);
    for (int i = 0; i < rows; ++i) {
        update.ParamByName("TD005").SetAsFloat(-i);
        update.ParamByName("TD007").SetAsFloat(1.5);
        update.ParamByName("MODIFIER").SetAsString("B");
        // Trailing blanks do not matter to a key, as with one row at a time.
        update.ParamByName("TD001").SetAsString(keyOf(i) + "  ");
        update.ParamByName("TD002").SetAsString("20260105");
        update.ParamByName("FLAG").SetAsFloat(0);
        update.AddRow();
    }
    update.Flush();
    EXPECT_EQ(update.RowsRun(), rows);
    EXPECT_EQ(update.RowsAffected(), rows - 1);

    TKvADOBatch remove(FConnection.get(), "DELETE DEMO..MPSTD WHERE TD001 =:TD001 AND TD002 =:TD002");
    remove.SetMaxRows(64);
    for (int i = 0; i < rows; i += 3) {
        remove.ParamByName("TD001").SetAsString(keyOf(i));
        remove.ParamByName("TD002").SetAsString("20260105");
        remove.AddRow();
    }
    remove.Flush();
    EXPECT_EQ(remove.RowsAffected(), rows / 3);

    TKvADOQuery q;
    q.SetConnection(FConnection.get());
    q.SetSQL("SELECT TD001, TD005, TD008, FLAG FROM DEMO..MPSTD");
    q.Open();
    QHash<QString, std::tuple<double, QString, int>> stored;
    for (q.First(); !q.Eof(); q.Next())
        stored.insert(q.FieldByName("TD001").AsString().trimmed(),
                      {q.FieldByName("TD005").AsFloat(), q.FieldByName("TD008").AsString().trimmed(),
                       q.FieldByName("FLAG").AsInteger()});
    EXPECT_EQ(stored.size(), rows - rows / 3);
    for (int i = 0; i < rows; ++i) {
        auto it = stored.constFind(keyOf(i));
        if (i % 3 == 0) {
            EXPECT_EQ(it, stored.cend()) << i;
            continue;
        }
        ASSERT_NE(it, stored.cend()) << i;
        const auto [quantity, remark, flag] = *it;
        EXPECT_EQ(quantity, i == 7 ? 7.25 : -i) << i;
        EXPECT_EQ(flag, i == 7 ? 5 : 1) << i;
        EXPECT_EQ(remark, i % 2 ? QString("备注 %1").arg(i) : QString(":TD008 %")) << i;
    }
    // On PostgreSQL's own driver the rows went in a few statements of several rows each (64, 32, 8 and
    // 4 of them for 300); elsewhere one statement serves every row.
    const int statementsPerKind = GetParam() == Engine::PostgreSQL ? 4 : 1;
    EXPECT_LE(FConnection->cachedStatements(), 3 * statementsPerKind + 1);
    if (GetParam() == Engine::PostgreSQL) {
        EXPECT_GE(FConnection->cachedStatements(), 3 * statementsPerKind);
    }
}

TEST_P(KvADOEngine, KeyTableRowsJoinTheTablesOfTheirTransaction) {
    // Keys with what array texts, literals and fixed-width columns each treat specially.
    const QStringList keys = {"K'1", "K\"2\\", "K,{3}", "备注 4", "K5", "NULL", ""};
    for (const QString& k : keys)
        exec(*FConnection,
             "INSERT INTO DEMO..MPSTD (TD001, TD002, FLAG) VALUES (:TD001, '20260105', 2)", {{"TD001", k}});
    exec(*FConnection, "UPDATE DEMO..MPSTD SET FLAG = 3 WHERE TD001 = 'K5'", {});
    StderrCapture stderrText;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        FConnection->StartTransaction();
        // The table goes with its transaction, committed or rolled back: the next one makes it again.
        TKvADOKeyTable loaded(FConnection.get(), "KVTEST", {{"K1"}, {"K2"}, {"K3", false}}, {"K1", "K2"});
        for (const QString& k : keys)
            // Trailing blanks do not matter to a key, as in a fixed-width column.
            loaded.Text(k + "  ").Text("20260105").Number(2).AddRow();
        loaded.Finish();
        EXPECT_EQ(loaded.RowCount(), keys.size());
        TKvADOQuery update;
        update.SetConnection(FConnection.get());
        update.SetSQL(QString("UPDATE DEMO..MPSTD SET FLAG = FLAG + 10 WHERE EXISTS (SELECT K1 FROM %1 WHERE K1 = "
                              "TD001 AND K2 = TD002 AND K3 = FLAG)")
                          .arg(loaded.Name()));
        // Every row but the one whose FLAG differs.
        EXPECT_EQ(update.ExecSQL(), keys.size() - 1);
        round == 0 ? FConnection->Rollback() : FConnection->Commit();
    }
    // Dropping a table that is not there first is housekeeping, not news for the user's terminal.
    EXPECT_FALSE(stderrText.text().contains("NOTICE"));
    TKvADOQuery q;
    q.SetConnection(FConnection.get());
    q.SetSQL("SELECT TD001, FLAG FROM DEMO..MPSTD");
    q.Open();
    QHash<QString, int> flags;
    for (q.First(); !q.Eof(); q.Next())
        flags.insert(q.FieldByName("TD001").AsString().trimmed(), q.FieldByName("FLAG").AsInteger());
    for (const QString& k : keys)
        EXPECT_EQ(flags.value(k, -1), k == "K5" ? 3 : 12) << k.toStdString();
}

TEST_P(KvADOEngine, KeyTableRowsInsertIntoATableWithTheirValuesAsGiven) {
    FConnection->StartTransaction();
    TKvADOKeyTable rows(FConnection.get(), "KVNEW", {{"K1"}, {"V1", false}, {"V2"}}, {});
    rows.Text("R'1").Number(0.1 + 0.2).Text("备注 ").AddRow();
    rows.Text("R2").Number(-1e20).Text("").AddRow();
    rows.Finish();
    TKvADOQuery insert;
    insert.SetConnection(FConnection.get());
    insert.SetSQL(QString("INSERT INTO DEMO..MPSTF (TF001, TF002, TF003, TF008, TF010) SELECT K1, '20260105', "
                          "'2', V1, V2 FROM %1")
                      .arg(rows.Name()));
    EXPECT_EQ(insert.ExecSQL(), 2);
    // The same remark as a value bound to a statement of its own.
    exec(*FConnection,
         "INSERT INTO DEMO..MPSTF (TF001, TF002, TF003, TF008, TF010) VALUES ('R3', '20260105', '2', 0, :X)",
         {{"X", QString("备注 ")}});
    FConnection->Commit();
    TKvADOQuery q;
    q.SetConnection(FConnection.get());
    q.SetSQL("SELECT TF001, TF008, TF010 FROM DEMO..MPSTF ORDER BY TF001");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.FieldByName("TF001").AsString().trimmed(), "R'1");
    EXPECT_EQ(q.FieldByName("TF008").AsFloat(), 0.1 + 0.2);
    const QString remark = q.FieldByName("TF010").AsString();
    q.Next();
    EXPECT_EQ(q.FieldByName("TF008").AsFloat(), -1e20);
    EXPECT_EQ(q.FieldByName("TF010").AsString(), "");
    q.Next();
    // Trailing blank and all, as the engine keeps a bound text.
    EXPECT_EQ(remark, q.FieldByName("TF010").AsString());
}

TEST_P(KvADOEngine, PostgreSQLSessionsCompressTheirLogOnlyWhereTheRoleMayChoose) {
    if (GetParam() == Engine::SQLite) GTEST_SKIP() << "a setting of PostgreSQL sessions";
    auto compression = [](TKvADOConnection& c) {
        QSqlQuery q(c.database());
        EXPECT_TRUE(q.exec("SHOW wal_compression") && q.next());
        return q.value(0).toString();
    };
    // The tests' server runs as a superuser: its sessions choose.
    EXPECT_NE(compression(*FConnection), "off");

    // A role that may not choose still connects, reads and writes, under the server's setting.
    static int roles = 0;
    const QString role = QString("planner_%1_%2").arg(QCoreApplication::applicationPid()).arg(++roles);
    QSqlQuery admin(FConnection->database());
    for (const QString& sql : {"CREATE ROLE " + role + " LOGIN",
                               "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO " + role})
        ASSERT_TRUE(admin.exec(sql)) << admin.lastError().text().toStdString();
    auto planner = std::make_unique<TKvADOConnection>();
    planner->SetConnectionString(QString(FConnectString).replace("User ID=postgres", "User ID=" + role));
    ASSERT_NO_THROW(planner->Open());
    EXPECT_EQ(compression(*planner), "off");
    exec(*planner, "INSERT INTO DEMO..MPSTD (TD001, TD002, FLAG) VALUES ('R1', '20260105', 0)", {});
    exec(*planner, "UPDATE DEMO..MPSTD SET FLAG = FLAG + 1 WHERE TD001 = 'R1'", {});
    TKvADOQuery q;
    q.SetConnection(planner.get());
    q.SetSQL("SELECT FLAG FROM DEMO..MPSTD WHERE TD001 = 'R1'");
    q.Open();
    EXPECT_EQ(q.FieldByName("FLAG").AsInteger(), 1);
}

TEST_P(KvADOEngine, ARowReaderGivesTheValuesAQueryGives) {
    const QList<QPair<QString, QVariant>> rows[] = {
        {{"TC003", "A'1"}, {"TC006", "20260105"}, {"TC007", 12.5}, {"TC008", "中文备注  "}},
        {{"TC003", "A'1"}, {"TC006", "20260106"}, {"TC007", 0.0}, {"TC008", ""}},
        {{"TC003", "B"}, {"TC006", "2026010"}, {"TC007", 1e15}, {"TC008", " x "}},
    };
    for (const auto& row : rows)
        exec(*FConnection,
             "INSERT INTO DEMO..MPSTC(FLAG ,TC001 ,TC002 ,TC003 ,TC004 ,TC005 ,TC006 ,TC007 ,TC008 , TC009) "
             "VALUES(3 , :TC001 , '1' ,:TC003 , '1' , '01' , :TC006 , :TC007 , :TC008 , '5201') ",
             row + QList<QPair<QString, QVariant>>{{"TC001", "F01"}});
    // Texts with their blanks, numbers, a null, and a number written as a text (texts are read as
    // texts, numbers as numbers).
    const QString sql = "SELECT TC003, TC006, TC007, TC008, FLAG, NULL AS N, '4.5' AS T FROM DEMO..MPSTC "
                        "WHERE TC001 =:TC001 ORDER BY TC003, TC006";
    const kv::ado::TranslatedSql& t = FConnection->translated(sql, "S");
    QSqlQuery q(FConnection->database());
    ASSERT_TRUE(q.prepare(t.text)) << q.lastError().text().toStdString();
    q.bindValue(0, QString("F01"));
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    TKvADORowReader r(*FConnection, t, {QString("F01")});
    int count = 0;
    while (q.next()) {
        ASSERT_TRUE(r.Next()) << "row " << count;
        for (int c = 0; c < 7; ++c) {
            EXPECT_EQ(r.IsNull(c), q.isNull(c)) << "row " << count << " column " << c;
            if (c != 2 && c != 4) {
                EXPECT_EQ(r.Text(c).toString(), q.value(c).toString()) << "row " << count << " column " << c;
            }
            if (c != 0 && c != 1 && c != 3) {
                EXPECT_EQ(r.Number(c), q.value(c).toDouble()) << "row " << count << " column " << c;
            }
        }
        ++count;
    }
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(r.Next());
    // A statement the engine refuses names the database and the statement.
    try {
        TKvADORowReader bad(*FConnection, FConnection->translated("SELECT NOSUCH FROM DEMO..MPSTC", ""), {});
        while (bad.Next()) {
        }
        FAIL() << "a statement naming no column was read";
    } catch (const EKvError& e) {
        EXPECT_TRUE(e.message().contains(FConnection->describe())) << e.what();
        EXPECT_TRUE(e.message().contains("NOSUCH", Qt::CaseInsensitive)) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, KvADOEngine,
                         ::testing::Values(Engine::SQLite, Engine::PostgreSQL, Engine::Odbc), engineName);

TEST(KvADOConnection, PasswordsStayOutOfErrors) {
    // An unreachable SQL Server through FreeTDS, and an SQLite file that cannot be created.
    for (const QString& source : {QString("127.0.0.1,1"), QString("/nonexistent/dir/x.db")}) {
        TKvADOConnection c;
        c.SetConnectionString(
            "Provider=SQLOLEDB.1;Password=Secr3tPw;User ID=sa;Initial Catalog=D;Data Source=" + source +
            ";Connect Timeout=2");
        try {
            c.Open();
            FAIL() << "opened " << source.toStdString();
        } catch (const EKvError& e) {
            EXPECT_FALSE(e.message().contains("Secr3tPw")) << e.what();
        }
    }
}

TEST(KvADOConnection, SaveLoopPreparesOnceAndStaysOnItsThread) {
    QTemporaryDir dir;
    TKvADOConnection c;
    c.SetConnectionString("Password=;User ID=sa;Initial Catalog=D;Data Source=" + dir.filePath("a.db"));
    c.Open();
    kv::schema::applyCompanySchema(c);
    TKvADOQuery q;
    q.SetConnection(&c);
    c.StartTransaction();
    for (int i = 0; i < 200; ++i) {
        // As the save does: the whole text set again for every row.
        q.SetSQL(
            "INSERT INTO D..MPSTD (COMPANY , CREATOR , CREATE_DATE , FLAG ,TD001 ,TD002 ,TD003 ,TD004 ,TD005 "
            ",TD006 ,TD007 ,TD008 ) VALUES (:COMPANY , :CREATOR , :CREATEDATE , 0 , :TD001 , :TD002 ,:TD003 "
            ",:TD004 ,:TD005 ,:TD006 ,:TD007 ,:TD008 ) ");
        for (const char* name : {"COMPANY", "CREATOR", "CREATEDATE", "TD001", "TD008"})
            q.ParamByName(name).SetAsString("X");
        q.ParamByName("TD002").SetAsString(QString::number(20260101 + i));
        for (const char* name : {"TD003", "TD004", "TD005", "TD006", "TD007"})
            q.ParamByName(name).SetAsFloat(i);
        q.ExecSQL();
    }
    c.Commit();
    EXPECT_EQ(c.cachedStatements(), 1);
    q.SetSQL("SELECT COUNT(*) AS N FROM D..MPSTD");
    q.Open();
    EXPECT_EQ(q.FieldByName("N").AsInteger(), 200);
    q.Close();
    bool refused = false;
    std::thread other([&] {
        try {
            q.ExecSQL();
        } catch (const EKvError&) {
            refused = true;
        }
    });
    other.join();
    EXPECT_TRUE(refused);
}

TEST(KvADOConnection, EachConnectionHasItsOwnName) {
    QTemporaryDir dir;
    const QString cs = "Password=;User ID=sa;Initial Catalog=D;Data Source=" + dir.filePath("a.db");
    TKvADOConnection a, b;
    a.SetConnectionString(cs);
    b.SetConnectionString(cs);
    a.Open();
    b.Open();
    EXPECT_NE(a.connectionName(), b.connectionName());
    EXPECT_THROW(a.SetConnectionString(cs), EKvError);
}

TEST(KvADOConnection, ReadersSaySoWhenTheFileBreaksOffHalfWay) {
    QTemporaryDir dir;
    const QString file = dir.filePath("a.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "damaged");
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE T (N INTEGER, S TEXT)"));
        db.transaction();
        ASSERT_TRUE(q.prepare("INSERT INTO T VALUES (?, ?)"));
        for (int i = 0; i < 20000; ++i) {
            q.bindValue(0, i);
            q.bindValue(1, QString(100, QChar('a' + i % 26)));
            ASSERT_TRUE(q.exec());
        }
        db.commit();
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase("damaged");
    // Leaves in the middle of the table overwritten, as a failing disk or a stray program leaves them.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 pages = f.size() / 4096;
    ASSERT_GT(pages, 100);
    f.seek(pages / 2 * 4096);
    f.write(QByteArray(8 * 4096, '\xff'));
    f.close();

    TKvADOConnection c;
    c.SetConnectionString("Password=;User ID=sa;Initial Catalog=D;Data Source=" + file);
    c.Open();
    TKvADORowReader r(c, c.translated("SELECT N, S FROM T", ""), {});
    int rows = 0;
    try {
        while (r.Next())
            ++rows;
        FAIL() << "the rows ended without a word after " << rows << " of 20000";
    } catch (const EKvError& e) {
        EXPECT_GT(rows, 0);
        EXPECT_TRUE(e.message().contains("malformed")) << e.what();
        EXPECT_TRUE(e.message().contains(file)) << e.what();
    }
    // A query of the data-set layer reads through Qt SQL, which ends the rows on a fault as at their end.
    TKvADOQuery q;
    q.SetConnection(&c);
    q.SetSQL("SELECT N, S FROM T");
    try {
        q.Open();
        FAIL() << "the query opened with " << q.RecordCount() << " of 20000 rows";
    } catch (const EKvError& e) {
        EXPECT_TRUE(e.message().contains("malformed")) << e.what();
        EXPECT_TRUE(e.message().contains(file)) << e.what();
    }
}
