#pragma once
// TTranslator: the GB <-> BIG5 conversion library opened at run time.
#include <QByteArray>
#include <QString>

#include "platform/KvError.h"

// File name of the conversion library; it is looked for beside the module that holds this code,
// beside the program, then on the loader's search path.
inline constexpr const char* kConversionLibrary = "Kvlanguage.so";

class TTranslator {
public:
    // Raises EKvError "Load Library %s Error!" or "Get Library Procedure Address Error!".
    explicit TTranslator(const QString& libraryName = QString::fromLatin1(kConversionLibrary));
    ~TTranslator();
    TTranslator(const TTranslator&) = delete;
    TTranslator& operator=(const TTranslator&) = delete;

    // Byte strings in and out, as the library takes them. A text the library rejects raises EKvError.
    QByteArray GBtoBIG5(const QByteArray& text) const;
    QByteArray BIG5toGB(const QByteArray& text) const;

    // Program texts are Unicode: encode to the source code page, convert, decode the result. Simplified
    // characters become traditional ones (and back); a character either code page lacks stays as it
    // is, as the texts of a database hold names that one of them cannot carry.
    QString GBtoBIG5(const QString& text) const;
    QString BIG5toGB(const QString& text) const;

    bool loaded() const { return FHandle != nullptr; }

private:
    enum class Direction { ToBig5, ToGB };
    QString convertKeeping(const QString& text, Direction d) const;
    using ConvertFunc = const char* (*)(const char*);
    void LoadLibrary(const QString& libraryName);
    QByteArray call(ConvertFunc func, const QByteArray& text) const;

    void* FHandle = nullptr;
    ConvertFunc FGBtoBIG5 = nullptr;
    ConvertFunc FBIG5toGB = nullptr;
    void* FGetBIG5Data = nullptr;
    void* FGetGBData = nullptr;
    void* FSaveOrder = nullptr;
};
