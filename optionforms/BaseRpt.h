#pragma once
// TfrmBaseRpt: the report kind of option form, a batch form that can also run the report at once on the
// workstation, open it for design through the queue manager and show it on the suite's report web site.
// Report options add the output kinds, the date type, page footers and sign-off lines.
#include "optionforms/BaseOpt.h"

class QCheckBox;
class TKvEdit;

class TfrmBaseRpt : public TfrmBaseOpt {
    Q_OBJECT

public:
    explicit TfrmBaseRpt(QWidget* owner = nullptr);

    TOptGroupBox* grpGenType;
    TOptCheckBox *chkView, *chkHTML, *chkDirectPrint;
    TOptLabel* lblDateType;
    QComboBox* cboDateType;
    TOptGroupBox* grpNote;
    TKvEdit *edNoteID, *edNote1, *edNote2, *edNote3;
    TF2Button* btnNote;
    TOptCheckBox* chkNoteEPPrint;
    TOptGroupBox* grpSignIn;
    TKvEdit *edSignInID, *edSignIn1, *edSignIn2, *edSignIn3;
    TF2Button* btnSignIn;
    TOptCheckBox* chkSignInEPPrint;
    TOptButton *btnQuery, *btnDesign, *btnWebDesign;

    void ConfigureForm() override;
    bool RunMode(int mode) override;
    bool FillRequestHeader(kv::Variant& header) override;
    bool AddOptionLabels(kv::Variant& labels, int index) override;
    bool AddOptionValues(kv::Variant& values, int index) override;
    void OnF2Key(int key, QWidget* control) override;
    // The options of the pages, then the footer and sign-off edits and check boxes.
    QString BuildOptionList() override;

    // The report's address on the web site for a job; empty when the site is not configured.
    QString WebReportAddress(const QString& jobId);
    // Opens an address in the desktop's browser or a file in its viewer; replaceable for callers that
    // must not start other programs.
    std::function<bool(const QString& url)> OpenUrl;

    // Text sent with report runs and web requests.
    QString FExtName;
    // Kinds of output: bit 1 the report, bit 2 a web page, bit 4 direct printing.
    int FOutputKinds = 1;

protected:
    void btnQueryClick();
    void btnDesignClick();
    void btnWebDesignClick();
    void GenTypeClick(QCheckBox* box);
    // Footer (kind "1") and sign-off (kind "2") codes of table CMSMS.
    bool CodeExit(TKvEdit* codeEdit, const QString& kind);
    void PickCode(TKvEdit* code, const QString& kind);
    // Sends the job request through Request1; the job identifier or "ERROR".
    QString RequestJob();
    // Runs the report of a job on the workstation and shows why it failed, or what it had to say.
    void RunOnWorkstation(const QString& jobId);
    // Asks the queue manager to open a job's report, with the running window up meanwhile.
    void OpenJobReport(const QString& jobId, const QString& prefix);
    void ReportStatus(const QString& jobId);
};
