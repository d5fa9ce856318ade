// tarnix-demo DIR [--lines N] [--seed N] [--start YYYYMMDD] [--ui-code-page 936|950|437] [--schema-only]
// tarnix-demo --connect "OLE DB connection string" [--lines N] [--seed N] [--start YYYYMMDD] [--schema-only]
//
// Writes a demo installation (registry file, launcher settings, message table, language files, SQLite
// company database) into DIR; --ui-code-page 437 makes it an English workstation (default 936, Chinese),
// or creates the company tables (and rows) in the database a connection string names.
#include <QCoreApplication>
#include <QDate>
#include <QStringList>
#include <cstdio>

#include "frame/KvADO.h"
#include "host/demo/DemoCompany.h"
#include "host/schema/CompanySchema.h"
#include "platform/KvError.h"

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: tarnix-demo DIR [--lines N] [--seed N] [--start YYYYMMDD] [--ui-code-page 936|950|437] "
        "[--schema-only]\n"
        "       tarnix-demo --connect CONNECTION-STRING [--lines N] [--seed N] [--start YYYYMMDD] "
        "[--schema-only]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    kv::demo::DemoOptions options;
    QString dir, connect;
    bool schemaOnly = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        bool ok = true;
        if (a == "--lines")
            options.lines = value().toInt(&ok);
        else if (a == "--seed")
            options.seed = value().toUInt(&ok);
        else if (a == "--start") {
            options.start = QDate::fromString(value(), "yyyyMMdd");
            ok = options.start.isValid();
        } else if (a == "--ui-code-page") {
            options.uiCodePage = value().toInt(&ok);
            ok = ok && (options.uiCodePage == 936 || options.uiCodePage == 950 || options.uiCodePage == 437);
        } else if (a == "--schema-only")
            schemaOnly = true;
        else if (a == "--connect")
            connect = value();
        else if (a.startsWith("--") || !dir.isEmpty())
            return usage();
        else
            dir = a;
        if (!ok || options.lines < 1) return usage();
    }
    if (dir.isEmpty() == connect.isEmpty()) return usage();
    try {
        kv::demo::DemoSummary s;
        if (!connect.isEmpty()) {
            TKvADOConnection connection;
            connection.SetConnectionString(connect);
            connection.Open();
            kv::schema::applyCompanySchema(connection);
            if (!schemaOnly) s = kv::demo::generateCompany(connection, options);
        } else {
            s = kv::demo::writeDemoInstallation(dir, options, schemaOnly);
        }
        std::printf("{\"factories\": %d, \"items\": %d, \"resources\": %d, \"lines\": %d, \"day_rows\": %d, "
                    "\"load_rows\": %d}\n",
                    s.factories, s.items, s.resources, s.lines, s.dayRows, s.loadRows);
    } catch (const EKvError& e) {
        std::fprintf(stderr, "tarnix-demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
