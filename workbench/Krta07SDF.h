#pragma once
// TdmKrta07S: the workbench's data module. Its own connection to the company database, the line,
// day, resource and load queries, and the client data sets the workbench and its grid work on.
#include <QHash>
#include <QObject>
#include <QString>
#include <initializer_list>
#include <memory>
#include <vector>

#include "gantt/phColor.h"

class TKvADOConnection;
class TKvADOQuery;
namespace kv {
class TClientDataSet;
class TDataSetProvider;
class TDataSource;
class TField;
class TRowSource;
} // namespace kv

// One resource an item uses: MC004 units of the resource per MC005 units of the item.
struct TItemResource {
    QString MC002;
    double MC004 = 0;
    double MC005 = 0;
    QString MB006;
};

class TdmKrta07S : public QObject {
    Q_OBJECT
public:
    // An empty connectString takes the one of the launcher's server settings.
    TdmKrta07S(QObject* owner, const QString& dbName, const QString& connectString = QString());
    ~TdmKrta07S() override;

    TKvADOConnection* dbKrta07;
    TKvADOQuery* qryGetCMSMB;
    TKvADOQuery* qryCMSMA;
    TKvADOQuery* qryMPSTC;
    TKvADOQuery* qryMPSMC;
    TKvADOQuery* qryTemp;
    TKvADOQuery* qryMPSTBSource;
    TKvADOQuery* qryMPSTDSource;
    TKvADOQuery* qryMPSTFSource;
    kv::TDataSetProvider* dspMPSTB;
    kv::TDataSetProvider* dspMPSTD;
    kv::TDataSetProvider* dspMPSTF;
    // Feeds qryMPSTBPre from the rows qryMPSTB has just read, so one query serves both sets.
    kv::TDataSetProvider* dspMPSTBPre;
    kv::TClientDataSet* qryMPSTBPre;
    kv::TClientDataSet* qryMPSTB;
    kv::TClientDataSet* qryMPSTD;
    kv::TClientDataSet* qryMPSTF;
    kv::TDataSource* dsGetCMSMB;
    kv::TDataSource* dsMPSTB;
    kv::TDataSource* dsMPSTF;

    // Line conditions and the resource-load range ("yyyymmdd").
    QString FFactory;
    QString FResource;
    QString FSourceDoc;
    QString FRangeStart;
    QString FRangeEnd;
    int FHighlightRow = -1;
    TColor FHighlightColor = clBlue;

    QString DBName() const { return FDBName; }
    // The company database in words, for messages ("the SQLite file /x/DEMO.db").
    QString DatabaseText() const;
    // Whether rows written under the user code fit the CREATOR and MODIFIER columns of the tables a
    // save writes; when not, Width and Column say which column is too narrow. A width the catalog does
    // not tell counts as fitting.
    bool UserCodeFits(const QString& user, int& columnWidth, QString& columnName);
    // The same for the company code and the COMPANY columns: SQLite would store a code of any
    // length in every row the save inserts.
    bool CompanyCodeFits(const QString& company, int& columnWidth, QString& columnName);
    // A condition on a plan row of MPSTF: a line the line conditions load computes it, its item using
    // the row's resource. Parameters TB001, TB036 and TB004 as in the line query; "$$" not expanded.
    static QString PlanRowOfLoadedLine();
    // Every "$$" becomes the database name and "..", the result trimmed.
    QString ExpandSQL(const QString& sql) const;

    // Opens qryMPSMC on the item.
    void OpenItemResources(const QString& item);
    // The item's resources in qryMPSMC's order; read once per item until ClearItemResources, as the
    // consumption passes ask for the same items line after line.
    const std::vector<TItemResource>& ItemResources(const QString& item);
    void ClearItemResources() {
        FItemResources.clear();
        FAllItemsRead = false;
        ++FItemsGeneration;
    }
    // Changes whenever the resources read so far may change.
    quint64 ItemResourcesGeneration() const { return FItemsGeneration; }
    // Reads the resources of every item in one query, for a load that asks for most of them.
    void ReadAllItemResources();

    // Company date format from the first CMSMA row (0 when there is none).
    int CompanyDateFormat() const { return FDateFormat; }
    QString DateSeparator() const { return FDateSeparator; }
    void ReadCompanyParameters();
    // "yyyymmdd" shown in the company format; an invalid date shows empty.
    QString DateDisplayText(const QString& yyyymmdd) const;

    // Labels, formats, hidden and read-only flags of the line and detail sets, once each set has
    // opened for the first time; the field handlers every time.
    void SetupFields();
    // A field's label in the interface language: from the data module's language file (message
    // Field), else the Chinese label in the interface script. Read once per field.
    QString FieldLabelText(const QString& field, const QString& chinese);

    // Line fields: company date format, display conversion, checks.
    // Edit mask of a date in the company format ("9999/99/99;1; ").
    QString DateEditMask() const;
    // A date typed in the company format to "yyyymmdd"; the input unchanged when a part is no number.
    QString DisplayDateToText(const QString& text) const;
    // The trimmed text of a field of the current line; empty when the line set has no such field.
    QString LineText(const char* name) const;
    // Company parameter "MA" + number of the first CMSMA row, trimmed.
    QString CompanyParameter(const QString& number) const;
    void DateFieldGetText(kv::TField& sender, QString& text, bool displayText);
    void DateFieldSetText(kv::TField& sender, const QString& text);
    void DOGetText(kv::TField& sender, QString& text, bool displayText);
    void DOSetText(kv::TField& sender, const QString& text);
    void qryMPSTBPreBeforeScroll(kv::TClientDataSet& dataSet);
    void qryMPSTBPreAfterScroll(kv::TClientDataSet& dataSet);
    void qryMPSTBPreNewRecord(kv::TClientDataSet& dataSet);
    void qryMPSTBPreTB042Validate(kv::TField& sender);
    void qryMPSTBPreTB044Validate(kv::TField& sender);
    void qryMPSTBPreTB045Validate(kv::TField& sender);
    void qryMPSTBPreTB045SetText(kv::TField& sender, const QString& text);
    void ProviderFieldSetText(kv::TField& sender, const QString& text, const QString& windowNo);
    void qryMPSTBPreMQ017CValidate(kv::TField& sender);
    void SetupFieldHandlers();
    // The set's text fields show through the interface's conversion and store through its inverse.
    void ConvertTextFields(kv::TClientDataSet& set);
    // TB044 or TB045 editable by the line's document property; ByValidation also empties the other.
    void SwitchEditableColumn(bool byValidation);

private:
    QHash<QString, QString> FLabelTexts;
    bool FLineFieldsSetUp = false, FDetailFieldsSetUp = false;
    std::unique_ptr<kv::TRowSource> FLineCopy;
    void SetupDateField(kv::TField* field);
    // Whether the code fits the columns of every table a save writes.
    bool CodeFits(const QString& code, std::initializer_list<const char*> columns, int& columnWidth,
                  QString& columnName);

    QString FDBName;
    int FDateFormat = 0;
    QString FDateSeparator;
    QHash<QString, std::vector<TItemResource>> FItemResources;
    bool FAllItemsRead = false;
    quint64 FItemsGeneration = 0;
};
