#pragma once
// Checks of the benchmark's results at full size, against the database read on a connection of the
// benchmark's own: a load lists every line and day, and a save leaves the rows the workbench's rules
// give. Each returns what is wrong, empty when nothing is.
#include <QString>
#include <QStringList>

class TfrmKrta07SM;
class TKvADOConnection;

// Every line of the factory has its row, and every day row of it its quantity and remark on the row's
// bar; a bar shows no quantity the database does not hold.
QString CheckLoadedFactory(TfrmKrta07SM* wb, TKvADOConnection& db, const QString& factory);

// After a save of the factory: each line's days add up to its quantity and lie inside its dates; the
// plan rows of kind "2" are exactly those of the day quantities, item resources and main resources;
// the planned load of each resource day from the factory's first day on is their sum.
QString CheckSavedFactory(TKvADOConnection& db, const QString& factory);

// Resident memory of the process now, in MiB.
double ResidentMb();
