#pragma once
// TCodeConverter: decides from the launcher settings whether texts and fonts change between
// simplified (GB) and traditional (BIG5) Chinese, and carries it out on forms, values and messages.
#include <QObject>
#include <QStringList>
#include <memory>

#include "controls/KvMsgDlg.h"
#include "lang/LangCommon.h"
#include "platform/ole/Variant.h"

class QFont;
class QWidget;
class TTranslator;

class TCodeConverter : public QObject {
    Q_OBJECT
    Q_PROPERTY(int DesignType READ DesignType WRITE SetDesignType)

public:
    // Reads the code pages of the client settings; loads the conversion library when the interface
    // kind is not 0 (raises EKvError when it is missing or incomplete).
    explicit TCodeConverter(QObject* owner = nullptr);
    ~TCodeConverter() override;

    // Converts every text and font of the form's components once (the form guards against a second run).
    void DoTranslate(QWidget* form, const QString& exceptText = {}, bool includeGrids = true);

    kv::Variant ConvertUIString(const kv::Variant& value) const { return Convert(UIChangeType, value); }
    kv::Variant ConvertDataString(const kv::Variant& value) const { return Convert(DataChangeType, value); }
    // Inverse of the interface (data) kind; any failure gives the input unchanged.
    kv::Variant RecoverUIString(const kv::Variant& value) const { return Recover(UIChangeType, value); }
    kv::Variant RecoverDataString(const kv::Variant& value) const { return Recover(DataChangeType, value); }

    // Text conversion in the interface's direction; a text the library cannot take stays as it is.
    QString ConvertText(const QString& text) const;
    QString GBToBig5(const QString& text) const;
    QString Big5ToGB(const QString& text) const;

    // Face and character set for the kind; returns the character set, 0 when the font is left alone.
    int SetUIFont(int kind, QFont& font) const;
    // The same on a font-valued property of an object, keeping its character set beside it.
    void SetUIFont(int kind, QObject* object, const char* fontProperty) const;

    // A message box with the owner form's caption and the interface font; 0 for an empty message.
    int KvCodeMessageDlg(const QString& message, TMsgDlgType type, TMsgDlgButtons buttons) const;

    int DesignType() const { return FDesignType; }
    void SetDesignType(int value) { FDesignType = value; }
    TTranslator* Translator() const { return FTranslator.get(); }

    QString SystemCodePage = QStringLiteral("936");
    QString UICodePage = QStringLiteral("936");
    QString DBCodePage = QStringLiteral("936");
    int UIChangeType = 0;
    int DataChangeType = 0;
    // Per-component exceptions: name, then property names, separated by character 3.
    QStringList ExceptList;

private:
    kv::Variant Convert(int kind, const kv::Variant& value) const;
    kv::Variant ConvertArray(int kind, const kv::Variant& value) const;
    kv::Variant Recover(int kind, const kv::Variant& value) const;
    // Lines converted as one text, in the direction of the interface kind.
    QStringList ConvertLines(const QStringList& lines) const;
    // The lines of a memo (a plain or rich text edit); false for any other component.
    bool ConvertMemo(QObject* component) const;
    void TranslateComponent(QObject* component, const QString& exceptText, bool includeGrids);
    void TranslateClass(QObject* component, bool includeGrids);

    int FDesignType = dtClient;
    std::unique_ptr<TTranslator> FTranslator;
};
