#pragma once
// TfrmBaseGene: the general option form every module main form derives from. It holds the session with
// the host's services and the application server, the option pages with the print date, the keys every
// option form shares, and the building of job requests from the option controls.
#include <QHash>
#include <QPointer>
#include <QStringList>

#include "controls/ExtPage.h"
#include "frame/DLLForm.h"
#include "platform/DateTime.h"
#include "platform/ole/Dispatch.h"

class QAbstractButton;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TF2Button;
class TSocketConnection;
namespace kv {
class TClientDataSet;
}

class TfrmBaseGene : public TDLLForm {
    Q_OBJECT
    Q_PROPERTY(bool WantLog READ WantLog WRITE SetWantLog)

public:
    explicit TfrmBaseGene(QWidget* owner = nullptr);
    ~TfrmBaseGene() override;

    QTabWidget* pgOption;
    TTabSheet* tsOption1;
    TTabSheet* tsOption2;
    QLabel* lblToday;
    TF2Button* btnPrintDate;
    QLineEdit* edPrintDate;
    QFrame* Panel1;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    TSocketConnection* MainMidas;
    QObject* ObjBroker;
    QMenu* muOperation;
    QMenu* mnList;
    QAction *N2, *N3, *N7, *N8, *N9, *N10;
    kv::TClientDataSet* ClientDataSet1;
    QFrame* pnlCondition;
    QLabel* lblCondition;
    QToolBar* ToolBar1;
    QToolButton *btnInsert, *btnOpen, *btnDelete, *ToolButton1;
    QTreeWidget* lstCondition;
    QSplitter* Splitter1;

    // Operations each form kind may change, in the order the kinds know them.
    virtual void LayoutSystemPage();
    virtual bool BuildJobRequest();
    virtual void ConfigureForm();
    virtual void PickPhrase(QWidget* control);
    virtual void SetRequiredFields(const QString& text);
    // Runs the program's report on the workstation through its server library (BaseRptSubmit.cpp); false
    // after recording why.
    virtual bool SubmitReport(const QString& jobId, const QString& programCode, const QString& jobPrefix,
                              int runKind, const kv::Variant& values, const QString& dbName,
                              const QString& formType, const QString& serverProgId, const QString& userId,
                              const QString& companyId, const QString& extName);
    virtual void PrepareDataSets();
    virtual void LoadSessionServices();
    bool InitializeSession(const kv::Variant& params) override;
    virtual bool AddOptionValues(kv::Variant& values, int index);
    virtual bool LoadRequestValues(const kv::Variant& values);
    virtual bool FillRequestHeader(kv::Variant& header);
    virtual bool AddOptionLabels(kv::Variant& labels, int index);
    // The record chosen in the host's lookup window for a table and window number; empty when none.
    virtual kv::Variant LookupData(const QString& table, const QString& windowNo, const kv::Variant& keys,
                                   const kv::Variant& condition, bool multiSelect, const kv::Variant& extra);
    virtual void SetServerName(TSocketConnection* connection);
    virtual bool AfterSchemeOpened() { return true; }
    virtual bool RunMode(int mode);
    virtual void BeforeApplyValue(QWidget* control, const kv::Variant& value);
    virtual void AfterApplyValue(QWidget* control, const kv::Variant& value);
    // F2 on a control: the base gives it the focus and fills the print date from the date picker.
    virtual void OnF2Key(int key, QWidget* control);
    // Replaces the edit's text by the date the lookup service's quick-pick gives, if any.
    void PickDate(QLineEdit* edit);
    // Around the host's version calls while the session's services are loaded: the base fetches the
    // counter service with the system settings and the validator service before, the lookup service
    // (when the service flags ask for it) after.
    virtual void BeforeServices();
    virtual void AfterServices();

    // Entering and leaving a date field, leaving a required field: preset to the form's own handlers; a
    // module may put its own in. A handler reports a failure through FPendingFailure, which stops the
    // control's own chained handler.
    const TNotifyEvent& OnDateFieldEnter() const { return FOnDateFieldEnter; }
    void SetOnDateFieldEnter(TNotifyEvent value) { FOnDateFieldEnter = std::move(value); }
    const TNotifyEvent& OnDateFieldExit() const { return FOnDateFieldExit; }
    void SetOnDateFieldExit(TNotifyEvent value) { FOnDateFieldExit = std::move(value); }
    const TNotifyEvent& OnRequiredExit() const { return FOnRequiredExit; }
    void SetOnRequiredExit(TNotifyEvent value) { FOnRequiredExit = std::move(value); }

    void RunRequest(const kv::Variant& request) override;

    // Condition schemes: named sets of option values kept per user and program on the application server.
    // The longest scheme name, in bytes of the system code page, as the scheme list stores it.
    static constexpr int SchemeNameBytes = 20;
    // The option list of the form's pages: "name.property;" per option control, in page and tab order.
    virtual QString BuildOptionList();
    // One line per option-list entry, each ended by CR LF; missing components give empty lines.
    QString SchemeValues(const QString& optionList);
    virtual bool SaveScheme(const QString& optionList, const QString& name, bool replace);
    virtual bool ApplyScheme(const QString& optionList, const QString& values);
    virtual void LoadSchemes();
    bool OpenScheme(const QString& name);
    bool DeleteScheme(const QString& name);
    // False, with the old caption kept, when the new name is refused here or by the server.
    bool RenameScheme(const QString& oldName, const QString& newName);
    // The scheme panel's buttons: save the options under a name asked for in TfrmGeneCondition, open
    // the selected scheme, delete it after asking.
    virtual void btnInsertClick();
    void btnOpenClick();
    void btnDeleteClick();
    // The scheme list's view styles; ToolButton1 steps through them.
    Q_INVOKABLE void ViewIconExecute();
    Q_INVOKABLE void ViewSmallIconExecute();
    Q_INVOKABLE void ViewListExecute();
    Q_INVOKABLE void ViewReportExecute();
    void ToolButton1Click();
    // 0 large icons, 1 small icons, 2 list, 3 details.
    int SchemeViewStyle() const { return FViewStyle; }

    void SetOptionCount(int n);
    void SetDateFields(const QString& fieldNames);
    // Generic data call on the validator service; true when a row was found.
    bool GetData(const QString& table, const QString& queryNo, bool flag, kv::Variant& result,
                 const kv::Variant& keys);
    // Detail, when given, follows the message's text on a line of its own: the cause behind a failure
    // the message only names.
    void ShowMessageCode(const QString& code, const QString& detail = {});
    void RecordError(const QString& error);
    int MessageBox(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons);
    QString GetSysSetting(const QString& name);
    QString ToDisplayText(const QString& value) const;
    QString FromDisplayText(const QString& value) const;
    // F1: the help topic of the program, or nothing when the program code names none.
    void ShowHelp();
    // Checks the required fields before a guarded button acts; false after showing the first empty one.
    bool CheckRequiredFields();
    // Clicks a button as the user would: the required-field check of btnOk, btnQuery, btnDesign and
    // btnPeriod comes first, and the button's own handlers run only when it passes. False when stopped.
    bool ClickButton(QAbstractButton* button);
    // Keeps a control's own OnEnter, OnExit or OnClick handler; it runs after the framework's date,
    // required-field and button checks on that control, and only when they pass.
    void ChainEvent(QWidget* control, const QString& event, TNotifyEvent handler);
    // Connects to the application server of the launcher settings; false after recording why.
    bool ConnectServer();
    // Why the last ConnectServer failed; empty after a success.
    const QString& ServerError() const { return FServerError; }
    // The session failed or its form was told to close while it was being initialised.
    bool ClosePending() const { return FClosePending; }

    static QString ProgramCodeFromFile(const QString& modulePath);
    // The help file code of a program code; empty when it has none.
    static QString HelpCode(const QString& programCode);

    bool WantLog() const { return FWantLog; }
    void SetWantLog(bool value) { FWantLog = value; }

    // Session.
    const QString& DbName() const { return FDbName; }
    void SetDbName(const QString& value) { FDbName = value; }
    const QString& ServerProgID() const { return FServerProgID; }
    const QString& VersionCode() const { return FVersionCode; }
    void SetVersionCode(const QString& value) { FVersionCode = value; }
    const QString& FormType() const { return FFormType; }
    int HostWindow() const { return FHostWindow; }
    int HostVersionType() const { return FHostVersionType; }
    int ProductID() const { return FProductID; }
    void SetProductID(int value) { FProductID = value; }
    // Every message code and every error text recorded since initialisation, each followed by "; ".
    const QString& ErrorCodes() const { return FErrorCodes; }
    const QString& ErrorTexts() const { return FErrorTexts; }
    const kv::DispatchPtr& Host() const { return FHost; }
    const kv::DispatchPtr& ValidatorService() const { return FValidatorService; }
    void SetValidatorService(kv::DispatchPtr value) { FValidatorService = std::move(value); }
    const kv::DispatchPtr& LookupService() const { return FLookupService; }
    // Unassigned until connected.
    const kv::DispatchPtr& AppServer() const { return FAppServer; }
    void SetAppServer(kv::DispatchPtr value) { FAppServer = std::move(value); }
    bool LocalServer() const { return FLocalServer; }

    // Options and job requests.
    int HeaderSize() const { return FHeaderSize; }
    void SetHeaderSize(int value) { FHeaderSize = value; }
    int OptionCount() const { return FOptionCount; }
    int SystemOptionCount() const { return FSystemOptionCount; }
    const QString& DateFields() const { return FDateFields; }
    const QString& YearMonthFields() const { return FYearMonthFields; }
    const QString& RequiredFields() const { return FRequiredFields; }
    const QString& OptionList() const { return FOptionList; }
    const QStringList& DateSettings() const { return FDateSettings; }
    // Messages are recorded but not shown.
    bool SilentMessages() const { return FSilentMessages; }
    void SetSilentMessages(bool value) { FSilentMessages = value; }
    bool Interactive() const { return FInteractive; }
    bool Labelled() const { return FLabelled; }
    // Set by a field handler that refused its value: the control's own chained handler does not run.
    bool PendingFailure() const { return FPendingFailure; }
    void SetPendingFailure(bool value) { FPendingFailure = value; }
    const kv::Variant& JobRequest() const { return FJobRequest; }
    int DateOrder() const { return FDateOrder; }
    const QString& DateSeparator() const { return FDateSeparator; }

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;
    void DoClose(TCloseAction& action) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool FilterControlEvent(QObject* watched, QEvent* e);
    // A lookup button or button edit asks for its lookup: answered as F2 on that edit.
    bool event(QEvent* e) override;

    virtual void btnOkClick() {}
    virtual void btnCancelClick() {}
    void DateFieldEnter(QWidget* control);
    bool DateFieldExit(QWidget* control);
    // Leaving a year-month field: checks and normalises it as year and month in the form's date order.
    bool YearMonthFieldExit(QWidget* control);
    // The first day of the month a year-month text names in the form's date order; 0 when none.
    kv::TDateTime YearMonthOf(const QString& text) const;
    // A control the date checks cannot read (select panels check themselves), and a typed value refused.
    bool UncheckableControl(QWidget* control, const char* routine);
    bool RefuseTyped(QLineEdit* edit, const QString& text);
    bool RequiredExit(QWidget* control);
    // The buttons whose clicks the required fields guard.
    static bool IsGuardedButton(const QObject* button);
    // The controls inside a container in tab order, then those outside the focus chain.
    static QList<QWidget*> TabOrder(QWidget* container);
    // Appends "name.property;" for every option control of a container, in tab order.
    static void AppendOptions(QWidget* container, QString& list);

    // The session cannot go on: the form closes as soon as the event loop runs again.
    void RequestClose();

    // What each form kind sets up in its ConfigureForm step.
    void SetFormType(const QString& value) { FFormType = value; }
    void SetSystemOptionCount(int value) { FSystemOptionCount = value; }
    void SetServiceFlags(int value) { FServiceFlags = value; }
    void SetBaseLimited(const QString& value) { FBaseLimited = value; }
    void SetYearMonthFields(const QString& value) { FYearMonthFields = value; }
    void SetLabelled(bool value) { FLabelled = value; }
    void SetJobRequest(const kv::Variant& value) { FJobRequest = value; }

private:
    // Session.
    QString FDbName, FServerProgID, FVersionCode, FFormType = "R";
    int FHostWindow = 0, FHostVersionType = 0, FProductID = 3;
    kv::Variant FHostExtra;
    QStringList FSystemSettings, FOriginalColors;
    QString FErrorCodes, FErrorTexts;
    kv::DispatchPtr FHost, FCounterService, FValidatorService, FLookupService, FAppServer;
    bool FLocalServer = false;
    int FServiceFlags = 0;
    QString FBaseLimited;

    // Options and job requests.
    int FHeaderSize = 9, FOptionCount = 0, FSystemOptionCount = 1;
    QString FDateFields, FYearMonthFields, FRequiredFields;
    QString FOptionList;
    // One entry per date field, fields separated by character 3 (single date or range, variable or not).
    QStringList FDateSettings;
    bool FSilentMessages = false, FInteractive = true, FPressOk = false, FLabelled = false;
    bool FPendingFailure = false;
    kv::Variant FLastRequest, FJobRequest;
    QPointer<QWidget> FErrorFocus;
    int FDateOrder = 1;
    QString FDateSeparator = "/";
    // Handlers of the controls that the framework's own handlers call after theirs.
    QHash<QString, TNotifyEvent> FChainedEvents;

    bool InitializeSessionSteps(const kv::Variant& params);
    bool ApplyValuesByName(const kv::Variant& v);
    bool CheckBuilt(const kv::Variant& array, int count, const QString& ident, const QString& fallback);
    void MoveByEnter(QWidget* control);
    // The next page (step 1) or the one before (-1) whose tab shows; -1 when none, or past an end without
    // wrap.
    int ShownPageAfter(int page, int step, bool wrap) const;
    void RepaintHost();
    kv::DispatchPtr MessageHost() const;
    bool GuardClick(QAbstractButton* button);
    void lstConditionEdited(QTreeWidgetItem* item, int column);
    void SetViewStyle(int style);
    // The condition data set's row of a scheme shown under this name; false when there is none.
    bool LocateScheme(const QString& name);
    QString SelectedScheme() const;

    TNotifyEvent FOnDateFieldEnter, FOnDateFieldExit, FOnRequiredExit;
    bool FWantLog = false;
    bool FClosePending = false;
    QString FServerError;
    bool FFillingList = false;
    // Why the last SaveScheme failed, whole: the recorded errors are a list split at "; ".
    QString FSchemeError;
    int FViewStyle = 2;
    int FViewStep = 0;
};

// A text as one argument of a message code, whose fields are separated by ";".
QString MessageCodeArgument(QString text);
// A database name that may stand in SQL texts as written: letters, digits and "_", not starting
// with a digit. The "$$" prefix of every statement becomes this name.
bool IsPlainDatabaseName(const QString& name);
