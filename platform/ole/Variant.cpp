#include "platform/ole/Variant.h"

#include <QDateTime>
#include <cmath>
#include <limits>

#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/Numbers.h"
#include "platform/ole/Dispatch.h"

namespace kv {

namespace {

// Numbers as the original's float-to-text gives them: 15 significant digits, no trailing zeros,
// exponent form "1E20" only for very large or very small magnitudes.
QString floatToText(double v) {
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v > 0 ? "INF" : "-INF";
    if (v == 0)
        return "0";
    const double mag = std::fabs(v);
    if (mag >= 1e15 || mag < 1e-5) {
        QString s = QString::number(v, 'E', 14);  // d.ddddddddddddddE+xx
        const qsizetype e = s.indexOf('E');
        QString mant = s.left(e);
        int exp = s.mid(e + 1).toInt();
        if (mant.contains('.')) {
            while (mant.endsWith('0'))
                mant.chop(1);
            if (mant.endsWith('.'))
                mant.chop(1);
        }
        return mant + "E" + QString::number(exp);
    }
    QString s = QString::number(v, 'g', 15);
    if (s.contains('e')) {  // 'g' may still choose exponent form near the limits
        s = QString::number(v, 'f', 15);
    }
    if (s.contains('.')) {
        while (s.endsWith('0'))
            s.chop(1);
        if (s.endsWith('.'))
            s.chop(1);
    }
    return s;
}

QString dateToText(double d) {
    const double t = timePart(d);
    if (t == 0)
        return formatDateTime("yyyy/mm/dd", d);
    if (std::trunc(d) == 0)
        return formatDateTime("hh:nn:ss", d);
    return formatDateTime("yyyy/mm/dd hh:nn:ss", d);
}

bool parseNumber(const QString& text, double& out) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    out = t.toDouble(&ok);
    if (!ok && t.startsWith('$')) {
        out = static_cast<double>(t.mid(1).toLongLong(&ok, 16));
    }
    return ok && std::isfinite(out);
}

}  // namespace

Variant::Variant(bool value) : FType(VarType::Boolean) { FBool = value ? VARIANT_TRUE : VARIANT_FALSE; }
Variant::Variant(int value) : FType(VarType::Integer) { FInt = value; }
Variant::Variant(double value) : FType(VarType::Double) { FDouble = value; }
Variant::Variant(const QString& value) : FType(VarType::WideString), FText(value) {}
Variant::Variant(const char* utf8) : FType(VarType::WideString), FText(QString::fromUtf8(utf8)) {}
Variant::Variant(DispatchPtr value) : FType(VarType::Dispatch), FDispatch(std::move(value)) {}

Variant Variant::null() {
    Variant v;
    v.FType = VarType::Null;
    return v;
}

Variant Variant::fromDate(double dateTime) {
    Variant v;
    v.FType = VarType::Date;
    v.FDouble = dateTime;
    return v;
}

Variant Variant::fromBytes(const QByteArray& bytes, int codePage) {
    Variant v;
    v.FType = VarType::ByteString;
    v.FBytes = bytes;
    v.FCodePage = codePage;
    return v;
}

Variant Variant::array(int low, int high) {
    Variant v;
    v.FType = VarType::Array;
    v.FArray = std::make_shared<ArrayData>();
    v.FArray->dims = 1;
    v.FArray->low[0] = low;
    v.FArray->high[0] = high;
    v.FArray->items.resize(static_cast<size_t>(std::max(0, high - low + 1)));
    return v;
}

Variant Variant::array2(int low1, int high1, int low2, int high2) {
    Variant v;
    v.FType = VarType::Array;
    v.FArray = std::make_shared<ArrayData>();
    v.FArray->dims = 2;
    v.FArray->low[0] = low1;
    v.FArray->high[0] = high1;
    v.FArray->low[1] = low2;
    v.FArray->high[1] = high2;
    const int n1 = std::max(0, high1 - low1 + 1);
    const int n2 = std::max(0, high2 - low2 + 1);
    v.FArray->items.resize(static_cast<size_t>(n1) * static_cast<size_t>(n2));
    return v;
}

Variant Variant::arrayOf(std::initializer_list<Variant> values) {
    return arrayOf(std::vector<Variant>(values));
}

Variant Variant::arrayOf(const std::vector<Variant>& values) {
    Variant v = array(0, static_cast<int>(values.size()) - 1);
    v.FArray->items = values;
    return v;
}

const char* Variant::typeName() const {
    switch (FType) {
    case VarType::Empty:
        return "Empty";
    case VarType::Null:
        return "Null";
    case VarType::Boolean:
        return "Boolean";
    case VarType::Integer:
        return "Integer";
    case VarType::Double:
        return "Double";
    case VarType::Date:
        return "Date";
    case VarType::WideString:
        return "OleStr";
    case VarType::ByteString:
        return "String";
    case VarType::Dispatch:
        return "Dispatch";
    case VarType::Array:
        return "Array Variant";
    }
    return "Unknown";
}

bool Variant::isNumeric() const {
    return FType == VarType::Integer || FType == VarType::Double || FType == VarType::Boolean;
}

void Variant::conversionError(const char* target) const {
    throw EVariantError(QString("Could not convert variant of type (%1) into type (%2)").arg(typeName(), target));
}

bool Variant::toBool() const {
    switch (FType) {
    case VarType::Empty:
        return false;
    case VarType::Boolean:
        return FBool != 0;
    case VarType::Integer:
        return FInt != 0;
    case VarType::Double:
    case VarType::Date:
        return FDouble != 0;
    case VarType::WideString:
    case VarType::ByteString: {
        const QString t = toString().trimmed();
        if (t.compare("true", Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare("false", Qt::CaseInsensitive) == 0)
            return false;
        double d = 0;
        if (parseNumber(t, d))
            return d != 0;
        conversionError("Boolean");
    }
    default:
        conversionError("Boolean");
    }
}

int Variant::toInt() const {
    switch (FType) {
    case VarType::Empty:
        return 0;
    case VarType::Boolean:
        return FBool;
    case VarType::Integer:
        return FInt;
    case VarType::Double:
    case VarType::Date: {
        const double r = roundHalfEven(FDouble);
        if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
            throw EVariantError("Overflow while converting variant of type (Double) into type (Integer)");
        return static_cast<int>(r);
    }
    case VarType::WideString:
    case VarType::ByteString: {
        double d = 0;
        if (!parseNumber(toString(), d))
            conversionError("Integer");
        const double r = roundHalfEven(d);
        if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
            throw EVariantError("Overflow while converting variant of type (String) into type (Integer)");
        return static_cast<int>(r);
    }
    default:
        conversionError("Integer");
    }
}

double Variant::toDouble() const {
    switch (FType) {
    case VarType::Empty:
        return 0;
    case VarType::Boolean:
        return FBool;
    case VarType::Integer:
        return FInt;
    case VarType::Double:
    case VarType::Date:
        return FDouble;
    case VarType::WideString:
    case VarType::ByteString: {
        double d = 0;
        if (!parseNumber(toString(), d))
            conversionError("Double");
        return d;
    }
    default:
        conversionError("Double");
    }
}

double Variant::toDate() const {
    if (FType == VarType::WideString || FType == VarType::ByteString) {
        const QString t = toString().trimmed();
        for (const char* fmt : {"yyyy/M/d H:m:s", "yyyy/M/d", "yyyy-M-d H:m:s", "yyyy-M-d", "yyyy-MM-ddTHH:mm:ss"}) {
            const QDateTime dt = QDateTime::fromString(t, fmt);
            if (dt.isValid())
                return fromQDateTime(dt);
            const QDate d = QDate::fromString(t, fmt);
            if (d.isValid())
                return fromQDate(d);
        }
        double d = 0;
        if (parseNumber(t, d))
            return d;
        conversionError("Date");
    }
    if (FType == VarType::Array || FType == VarType::Dispatch || FType == VarType::Null)
        conversionError("Date");
    return toDouble();
}

QString Variant::toString() const {
    switch (FType) {
    case VarType::Empty:
        return {};
    case VarType::Boolean:
        return FBool ? "True" : "False";
    case VarType::Integer:
        return QString::number(FInt);
    case VarType::Double:
        return floatToText(FDouble);
    case VarType::Date:
        return dateToText(FDouble);
    case VarType::WideString:
        return FText;
    case VarType::ByteString:
        return codepage::decode(FBytes, FCodePage);
    default:
        conversionError("OleStr");
    }
}

DispatchPtr Variant::toDispatch() const {
    if (FType == VarType::Dispatch)
        return FDispatch;
    if (FType == VarType::Empty)
        return nullptr;
    conversionError("Dispatch");
}

QByteArray Variant::bytes() const { return FType == VarType::ByteString ? FBytes : QByteArray(); }
int Variant::codePage() const { return FType == VarType::ByteString ? FCodePage : 0; }

int Variant::dimCount() const { return FType == VarType::Array ? FArray->dims : 0; }

int Variant::lowBound(int dim) const {
    if (FType != VarType::Array || dim < 1 || dim > FArray->dims)
        throw EVariantError("Variant array bounds error");
    return FArray->low[dim - 1];
}

int Variant::highBound(int dim) const {
    if (FType != VarType::Array || dim < 1 || dim > FArray->dims)
        throw EVariantError("Variant array bounds error");
    return FArray->high[dim - 1];
}

int Variant::elementCount(int dim) const { return std::max(0, highBound(dim) - lowBound(dim) + 1); }

int Variant::flatIndex(int index1, int index2, int dimsUsed) const {
    if (FType != VarType::Array)
        throw EVariantError(QString("Variant is not an array (%1)").arg(typeName()));
    if (dimsUsed != FArray->dims)
        throw EVariantError("Variant array dimension mismatch");
    const ArrayData& a = *FArray;
    if (index1 < a.low[0] || index1 > a.high[0])
        throw EVariantError("Variant array index out of bounds");
    if (dimsUsed == 1)
        return index1 - a.low[0];
    if (index2 < a.low[1] || index2 > a.high[1])
        throw EVariantError("Variant array index out of bounds");
    const int n1 = a.high[0] - a.low[0] + 1;
    // First index varies fastest, as in the platform's safe arrays.
    return (index2 - a.low[1]) * n1 + (index1 - a.low[0]);
}

const Variant& Variant::at(int index) const { return FArray->items[static_cast<size_t>(flatIndex(index, 0, 1))]; }

const Variant& Variant::at(int index1, int index2) const {
    return FArray->items[static_cast<size_t>(flatIndex(index1, index2, 2))];
}

Variant& Variant::at(int index) {
    const int i = flatIndex(index, 0, 1);
    detach();
    return FArray->items[static_cast<size_t>(i)];
}

Variant& Variant::at(int index1, int index2) {
    const int i = flatIndex(index1, index2, 2);
    detach();
    return FArray->items[static_cast<size_t>(i)];
}

void Variant::detach() {
    if (FArray && FArray.use_count() > 1)
        FArray = std::make_shared<ArrayData>(*FArray);
}

void Variant::redim(int newHigh) {
    if (FType != VarType::Array)
        throw EVariantError("Variant is not an array");
    detach();
    ArrayData& a = *FArray;
    if (a.dims == 1) {
        a.high[0] = newHigh;
        a.items.resize(static_cast<size_t>(std::max(0, newHigh - a.low[0] + 1)));
        return;
    }
    // The last dimension varies slowest, so growing or shrinking it keeps every remaining element.
    a.high[1] = newHigh;
    const int n1 = std::max(0, a.high[0] - a.low[0] + 1);
    const int n2 = std::max(0, newHigh - a.low[1] + 1);
    a.items.resize(static_cast<size_t>(n1) * static_cast<size_t>(n2));
}

bool Variant::operator==(const Variant& other) const {
    if (FType != other.FType)
        return false;
    switch (FType) {
    case VarType::Empty:
    case VarType::Null:
        return true;
    case VarType::Boolean:
        return FBool == other.FBool;
    case VarType::Integer:
        return FInt == other.FInt;
    case VarType::Double:
    case VarType::Date:
        return FDouble == other.FDouble;
    case VarType::WideString:
        return FText == other.FText;
    case VarType::ByteString:
        return FBytes == other.FBytes && FCodePage == other.FCodePage;
    case VarType::Dispatch:
        return FDispatch == other.FDispatch;
    case VarType::Array:
        return FArray->dims == other.FArray->dims && FArray->low[0] == other.FArray->low[0] &&
               FArray->high[0] == other.FArray->high[0] && FArray->low[1] == other.FArray->low[1] &&
               FArray->high[1] == other.FArray->high[1] && FArray->items == other.FArray->items;
    }
    return false;
}

QVariant Variant::toQVariant() const {
    switch (FType) {
    case VarType::Empty:
        return {};
    case VarType::Null:
        return QVariant::fromValue(nullptr);
    case VarType::Boolean:
        return QVariant(FBool != 0);
    case VarType::Integer:
        return QVariant(FInt);
    case VarType::Double:
        return QVariant(FDouble);
    case VarType::Date:
        return QVariant(toQDateTime(FDouble));
    case VarType::WideString:
    case VarType::ByteString:
        return QVariant(toString());
    case VarType::Dispatch:
        return {};
    case VarType::Array: {
        QVariantList list;
        for (const Variant& v : FArray->items)
            list << v.toQVariant();
        return list;
    }
    }
    return {};
}

Variant Variant::fromQVariant(const QVariant& value) {
    if (!value.isValid())
        return {};
    switch (value.typeId()) {
    case QMetaType::Nullptr:
        return null();
    case QMetaType::Bool:
        return Variant(value.toBool());
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return Variant(value.toInt());
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qlonglong n = value.toLongLong();
        if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
            return Variant(static_cast<int>(n));
        return Variant(static_cast<double>(n));
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return Variant(value.toDouble());
    case QMetaType::QDateTime:
        return fromDate(fromQDateTime(value.toDateTime()));
    case QMetaType::QDate:
        return fromDate(fromQDate(value.toDate()));
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        std::vector<Variant> items;
        items.reserve(static_cast<size_t>(list.size()));
        for (const QVariant& item : list)
            items.push_back(fromQVariant(item));
        return arrayOf(items);
    }
    default:
        if (value.canConvert<QString>())
            return Variant(value.toString());
        return {};
    }
}

QString Variant::debugText() const {
    switch (FType) {
    case VarType::Empty:
        return "<empty>";
    case VarType::Null:
        return "<null>";
    case VarType::Dispatch:
        return "<dispatch>";
    case VarType::Array: {
        QStringList parts;
        for (const Variant& v : FArray->items)
            parts << v.debugText();
        return "[" + parts.join(", ") + "]";
    }
    default:
        return toString();
    }
}

QString varToStr(const Variant& value) {
    if (value.isEmptyOrNull())
        return {};
    return value.toString();
}

}  // namespace kv
