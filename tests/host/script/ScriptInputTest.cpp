// Scripted runs with text outside ASCII, nested clients and quantities the daily editor refuses: each
// ends with the workbench's own answer or one line on stderr, never with a crash.
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "workbench/common/ScriptRunSupport.h"

namespace {

using wbtest::ScriptOutput;

QString errors(const ScriptOutput& r) {
    return r.err.join('\n');
}

} // namespace

TEST(ScriptInput, TextOutsideAsciiReachesTheWidgetsAsTyped) {
    wbtest::ScriptInstallation own;
    {
        // Work centres with Chinese codes, one of them beyond the basic plane (a surrogate pair).
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "centres");
        db.setDatabaseName(own.filePath("DEMO.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(
            q.exec(QString("INSERT INTO CMSMD (COMPANY, MD001, MD002, MD003) VALUES "
                           "('DEMO', '中文', '中文车间', 'F01'), ('DEMO', '中\U00020000', '二车间', 'F01')")))
            << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase("centres");

    // An unknown Chinese factory gets the workbench's own message.
    ScriptOutput r = own.run("query 工厂\n");
    EXPECT_EQ(r.exitCode, 1) << errors(r).toStdString();
    EXPECT_EQ(r.out, QStringList{"message\terror\t工厂不存在!\tok"});
    ASSERT_EQ(r.err.size(), 1) << errors(r).toStdString();
    EXPECT_TRUE(r.err[0].endsWith("test.script:1: query: the query dialog refused the factory 工厂"))
        << r.err[0].toStdString();

    // Codes typed into the line grid arrive whole; an export's file name too.
    r = own.run("query F01\nexport 图.png\nedit\ncell 0 TB044 中文\ncell 1 TB044 中\U00020000\n"
                "cell 2 TB044 中文x\ncancel\nclose\n");
    ASSERT_EQ(r.exitCode, 0) << errors(r).toStdString();
    EXPECT_TRUE(r.out.contains("export\t图.png")) << r.out.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(own.filePath("图.png")));
    EXPECT_TRUE(r.out.contains("cell\t0\tTB044\t中文")) << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("cell\t1\tTB044\t中\U00020000")) << r.out.join('\n').toStdString();
    EXPECT_TRUE(r.out.contains("message\terror\t此工作中心不存在!\tok")) << r.out.join('\n').toStdString();
}

// A chain of scripts each starting a client with the next: four nested clients run, a fifth is not
// started and the refusal reaches the first client's stderr.
TEST(ScriptInput, NestedClientsStopAtTheDepthLimit) {
    wbtest::ScriptInstallation own;
    const auto chain = [&own](int nested) {
        for (int i = 1; i <= nested; ++i)
            testsupport::writeFile(own.filePath(QString("chain%1.script").arg(i)),
                                   i < nested ? QString("client PLAN01 chain%1.script\n").arg(i + 1).toUtf8()
                                              : QByteArray("query F01\nclose\n"));
        return own.run("client PLAN01 chain1.script\n");
    };
    ScriptOutput r = chain(4);
    ASSERT_EQ(r.exitCode, 0) << errors(r).toStdString();
    EXPECT_TRUE(r.out.filter(QRegularExpression("^(client\tPLAN01\t){4}query\tF01\t")).size() == 1)
        << r.out.join('\n').toStdString();

    r = chain(5);
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1) << errors(r).toStdString();
    EXPECT_TRUE(
        r.err[0].endsWith("client: clients started by scripts nest at most 4 deep: chain5.script is not "
                          "started"))
        << r.err[0].toStdString();
    EXPECT_TRUE(r.out.filter("query\tF01").isEmpty()) << r.out.join('\n').toStdString();
}

// Keys the quantity column drops leave the old quantity: the step fails instead of confirming it.
TEST(ScriptInput, DailyQuantitiesTheEditorDoesNotTakeFailTheStep) {
    wbtest::ScriptInstallation own;
    ScriptOutput r = own.run("query F01\ndump\nclose\n");
    ASSERT_EQ(r.exitCode, 0) << errors(r).toStdString();
    const QString first = r.out.value(1).split('\t').value(9); // "YYYYMMDD=QTY" of the first line
    ASSERT_TRUE(first.contains('=')) << r.out.value(1).toStdString();
    const QString day = first.section('=', 0, 0);
    for (const QString value : {"abc", "NaN", "inf", "１０"}) {
        r = own.run(QString("query F01\nedit\ndaily 0 %1=%2\nsave\n").arg(day, value));
        EXPECT_EQ(r.exitCode, 1) << value.toStdString();
        ASSERT_EQ(r.err.size(), 1) << value.toStdString() << ": " << errors(r).toStdString();
        EXPECT_TRUE(r.err[0].endsWith(
            QString("daily: row 0: the daily editor did not take the quantity %1 for %2").arg(value, day)))
            << r.err[0].toStdString();
        EXPECT_TRUE(r.out.filter("save\t").isEmpty()) << r.out.join('\n').toStdString();
    }
    // Its own quantity typed again is taken.
    r = own.run(QString("query F01\nedit\ndaily 0 %1\ncancel\nclose\n").arg(first));
    EXPECT_EQ(r.exitCode, 0) << errors(r).toStdString();
}
