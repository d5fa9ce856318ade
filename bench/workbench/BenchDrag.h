#pragma once
// Drag of a parent bar whose family has 30 lines, with lower- and upper-level linkage on.
#include <QString>

class TfrmKrta07SM;

// Adds a 30-line family to the loaded factory, reloads it, and times drags of the family's top bar
// through the chart's change report, the linkage, the line's consumption and the chart refresh.
// Returns the JSON members to append: , "drag_family_ms": median, "drag_family_lines": n.
QString BenchDrag(TfrmKrta07SM* wb, const QString& factory);
