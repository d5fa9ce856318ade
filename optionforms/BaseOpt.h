#pragma once
// TfrmBaseOpt: the batch kind of option form. It sends its options to the job server through the
// application server object "ReportCounterS.dmReportCounter": into the job queue, at once, or at a set
// time, once or periodically with date options that move with each run, and with a notification to
// chosen users when the job is done. It asks the host for its lookup service and loads the user's rights
// when it is opened.
#include <functional>

#include "optionforms/BaseGene.h"

class QComboBox;
class QMenu;
class TKvSpinEdit;
class TOptButton;
class TOptCheckBox;
class TOptGroupBox;
class TOptLabel;
class TOptRadioButton;
class TOptTabSheet;

class TfrmBaseOpt : public TfrmBaseGene {
    Q_OBJECT

public:
    explicit TfrmBaseOpt(QWidget* owner = nullptr);

    // System page: when the job runs, and who hears of it.
    TOptGroupBox* grpGenTime;
    TOptRadioButton *rdoQueue, *rdoRealTime, *rdoExceptTime;
    QFrame* pnlTime;
    QLineEdit* edDate;
    TF2Button* btnDate;
    TKvSpinEdit *edHour, *edMin, *edSec;
    TOptCheckBox* chkNotify;
    TOptButton* btnNotify;
    TOptGroupBox* grpAlarm;
    TOptCheckBox *chkKvPager, *chkAlarm;

    // Periodic page.
    TOptTabSheet* tsPeriodOption;
    TOptLabel* lblPeriodTime;
    TKvSpinEdit *sePeriodHour, *sePeriodMin;
    TOptGroupBox* gbCycleStyle;
    TOptRadioButton *rdoEveryday, *rdoEveryWeek, *rdoEveryMonth, *rbEveryHour;
    QFrame *pnlDay, *pnlWeek, *pnlMonth, *pnlHour;
    TKvSpinEdit *meDay, *meWeek, *meMonth_M1, *meMonth_D, *meMonth_M2;
    QComboBox *cboDayofWeek, *cbo1Month_M2, *cbo2Month_M2;
    TOptRadioButton *rdomonth_1, *rdomonth_2;
    QLineEdit* edEveryHour;
    TOptGroupBox* gbCycleRang;
    TOptLabel* lblStartDate;
    QLineEdit* meStartDate;
    TOptRadioButton *rbCycleRang_1, *rbCycleRang_2, *rbCycleRang_3;
    TKvSpinEdit* meCycleRang_2;
    QLineEdit* meEndDate;
    TOptGroupBox* gbDynamicFields;
    QComboBox* cbocondition;
    // The relative-date settings of the chosen date option: begin, and for ranges the end.
    QFrame* pnlDynamic;
    TOptCheckBox *chkBeginVariable, *chkEndVariable;
    TKvSpinEdit *seBeginOffset, *seBeginDays, *seEndOffset, *seEndDays;
    QComboBox *cboBeginUnit, *cboBeginKind, *cboEndUnit, *cboEndKind;
    TOptLabel *lblBeginDate, *lblEndDate;

    // Bottom panel.
    TOptButton* btnPeriod;
    QToolButton* btnSpd;
    QMenu* pmOKExit;
    QAction *miCloseAfterOK, *miStayAfterOK;
    QPushButton *btnOK01, *btnOK02;

    void ConfigureForm() override;
    void SetServerName(TSocketConnection* connection) override;
    bool InitializeSession(const kv::Variant& params) override;
    bool FillRequestHeader(kv::Variant& header) override;
    bool BuildJobRequest() override;

    // [mode, data] of the periodic pattern chosen on the periodic page.
    kv::Variant BuildCyclePattern() const;
    // Fills the date options of the periodic page; counts and pattern combos are preset on first use.
    void RefreshPeriodPage();
    // False, after showing "E;100082", when an end date before the start date is chosen.
    bool CheckPeriodRange();
    // False, after showing why, when the periodic job ends on a date and its end date is empty
    // ("E;000037" with the choice's caption) or not a date ("E;000005").
    bool CheckPeriodEnd();
    // The user choice of the notification recipients; replaceable so that callers can choose another.
    std::function<QString(TfrmBaseOpt* form, const QString& notifyXml)> ChooseRecipients;

    int FSQLType = 0;
    // Rights of the user on this program as the server answers them: [base limit, flags...].
    kv::Variant FPower;
    QString FRights;
    kv::Variant FCyclePattern;
    QString FFirstRunDate;
    QString FNotifyXML;
    bool FCloseAfterOK = true;
    QStringList FPeriodDateSettings;
    // The periodic range was refused, which stands as the form's pending failure.
    bool FRangeRefused = false;

protected:
    void btnOkClick() override;
    void btnCancelClick() override;
    // The set time's date has a quick-pick of its own.
    void OnF2Key(int key, QWidget* control) override;
    void btnPeriodClick(bool down);
    void btnNotifyClick();
    void chkNotifyClick();
    // Writes the relative-date editors back into the chosen settings entry, and the reverse.
    void StoreDynamicEditors();
    void LoadDynamicEditors();
    void ShowCyclePanels();
    // The text of a message of the host's message table; empty when there is none.
    QString HostMessage(const QString& type, const QString& number);
    // Sends the request converted to code page 936; the answer, or "ERROR" when the call fails.
    QString SendRequest(const QString& member, const QString& workstation);
    // "E;000013" with the application server's description of why a request failed.
    void ShowRequestError();

    QString FPlainRequired;
    bool FPeriodPrepared = false;
    bool FPeriodRefreshed = false;
    bool FLoadingEditors = false;
};
