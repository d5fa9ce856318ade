#include "optionforms/BaseRpt.h"

#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QUrl>

#include "controls/F2Button.h"
#include "controls/KvEdit.h"
#include "optionforms/BaseOptControls.h"
#include "optionforms/BaseRptRunning.h"
#include "platform/DateTime.h"
#include "support/LibStrs.h"
#include "support/MSXML2_TLB.h"

namespace {

QString cls() {
    return QStringLiteral("TfrmBaseRpt");
}

TKvEdit* codeEdit(QWidget* parent, const char* name, const QString& caption, int x, int y, int width,
                  int length) {
    auto* e = new TKvEdit(parent);
    e->setObjectName(name);
    e->SetCaption(caption);
    e->setMaxLength(length);
    e->setGeometry(x, y, width, 22);
    return e;
}

TOptCheckBox* check(QWidget* parent, const char* name, const QString& caption, int x, int y,
                    int width = 120) {
    auto* c = new TOptCheckBox(caption, parent);
    c->setObjectName(name);
    c->setGeometry(x, y, width, 22);
    return c;
}

kv::TDateTime nowValue() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDate(1899, 12, 30).daysTo(now.date()) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

// Re-enables a button however its handler ends.
class TButtonBusy {
public:
    explicit TButtonBusy(QWidget* button) : FButton(button) { FButton->setEnabled(false); }
    ~TButtonBusy() {
        if (FButton) FButton->setEnabled(true);
    }
    TButtonBusy(const TButtonBusy&) = delete;
    TButtonBusy& operator=(const TButtonBusy&) = delete;

private:
    QPointer<QWidget> FButton;
};

} // namespace

TfrmBaseRpt::TfrmBaseRpt(QWidget* owner) : TfrmBaseOpt(owner) {
    setObjectName("frmBaseRpt");
    OpenUrl = [](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); };

    grpGenType = new TOptGroupBox(QStringLiteral("报表生成选项"), tsOption2);
    grpGenType->setObjectName("grpGenType");
    grpGenType->setToolTip(QStringLiteral("信息生成的类型"));
    grpGenType->setGeometry(320, 8, 200, 90);
    chkView = check(grpGenType, "chkView", QStringLiteral("生成报表"), 8, 18);
    chkView->setChecked(true);
    chkHTML = check(grpGenType, "chkHTML", QStringLiteral("可供网页浏览"), 8, 40);
    chkDirectPrint = check(grpGenType, "chkDirectPrint", QStringLiteral("直接打印"), 8, 62);
    lblDateType = new TOptLabel(QStringLiteral("日期类型"), tsOption2);
    lblDateType->setObjectName("lblDateType");
    lblDateType->move(320, 110);
    cboDateType = new QComboBox(tsOption2);
    cboDateType->setObjectName("cboDateType");
    cboDateType->addItems({QStringLiteral("公历 YYYYMMDD"), QStringLiteral("公历 MMDDYYYY"),
                           QStringLiteral("公历 DDMMYYYY"), QStringLiteral("民国年 YYMMDD"),
                           QStringLiteral("民国年 YYYMMDD")});
    cboDateType->setGeometry(380, 106, 140, 22);

    grpNote = new TOptGroupBox(QStringLiteral("页脚"), tsOption2);
    grpNote->setObjectName("grpNote");
    grpNote->setGeometry(8, 214, 252, 124);
    edNoteID = codeEdit(grpNote, "edNoteID", QStringLiteral("编号"), 50, 18, 70, 6);
    edNoteID->setToolTip(QStringLiteral("[F2]页脚信息查询"));
    btnNote = new TF2Button(grpNote);
    btnNote->setObjectName("btnNote");
    btnNote->SetF2Control(edNoteID);
    chkNoteEPPrint = check(grpNote, "chkNoteEPPrint", QStringLiteral("每页打印页脚"), 148, 18, 100);
    edNote1 = codeEdit(grpNote, "edNote1", QStringLiteral("页脚一"), 50, 44, 190, 255);
    edNote2 = codeEdit(grpNote, "edNote2", QStringLiteral("页脚二"), 50, 68, 190, 255);
    edNote3 = codeEdit(grpNote, "edNote3", QStringLiteral("页脚三"), 50, 92, 190, 255);

    grpSignIn = new TOptGroupBox(QStringLiteral("签核"), tsOption2);
    grpSignIn->setObjectName("grpSignIn");
    grpSignIn->setGeometry(268, 214, 252, 124);
    edSignInID = codeEdit(grpSignIn, "edSignInID", QStringLiteral("编号"), 50, 18, 70, 6);
    edSignInID->setToolTip(QStringLiteral("[F2]签核信息查询"));
    btnSignIn = new TF2Button(grpSignIn);
    btnSignIn->setObjectName("btnSignIn");
    btnSignIn->SetF2Control(edSignInID);
    chkSignInEPPrint = check(grpSignIn, "chkSignInEPPrint", QStringLiteral("每页打印签核"), 148, 18, 100);
    edSignIn1 = codeEdit(grpSignIn, "edSignIn1", QStringLiteral("签核一"), 50, 44, 190, 255);
    edSignIn2 = codeEdit(grpSignIn, "edSignIn2", QStringLiteral("签核二"), 50, 68, 190, 255);
    edSignIn3 = codeEdit(grpSignIn, "edSignIn3", QStringLiteral("签核三"), 50, 92, 190, 255);

    btnOk->setText(QStringLiteral("后台处理"));
    const auto button = [this](const char* name, const QString& caption) {
        auto* b = new TOptButton(caption, Panel1);
        b->setObjectName(name);
        return b;
    };
    btnQuery = button("btnQuery", QStringLiteral("直接查询"));
    btnDesign = button("btnDesign", QStringLiteral("设计报表"));
    btnWebDesign = button("btnWebDesign", QStringLiteral("web报表"));
    if (auto* buttons = qobject_cast<QHBoxLayout*>(Panel1->layout())) {
        const int at = buttons->indexOf(btnOk);
        buttons->insertWidget(at, btnWebDesign);
        buttons->insertWidget(at, btnDesign);
        buttons->insertWidget(at, btnQuery);
    }

    connect(btnQuery, &QPushButton::clicked, this, [this] { btnQueryClick(); });
    connect(btnDesign, &QPushButton::clicked, this, [this] { btnDesignClick(); });
    connect(btnWebDesign, &QPushButton::clicked, this, [this] { btnWebDesignClick(); });
    for (QCheckBox* box : {static_cast<QCheckBox*>(chkView), static_cast<QCheckBox*>(chkHTML),
                           static_cast<QCheckBox*>(chkDirectPrint)})
        connect(box, &QCheckBox::clicked, this, [this, box] { GenTypeClick(box); });
    // The codes' own exit handlers: run each time the field is left (a code refused once is checked
    // again when left unchanged), not only when the text changed.
    ChainEvent(edNoteID, QStringLiteral("OnExit"),
               TNotifyEvent{[this](QObject*) { CodeExit(edNoteID, "1"); }, this});
    ChainEvent(edSignInID, QStringLiteral("OnExit"),
               TNotifyEvent{[this](QObject*) { CodeExit(edSignInID, "2"); }, this});
    // The lookup buttons pick a code as F2 on their edit does.
    disconnect(btnNote, &QToolButton::clicked, nullptr, nullptr);
    disconnect(btnSignIn, &QToolButton::clicked, nullptr, nullptr);
    connect(btnNote, &QToolButton::clicked, this, [this] { PickCode(edNoteID, "1"); });
    connect(btnSignIn, &QToolButton::clicked, this, [this] { PickCode(edSignInID, "2"); });
}

void TfrmBaseRpt::ConfigureForm() {
    TfrmBaseOpt::ConfigureForm();
    SetHeaderSize(14);
    SetFormType("R");
    SetSystemOptionCount(4);
    SetOptionCount(0);
    FOutputKinds = 1;
    cboDateType->setCurrentIndex(DateOrder() - 1);
    for (TKvEdit* e : {edNote1, edNote2, edNote3, edSignIn1, edSignIn2, edSignIn3})
        e->setMaxLength(255);
    resize(width() + 80, height());
}

bool TfrmBaseRpt::RunMode(int mode) {
    if (mode == 3)
        ClickButton(btnDesign);
    else if (mode == 4)
        ClickButton(btnQuery);
    else
        return true;
    close();
    return true;
}

bool TfrmBaseRpt::FillRequestHeader(kv::Variant& header) {
    if (!TfrmBaseOpt::FillRequestHeader(header)) return false;
    header.at(13) = FOutputKinds & 7;
    header.at(14) = FExtName;
    return true;
}

bool TfrmBaseRpt::AddOptionLabels(kv::Variant& labels, int index) {
    // The base puts the print date last and checks the array's room.
    if (!TfrmBaseOpt::AddOptionLabels(labels, index)) return false;
    labels.at(index + 1) = kv::Variant::arrayOf({lblDateType->text(), cboDateType->objectName()});
    labels.at(index + 2) = kv::Variant::arrayOf({grpNote->title(), grpNote->objectName()});
    labels.at(index + 3) = kv::Variant::arrayOf({grpSignIn->title(), grpSignIn->objectName()});
    return true;
}

bool TfrmBaseRpt::AddOptionValues(kv::Variant& values, int index) {
    if (!TfrmBaseOpt::AddOptionValues(values, index)) return false;
    const auto texts = [](TKvEdit* code, TKvEdit* a, TKvEdit* b, TKvEdit* c, QCheckBox* everyPage) {
        return kv::Variant::arrayOf(
            {code->text().trimmed(), a->text(), b->text(), c->text(), everyPage->isChecked() ? "Y" : "N"});
    };
    values.at(index + 1) = QString::number(cboDateType->currentIndex() + 1);
    values.at(index + 2) = texts(edNoteID, edNote1, edNote2, edNote3, chkNoteEPPrint);
    values.at(index + 3) = texts(edSignInID, edSignIn1, edSignIn2, edSignIn3, chkSignInEPPrint);
    return true;
}

QString TfrmBaseRpt::BuildOptionList() {
    QString list = TfrmBaseOpt::BuildOptionList();
    AppendOptions(grpNote, list);
    AppendOptions(grpSignIn, list);
    return list;
}

void TfrmBaseRpt::GenTypeClick(QCheckBox* box) {
    const int kinds = (chkView->isChecked() ? 1 : 0) | (chkHTML->isChecked() ? 2 : 0) |
                      (chkDirectPrint->isChecked() ? 4 : 0);
    Q_UNUSED(box);
    if (kinds == 0) {
        // No box ticked: the kinds chosen before still hold, and the user is told.
        ShowMessageCode("I;000005");
        return;
    }
    FOutputKinds = kinds;
}

void TfrmBaseRpt::OnF2Key(int key, QWidget* control) {
    if (control == edNoteID)
        PickCode(edNoteID, "1");
    else if (control == edSignInID)
        PickCode(edSignInID, "2");
    else
        TfrmBaseOpt::OnF2Key(key, control);
}

void TfrmBaseRpt::PickCode(TKvEdit* code, const QString& kind) {
    const kv::Variant rows =
        LookupData("CMSMS", "01", kv::Variant(kind), kv::Variant(), false, kv::Variant());
    if (!rows.isArray() || rows.elementCount() == 0) return;
    const kv::Variant& row = rows.at(rows.lowBound()).isArray() ? rows.at(rows.lowBound()) : rows;
    code->setText(kv::varToStr(row.at(row.lowBound())).trimmed());
    CodeExit(code, kind);
}

bool TfrmBaseRpt::CodeExit(TKvEdit* codeEdit, const QString& kind) {
    const bool footer = kind == QLatin1String("1");
    TKvEdit* texts[3] = {footer ? edNote1 : edSignIn1, footer ? edNote2 : edSignIn2,
                         footer ? edNote3 : edSignIn3};
    const QString code = codeEdit->text().trimmed();
    codeEdit->clear();
    for (TKvEdit* t : texts)
        t->clear();
    if (code.isEmpty()) {
        // No code is no refused code: a refusal of the one cleared no longer stands.
        SetPendingFailure(false);
        return true;
    }
    kv::Variant row;
    if (GetData("CMSMS", "01", true, row, kv::Variant::arrayOf({kind, code})) && row.isArray()) {
        const int low = row.lowBound();
        codeEdit->setText(kv::varToStr(row.at(low)).trimmed());
        for (int i = 0; i < 3 && low + 1 + i <= row.highBound(); ++i)
            texts[i]->setText(kv::varToStr(row.at(low + 1 + i)).trimmed());
        SetPendingFailure(false);
        return true;
    }
    // The code the table does not hold is refused: it stays for correction.
    codeEdit->setText(code);
    ShowMessageCode("W;000004;" + HostMessage("R", footer ? "100235" : "100236"));
    SetPendingFailure(true);
    codeEdit->setFocus();
    return false;
}

QString TfrmBaseRpt::RequestJob() {
    return SendRequest("Request1", QSysInfo::machineHostName());
}

void TfrmBaseRpt::ReportStatus(const QString& jobId) {
    try {
        if (AppServer())
            AppServer()->call("UpdateStatus1", {jobId, ErrorTexts(), kv::Variant::fromDate(nowValue())});
    } catch (const std::exception&) {
        // The status is a courtesy to the job list; the report itself has been handled.
    }
}

void TfrmBaseRpt::btnQueryClick() {
    const TButtonBusy busy(btnQuery);
    RecordError(QString());
    if (!BuildJobRequest()) return;
    QString id;
    if (WantLog()) id = RequestJob();
    // A refused request is no job: the report runs under a name of its own, as without the log.
    if (id.compare("ERROR", Qt::CaseInsensitive) == 0) id.clear();
    RunOnWorkstation(id);
}

void TfrmBaseRpt::RunOnWorkstation(const QString& jobId) {
    bool done = false;
    try {
        done = SubmitReport(jobId, FProgramCode, jobId.left(8) + "0001", 1, JobRequest().at(2), DbName(),
                            FormType(), ServerProgID(), FUserID, FCompanyID, FExtName);
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
    }
    if (!done)
        MessageBox(LangText(cls(), "sFailedReason", QStringLiteral("产生报表失败! 原因: ")) + ErrorTexts(),
                   mtError, mbOK);
    else if (!ErrorTexts().trimmed().isEmpty())
        MessageBox(ErrorTexts(), mtInformation, mbOK);
}

void TfrmBaseRpt::btnDesignClick() {
    const TButtonBusy busy(btnDesign);
    RecordError(QString());
    if (!BuildJobRequest()) return;
    const QString id = RequestJob();
    const QString prefix = id.left(8) + "0001";
    const bool refused = id.compare("ERROR", Qt::CaseInsensitive) == 0;
    if (!refused) {
        FResultCode = 1;
        FResultData = id;
        SetLabelled(false);
        RunOnWorkstation(id);
    } else {
        ShowRequestError();
    }
    // The job list hears how it went.
    ReportStatus(id);
    if (refused) {
        // No job, so no report of it: a report left under the answer's name by an earlier run is
        // not this one.
        MessageBox(LangText(cls(), "sFailedOpenRep", QStringLiteral("开启报表失败! ")), mtError, mbOK);
        return;
    }
    // The queue manager is asked for the report even when the run failed: it tells the user itself
    // when there is none.
    OpenJobReport(id, prefix);
}

void TfrmBaseRpt::OpenJobReport(const QString& jobId, const QString& prefix) {
    TfrmRunningWinC running(this);
    running.SetCaption(LangText(cls(), "sOpeningReport", QStringLiteral("报表开启中，请稍候...")));
    running.ShowCentred();
    kv::DispatchPtr queue;
    try {
        queue = kv::CreateOleObject("QueueManagerC.Class1");
    } catch (const std::exception& e) {
        running.hide();
        RecordError(QString::fromUtf8(e.what()));
        MessageBox(LangText(cls(), "sFailedRunJobQ", QStringLiteral("启动队列管理员失败! ")), mtError, mbOK);
        return;
    }
    int result = -1;
    try {
        result = queue
                     ->call("OpenReport", {kv::Variant::arrayOf({jobId, prefix, FUserID, ProductID()}),
                                           FUserID, kv::Variant(true)})
                     .toInt();
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
    }
    running.hide();
    if (result != 0)
        MessageBox(LangText(cls(), "sFailedOpenRep", QStringLiteral("开启报表失败! ")), mtError, mbOK);
}

QString TfrmBaseRpt::WebReportAddress(const QString& jobId) {
    kv::Variant row;
    if (!GetData("CMSMA", "02", true, row, kv::Variant()) || !row.isArray()) return {};
    QString site = kv::varToStr(row.at(row.lowBound())).trimmed();
    if (site.isEmpty()) return {};
    while (site.endsWith('/'))
        site.chop(1);
    const QString page = GetUICodePage();
    const QString culture = page == QLatin1String("437")   ? QStringLiteral("en")
                            : page == QLatin1String("936") ? QStringLiteral("zh-CHS")
                                                           : QStringLiteral("zh-CHT");
    const auto enc = [](const QString& v) { return QString::fromLatin1(QUrl::toPercentEncoding(v)); };
    // The site shows the job's own rows of the program's main table.
    const QString mainTable = FProgramCode + "_" + jobId;
    return site + "/Server/ReportView.aspx" + "?" + "UserID=" + enc(FUserID) + "&" +
           "CompanyID=" + enc(FCompanyID) + "&" + "DbName=" + enc(DbName()) + "&" + "Culture=" + culture +
           "&" + "ReportID=" + enc(FProgramCode) + "&" + "ExtName=" + enc(FExtName) + "&" +
           "MainTable=" + enc(mainTable) + "&" + "IsPageBreak='N'" + "&" +
           "SendKey=" + QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
}

void TfrmBaseRpt::btnWebDesignClick() {
    const TButtonBusy busy(btnWebDesign);
    RecordError(QString());
    if (!BuildJobRequest()) return;
    const QString id = RequestJob();
    if (id.compare("ERROR", Qt::CaseInsensitive) == 0) {
        ShowRequestError();
        return;
    }
    FResultCode = 1;
    FResultData = id;
    ReportStatus(id);
    const QString address = WebReportAddress(id);
    if (address.isEmpty()) {
        MessageBox("WebReportSiteUrl not Exists, Please Check the table WebReportConfig", mtError, mbOK);
        return;
    }
    bool reachable = false;
    {
        TXMLHTTP request(this);
        try {
            request.Open("Get", address, kv::Variant(false));
            request.Send();
            // A page the site does not have cannot be shown either.
            reachable = request.status() > 0 && request.status() < 400;
        } catch (const std::exception& e) {
            RecordError(QString::fromUtf8(e.what()));
        }
    }
    if (!reachable) {
        MessageBox(LangText(cls(), "sWebReportUrlError", QStringLiteral("web报表网址配置不正确或无法访问！")),
                   mtError, mbOK);
        return;
    }
    if (!OpenUrl || !OpenUrl(address))
        MessageBox(LangText(cls(), "sFailedOpenRep", QStringLiteral("开启报表失败! ")), mtError, mbOK);
}
