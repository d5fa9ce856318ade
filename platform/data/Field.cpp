#include "platform/data/Field.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

#include "platform/CodePage.h"
#include "platform/KvError.h"
#include "platform/data/ClientDataSet.h"

namespace kv {

TField::TField(TClientDataSet* dataSet, int column, QString fieldName, TFieldType dataType, int size)
    : FDataSet(dataSet), FColumn(column), FFieldName(std::move(fieldName)), FDataType(dataType), FSize(size) {
}

int TField::Index() const {
    for (int i = 0; i < FDataSet->FieldCount(); ++i)
        if (&FDataSet->Fields(i) == this) return i;
    return -1;
}

void TField::SetIndex(int index) {
    auto& fields = FDataSet->FFields;
    const int from = Index();
    index = std::clamp(index, 0, static_cast<int>(fields.size()) - 1);
    if (from < 0 || from == index) return;
    auto self = std::move(fields[static_cast<size_t>(from)]);
    fields.erase(fields.begin() + from);
    fields.insert(fields.begin() + index, std::move(self));
    FDataSet->notifyDataSetChanged();
}

void TField::SetDisplayLabel(const QString& label) {
    FDisplayLabel = label;
    FDataSet->notifyDataSetChanged();
}

int TField::DisplayWidth() const {
    if (FDisplayWidth >= 0) return FDisplayWidth;
    switch (FDataType) {
    case TFieldType::ftString:
        return FSize > 0 ? std::max(FSize, static_cast<int>(DisplayLabel().size())) : 20;
    case TFieldType::ftMemo:
        return 10;
    case TFieldType::ftDateTime:
        return 18;
    default:
        return 10;
    }
}

void TField::SetDisplayWidth(int width) {
    FDisplayWidth = width;
    FDataSet->notifyDataSetChanged();
}

void TField::SetDisplayFormat(const QString& format) {
    FDisplayFormat = format;
    FDataSet->notifyDataSetChanged();
}

void TField::SetReadOnly(bool value) {
    FReadOnly = value;
}

void TField::SetVisible(bool value) {
    if (FVisible == value) return;
    FVisible = value;
    FDataSet->notifyDataSetChanged();
}

bool TField::IsNull() const {
    return FDataSet->currentCell(FColumn).null;
}

QVariant TField::Value() const {
    return FDataSet->variantFromCell(*this, FDataSet->currentCell(FColumn));
}

QString TField::AsString() const {
    const auto cell = FDataSet->currentCell(FColumn);
    if (cell.null) return {};
    switch (FDataType) {
    case TFieldType::ftString:
    case TFieldType::ftMemo:
        return FDataSet->FTexts[static_cast<size_t>(cell.text)];
    case TFieldType::ftInteger:
        return QString::number(static_cast<qint64>(cell.num));
    case TFieldType::ftFloat:
        return floatToStr(cell.num);
    case TFieldType::ftDateTime:
        return timePart(cell.num) == 0 ? formatDateTime("yyyy/mm/dd", cell.num)
                                       : formatDateTime("yyyy/mm/dd hh:nn:ss", cell.num);
    }
    return {};
}

double TField::AsFloat() const {
    const auto cell = FDataSet->currentCell(FColumn);
    if (cell.null) return 0;
    if (isText()) {
        double v = 0;
        const QString& text = FDataSet->FTexts[static_cast<size_t>(cell.text)];
        if (!tryStrToFloat(text, v))
            throw EKvError(QString("'%1' is not a valid floating point value").arg(text));
        return v;
    }
    return cell.num;
}

int TField::AsInteger() const {
    const double v = AsFloat();
    if (isText() && v != std::floor(v))
        throw EKvError(QString("'%1' is not a valid integer value").arg(AsString()));
    return static_cast<int>(std::llround(v));
}

TDateTime TField::AsDateTime() const {
    const auto cell = FDataSet->currentCell(FColumn);
    if (cell.null) return 0;
    if (isText()) {
        const QVariant v = FDataSet->variantFromCell(*this, cell);
        const auto dt = FDataSet->cellFromVariant(*this, v);
        return dt.num;
    }
    return cell.num;
}

void TField::SetValue(const QVariant& value) {
    FDataSet->setFieldCell(*this, FDataSet->cellFromVariant(*this, value));
}

void TField::SetAsString(const QString& value) {
    if (isText()) {
        QString text = value;
        if (FDataType == TFieldType::ftString && FSize > 0 && text.size() * 4 > FSize &&
            codepage::byteLength(text) > FSize)
            text = codepage::leftBytes(text, FSize);
        TClientDataSet::Cell cell;
        cell.null = false;
        cell.text = FDataSet->internText(text);
        FDataSet->setFieldCell(*this, cell);
        return;
    }
    if (value.trimmed().isEmpty()) {
        Clear();
        return;
    }
    SetValue(value);
}

void TField::SetAsFloat(double value) {
    SetValue(value);
}
void TField::SetAsInteger(int value) {
    SetValue(value);
}

void TField::SetAsDateTime(TDateTime value) {
    if (isText()) {
        SetAsString(formatDateTime("yyyy/mm/dd", value));
        return;
    }
    TClientDataSet::Cell cell;
    cell.null = false;
    cell.num = value;
    FDataSet->setFieldCell(*this, cell);
}

void TField::Clear() {
    FDataSet->setFieldCell(*this, TClientDataSet::Cell{});
}

QString TField::defaultText(bool display) const {
    const auto cell = FDataSet->currentCell(FColumn);
    if (cell.null) return {};
    switch (FDataType) {
    case TFieldType::ftInteger:
    case TFieldType::ftFloat: {
        const QString& format = display ? FDisplayFormat : FEditFormat;
        if (!format.isEmpty()) return formatFloat(format, cell.num);
        return FDataType == TFieldType::ftInteger ? QString::number(static_cast<qint64>(cell.num))
                                                  : floatToStr(cell.num);
    }
    case TFieldType::ftDateTime:
        if (display && !FDisplayFormat.isEmpty()) return formatDateTime(FDisplayFormat, cell.num);
        return AsString();
    default:
        return AsString();
    }
}

QString TField::DisplayText() const {
    QString text = defaultText(true);
    if (OnGetText) OnGetText(const_cast<TField&>(*this), text, true);
    return text;
}

QString TField::Text() const {
    QString text = defaultText(false);
    if (OnGetText) OnGetText(const_cast<TField&>(*this), text, false);
    return text;
}

void TField::SetText(const QString& text) {
    if (OnSetText) {
        OnSetText(*this, text);
        return;
    }
    SetAsString(text);
}

// ---------------------------------------------------------------------------------------------

QString floatToStr(double value) {
    if (value == 0) return "0";
    QString s = QString::number(value, 'g', 15);
    // Ordinary magnitudes read better without an exponent, as the platform prints them.
    if (s.contains('e') && std::fabs(value) < 1e15 && std::fabs(value) >= 1e-5) {
        s = QString::number(value, 'f', 15);
        while (s.endsWith('0'))
            s.chop(1);
        if (s.endsWith('.')) s.chop(1);
    }
    return s;
}

bool tryStrToFloat(const QString& text, double& value) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    bool ok = false;
    static const QLocale c = QLocale::c(); // made once: sums read millions of quantities
    const double v = c.toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

QString formatFloat(const QString& format, double value) {
    // Sections: positive;negative;zero. Only the first two matter for the module's pictures.
    const QStringList sections = format.split(';');
    QString picture = sections.value(0);
    bool negativeSection = false;
    if (value < 0 && sections.size() > 1 && !sections[1].isEmpty()) {
        picture = sections[1];
        negativeSection = true;
    }
    // Literal text before the first and after the last digit placeholder stays as it is.
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < picture.size(); ++i) {
        const QChar c = picture[i];
        if (c == '0' || c == '#' || c == '.' || c == ',') {
            if (first < 0) first = i;
            last = i;
        }
    }
    if (first < 0) return picture;
    const QString prefix = picture.left(first);
    const QString suffix = picture.mid(last + 1);
    const QString digits = picture.mid(first, last - first + 1);
    const qsizetype dot = digits.indexOf('.');
    const QString intPart = dot < 0 ? digits : digits.left(dot);
    const QString fracPart = dot < 0 ? QString() : digits.mid(dot + 1);
    const bool grouping = intPart.contains(',');
    const int minInt = static_cast<int>(intPart.count('0'));
    const int minFrac = static_cast<int>(fracPart.count('0'));
    const int maxFrac = static_cast<int>(fracPart.count('0') + fracPart.count('#'));

    QString number = QString::number(std::fabs(value), 'f', maxFrac);
    QString intDigits = number, fracDigits;
    if (const qsizetype p = number.indexOf('.'); p >= 0) {
        intDigits = number.left(p);
        fracDigits = number.mid(p + 1);
    }
    while (fracDigits.size() > minFrac && fracDigits.endsWith('0'))
        fracDigits.chop(1);
    if (intDigits == "0" && minInt == 0) intDigits.clear();
    while (intDigits.size() < minInt)
        intDigits.prepend('0');
    if (grouping && intDigits.size() > 3) {
        QString grouped;
        const qsizetype n = intDigits.size();
        for (qsizetype i = 0; i < n; ++i) {
            grouped += intDigits[i];
            if ((n - 1 - i) % 3 == 0 && i != n - 1) grouped += ',';
        }
        intDigits = grouped;
    }
    QString result = intDigits;
    if (!fracDigits.isEmpty()) result += '.' + fracDigits;
    if (result.isEmpty()) result = "0";
    const bool isZero =
        std::none_of(result.begin(), result.end(), [](QChar c) { return c >= '1' && c <= '9'; });
    if (value < 0 && !negativeSection && !isZero) result.prepend('-');
    return prefix + result + suffix;
}

} // namespace kv
