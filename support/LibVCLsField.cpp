#include "support/LibVCLsField.h"

#include "platform/CodePage.h"
#include "platform/data/Field.h"

namespace {

class ReadOnlyLift {
public:
    explicit ReadOnlyLift(kv::TField& field) : FField(field), FWasReadOnly(field.ReadOnly()) {
        field.SetReadOnly(false);
    }
    ~ReadOnlyLift() { FField.SetReadOnly(FWasReadOnly); }
    ReadOnlyLift(const ReadOnlyLift&) = delete;
    ReadOnlyLift& operator=(const ReadOnlyLift&) = delete;

private:
    kv::TField& FField;
    bool FWasReadOnly;
};

} // namespace

bool SetFieldValue(kv::TField* field, const QString& text, bool useEditText) {
    if (!field) return false;
    ReadOnlyLift lift(*field);
    if (useEditText && field->isNumeric()) {
        field->SetEditText(text);
        return true;
    }
    QString value = text;
    if (field->DataType() != kv::TFieldType::ftMemo && field->Size() > 0 &&
        kv::codepage::byteLength(value) > field->Size())
        value = kv::codepage::leftBytes(value, field->Size());
    field->SetAsString(value);
    return true;
}
