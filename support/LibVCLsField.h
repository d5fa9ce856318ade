#pragma once
// Assigning a text to a data-set field the way the forms do: past the field's read-only flag, and
// never storing half a double-byte character.
#include <QString>

namespace kv {
class TField;
}

// Assigns text to the field's current record (the data set must be editing); read-only is lifted
// for the assignment and restored whatever happens. With useEditText a number field takes the text
// through its edit-text path. A text longer than the field's size (bytes of the system code page) is
// cut at the last whole character that fits. False only when there is no field; a value the field
// refuses raises as the assignment does.
bool SetFieldValue(kv::TField* field, const QString& text, bool useEditText);
