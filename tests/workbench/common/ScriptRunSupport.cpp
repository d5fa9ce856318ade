#include "workbench/common/ScriptRunSupport.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "host/demo/DemoCompany.h"

namespace wbtest {

namespace {
kv::demo::DemoOptions smallCompany() {
    kv::demo::DemoOptions options;
    options.lines = 12;
    options.start = QDate(2026, 3, 2);
    return options;
}
} // namespace

ScriptInstallation::ScriptInstallation() : ScriptInstallation(smallCompany()) {}

ScriptInstallation::ScriptInstallation(const kv::demo::DemoOptions& options)
    : FDir(std::make_unique<QTemporaryDir>()) {
    kv::demo::writeDemoInstallation(FDir->path(), options);
}

ScriptInstallation::~ScriptInstallation() = default;

QString ScriptInstallation::path() const {
    return FDir->path();
}

QString ScriptInstallation::filePath(const QString& name) const {
    return FDir->filePath(name);
}

QList<QVariantList> ScriptInstallation::query(const QString& sql) const {
    QList<QVariantList> rows;
    const QString connection = QStringLiteral("script-installation");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(filePath(QStringLiteral("DEMO.db")));
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

ScriptOutput ScriptInstallation::run(const QString& script, const QString& fileName,
                                     const QStringList& moreArgs) const {
    const QString file = filePath(fileName);
    testsupport::writeFile(file, script.toUtf8());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The installation's own registry file, not one a developer's shell points at.
    env.remove("TARNIX_REGISTRY");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(path());
    p.start(testsupport::binDir() + "/tarnix-client",
            QStringList{"--install", path(), "--script", file} + moreArgs);
    ScriptOutput r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString& l : QString::fromLocal8Bit(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts))
        if (!l.startsWith("QStandardPaths")) r.err << l;
    return r;
}

} // namespace wbtest
