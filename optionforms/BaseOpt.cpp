#include "optionforms/BaseOpt.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>
#include <utility>

#include "controls/F2Button.h"
#include "controls/KvSpinEdit.h"
#include "controls/SelectPnl.h"
#include "frame/SocketConnection.h"
#include "lang/CodeConverter.h"
#include "lang/LangCommon.h"
#include "optionforms/BaseOptControls.h"
#include "optionforms/Notify.h"
#include "platform/DateTime.h"
#include "support/LibStrs.h"

namespace {

const QChar kSep(3);

QString twoDigits(int n) {
    return QString::number(n).rightJustified(2, '0');
}

TKvSpinEdit* spin(QWidget* parent, const char* name, int low, int high, int x, int y, int width = 44) {
    auto* s = new TKvSpinEdit(parent);
    s->setObjectName(name);
    s->setProperty("MinValue", low);
    s->setProperty("MaxValue", high);
    s->setGeometry(x, y, width, 22);
    return s;
}

QComboBox* combo(QWidget* parent, const char* name, const QStringList& items, int x, int y, int width) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    c->setGeometry(x, y, width, 22);
    return c;
}

TOptRadioButton* radio(QWidget* parent, const char* name, const QString& caption, int x, int y,
                       int width = 100) {
    auto* r = new TOptRadioButton(caption, parent);
    r->setObjectName(name);
    r->setGeometry(x, y, width, 20);
    return r;
}

TOptLabel* label(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* l = new TOptLabel(caption, parent);
    l->setObjectName(name);
    l->move(x, y + 3);
    l->adjustSize();
    return l;
}

QFrame* panel(QWidget* parent, const char* name) {
    auto* p = new QFrame(parent);
    p->setObjectName(name);
    p->setGeometry(110, 13, 300, 70);
    return p;
}

// A settings entry of a date option, unchanged: single date ("1") or range ("0").
QString plainDateSetting(const QString& name, bool range, const QString& kind) {
    const QStringList side{"N", "0", "0", "0", "0"};
    QStringList fields{range ? "0" : "1", name};
    fields << side;
    if (range) fields << side;
    fields << kind;
    return fields.join(kSep);
}

kv::TDateTime nowValue() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDate(1899, 12, 30).daysTo(now.date()) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

} // namespace

void TOptTabSheet::SetCaption(const QString& caption) {
    FCaption = caption;
    for (QWidget* up = parentWidget(); up; up = up->parentWidget())
        if (auto* pages = qobject_cast<QTabWidget*>(up)) {
            const int i = pages->indexOf(this);
            if (i >= 0) pages->setTabText(i, caption);
            break;
        }
}

TfrmBaseOpt::TfrmBaseOpt(QWidget* owner) : TfrmBaseGene(owner) {
    setObjectName("frmBaseOpt");

    // System page, below the print date.
    grpGenTime = new TOptGroupBox(QStringLiteral("生成时间"), tsOption2);
    grpGenTime->setObjectName("grpGenTime");
    grpGenTime->setGeometry(8, 36, 300, 112);
    rdoQueue = radio(grpGenTime, "rdoQueue", QStringLiteral("放入工作队列"), 8, 18, 200);
    rdoQueue->setToolTip(QStringLiteral("排入工作队列等候运行"));
    rdoQueue->setChecked(true);
    rdoRealTime = radio(grpGenTime, "rdoRealTime", QStringLiteral("实时生成信息"), 8, 40, 200);
    rdoRealTime->setToolTip(QStringLiteral("信息需要立即生成"));
    rdoExceptTime = radio(grpGenTime, "rdoExceptTime", QStringLiteral("在下列时间生成信息"), 8, 62, 200);
    rdoExceptTime->setToolTip(QStringLiteral("按设置时间生成报表"));
    pnlTime = new QFrame(grpGenTime);
    pnlTime->setObjectName("pnlTime");
    pnlTime->setGeometry(24, 84, 270, 24);
    edDate = new QLineEdit(pnlTime);
    edDate->setObjectName("edDate");
    edDate->setGeometry(0, 0, 85, 22);
    btnDate = new TF2Button(pnlTime);
    btnDate->setObjectName("btnDate");
    btnDate->SetGlyphIndex(9);
    btnDate->SetF2Control(edDate);
    edHour = spin(pnlTime, "edHour", 0, 23, 112, 0);
    edMin = spin(pnlTime, "edMin", 0, 59, 160, 0);
    edSec = spin(pnlTime, "edSec", 0, 59, 208, 0);
    chkNotify = new TOptCheckBox(QStringLiteral("完成后通知"), tsOption2);
    chkNotify->setObjectName("chkNotify");
    chkNotify->setGeometry(8, 154, 110, 22);
    btnNotify = new TOptButton(QStringLiteral("..."), tsOption2);
    btnNotify->setObjectName("btnNotify");
    btnNotify->setToolTip(QStringLiteral("选择需要通知的用户"));
    btnNotify->setGeometry(120, 154, 28, 22);
    btnNotify->setEnabled(false);
    grpAlarm = new TOptGroupBox(QStringLiteral("通知方式"), tsOption2);
    grpAlarm->setObjectName("grpAlarm");
    grpAlarm->setGeometry(160, 150, 150, 60);
    chkKvPager = new TOptCheckBox(QStringLiteral("B.B.CALL"), grpAlarm);
    chkKvPager->setObjectName("chkKvPager");
    chkKvPager->move(8, 16);
    chkAlarm = new TOptCheckBox(QStringLiteral("显示讯息"), grpAlarm);
    chkAlarm->setObjectName("chkAlarm");
    chkAlarm->move(8, 36);
    grpAlarm->hide();

    // Periodic page; its tab shows only while the periodic button is down.
    tsPeriodOption = new TOptTabSheet(QStringLiteral("周期性设置"));
    tsPeriodOption->setObjectName("tsPeriodOption");
    pgOption->addTab(tsPeriodOption, tsPeriodOption->Caption());
    pgOption->setTabVisible(pgOption->indexOf(tsPeriodOption), false);
    lblPeriodTime = label(tsPeriodOption, "lblPeriodTime", QStringLiteral("运行时间"), 8, 8);
    sePeriodHour = spin(tsPeriodOption, "sePeriodHour", 0, 23, 80, 8);
    sePeriodMin = spin(tsPeriodOption, "sePeriodMin", 0, 59, 128, 8);

    gbCycleStyle = new TOptGroupBox(QStringLiteral("循环模式"), tsPeriodOption);
    gbCycleStyle->setObjectName("gbCycleStyle");
    gbCycleStyle->setGeometry(8, 36, 420, 112);
    rdoEveryday = radio(gbCycleStyle, "rdoEveryday", QStringLiteral("每天"), 8, 18);
    rdoEveryday->setChecked(true);
    rdoEveryWeek = radio(gbCycleStyle, "rdoEveryWeek", QStringLiteral("每周"), 8, 40);
    rdoEveryMonth = radio(gbCycleStyle, "rdoEveryMonth", QStringLiteral("每月"), 8, 62);
    rbEveryHour = radio(gbCycleStyle, "rbEveryHour", QStringLiteral("每小时"), 8, 84);
    pnlDay = panel(gbCycleStyle, "pnlDay");
    label(pnlDay, "lblDay1", QStringLiteral("每"), 0, 4);
    meDay = spin(pnlDay, "meDay", 1, 999, 20, 4, 50);
    label(pnlDay, "lblDay2", QStringLiteral("天"), 74, 4);
    pnlWeek = panel(gbCycleStyle, "pnlWeek");
    label(pnlWeek, "lblWeek1", QStringLiteral("每"), 0, 4);
    meWeek = spin(pnlWeek, "meWeek", 1, 99, 20, 4);
    label(pnlWeek, "lblWeek2", QStringLiteral("周的"), 68, 4);
    cboDayofWeek = combo(pnlWeek, "cboDayofWeek",
                         {QStringLiteral("星期日"), QStringLiteral("星期一"), QStringLiteral("星期二"),
                          QStringLiteral("星期三"), QStringLiteral("星期四"), QStringLiteral("星期五"),
                          QStringLiteral("星期六")},
                         104, 4, 80);
    pnlMonth = panel(gbCycleStyle, "pnlMonth");
    rdomonth_1 = radio(pnlMonth, "rdomonth_1", QStringLiteral("每"), 0, 4, 40);
    rdomonth_1->setChecked(true);
    meMonth_M1 = spin(pnlMonth, "meMonth_M1", 1, 99, 42, 4);
    label(pnlMonth, "lblMonth1", QStringLiteral("个月的第"), 90, 4);
    meMonth_D = spin(pnlMonth, "meMonth_D", 1, 31, 150, 4);
    label(pnlMonth, "lblMonth2", QStringLiteral("天"), 198, 4);
    rdomonth_2 = radio(pnlMonth, "rdomonth_2", QStringLiteral("每"), 0, 32, 40);
    meMonth_M2 = spin(pnlMonth, "meMonth_M2", 1, 99, 42, 32);
    label(pnlMonth, "lblMonth3", QStringLiteral("个月的"), 90, 32);
    cbo1Month_M2 = combo(pnlMonth, "cbo1Month_M2",
                         {QStringLiteral("第 1 个"), QStringLiteral("第 2 个"), QStringLiteral("第 3 个"),
                          QStringLiteral("第 4 个"), QStringLiteral("最后")},
                         134, 32, 70);
    cbo2Month_M2 = combo(pnlMonth, "cbo2Month_M2",
                         {QStringLiteral("星期日"), QStringLiteral("星期一"), QStringLiteral("星期二"),
                          QStringLiteral("星期三"), QStringLiteral("星期四"), QStringLiteral("星期五"),
                          QStringLiteral("星期六")},
                         208, 32, 80);
    pnlHour = panel(gbCycleStyle, "pnlHour");
    label(pnlHour, "lblHour1", QStringLiteral("每隔"), 0, 4);
    edEveryHour = new QLineEdit(pnlHour);
    edEveryHour->setObjectName("edEveryHour");
    edEveryHour->setMaxLength(6);
    edEveryHour->setGeometry(34, 4, 60, 22);
    label(pnlHour, "lblHour2", QStringLiteral("小时处理一次数据"), 100, 4);

    gbCycleRang = new TOptGroupBox(QStringLiteral("循环范围"), tsPeriodOption);
    gbCycleRang->setObjectName("gbCycleRang");
    gbCycleRang->setGeometry(8, 152, 420, 96);
    lblStartDate = label(gbCycleRang, "lblStartDate", QStringLiteral("开始日期"), 8, 18);
    meStartDate = new QLineEdit(gbCycleRang);
    meStartDate->setObjectName("meStartDate");
    meStartDate->setGeometry(70, 18, 85, 22);
    rbCycleRang_1 = radio(gbCycleRang, "rbCycleRang_1", QStringLiteral("没有退出日期"), 170, 18, 120);
    rbCycleRang_1->setChecked(true);
    rbCycleRang_2 = radio(gbCycleRang, "rbCycleRang_2", QStringLiteral("在反复"), 170, 42, 70);
    meCycleRang_2 = spin(gbCycleRang, "meCycleRang_2", 1, 999, 242, 42, 50);
    label(gbCycleRang, "lblCycleRang_2", QStringLiteral("次后退出"), 296, 42);
    rbCycleRang_3 = radio(gbCycleRang, "rbCycleRang_3", QStringLiteral("退出日期"), 170, 66, 80);
    meEndDate = new QLineEdit(gbCycleRang);
    meEndDate->setObjectName("meEndDate");
    meEndDate->setGeometry(252, 66, 85, 22);

    gbDynamicFields = new TOptGroupBox(QStringLiteral("变动字段"), tsPeriodOption);
    gbDynamicFields->setObjectName("gbDynamicFields");
    gbDynamicFields->setGeometry(8, 252, 420, 110);
    cbocondition = combo(gbDynamicFields, "cbocondition", {}, 8, 18, 160);
    pnlDynamic = new QFrame(gbDynamicFields);
    pnlDynamic->setObjectName("pnlDynamic");
    pnlDynamic->setGeometry(8, 42, 410, 64);
    const QStringList units{QStringLiteral("周"), QStringLiteral("月")};
    const QStringList kinds{QStringLiteral("加/减"), QStringLiteral("第一天"), QStringLiteral("最后一天")};
    lblBeginDate = label(pnlDynamic, "lblBeginDate", QStringLiteral("起始日期"), 0, 2);
    chkBeginVariable = new TOptCheckBox(QStringLiteral("变动日期"), pnlDynamic);
    chkBeginVariable->setObjectName("chkBeginVariable");
    chkBeginVariable->setGeometry(70, 2, 90, 22);
    seBeginOffset = spin(pnlDynamic, "seBeginOffset", -99, 99, 160, 2);
    cboBeginUnit = combo(pnlDynamic, "cboBeginUnit", units, 206, 2, 44);
    cboBeginKind = combo(pnlDynamic, "cboBeginKind", kinds, 252, 2, 84);
    seBeginDays = spin(pnlDynamic, "seBeginDays", -999, 999, 338, 2, 56);
    lblEndDate = label(pnlDynamic, "lblEndDate", QStringLiteral("截止日期"), 0, 32);
    chkEndVariable = new TOptCheckBox(QStringLiteral("变动日期"), pnlDynamic);
    chkEndVariable->setObjectName("chkEndVariable");
    chkEndVariable->setGeometry(70, 32, 90, 22);
    seEndOffset = spin(pnlDynamic, "seEndOffset", -99, 99, 160, 32);
    cboEndUnit = combo(pnlDynamic, "cboEndUnit", units, 206, 32, 44);
    cboEndKind = combo(pnlDynamic, "cboEndKind", kinds, 252, 32, 84);
    seEndDays = spin(pnlDynamic, "seEndDays", -999, 999, 338, 32, 56);
    pnlDynamic->hide();

    // Bottom panel: periodic toggle on the left, the drop-down of OK right of it.
    auto* buttons = qobject_cast<QHBoxLayout*>(Panel1->layout());
    btnPeriod = new TOptButton(QStringLiteral("周期性"), Panel1);
    btnPeriod->setObjectName("btnPeriod");
    btnPeriod->setToolTip(QStringLiteral("周期性工作设置"));
    btnPeriod->setCheckable(true);
    btnSpd = new QToolButton(Panel1);
    btnSpd->setObjectName("btnSpd");
    btnSpd->setArrowType(Qt::DownArrow);
    btnSpd->setFixedWidth(16);
    pmOKExit = new QMenu(this);
    pmOKExit->setObjectName("pmOKExit");
    miCloseAfterOK = pmOKExit->addAction(QStringLiteral("处理后直接退出作业(&C)"));
    miCloseAfterOK->setObjectName("miCloseAfterOK");
    miStayAfterOK = pmOKExit->addAction(QStringLiteral("处理后并不退出作业(&B)"));
    miStayAfterOK->setObjectName("miStayAfterOK");
    btnOK01 = new QPushButton(Panel1);
    btnOK01->setObjectName("btnOK01");
    btnOK01->hide();
    btnOK02 = new QPushButton(Panel1);
    btnOK02->setObjectName("btnOK02");
    btnOK02->hide();
    btnOk->setIcon(btnOK02->icon());
    if (buttons) {
        buttons->insertWidget(0, btnPeriod);
        buttons->insertWidget(buttons->indexOf(btnOk) + 1, btnSpd);
    }

    connect(btnPeriod, &QPushButton::clicked, this, [this](bool down) { btnPeriodClick(down); });
    connect(btnSpd, &QToolButton::clicked, this,
            [this] { pmOKExit->popup(btnOk->mapToGlobal(QPoint(0, btnOk->height()))); });
    // The items press OK as a click on it would, focus included: with the focus left on Cancel the
    // answer of the job server would not be shown.
    connect(miCloseAfterOK, &QAction::triggered, this, [this] {
        FCloseAfterOK = true;
        btnOk->setFocus(Qt::OtherFocusReason);
        ClickButton(btnOk);
    });
    connect(miStayAfterOK, &QAction::triggered, this, [this] {
        FCloseAfterOK = false;
        btnOk->setFocus(Qt::OtherFocusReason);
        ClickButton(btnOk);
    });
    connect(chkNotify, &QCheckBox::toggled, this, [this] { chkNotifyClick(); });
    connect(btnNotify, &QPushButton::clicked, this, [this] { btnNotifyClick(); });
    for (QRadioButton* r : {rdoEveryday, rdoEveryWeek, rdoEveryMonth, rbEveryHour})
        connect(r, &QRadioButton::toggled, this, [this] { ShowCyclePanels(); });
    connect(meEndDate, &QLineEdit::editingFinished, this, [this] {
        if (rbCycleRang_3->isChecked()) CheckPeriodRange();
    });
    connect(cbocondition, &QComboBox::currentIndexChanged, this, [this] { LoadDynamicEditors(); });
    for (QCheckBox* c : {chkBeginVariable, chkEndVariable})
        connect(c, &QCheckBox::toggled, this, [this] { StoreDynamicEditors(); });
    for (TKvSpinEdit* s : {seBeginOffset, seBeginDays, seEndOffset, seEndDays})
        connect(s, &TKvSpinEdit::Change, this, [this] { StoreDynamicEditors(); });
    for (QComboBox* c : {cboBeginUnit, cboBeginKind, cboEndUnit, cboEndKind})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { StoreDynamicEditors(); });
    ShowCyclePanels();
}

void TfrmBaseOpt::ConfigureForm() {
    TfrmBaseGene::ConfigureForm();
    SetHeaderSize(12);
    SetServiceFlags(4);
    SetDateFields(QStringLiteral("edDate,meStartDate,meEndDate"));
}

void TfrmBaseOpt::SetServerName(TSocketConnection* connection) {
    connection->ServerName = QStringLiteral("ReportCounterS.dmReportCounter");
}

bool TfrmBaseOpt::InitializeSession(const kv::Variant& params) {
    if (!TfrmBaseGene::InitializeSession(params)) return false;
    edDate->clear();
    // A form whose name did not match its program has no server and is already closing.
    if (!AppServer()) return true;
    try {
        FSQLType = AppServer()->call("SQLType").toInt();
        FPower = AppServer()->call("GetPower",
                                   {kv::Variant::arrayOf({DbName(), FUserID, FProgramCode, QString()})});
        // The answer starts with the base-limit text; the rights flags follow as one text.
        if (FPower.isArray() && FPower.elementCount() > 0) {
            SetBaseLimited(kv::varToStr(FPower.at(FPower.lowBound())));
            FRights = FPower.elementCount() > 1 ? kv::varToStr(FPower.at(FPower.lowBound() + 1)) : QString();
        }
    } catch (const std::exception& e) {
        // Without the user's rights the session cannot go on; the server's reason is shown.
        RecordError(QString::fromUtf8(e.what()));
        ShowMessageCode("E;000013;" + MessageCodeArgument(QString::fromUtf8(e.what())));
        RequestClose();
        return false;
    }
    const bool library = ModulePath().endsWith(".so", Qt::CaseInsensitive) ||
                         ModulePath().endsWith(".dll", Qt::CaseInsensitive);
    if (!library) show();
    pgOption->setTabVisible(pgOption->indexOf(tsPeriodOption), btnPeriod->isChecked());
    return true;
}

void TfrmBaseOpt::ShowCyclePanels() {
    pnlDay->setVisible(rdoEveryday->isChecked());
    pnlWeek->setVisible(rdoEveryWeek->isChecked());
    pnlMonth->setVisible(rdoEveryMonth->isChecked());
    pnlHour->setVisible(rbEveryHour->isChecked());
}

kv::Variant TfrmBaseOpt::BuildCyclePattern() const {
    if (rdoEveryWeek->isChecked())
        return kv::Variant::arrayOf(
            {1, kv::Variant::arrayOf({meWeek->Text().trimmed(), cboDayofWeek->currentIndex()})});
    if (rdoEveryMonth->isChecked()) {
        if (rdomonth_2->isChecked())
            return kv::Variant::arrayOf(
                {2, kv::Variant::arrayOf({1, meMonth_M2->Text().trimmed(), cbo1Month_M2->currentIndex(),
                                          cbo2Month_M2->currentIndex()})});
        return kv::Variant::arrayOf(
            {2, kv::Variant::arrayOf({0, meMonth_M1->Text().trimmed(), meMonth_D->Text().trimmed()})});
    }
    if (rbEveryHour->isChecked()) {
        bool ok = false;
        const double hours = edEveryHour->text().trimmed().toDouble(&ok);
        if (!ok || hours <= 0)
            throw EKvError("The hour count of the periodic pattern is not a positive number");
        return kv::Variant::arrayOf({3, hours});
    }
    return kv::Variant::arrayOf({0, meDay->Text().trimmed()});
}

bool TfrmBaseOpt::FillRequestHeader(kv::Variant& header) {
    if (!TfrmBaseGene::FillRequestHeader(header)) return false;
    const bool periodic = btnPeriod->isChecked();
    if (periodic && !CheckPeriodRange()) return false;
    if (periodic) header.at(9) = FormType().toLower();
    header.at(11) = kv::Variant::fromDate(nowValue());
    header.at(10) = rdoRealTime->isChecked() ? 1 : 0;
    if (rdoExceptTime->isChecked()) {
        header.at(10) = 2;
        try {
            bool hourly = false;
            kv::TDateTime day = 0;
            if (periodic) {
                FCyclePattern = BuildCyclePattern();
                hourly = FCyclePattern.at(0).toInt() == 3;
                const kv::TDateTime start =
                    StringToDate(meStartDate->text().trimmed(), DateOrder(), DateSeparator());
                if (start == 0) throw EKvError("The start date of the periodic job is not a date");
                // An hourly job starts on its start date; the others on the first day of their pattern.
                FFirstRunDate =
                    hourly ? kv::formatDateTime("yyyymmdd", start)
                           : ClientScheduleDate(kv::formatDateTime("yyyymmdd", start), FCyclePattern);
                if (FFirstRunDate.isEmpty()) throw EKvError("The periodic pattern has no first run date");
                edHour->SetValue(sePeriodHour->Value());
                edMin->SetValue(sePeriodMin->Value());
                edSec->SetText("00");
                day = TransDateIn(FFirstRunDate);
            } else {
                day = StringToDate(edDate->text().trimmed(), DateOrder(), DateSeparator());
            }
            if (day == 0) throw EKvError("The start date of the job is not a date");
            if (!hourly)
                header.at(11) = kv::Variant::fromDate(
                    day + (edHour->Value() * 3600 + edMin->Value() * 60 + edSec->Value()) / 86400.0);
        } catch (const std::exception&) {
            header.at(10) = 0;
            const QString args = HostMessage("I", "000009") + ";" + HostMessage("I", "000010");
            ShowMessageCode("E;000005;" + args);
            return false;
        }
    }
    header.at(12) = chkNotify->isChecked() ? FNotifyXML : QString();
    return true;
}

bool TfrmBaseOpt::BuildJobRequest() {
    if (!TfrmBaseGene::BuildJobRequest()) return false;
    if (!btnPeriod->isChecked()) return true;
    if (rbCycleRang_3->isChecked() && !CheckPeriodEnd()) return false;
    try {
        const auto normalised = [this](QLineEdit* edit) {
            const kv::TDateTime d = StringToDate(edit->text().trimmed(), DateOrder(), DateSeparator());
            if (d == 0) throw EKvError("A date of the periodic range is not a date");
            return kv::formatDateTime("yyyymmdd", d);
        };
        if (FCyclePattern.isEmptyOrNull()) FCyclePattern = BuildCyclePattern();
        kv::Variant range;
        if (rbCycleRang_2->isChecked())
            range = kv::Variant::arrayOf({normalised(meStartDate), 1, meCycleRang_2->Text().trimmed()});
        else if (rbCycleRang_3->isChecked())
            range = kv::Variant::arrayOf({normalised(meStartDate), 2, normalised(meEndDate)});
        else
            range = kv::Variant::arrayOf({normalised(meStartDate), 0});
        const kv::Variant period = kv::Variant::arrayOf(
            {"Y", QString("%1:%2").arg(twoDigits(sePeriodHour->Value()), twoDigits(sePeriodMin->Value())),
             FCyclePattern, range});

        // Each moving date option carries the position of its value in the request.
        const kv::Variant& labels = JobRequest().at(1);
        std::vector<kv::Variant> entries;
        for (const QString& entry : std::as_const(FPeriodDateSettings)) {
            const QString name = entry.section(kSep, 1, 1);
            for (int i = labels.lowBound(); i <= labels.highBound(); ++i) {
                const kv::Variant& label = labels.at(i);
                if (label.isArray() && label.elementCount() > 1 &&
                    kv::varToStr(label.at(label.lowBound() + 1)) == name) {
                    entries.push_back(entry + kSep + QString::number(i));
                    break;
                }
            }
        }
        kv::Variant dynamic = kv::Variant::array(0, int(entries.size()));
        dynamic.at(0) = int(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            dynamic.at(int(i) + 1) = entries[i];

        kv::Variant option = kv::Variant::array(1, 3);
        option.at(1) = JobRequest().at(2);
        option.at(2) = period;
        option.at(3) = dynamic;
        const kv::Variant values = GetPeriodRptOption(option, FFirstRunDate);
        if (!values.isArray()) throw EKvError("The option values cannot be moved to the first run");
        kv::Variant request = JobRequest();
        request.at(2) = values;
        request.redim(4);
        request.at(3) = period;
        request.at(4) = dynamic;
        SetJobRequest(request);
        return true;
    } catch (const std::exception& e) {
        // OK stops here: the user must learn why.
        const QString reason = QString::fromUtf8(e.what());
        RecordError(reason);
        ShowMessageCode("E;000030;" + MessageCodeArgument(reason));
        return false;
    }
}

QString TfrmBaseOpt::HostMessage(const QString& type, const QString& number) {
    const kv::DispatchPtr host =
        Host() ? Host() : (HostApp().type() == kv::VarType::Dispatch ? HostApp().toDispatch() : nullptr);
    if (!host) return {};
    try {
        return ToDisplayText(kv::varToStr(host->call("GetMessage", {type, number})));
    } catch (const std::exception&) {
        return {};
    }
}

QString TfrmBaseOpt::SendRequest(const QString& member, const QString& workstation) {
    try {
        if (!AppServer()) throw EKvError("There is no application server");
        // The job server keeps its texts in code page 936.
        const kv::Variant request = KVWideStringToStr(JobRequest(), 936);
        kv::VariantArgs args{request};
        if (member.compare("Request1", Qt::CaseInsensitive) == 0) args.push_back(workstation);
        return kv::varToStr(AppServer()->invoke(member, args));
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
        return QStringLiteral("ERROR");
    }
}

void TfrmBaseOpt::btnOkClick() {
    if (!BuildJobRequest()) return;
    const QString answer = SendRequest("Request", QString());
    if (answer.compare("ERROR", Qt::CaseInsensitive) != 0) {
        ShowMessageCode((Interactive() ? "I;000004;" : "I;-000004;") + answer);
        FResultCode = 1;
        FResultData = answer;
        if (FCloseAfterOK) close();
        return;
    }
    ShowRequestError();
}

void TfrmBaseOpt::ShowRequestError() {
    QString reason;
    try {
        if (AppServer()) reason = kv::varToStr(AppServer()->call("ErrorDescript"));
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    }
    ShowMessageCode("E;000013;" + MessageCodeArgument(reason));
}

void TfrmBaseOpt::btnCancelClick() {
    TfrmBaseGene::btnCancelClick();
    FResultCode = 2;
    // Outside a modal run the cancel button's modal result closes nothing by itself.
    if (isVisible()) close();
}

void TfrmBaseOpt::OnF2Key(int key, QWidget* control) {
    TfrmBaseGene::OnF2Key(key, control);
    if (control == edDate) PickDate(edDate);
}

void TfrmBaseOpt::btnPeriodClick(bool down) {
    pnlDynamic->hide();
    Panel1->setFocus();
    const int page = pgOption->indexOf(tsPeriodOption);
    if (down) {
        if (!FPeriodPrepared) {
            FPeriodPrepared = true;
            FPlainRequired = RequiredFields();
            for (QFrame* p : {pnlDay, pnlWeek, pnlMonth, pnlHour})
                p->move(110, 13);
        }
        RefreshPeriodPage();
        pgOption->setTabVisible(page, true);
        pgOption->setCurrentIndex(page);
        grpGenTime->setEnabled(false);
        rdoExceptTime->setChecked(true);
        edDate->setText(meStartDate->text());
        QStringList required{"meStartDate;0", "sePeriodHour;0", "sePeriodMin;0"};
        if (!FPlainRequired.isEmpty()) required << FPlainRequired;
        SetRequiredFields(required.join(','));
    } else {
        // A range refused on the page no longer counts once the page is gone.
        if (std::exchange(FRangeRefused, false)) SetPendingFailure(false);
        pgOption->setCurrentIndex(0);
        pgOption->setTabVisible(page, false);
        grpGenTime->setEnabled(true);
        rdoQueue->setChecked(true);
        SetRequiredFields(FPlainRequired);
    }
}

void TfrmBaseOpt::RefreshPeriodPage() {
    // The captions of the options, as a job request would label them.
    kv::Variant labels;
    if (OptionCount() > 0) {
        labels = kv::Variant::array(1, OptionCount());
        const bool silent = SilentMessages();
        SetSilentMessages(true);
        if (!AddOptionLabels(labels, OptionCount() - SystemOptionCount())) labels = kv::Variant();
        SetSilentMessages(silent);
    }
    const auto captionOf = [&labels, this](const QString& name) {
        if (labels.isArray())
            for (int i = labels.lowBound(); i <= labels.highBound(); ++i) {
                const kv::Variant& l = labels.at(i);
                if (l.isArray() && l.elementCount() > 1 && kv::varToStr(l.at(l.lowBound() + 1)) == name)
                    return kv::varToStr(l.at(l.lowBound()));
            }
        QWidget* w = findChild<QWidget*>(name);
        for (const char* property : {"Caption", "Text"})
            if (w && FindProperty(w, property).isValid()) {
                const QString text = w->property(FindProperty(w, property).name()).toString();
                if (!text.isEmpty()) return text;
            }
        return name;
    };
    if (!FPeriodRefreshed) {
        FPeriodRefreshed = true;
        for (TKvSpinEdit* s : {meDay, meWeek, meMonth_M1, meMonth_D, meMonth_M2, meCycleRang_2})
            s->SetText("1");
        for (QComboBox* c : {cboDayofWeek, cbo1Month_M2, cbo2Month_M2})
            c->setCurrentIndex(0);
    }
    QStringList dates = DateFields().split(',', Qt::SkipEmptyParts);
    // The framework's own four date controls end the list.
    dates = dates.mid(0, std::max<qsizetype>(0, dates.size() - 4));
    QStringList names, kinds;
    for (const QString& n : std::as_const(dates)) {
        names << n.trimmed();
        kinds << "D";
    }
    for (const QString& n : YearMonthFields().split(',', Qt::SkipEmptyParts)) {
        names << n.trimmed();
        kinds << "M";
    }
    QStringList settings;
    FLoadingEditors = true;
    cbocondition->clear();
    for (int i = 0; i < names.size(); ++i) {
        QString entry;
        for (const QString& old : std::as_const(FPeriodDateSettings))
            if (old.section(kSep, 1, 1) == names[i]) entry = old;
        if (entry.isEmpty())
            entry = plainDateSetting(
                names[i], qobject_cast<TSelectPanel*>(findChild<QWidget*>(names[i])) != nullptr, kinds[i]);
        settings << entry;
        cbocondition->addItem(captionOf(names[i]));
    }
    FPeriodDateSettings = settings;
    FLoadingEditors = false;
    cbocondition->setCurrentIndex(settings.isEmpty() ? -1 : 0);
    LoadDynamicEditors();
}

void TfrmBaseOpt::LoadDynamicEditors() {
    const int i = cbocondition->currentIndex();
    if (FLoadingEditors) return;
    if (i < 0 || i >= FPeriodDateSettings.size()) {
        pnlDynamic->hide();
        return;
    }
    const QStringList f = FPeriodDateSettings.at(i).split(kSep);
    const bool range = f.value(0) == "0";
    FLoadingEditors = true;
    chkBeginVariable->setChecked(f.value(2) == "Y");
    seBeginOffset->SetText(f.value(3));
    cboBeginUnit->setCurrentIndex(f.value(4).toInt());
    cboBeginKind->setCurrentIndex(f.value(5).toInt());
    seBeginDays->SetText(f.value(6));
    if (range) {
        chkEndVariable->setChecked(f.value(7) == "Y");
        seEndOffset->SetText(f.value(8));
        cboEndUnit->setCurrentIndex(f.value(9).toInt());
        cboEndKind->setCurrentIndex(f.value(10).toInt());
        seEndDays->SetText(f.value(11));
    }
    for (QWidget* w : std::initializer_list<QWidget*>{lblEndDate, chkEndVariable, seEndOffset, cboEndUnit,
                                                      cboEndKind, seEndDays})
        w->setVisible(range);
    FLoadingEditors = false;
    pnlDynamic->show();
}

void TfrmBaseOpt::StoreDynamicEditors() {
    const int i = cbocondition->currentIndex();
    if (FLoadingEditors || i < 0 || i >= FPeriodDateSettings.size()) return;
    QStringList f = FPeriodDateSettings.at(i).split(kSep);
    const bool range = f.value(0) == "0";
    const auto side = [](QCheckBox* variable, TKvSpinEdit* offset, QComboBox* unit, QComboBox* kind,
                         TKvSpinEdit* days) {
        return QStringList{variable->isChecked() ? "Y" : "N", QString::number(offset->Value()),
                           QString::number(std::max(0, unit->currentIndex())),
                           QString::number(std::max(0, kind->currentIndex())),
                           QString::number(days->Value())};
    };
    QStringList fields{f.value(0), f.value(1)};
    fields << side(chkBeginVariable, seBeginOffset, cboBeginUnit, cboBeginKind, seBeginDays);
    if (range) fields << side(chkEndVariable, seEndOffset, cboEndUnit, cboEndKind, seEndDays);
    fields << (range ? f.value(12, "D") : f.value(7, "D"));
    FPeriodDateSettings[i] = fields.join(kSep);
}

bool TfrmBaseOpt::CheckPeriodRange() {
    const kv::TDateTime start = StringToDate(meStartDate->text().trimmed(), DateOrder(), DateSeparator());
    const kv::TDateTime end = StringToDate(meEndDate->text().trimmed(), DateOrder(), DateSeparator());
    if (!rbCycleRang_3->isChecked() || start == 0 || end == 0 || end >= start) {
        // The failure this check reported is settled; one of another field stands.
        if (std::exchange(FRangeRefused, false)) SetPendingFailure(false);
        return true;
    }
    ShowMessageCode("E;100082;" + lblStartDate->text() + ";" + rbCycleRang_3->text());
    SetPendingFailure(true);
    FRangeRefused = true;
    meEndDate->setFocus();
    return false;
}

bool TfrmBaseOpt::CheckPeriodEnd() {
    const QString text = meEndDate->text().trimmed();
    if (!text.isEmpty() && StringToDate(text, DateOrder(), DateSeparator()) != 0) return true;
    if (text.isEmpty())
        ShowMessageCode("E;000037", rbCycleRang_3->text());
    else
        ShowMessageCode("E;000005;" + MessageCodeArgument(text) + ";");
    pgOption->setCurrentWidget(tsPeriodOption);
    meEndDate->setFocus();
    return false;
}

void TfrmBaseOpt::chkNotifyClick() {
    btnNotify->setEnabled(chkNotify->isChecked());
    if (chkNotify->isChecked() && FNotifyXML.isEmpty()) FNotifyXML = TfrmNotify::DefaultXML(FUserID);
}

void TfrmBaseOpt::btnNotifyClick() {
    if (!ChooseRecipients) {
        TfrmNotify::EditRecipients(this, FNotifyXML);
        return;
    }
    const QString chosen = ChooseRecipients(this, FNotifyXML);
    if (!chosen.isNull()) FNotifyXML = chosen;
}
