#pragma once
// Timing of saves of a large factory: after changing 100 lines, after changing none, and the reload
// after a save; on the SQLite company of the benchmark and, when given one, on a PostgreSQL server.
#include <QString>
#include <QStringList>

class TfrmKrta07SM;

// JSON members (each preceded by ", "): "save_100_s", "save_none_s", "reload_s", "first_save_s",
// "resource_query_s" (a query of the first line's main resource after the saves), and the same with
// "_pg" when the arguments hold "--pg CONNECT-STRING" naming an empty PostgreSQL database, which is
// then filled with the same demo company. wb is the benchmark's workbench with its factory loaded.
// failure tells what went wrong: a save that failed, or changed days the database does not hold after
// it; empty when nothing did.
QString BenchSave(TfrmKrta07SM* wb, const QStringList& arguments, int lines, QString& failure);
