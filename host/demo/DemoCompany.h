#pragma once
// A demo company: factories, items, work centres, document types, suppliers, resources and their
// rates, schedule lines in bill-of-materials trees with daily quantities, and resource load, sized by
// a line count and reproducible from a seed. Also writes a complete demo installation.
#include <QDate>
#include <QString>

class TKvADOConnection;

namespace kv::demo {

struct DemoOptions {
    int lines = 40; // schedule lines of the main factory F01
    quint32 seed = 1;
    QDate start; // first scheduling day; invalid = today
    QString company = "DEMO";
    QString user = "DS";
    int uiCodePage = 936; // interface code page of the workstation: 936, 950 or 437 (English)
};

struct DemoSummary {
    int factories = 0;
    int items = 0;
    int resources = 0;
    int lines = 0;    // all factories
    int dayRows = 0;  // MPSTC
    int loadRows = 0; // MPSTD
};

// Fills the company tables of an open connection whose schema is applied; one transaction.
DemoSummary generateCompany(TKvADOConnection& connection, const DemoOptions& options);

// The launcher's OLE DB connection string for an SQLite company file.
QString sqliteConnectString(const QString& databaseFile, const QString& databaseName = "DEMO");

// Copies the language files the program carries into dir/MultiLanguage/<language>/; the number copied.
int installLanguageFiles(const QString& dir);

// Writes dir/registry.ini, dir/StewardC.ini, dir/StewardS.ini, the message table, the language files and
// the company database dir/<company>.db (replacing an existing one). With schemaOnly the database gets
// tables but no rows.
DemoSummary writeDemoInstallation(const QString& dir, const DemoOptions& options, bool schemaOnly = false);

} // namespace kv::demo
