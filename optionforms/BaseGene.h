#pragma once
// TfrmBaseGene: the general option form every module main form derives from. It holds the session with
// the host's services and the application server, the option pages with the print date, the keys every
// option form shares, and the building of job requests from the option controls.
#include <QHash>
#include <QPointer>
#include <QStringList>

#include "frame/DLLForm.h"
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
    explicit TfrmBaseGene(QWidget* Owner = nullptr);
    ~TfrmBaseGene() override;

    QTabWidget* pgOption;
    QWidget* tsOption1;
    QWidget* tsOption2;
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
    virtual void PickPhrase(QWidget* Control);
    virtual void SetRequiredFields(const QString& Text);
    // Runs the program's report on the workstation through its server library (BaseRptSubmit.cpp); false
    // after recording why.
    virtual bool SubmitReport(const QString& JobID, const QString& ProgramCode, const QString& JobPrefix,
                              int RunKind, const kv::Variant& Values, const QString& DbName,
                              const QString& FormType, const QString& ServerProgID, const QString& UserID,
                              const QString& CompanyID, const QString& ExtName);
    virtual void PrepareDataSets();
    virtual void LoadSessionServices();
    bool InitializeSession(const kv::Variant& Params) override;
    virtual bool AddOptionValues(kv::Variant& Values, int Index);
    virtual bool LoadRequestValues(const kv::Variant& Values);
    virtual bool FillRequestHeader(kv::Variant& Header);
    virtual bool AddOptionLabels(kv::Variant& Labels, int Index);
    // The record chosen in the host's lookup window for a table and window number; empty when none.
    virtual kv::Variant LookupData(const QString& Table, const QString& WindowNo, const kv::Variant& Keys,
                                   const kv::Variant& Condition, bool MultiSelect, const kv::Variant& Extra);
    virtual void SetServerName(TSocketConnection* Connection);
    virtual bool AfterSchemeOpened() { return true; }
    virtual bool RunMode(int Mode);
    virtual void BeforeApplyValue(QWidget* Control, const kv::Variant& Value);
    virtual void AfterApplyValue(QWidget* Control, const kv::Variant& Value);
    // F2 on a control: the base gives it the focus and fills the print date from the date picker.
    virtual void OnF2Key(int Key, QWidget* Control);
    // Around the host's version calls while the session's services are loaded: the base fetches the
    // counter service with the system settings and the validator service before, the lookup service
    // (when the service flags ask for it) after.
    virtual void BeforeServices();
    virtual void AfterServices();

    // Entering and leaving a date field, leaving a required field: preset to the form's own handlers; a
    // module may put its own in. A handler reports a failure through FPendingFailure, which stops the
    // control's own chained handler.
    const TNotifyEvent& OnDateFieldEnter() const { return FOnDateFieldEnter; }
    void SetOnDateFieldEnter(TNotifyEvent Value) { FOnDateFieldEnter = std::move(Value); }
    const TNotifyEvent& OnDateFieldExit() const { return FOnDateFieldExit; }
    void SetOnDateFieldExit(TNotifyEvent Value) { FOnDateFieldExit = std::move(Value); }
    const TNotifyEvent& OnRequiredExit() const { return FOnRequiredExit; }
    void SetOnRequiredExit(TNotifyEvent Value) { FOnRequiredExit = std::move(Value); }

    void RunRequest(const kv::Variant& Request) override;

    // Condition schemes: named sets of option values kept per user and program on the application server.
    // The option list of the form's pages: "name.property;" per option control, in page and tab order.
    virtual QString BuildOptionList();
    // One line per option-list entry, each ended by CR LF; missing components give empty lines.
    QString SchemeValues(const QString& OptionList);
    virtual bool SaveScheme(const QString& OptionList, const QString& Name, bool Replace);
    virtual bool ApplyScheme(const QString& OptionList, const QString& Values);
    virtual void LoadSchemes();
    bool OpenScheme(const QString& Name);
    bool DeleteScheme(const QString& Name);
    // False, with the old caption kept, when the new name is refused here or by the server.
    bool RenameScheme(const QString& OldName, const QString& NewName);
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

    void SetOptionCount(int N);
    void SetDateFields(const QString& Names);
    // Generic data call on the validator service; true when a row was found.
    bool GetData(const QString& Table, const QString& QueryNo, bool Flag, kv::Variant& Result,
                 const kv::Variant& Keys);
    // Detail, when given, follows the message's text on a line of its own: the cause behind a failure
    // the message only names.
    void ShowMessageCode(const QString& Code, const QString& Detail = {});
    void RecordError(const QString& Text);
    int MessageBox(const QString& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons);
    QString GetSysSetting(const QString& Name);
    QString ToDisplayText(const QString& Value) const;
    QString FromDisplayText(const QString& Value) const;
    // F1: the help topic of the program, or nothing when the program code names none.
    void ShowHelp();
    // Checks the required fields before a guarded button acts; false after showing the first empty one.
    bool CheckRequiredFields();
    // Clicks a button as the user would: the required-field check of btnOk, btnQuery, btnDesign and
    // btnPeriod comes first, and the button's own handlers run only when it passes. False when stopped.
    bool ClickButton(QAbstractButton* Button);
    // Keeps a control's own OnEnter, OnExit or OnClick handler; it runs after the framework's date,
    // required-field and button checks on that control, and only when they pass.
    void ChainEvent(QWidget* Control, const QString& Event, TNotifyEvent Handler);
    // Connects to the application server of the launcher settings; false after recording why.
    bool ConnectServer();
    // Why the last ConnectServer failed; empty after a success.
    const QString& ServerError() const { return FServerError; }
    // The session failed or its form was told to close while it was being initialised.
    bool ClosePending() const { return FClosePending; }

    static QString ProgramCodeFromFile(const QString& ModulePath);
    // The help file code of a program code; empty when it has none.
    static QString HelpCode(const QString& ProgramCode);

    bool WantLog() const { return FWantLog; }
    void SetWantLog(bool Value) { FWantLog = Value; }

    // Session.
    const QString& DbName() const { return FDbName; }
    void SetDbName(const QString& Value) { FDbName = Value; }
    const QString& ServerProgID() const { return FServerProgID; }
    const QString& VersionCode() const { return FVersionCode; }
    void SetVersionCode(const QString& Value) { FVersionCode = Value; }
    const QString& FormType() const { return FFormType; }
    int HostWindow() const { return FHostWindow; }
    int HostVersionType() const { return FHostVersionType; }
    int ProductID() const { return FProductID; }
    void SetProductID(int Value) { FProductID = Value; }
    // Every message code and every error text recorded since initialisation, each followed by "; ".
    const QString& ErrorCodes() const { return FErrorCodes; }
    const QString& ErrorTexts() const { return FErrorTexts; }
    const kv::DispatchPtr& Host() const { return FHost; }
    const kv::DispatchPtr& ValidatorService() const { return FValidatorService; }
    void SetValidatorService(kv::DispatchPtr Value) { FValidatorService = std::move(Value); }
    const kv::DispatchPtr& LookupService() const { return FLookupService; }
    // Unassigned until connected.
    const kv::DispatchPtr& AppServer() const { return FAppServer; }
    void SetAppServer(kv::DispatchPtr Value) { FAppServer = std::move(Value); }
    bool LocalServer() const { return FLocalServer; }

    // Options and job requests.
    int HeaderSize() const { return FHeaderSize; }
    void SetHeaderSize(int Value) { FHeaderSize = Value; }
    int OptionCount() const { return FOptionCount; }
    int SystemOptionCount() const { return FSystemOptionCount; }
    const QString& DateFields() const { return FDateFields; }
    const QString& YearMonthFields() const { return FYearMonthFields; }
    const QString& RequiredFields() const { return FRequiredFields; }
    const QString& OptionList() const { return FOptionList; }
    const QStringList& DateSettings() const { return FDateSettings; }
    // Messages are recorded but not shown.
    bool SilentMessages() const { return FSilentMessages; }
    void SetSilentMessages(bool Value) { FSilentMessages = Value; }
    bool Interactive() const { return FInteractive; }
    bool Labelled() const { return FLabelled; }
    // Set by a field handler that refused its value: the control's own chained handler does not run.
    bool PendingFailure() const { return FPendingFailure; }
    void SetPendingFailure(bool Value) { FPendingFailure = Value; }
    const kv::Variant& JobRequest() const { return FJobRequest; }
    int DateOrder() const { return FDateOrder; }
    const QString& DateSeparator() const { return FDateSeparator; }

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* Key, QWidget* Target) override;
    void DoClose(TCloseAction& Action) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    bool eventFilter(QObject* Watched, QEvent* e) override;
    // A lookup button or button edit asks for its lookup: answered as F2 on that edit.
    bool event(QEvent* e) override;

    virtual void btnOkClick() {}
    virtual void btnCancelClick() {}
    void DateFieldEnter(QWidget* Control);
    bool DateFieldExit(QWidget* Control);
    bool RequiredExit(QWidget* Control);
    // The buttons whose clicks the required fields guard.
    static bool IsGuardedButton(const QObject* Button);
    // The controls inside a container in tab order, then those outside the focus chain.
    static QList<QWidget*> TabOrder(QWidget* Container);
    // Appends "name.property;" for every option control of a container, in tab order.
    static void AppendOptions(QWidget* Container, QString& List);

    // The session cannot go on: the form closes as soon as the event loop runs again.
    void RequestClose();

    // What each form kind sets up in its ConfigureForm step.
    void SetFormType(const QString& Value) { FFormType = Value; }
    void SetSystemOptionCount(int Value) { FSystemOptionCount = Value; }
    void SetServiceFlags(int Value) { FServiceFlags = Value; }
    void SetBaseLimited(const QString& Value) { FBaseLimited = Value; }
    void SetYearMonthFields(const QString& Value) { FYearMonthFields = Value; }
    void SetLabelled(bool Value) { FLabelled = Value; }
    void SetJobRequest(const kv::Variant& Value) { FJobRequest = Value; }

private:
    // Session.
    QString FDbName, FServerProgID, FVersionCode, FFormType = "R";
    int FHostWindow = 0, FHostVersionType = 0, FProductID = 3;
    kv::Variant FHostExtra;
    QStringList FSystemSettings, FOriginalColors, FLastControls;
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

    bool InitializeSessionSteps(const kv::Variant& Params);
    bool ApplyValuesByName(const kv::Variant& V);
    bool CheckBuilt(const kv::Variant& Array, int Count, const QString& Ident, const QString& Default);
    void MoveByEnter(QWidget* Control);
    void RepaintHost();
    kv::DispatchPtr MessageHost() const;
    bool GuardClick(QAbstractButton* Button);
    void lstConditionEdited(QTreeWidgetItem* Item, int Column);
    void SetViewStyle(int Style);
    // The condition data set's row of a scheme shown under this name; false when there is none.
    bool LocateScheme(const QString& Name);
    QString SelectedScheme() const;

    // The last control of each page, by name, from the pages' tab order when the form is shown.
    void FillLastControls();

    TNotifyEvent FOnDateFieldEnter, FOnDateFieldExit, FOnRequiredExit;
    bool FWantLog = false;
    bool FClosePending = false;
    QString FServerError;
    bool FFillingList = false;
    int FViewStyle = 2;
    int FViewStep = 0;
};

// A text as one argument of a message code, whose fields are separated by ";".
QString MessageCodeArgument(QString Text);
// A database name that may stand in SQL texts as written: letters, digits and "_", not starting
// with a digit. The "$$" prefix of every statement becomes this name.
bool IsPlainDatabaseName(const QString& Name);
