#pragma once
// A field of a client data set: its definition (name, type, size, label, width, formats, flags),
// its handlers, and typed access to the value of the data set's current record.
#include <QString>
#include <QVariant>
#include <functional>

#include "platform/DateTime.h"

namespace kv {

class TClientDataSet;
class TField;

enum class TFieldType { ftString, ftInteger, ftFloat, ftDateTime, ftMemo };

using TFieldNotifyEvent = std::function<void(TField& sender)>;
// displayText is true for a grid cell or label, false for the text an editor starts from.
using TFieldGetTextEvent = std::function<void(TField& sender, QString& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField& sender, const QString& text)>;

class TField {
public:
    TField(TClientDataSet* dataSet, int column, QString fieldName, TFieldType dataType, int size);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TClientDataSet* DataSet() const { return FDataSet; }
    const QString& FieldName() const { return FFieldName; }
    TFieldType DataType() const { return FDataType; }
    bool isText() const { return FDataType == TFieldType::ftString || FDataType == TFieldType::ftMemo; }
    bool isNumeric() const { return FDataType == TFieldType::ftInteger || FDataType == TFieldType::ftFloat; }
    // Size in bytes of the system code page for text fields; 0 = unlimited.
    int Size() const { return FSize; }
    void SetSize(int size) { FSize = size; }
    // Position among the data set's fields; moving a field reorders the others.
    int Index() const;
    void SetIndex(int index);

    QString DisplayLabel() const { return FDisplayLabel.isEmpty() ? FFieldName : FDisplayLabel; }
    void SetDisplayLabel(const QString& label);
    // Width in characters for grids.
    int DisplayWidth() const;
    // Whether a width was given (a layout, the planner), rather than the type's default.
    bool HasDisplayWidth() const { return FDisplayWidth >= 0; }
    void SetDisplayWidth(int width);
    QString DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& format);
    QString EditFormat() const { return FEditFormat; }
    void SetEditFormat(const QString& format) { FEditFormat = format; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);

    // Value of the current record (the edit buffer while the data set edits or inserts).
    bool IsNull() const;
    QVariant Value() const;
    QString AsString() const;
    double AsFloat() const;
    int AsInteger() const;
    TDateTime AsDateTime() const;

    // Assignments validate (OnValidate may refuse by raising; the old value stays) and then raise
    // OnChange. They need the data set in edit or insert state and a writable field.
    void SetValue(const QVariant& value);
    void SetAsString(const QString& value);
    void SetAsFloat(double value);
    void SetAsInteger(int value);
    void SetAsDateTime(TDateTime value);
    void Clear();

    // Text for display and for editing: OnGetText when assigned, otherwise the value in
    // DisplayFormat (display) or EditFormat (editing).
    QString DisplayText() const;
    QString Text() const;
    // Text typed by the user: OnSetText when assigned, otherwise converted by the field type.
    void SetText(const QString& text);
    // The edit-text path for numbers: the text is read through EditFormat's number rules.
    void SetEditText(const QString& text) { SetText(text); }

    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;
    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

private:
    friend class TClientDataSet;
    friend class TDataSetProvider;
    QString defaultText(bool display) const;

    TClientDataSet* FDataSet;
    int FColumn; // storage column, fixed for the field's life
    QString FFieldName;
    TFieldType FDataType;
    int FSize;
    QString FDisplayLabel;
    int FDisplayWidth = -1;
    QString FDisplayFormat;
    QString FEditFormat;
    bool FReadOnly = false;
    bool FVisible = true;
    bool FDynamic = false; // created by a provider from its source columns
};

// FormatFloat with the number pictures the module uses ("#,##0.#######", "0.00", "#0"):
// '0' a required digit, '#' an optional one, ',' in the integer part groups thousands by three.
QString formatFloat(const QString& format, double value);
// The shortest text that reads back as the same double (15 significant digits, no exponent for
// ordinary magnitudes), as the platform's FloatToStr.
QString floatToStr(double value);
// Reads a number as the platform's StrToFloat: blanks around it allowed, '.' as decimal point.
bool tryStrToFloat(const QString& text, double& value);

} // namespace kv
