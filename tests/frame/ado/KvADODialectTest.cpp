#include <gtest/gtest.h>

#include "frame/KvADO.h"
#include "frame/KvADODialect.h"

using namespace kv::ado;

namespace {

SchemaInfo schema() {
    SchemaInfo s;
    s.textColumns["MPSTB"] = {{"TB051", 4}, {"TB004", 11}, {"TB005", 4}, {"TB036", 10}, {"TB049", 0}};
    return s;
}

std::string sqlite(const QString& sql, const QString& types = {}) {
    const SchemaInfo s = schema();
    return translateSql(sql, SqlDialect::SQLite, types, &s).text.trimmed().toStdString();
}
std::string pgsql(const QString& sql, const QString& types = {}) {
    const SchemaInfo s = schema();
    return translateSql(sql, SqlDialect::PostgreSQL, types, &s).text.trimmed().toStdString();
}

} // namespace

TEST(KvADODialect, ParametersBecomePositionalMarkers) {
    const QString sql = "UPDATE X SET A =:A, B=:B WHERE A = :A AND C = ':NOT' AND D::text = 'x'";
    EXPECT_EQ(parameterNames(sql), QStringList({"A", "B"}));
    const TranslatedSql t = translateSql(sql, SqlDialect::SQLServer, "SS", nullptr);
    EXPECT_EQ(t.markers, QStringList({"A", "B", "A"}));
    EXPECT_EQ(t.text, "UPDATE X SET A =?, B=? WHERE A = ? AND C = ':NOT' AND D::text = 'x'");
}

TEST(KvADODialect, SqlServerKeepsTheModuleText) {
    const QString sql = "DELETE D..MPSTC WHERE TC001 = 'F' AND MODI_DATE =Convert(Char(17),getDate(),112) ";
    EXPECT_EQ(translateSql(sql, SqlDialect::SQLServer, {}, nullptr).text, sql);
}

TEST(KvADODialect, TSqlFormsBecomeTheEnginesOwn) {
    EXPECT_EQ(sqlite("SELECT * FROM DEMO..CMSMA "), "SELECT * FROM CMSMA");
    EXPECT_EQ(sqlite("DELETE DEMO..MPSTC WHERE TC001 = 'F'"), "DELETE FROM MPSTC WHERE TC001 = 'F'");
    EXPECT_EQ(pgsql("delete from X where A = 1"), "delete from X where A = 1");
    EXPECT_EQ(
        sqlite("UPDATE T SET MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(convert(int,FLAG))%999+1"),
        "UPDATE T SET MODI_DATE =strftime('%Y%m%d','now','localtime') , FLAG =(CAST(FLAG AS INTEGER))%999+1");
    EXPECT_EQ(
        pgsql("UPDATE T SET MODI_DATE =Convert(Char(17),getDate(),112) , FLAG =(convert(int,FLAG))%999+1"),
        "UPDATE T SET MODI_DATE =to_char(LOCALTIMESTAMP,'YYYYMMDD') , FLAG =(CAST(FLAG AS INTEGER))%999+1");
    // Numbers still add up.
    EXPECT_EQ(sqlite("UPDATE T SET FLAG =(FLAG + 1)"), "UPDATE T SET FLAG =(FLAG + 1)");
}

TEST(KvADODialect, TextConcatenationPadsFixedWidthColumns) {
    const QString sql = "SELECT TB001 FROM D..MPSTB AS MPSTB WHERE :TB036 in (TB036,'') AND "
                        ":TB004 IN (TB051+TB004+TB005,'')";
    EXPECT_EQ(sqlite(sql, "SS"),
              "SELECT TB001 FROM MPSTB AS MPSTB WHERE ? COLLATE RTRIM in (TB036,'') AND ? COLLATE RTRIM IN "
              "(substr(TB051 || '    ', 1, 4)||substr(TB004 || '           ', 1, 11)||substr(TB005 || '    "
              "', 1, 4),'')");
    EXPECT_EQ(
        pgsql(sql, "SS"),
        "SELECT TB001 FROM MPSTB AS MPSTB WHERE CAST(? AS BPCHAR) in (TB036,'') AND CAST(? AS BPCHAR) IN "
        "(CAST((RPAD(TB051, 4)||RPAD(TB004, 11)||RPAD(TB005, 4)) AS BPCHAR),'')");
    // A qualified column and a literal; a text column of no fixed width is not padded.
    EXPECT_EQ(sqlite("SELECT M.TB049 + 'x' FROM MPSTB M"), "SELECT M.TB049 || 'x' FROM MPSTB M");
}

TEST(KvADODialect, PostgreSqlTakesSeveralRowsInOneStatement) {
    const SchemaInfo s = schema();
    const TranslatedSql update = translateSql(
        "UPDATE D..MPSTD SET TD005 =:TD005, FLAG =(FLAG + 1) WHERE TD001 =:TD001 AND FLAG =:FLAG ",
        SqlDialect::PostgreSQL, "FSF", &s, 2);
    EXPECT_EQ(update.text.trimmed(),
              "UPDATE MPSTD SET TD005 =kv_b.p1, FLAG =(FLAG + 1) FROM (VALUES (CAST(? AS DOUBLE PRECISION), "
              "CAST(? AS BPCHAR), CAST(? AS DOUBLE PRECISION)), (CAST(? AS DOUBLE PRECISION), CAST(? AS "
              "BPCHAR), CAST(? AS DOUBLE PRECISION))) AS kv_b(p1, p2, p3) WHERE TD001 =kv_b.p2 AND FLAG "
              "=kv_b.p3");
    EXPECT_EQ(update.markers, QStringList({"TD005", "TD001", "FLAG"}));
    EXPECT_EQ(update.rows, 2);
    EXPECT_EQ(translateSql("DELETE D..MPSTD WHERE TD001 =:TD001", SqlDialect::PostgreSQL, "S", &s, 2)
                  .text.trimmed(),
              "DELETE FROM MPSTD USING (VALUES (CAST(? AS BPCHAR)), (CAST(? AS BPCHAR))) AS kv_b(p1) WHERE "
              "TD001 =kv_b.p1");
    const TranslatedSql insert =
        translateSql("INSERT INTO D..MPSTD (TD001, FLAG, TD005) VALUES (:TD001, 0, :TD005)",
                     SqlDialect::PostgreSQL, "SF", &s, 3);
    EXPECT_EQ(insert.text,
              "INSERT INTO MPSTD (TD001, FLAG, TD005) VALUES (CAST(? AS BPCHAR), 0, ?), (CAST(? AS BPCHAR), "
              "0, ?), (CAST(? AS BPCHAR), 0, ?)");
    EXPECT_EQ(insert.markers, QStringList({"TD001", "TD005"}));
    // Elsewhere, for a statement without WHERE, or with an unset value, there is no such statement.
    EXPECT_TRUE(
        translateSql("DELETE D..MPSTD WHERE TD001 =:TD001", SqlDialect::SQLite, "S", &s, 2).text.isEmpty());
    EXPECT_TRUE(
        translateSql("UPDATE D..MPSTD SET TD005 =:TD005", SqlDialect::PostgreSQL, "F", &s, 2).text.isEmpty());
    EXPECT_TRUE(translateSql("DELETE D..MPSTD WHERE TD001 =:TD001", SqlDialect::PostgreSQL, "N", &s, 2)
                    .text.isEmpty());
}

TEST(KvADOConnectString, ParsesQuotedValues) {
    const auto keys = parseConnectionString("Provider=SQLOLEDB.1;Password=\"a;b\"\"c\";User ID=sa;Data "
                                            "Source=h;Extended Properties=\"Command Timeout=30\"");
    EXPECT_EQ(keys.value("PASSWORD"), "a;b\"c");
    EXPECT_EQ(keys.value("USER ID"), "sa");
    EXPECT_EQ(keys.value("EXTENDED PROPERTIES"), "Command Timeout=30");
}

TEST(KvADOConnectString, DataSourceChoosesTheEngine) {
    const QString format = "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;Initial "
                           "Catalog=DEMO;Data Source=%1;Auto Translate=False;Connect Timeout=15;Extended "
                           "Properties=\"Command Timeout=3000\"";
    auto s = resolveConnectionString(format.arg("/srv/demo/DEMO.db"));
    EXPECT_EQ(s.driver, "QSQLITE");
    EXPECT_EQ(s.databaseName, "/srv/demo/DEMO.db");
    s = resolveConnectionString(format.arg("sqlite:/srv/demo/company"));
    EXPECT_EQ(s.databaseName, "/srv/demo/company");
    s = resolveConnectionString(format.arg("pgsql:db.example:5433"));
    EXPECT_EQ(s.driver, "QPSQL");
    EXPECT_EQ(s.hostName, "db.example");
    EXPECT_EQ(s.port, 5433);
    EXPECT_EQ(s.databaseName, "DEMO");
    EXPECT_EQ(s.commandTimeout, 3000);
    s = resolveConnectionString(format.arg("erpserver,1433"));
    EXPECT_EQ(s.driver, "QODBC");
    EXPECT_EQ(s.dialect, SqlDialect::SQLServer);
    EXPECT_EQ(
        s.databaseName,
        "DRIVER={FreeTDS};SERVER=erpserver;PORT=1433;TDS_Version=7.4;ClientCharset=UTF-8;DATABASE=DEMO");
    EXPECT_FALSE(s.databaseName.contains("pw"));
    s = resolveConnectionString(format.arg("odbc:CompanyDSN"));
    EXPECT_EQ(s.databaseName, "DSN=CompanyDSN;DATABASE=DEMO");
    try {
        resolveConnectionString("Password=Secr3t;User ID=sa;Data Source=");
        FAIL() << "an empty data source is refused";
    } catch (const EKvError& e) {
        EXPECT_FALSE(e.message().contains("Secr3t"));
    }
}
