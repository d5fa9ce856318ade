#pragma once
// Language files: XML documents, one per form class, whose attributes relabel a form's components at
// run time, and whose elements carry message texts.
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

#include "lang/LangCommon.h"
#include "platform/KvError.h"
#include "support/LibXml.h"

class TLangReader;

// The exception class of the language controller.
class LanguageControllerError : public EKvError {
public:
    using EKvError::EKvError;
};

using TNotifyEvent = std::function<void(QObject* sender)>;
// A component and the element it is read from.
using TLoadComponentEvent = std::function<void(QObject* component, const TDOMNode& node)>;

// Reads one component (or a sub-object) from one element.
class TComponentRead {
public:
    TComponentRead(TLangReader* reader, QObject* component, TDOMNode node)
        : FReader(reader), FComponent(component), FNode(std::move(node)) {}
    virtual ~TComponentRead() = default;

    QObject* GetComponent() const { return FComponent; }
    const TDOMNode& GetNode() const { return FNode; }
    void SetComponent(QObject* component) { FComponent = component; }
    void SetNode(const TDOMNode& node) { FNode = node; }
    void ReadAttribute(int index);
    void ReadAttribute(const QString& name);
    virtual void ReadAllAttributes();
    // Applies one attribute: its name is the property path, its text the value.
    void ApplyAttribute(const TDOMNode& attribute);

protected:
    void HandleAttribute(const TDOMNode& attribute);
    TLangReader* FReader;
    QObject* FComponent;
    TDOMNode FNode;
};

// Combo boxes keep their selected item while their items are replaced.
class TCustomComboBoxRead : public TComponentRead {
public:
    using TComponentRead::TComponentRead;
    void ReadAllAttributes() override;
};

// The same for the data-aware grid combo boxes.
class TwwDBCustomComboBoxRead : public TCustomComboBoxRead {
public:
    using TCustomComboBoxRead::TCustomComboBoxRead;
};

class TReaderFactory {
public:
    static std::shared_ptr<TComponentRead> CreateReader(TLangReader* reader, QObject* component,
                                                        const TDOMNode& node);
};

class TLangReader {
public:
    explicit TLangReader(IXMLDOMDocument document) : FDocument(std::move(document)) {}

    // Fills the component from the root element (a form or data module) and from the element named
    // after it, then every component it owns.
    void ReadComponent(QObject* component);

    QStringList ExcludeControls;
    TLoadComponentEvent BeforeLoadComponent;
    TLoadComponentEvent AfterLoadComponent;
    // When assigned, attributes are handed to it instead of being applied.
    std::function<void(TComponentRead& reader, const TDOMNode& attribute)> OnReadProperty;

    const IXMLDOMDocument& Document() const { return FDocument; }

private:
    void ReadFrom(QObject* component, const TDOMNode& node);
    bool IsExcluded(const QString& name) const;
    IXMLDOMDocument FDocument;
};

// A form or a data module: a window, or an object that says it is a data module (it inherits a class
// named TDataModule or carries the dynamic property "DataModule").
bool IsFormOrDataModule(const QObject* component);

class TLanguageController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Active READ GetActive WRITE SetActive)
    Q_PROPERTY(QStringList ExcludeControls READ ExcludeControls WRITE SetExcludeControls)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)

public:
    explicit TLanguageController(QObject* owner = nullptr);
    ~TLanguageController() override;

    bool GetActive() const;
    // Opens (parses XMLText, else loads FileName) or closes the document. Raises LanguageControllerError.
    void SetActive(bool value);
    QStringList ExcludeControls() const { return FExcludeControls; }
    void SetExcludeControls(const QStringList& names);
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& fileName);
    QStringList XMLText() const { return FXMLText; }
    void SetXMLText(const QStringList& lines);

    // The reader of the open document; raises "No active LanguageController!" when none is open.
    TLangReader& GetLangReader();

    // While the owner form is being built an activation is only remembered; Loaded() applies it.
    void BeginLoading() { FLoading = true; }
    void Loaded();

    TNotifyEvent AfterClose, AfterOpen, BeforeClose, BeforeOpen;
    TLoadComponentEvent AfterLoadComponent, BeforeLoadComponent;

private:
    void Open();
    void Close();

    QString FFileName;
    QStringList FXMLText;
    QStringList FExcludeControls;
    IXMLDOMDocument FDocument;
    std::unique_ptr<TLangReader> FReader;
    bool FLoading = false;
    bool FStreamedActive = false;
};

class TKvLangController : public TLanguageController {
    Q_OBJECT
    Q_PROPERTY(QString LangPackageName READ LangPackageName WRITE SetLangPackageName)
    Q_PROPERTY(int DesignType READ DesignType WRITE SetDesignType)

public:
    explicit TKvLangController(QObject* owner = nullptr);

    QString LangPackageName() const { return FLangPackageName; }
    // Sets FileName to the language directory + package + ".Lng".
    void SetLangPackageName(const QString& name);
    int DesignType() const { return FDesignType; }
    void SetDesignType(int value) { FDesignType = value; }

private:
    QString FLangPackageName;
    int FDesignType = dtClient;
};

// Assigns a value through a dotted property path: object-valued properties lead on, colours and
// cursors take their names, enumerations and sets take names. False when nothing was assigned.
bool SetPropValueIncludeSub(QObject* object, const QString& propertyPath, const QVariant& value);

// Reads the controller's file into the object when the file exists; a broken file is skipped
// (SkipLanguageFile) and leaves the object as it was. True when the file was read.
bool ReadLanguageFile(TKvLangController& controller, QObject* object);
