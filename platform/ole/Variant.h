#pragma once
// OLE automation values as they cross the host boundary: empty, null, 16-bit boolean (true = -1),
// 32-bit integer, double, date-time, wide text, byte text (bytes in a named code page), dispatch
// reference, and arrays of one or two dimensions with their own bounds whose elements are variants.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/KvError.h"

namespace kv {

class Dispatch;
using DispatchPtr = std::shared_ptr<Dispatch>;

enum class VarType : uint8_t { Empty, Null, Boolean, Integer, Double, Date, WideString, ByteString, Dispatch, Array };

using VariantBool = int16_t;
constexpr VariantBool VARIANT_TRUE = -1;
constexpr VariantBool VARIANT_FALSE = 0;

// Raised on a conversion a variant cannot make (text that is no number, an array to a number, ...).
class EVariantError : public EKvError {
public:
    using EKvError::EKvError;
};

class Variant {
public:
    Variant() = default;  // empty
    Variant(bool value);
    Variant(int value);
    Variant(double value);
    Variant(const QString& value);
    Variant(const char* utf8);
    Variant(DispatchPtr value);

    static Variant null();
    static Variant fromDate(double dateTime);
    static Variant fromBytes(const QByteArray& bytes, int codePage);
    // One dimension with bounds low..high (VarArrayCreate([low, high], varVariant)); elements are empty.
    static Variant array(int low, int high);
    // Two dimensions, [low1..high1, low2..high2].
    static Variant array2(int low1, int high1, int low2, int high2);
    // A one-dimensional array 0..n-1 of the values (VarArrayOf).
    static Variant arrayOf(std::initializer_list<Variant> values);
    static Variant arrayOf(const std::vector<Variant>& values);

    VarType type() const { return FType; }
    const char* typeName() const;
    bool isEmpty() const { return FType == VarType::Empty; }
    bool isNull() const { return FType == VarType::Null; }
    bool isEmptyOrNull() const { return FType == VarType::Empty || FType == VarType::Null; }
    bool isArray() const { return FType == VarType::Array; }
    bool isText() const { return FType == VarType::WideString || FType == VarType::ByteString; }
    bool isNumeric() const;

    // Conversions as an OLE client makes them; EVariantError when impossible.
    bool toBool() const;
    VariantBool toVariantBool() const { return toBool() ? VARIANT_TRUE : VARIANT_FALSE; }
    int toInt() const;  // doubles round halves to even
    double toDouble() const;
    double toDate() const;
    QString toString() const;  // Null raises, as a cast of Null to a text does
    DispatchPtr toDispatch() const;

    // Byte text: its bytes and code page (0 for other kinds).
    QByteArray bytes() const;
    int codePage() const;

    // Arrays. Indices are in the array's own bounds; a wrong index or a non-array raises EVariantError.
    int dimCount() const;
    int lowBound(int dim = 1) const;
    int highBound(int dim = 1) const;
    int elementCount(int dim = 1) const;
    const Variant& at(int index) const;
    const Variant& at(int index1, int index2) const;
    Variant& at(int index);  // copy-on-write
    Variant& at(int index1, int index2);
    void set(int index, const Variant& value) { at(index) = value; }
    void set(int index1, int index2, const Variant& value) { at(index1, index2) = value; }
    const Variant& operator[](int index) const { return at(index); }
    Variant& operator[](int index) { return at(index); }
    // Changes the high bound of the last dimension, keeping the elements that still fit.
    void redim(int newHigh);

    // Same kind and value (arrays element by element); Empty equals Empty only.
    bool operator==(const Variant& other) const;
    bool operator!=(const Variant& other) const { return !(*this == other); }

    // Qt properties: text, numbers, booleans and dates map both ways; arrays become lists.
    QVariant toQVariant() const;
    static Variant fromQVariant(const QVariant& value);

    QString debugText() const;

private:
    struct ArrayData {
        int dims = 1;
        int low[2] = {0, 0};
        int high[2] = {-1, -1};
        std::vector<Variant> items;
    };
    int flatIndex(int index1, int index2, int dimsUsed) const;
    void detach();
    [[noreturn]] void conversionError(const char* target) const;

    VarType FType = VarType::Empty;
    union {
        int16_t FBool;
        int32_t FInt;
        double FDouble = 0;
    };
    int FCodePage = 0;
    QString FText;
    QByteArray FBytes;
    DispatchPtr FDispatch;
    std::shared_ptr<ArrayData> FArray;
};

// Text of a variant where null and empty read as the empty text (VarToStr).
QString varToStr(const Variant& value);

}  // namespace kv
