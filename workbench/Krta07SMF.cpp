#include "workbench/Krta07SMF.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "controls/KvMessages.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"
#include "lang/CodeConverter.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Provider.h"
#include "workbench/Krta07Consumption.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SMFPlan.h"
#include "workbench/Krta07SMFStored.h"
#include "workbench/Krta07SMFUndo.h"
#include "workbench/Krta07SQF.h"
#include "workbench/Krta07SWF.h"

TfrmKrta07SM* TfrmKrta07SM::Current = nullptr;

namespace {

const char* const kMemLNG[] = {
    "-普及版",
    "数量总和必须等于",
    "字段[工单单别]不可空白!",
    "此单别不存在或单据性质不存在!",
    "此工作中心不存在!",
    "此供应商不存在!",
    "此供应商的核准状况为尚待核准!",
    "此供应商的核准状况为不准交易!",
    "工厂不可空白!",
    "工厂不存在!",
    "主要资源不存在!",
};
const char* const kMeoMessage[] = {"单据保存失败", "保存当前修改?", "查看资源耗用明细", "主要资源", "单位:"};

QPlainTextEdit* hiddenList(QWidget* parent, const char* name, const char* const* lines, size_t count) {
    auto* m = new QPlainTextEdit(parent);
    m->setObjectName(QString::fromLatin1(name));
    QStringList l;
    for (size_t i = 0; i < count; ++i)
        l << QString::fromUtf8(lines[i]);
    m->setPlainText(l.join(QLatin1Char('\n')));
    m->hide();
    return m;
}

// A factory or resource name: at least 80 pixels wide, and never narrower than its text.
class TNameLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override {
        QSize s = sizeHint();
        s.setWidth(std::max(80, s.width()));
        return s;
    }
};

// The steps of long work: the name the work reports a step by, and what the progress dialog shows
// for it (the workbench's language file's text of that identifier, or the built-in one).
struct TProgressStep {
    const char* Step;
    const char* Ident;
    const char* Shown;
};
const TProgressStep kProgressSteps[] = {
    {"Reading lines", "sReadingLines", "读取排程明细"},
    {"Building the chart", "sBuildingChart", "建立甘特图"},
    {"Computing consumption", "sComputingConsumption", "计算资源耗用"},
    {"Checking lines", "sCheckingLines", "检查排程明细"},
    {"Saving", "sSavingLines", "保存排程明细"},
    {"Saving consumption", "sSavingConsumption", "保存资源耗用"},
    {"Saving the load", "sSavingLoad", "保存资源负荷"},
    {"Waiting for the database, which another program has locked", "sWaitingForLock",
     "数据库被其他程序锁定, 等待中"},
    {"Exporting pages", "sExportingPages", "导出图表页面"},
};

QToolButton* toolButton(QWidget* parent, const char* name, const char* hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(QString::fromUtf8(hint));
    b->setText(QString::fromUtf8(hint));
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

} // namespace

QString Krta07DayText(kv::TDateTime date) {
    // Called for every day cell of every line: no format parsing here. A cell starts a little after
    // its midnight, also before 1899-12-30.
    int y, m, d;
    kv::decodeDay(date, y, m, d);
    QChar out[8];
    const int parts[3] = {y, m, d};
    const int widths[3] = {4, 2, 2};
    int pos = 8;
    for (int k = 2; k >= 0; --k) {
        int v = parts[k];
        for (int i = 0; i < widths[k]; ++i) {
            out[--pos] = QChar(u'0' + v % 10);
            v /= 10;
        }
    }
    return QString(out, 8);
}

QString TfrmKrta07SM::LineKeyOf(const QStringList& parts) {
    // Built per line of every load: the parts go into one string as they are trimmed.
    QString key;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0) key += Krta07KeySeparator;
        key += Krta07RTrim(parts[i]);
    }
    return key;
}

TKrta07LineKeys::TKrta07LineKeys(const kv::TClientDataSet& lines) : FLines(lines) {
    const char* names[6] = {"TB001", "TB003", "TB051", "TB004", "TB005", "TB037"};
    for (int i = 0; i < 6; ++i)
        FField[i] = lines.FieldByName(QString::fromLatin1(names[i])).Index();
}

QString TKrta07LineKeys::At(int row) const {
    QStringList parts;
    parts.reserve(6);
    for (int f : FField)
        parts.append(FLines.valueAt(row, f).toString());
    return TfrmKrta07SM::LineKeyOf(parts);
}

TfrmKrta07SM::TfrmKrta07SM(QWidget* owner, const QString& connectString)
    : TKVForm(owner), FConnectString(connectString), FOtherPlans(std::make_unique<TKrta07OtherPlans>()) {
    setObjectName(QStringLiteral("frmKrta07SM"));
    setWindowFlag(Qt::Window);
    BuildComponents();
}

TfrmKrta07SM::~TfrmKrta07SM() {
    if (Current == this) Current = nullptr;
}

void TfrmKrta07SM::BuildComponents() {
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(2, 2, 2, 2);

    auto* tools = new QHBoxLayout;
    btnQuery = toolButton(this, "btnQuery", "查询");
    btnEdit = toolButton(this, "btnEdit", "修改");
    btnOK = toolButton(this, "btnOK", "保存");
    btnCancel = toolButton(this, "btnCancel", "取消");
    btnUndo = toolButton(this, "btnUndo", "撤销");
    btnRedo = toolButton(this, "btnRedo", "重做");
    for (QToolButton* b : {btnQuery, btnEdit, btnOK, btnCancel, btnUndo, btnRedo})
        tools->addWidget(b);
    tools->addStretch(1);
    main->addLayout(tools);

    auto* header = new QHBoxLayout;
    auto edit = [this, header](const char* name, const char* caption, int maxLength, const char* hint) {
        auto* e = new TKvEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        if (caption) e->SetCaption(QString::fromUtf8(caption));
        e->setReadOnly(true);
        e->setMaxLength(maxLength);
        // Wide enough to show a whole code of the longest length: the layout alone gave a source
        // document a third of its width.
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QString(maxLength, QLatin1Char('0'))) + 16);
        if (hint) e->setToolTip(QString::fromUtf8(hint));
        // A caption is drawn in the room left of its edit; an edit without one has its label there.
        if (caption) header->addSpacing(60);
        header->addWidget(e);
        return e;
    };
    auto f2 = [this, header](const char* name, TKvEdit* target, const char* hint) {
        auto* b = new TF2Button(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetAutoAlign(false);
        b->SetF2Control(target);
        b->setToolTip(QString::fromUtf8(hint));
        b->setEnabled(false);
        header->addWidget(b);
        return b;
    };
    auto label = [this, header](const char* name) {
        auto* l = new TNameLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        header->addWidget(l);
        return l;
    };
    edMB001 = edit("edMB001", "工厂", 6, "[F2]工厂信息开窗");
    btnMB001 = f2("btnMB001", edMB001, "工厂信息开窗");
    lblMB001C = label("lblMB001C");
    edTB036 = edit("edTB036", "主要资源", 10, "[F2]资源信息查询");
    btnTB036 = f2("btnTB036", edTB036, "资源信息查询");
    lblTB036C = label("lblTB036C");
    lblTB004 = new QLabel(QString::fromUtf8("来源单号"), this);
    lblTB004->setObjectName(QStringLiteral("lblTB004"));
    header->addWidget(lblTB004);
    edTB004 = edit("edTB004", nullptr, 21, nullptr);
    btnTB004 = f2("btnTB004", edTB004, "排程来源信息查询");

    KvRadioGroup1 = new QGroupBox(QString::fromUtf8("联调方式"), this);
    KvRadioGroup1->setObjectName(QStringLiteral("KvRadioGroup1"));
    auto* links = new QHBoxLayout(KvRadioGroup1);
    chkDown = new QCheckBox(QString::fromUtf8("上阶联动 "), KvRadioGroup1);
    chkDown->setObjectName(QStringLiteral("chkDown"));
    chkUp = new QCheckBox(QString::fromUtf8("下阶联动"), KvRadioGroup1);
    chkUp->setObjectName(QStringLiteral("chkUp"));
    chkMPS = new QCheckBox(QString::fromUtf8("MPS件联动"), KvRadioGroup1);
    chkMPS->setObjectName(QStringLiteral("chkMPS"));
    for (QCheckBox* c : {chkDown, chkUp, chkMPS})
        links->addWidget(c);
    connect(chkUp, &QCheckBox::clicked, this, [this] { UpdateLinkOptions(); });
    connect(chkDown, &QCheckBox::clicked, this, [this] { UpdateLinkOptions(); });
    header->addWidget(KvRadioGroup1);
    lblOverload = new QLabel(this);
    lblOverload->setObjectName(QStringLiteral("lblOverload"));
    header->addSpacing(20);
    header->addWidget(lblOverload);
    header->addStretch(1);
    main->addLayout(header);

    PageControl1 = new TExtPageControl(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new TTabSheet(PageControl1);
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet1->SetCaption(QString::fromUtf8("排程表"));
    TabSheet2 = new TTabSheet(PageControl1);
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet2->SetCaption(QString::fromUtf8("产能表"));
    PageControl1->AddPage(TabSheet1);
    PageControl1->AddPage(TabSheet2);

    auto* splitter = new QSplitter(Qt::Vertical, TabSheet1);
    auto* sheet1 = new QVBoxLayout(TabSheet1);
    sheet1->setContentsMargins(0, 0, 0, 0);
    sheet1->addWidget(splitter);
    mgMPSTC = new TMyGant(splitter);
    mgMPSTC->setObjectName(QStringLiteral("mgMPSTC"));
    mgMPSTC->SetUseGridNotTree(true);
    mgMPSTC->OnUserDrawForeground = [this](TphGant*, const QRect&, QPainter* canvas) {
        DrawOverloadMarks(canvas);
    };
    mgMPSTC->SetScalerHeight(45);
    mgMPSTC->FitTimeItemTexts = true;
    ctMPSTC = new TKrta07LoadChart(splitter);
    ctMPSTC->setMinimumHeight(120);
    dgMPSTB = new TFDBGrid(splitter);
    dgMPSTB->setObjectName(QStringLiteral("dgMPSTB"));
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 2);

    ScrollBox1 = new QScrollArea(TabSheet2);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(true);
    auto* holder = new QWidget;
    auto* charts = new QVBoxLayout(holder);
    charts->addStretch(1);
    ScrollBox1->setWidget(holder);
    auto* sheet2 = new QVBoxLayout(TabSheet2);
    sheet2->setContentsMargins(0, 0, 0, 0);
    sheet2->addWidget(ScrollBox1);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        // TabSheet2Show
        if (index == 1 && !edMB001->text().trimmed().isEmpty()) BuildCapacityCharts();
    });
    main->addWidget(PageControl1, 1);

    memLNG = hiddenList(this, "memLNG", kMemLNG, std::size(kMemLNG));
    meoMessage = hiddenList(this, "meoMessage", kMeoMessage, std::size(kMeoMessage));

    connect(btnQuery, &QToolButton::clicked, this, [this] { btnQueryClick(); });
    connect(btnEdit, &QToolButton::clicked, this, [this] { btnEditClick(); });
    connect(btnOK, &QToolButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QToolButton::clicked, this, [this] { btnCancelClick(); });
    resize(1100, 760);
}

void TfrmKrta07SM::FormCreate() {
    TKVForm::FormCreate();
    edTB004->setInputMask(QStringLiteral("nnnn-nnnnnnnnnnn-nnnn; "));
    UpdateLinkOptions();
}

bool TfrmKrta07SM::eventFilter(QObject* watched, QEvent* e) {
    // The small chart's days stand under the bars: its legend takes the width of the Gantt's grid
    // less 15 pixels whenever the bars' area changes its size.
    if (e->type() == QEvent::Resize && ctMPSTC && watched == mgMPSTC->GantArea())
        if (const QWidget* grid = mgMPSTC->Grid()->parentWidget())
            ctMPSTC->LegendPanel->setFixedWidth(std::max(0, grid->width() - 15));
    return TKVForm::eventFilter(watched, e);
}

QString TfrmKrta07SM::Message(int index) const {
    const QStringList l = memLNG->toPlainText().split(QLatin1Char('\n'));
    return index >= 0 && index < l.size() ? l[index] : QString();
}

QString TfrmKrta07SM::SystemMessage(int index) const {
    const QStringList l = meoMessage->toPlainText().split(QLatin1Char('\n'));
    return index >= 0 && index < l.size() ? l[index] : QString();
}

void TfrmKrta07SM::InitWorkbench() {
    // The form's creation steps come first, not at its first show: they would then undo what the
    // set-up did (the conversion done once would count as not done).
    AfterConstruction();
    Current = this;
    dmKrta07S = new TdmKrta07S(this, FDBName, FConnectString);
    ctMPSTC->SetTitle(QString());
    mgMPSTC->Scaler()->OnUserStringShort = [this](kv::TDateTime d, double, QString& label, int&) {
        ScalerLabelText(d, label);
    };
    mgMPSTC->Scaler()->OnUserStringLong = [](kv::TDateTime, double, QString&, int&) {};
    mgMPSTC->Grid()->SetRowSelect(true);
    mgMPSTC->OnClickGantArea = [this](TphGant*, TphDataEntity_GantTime* item) {
        if (!item) return;
        const int row = FRowOfGantRow.value(item->Row(), -1);
        if (row >= 0) mgMPSTCGantAreaMouseDown(row);
    };
    mgMPSTC->OnScalerChange = [this](TphGant*, double, double) { RefreshLoadChart(); };
    InitMoveHandlers();
    InitUndo();
    InitLineGridMenu();
    connect(dmKrta07S->dsMPSTB, &kv::TDataSource::currentChanged, this,
            [this](int) { currentLineChanged(); });

    if (dmKrta07S->dbKrta07->Connected()) {
        dmKrta07S->qryCMSMA->SetSQL(dmKrta07S->ExpandSQL(QStringLiteral("SELECT * FROM $$CMSMA ")));
        dmKrta07S->qryCMSMA->Open();
        dmKrta07S->ReadCompanyParameters();
    }
    FRowKeys.clear();
    InitConsumption();
    FEditState = 0;
    UpdateToolState();
    ConvertOnce();
    LocaliseCharts();
    dmKrta07S->SetupFields();
}

void TfrmKrta07SM::UpdateLinkOptions() {
    const bool any = chkUp->isChecked() || chkDown->isChecked();
    if (!any) chkMPS->setChecked(false);
    chkMPS->setEnabled(any);
}

bool TfrmKrta07SM::AskQueryConditions(QStringList& result) {
    TfrmKrta07SQ dialog(this);
    return dialog.Execute(result);
}

void TfrmKrta07SM::SetQueryConditions(const QStringList& texts) {
    if (texts.size() < 5) return;
    edMB001->setText(texts[0]);
    lblMB001C->setText(texts[1]);
    edTB036->setText(texts[2]);
    lblTB036C->setText(texts[3]);
    edTB004->setText(texts[4]);
}

void TfrmKrta07SM::btnQueryClick() {
    QStringList result;
    if (!AskQueryConditions(result)) return;
    SetQueryConditions(result);
    UpdateToolState();
    FQueryClock.start();
    try {
        LoadSchedule(edMB001->text());
        RecomputeAllConsumption();
        PlaceLineGrid();
    } catch (const std::exception& e) {
        FProgress.reset();
        KvMessageDlg(QString::fromUtf8(e.what()), mtError, mbOK);
        return;
    }
    FProgress.reset();
    FQueryClock.invalidate();
    UpdateToolState();
    if (PageControl1->currentIndex() == 1)
        BuildCapacityCharts();
    else
        RefreshLoadChart();
}

// The text of the source document edit without its dashes: type, number and line, each padded
// to its width, then trimmed.
static QString sourceDocText(const TKvEdit* edit) {
    const QString shown = edit->displayText();
    auto part = [&shown](int from, int len) {
        return shown.mid(from, len).leftJustified(len, QLatin1Char(' '));
    };
    if (edit->inputMask().isEmpty()) return edit->text().trimmed();
    return (part(0, 4) + part(5, 11) + part(17, 4)).trimmed();
}

void TfrmKrta07SM::LoadSchedule(const QString& factory) {
    // The edits a history could take back are gone with the lines they were made on.
    if (FUndo) FUndo->Clear();
    ReleaseSchedule();
    try {
        ReadSchedule(factory);
    } catch (...) {
        // Half a schedule is not shown: lines without their days, or days without the load rows, would
        // be taken for the stored plan, and a save would write them back as it.
        ForgetSchedule();
        throw;
    }
}

void TfrmKrta07SM::ForgetSchedule() {
    FDayReader.reset();
    FOtherPlanReader.reset();
    FPlanReader.reset();
    ReleaseSchedule();
    dmKrta07S->qryMPSTBPre->Close();
    dmKrta07S->qryMPSTB->Close();
    dmKrta07S->qryMPSTD->Close();
    // Nor the count and charts of the schedule that was there before.
    CountOverloads();
    RefreshLoadChart();
    BuildCapacityCharts();
}

void TfrmKrta07SM::ReadSchedule(const QString& factory) {
    TdmKrta07S& dm = *dmKrta07S;
    dm.FFactory = factory;
    dm.FResource = edTB036->text().trimmed();
    dm.FSourceDoc = sourceDocText(edTB004);
    dm.ClearItemResources();
    progress(QStringLiteral("Reading lines"), 0, 0);
    // The day rows are read beside the lines and item resources; a read of the plan rows of the
    // last load stops meanwhile.
    StartDayRead(factory);
    StartOtherPlanRead();
    FPlanReader.reset();
    dm.ReadAllItemResources();
    // The sets move while they reload; the highlight follows once the rows are built.
    const bool wasBusy = FScrollBusy;
    FScrollBusy = true;
    const auto restore = qScopeGuard([this, wasBusy] { FScrollBusy = wasBusy; });
    dm.qryMPSTB->Close();
    dm.qryMPSTBPre->Close();
    {
        // A large factory's lines take a while: their count so far shows from the start.
        dm.dspMPSTB->OnRowsFetched = [this](int rows) { progress(QStringLiteral("Reading lines"), rows, 0); };
        const auto quiet = qScopeGuard([&dm] { dm.dspMPSTB->OnRowsFetched = nullptr; });
        dm.qryMPSTB->Open();
    }
    dm.qryMPSTBPre->Open();
    dm.SetupFields();
    // Plan rows kept from a save for other lines go before the chart is built.
    CheckSavedPlan();
    BuildGantt(factory);
    RecomputeAllConsumption();
    LinkParentBars();
    if (mgMPSTC->Grid()->Columns().size() >= 2) {
        mgMPSTC->Grid()->SetCell(0, 0, QString::fromUtf8("品号"));
        mgMPSTC->Grid()->SetCell(1, 0, QString::fromUtf8("来源单号"));
    }
    dm.qryMPSTB->First();
    ComputeTimeSpan();
    dgMPSTB->SetDataSource(dm.dsMPSTB);
    if (!FSavedPlan) StartPlanRead();
    if (FOldDays) FOldDays->Empty();
    if (!FReloading && FStoredDays && FStoredDays->undatedCount > 0) TellUndatedDays(factory, *FStoredDays);
}

void TfrmKrta07SM::TellUndatedDays(const QString& factory, const TKrta07DayRows& days) {
    QStringList text{OwnText("sUndatedDays", "工厂%1的排程日中有%2笔不是日期(yyyymmdd): 不显示在甘特图上, "
                                             "其数量仍计入明细的数量, 保存时保持原样:")
                         .arg(factory)
                         .arg(days.undatedCount)};
    for (const QString& row : days.undated)
        text << row;
    if (days.undatedCount > qsizetype(days.undated.size()))
        text << OwnText("sMoreChanged", "另有 %1 笔").arg(days.undatedCount - qsizetype(days.undated.size()));
    KvMessageDlg(text.join(QLatin1Char('\n')), mtWarning, mbOK);
}

void TfrmKrta07SM::ReleaseSchedule() {
    // What the last query built goes before the next one reads: a large factory held twice, old and
    // new side by side, would need twice its memory at the peak of every reload.
    TdmKrta07S& dm = *dmKrta07S;
    mgMPSTC->MyGantList()->Clear();
    dm.FHighlightRow = -1;
    FRowKeys = QStringList();
    FRowOfKey = QHash<QString, int>();
    FRowOfGantRow = QHash<TGantRow*, int>();
    FConsumption->Clear();
    // The day rows go on a thread of their own, which then hands what was freed back to the system.
    if (!FStoredDays) return;
    if (!FOldDays) FOldDays = std::make_unique<TKrta07DayRowsBin>();
    FOldDays->Keep(std::move(FStoredDays));
    FOldDays->Empty();
}

bool TfrmKrta07SM::ReloadSchedule() {
    const bool wasReloading = std::exchange(FReloading, true);
    const auto restore = qScopeGuard([this, wasReloading] { FReloading = wasReloading; });
    try {
        try {
            LoadSchedule(edMB001->text());
        } catch (const EKvError&) {
            // A connection the server dropped (restarted, say) is opened again once; a read that
            // fails for another reason fails again and is shown.
            TKvADOConnection& db = *dmKrta07S->dbKrta07;
            if (db.InTransaction()) throw;
            db.Close();
            db.Open();
            LoadSchedule(edMB001->text());
        }
        return true;
    } catch (const std::exception& e) {
        KvMessageDlg(QString::fromUtf8(e.what()), mtError, mbOK);
        return false;
    }
}

QString TfrmKrta07SM::OwnText(const char* ident, const char* builtIn) const {
    return LangText(QStringLiteral("TfrmKrta07SM"), QString::fromLatin1(ident), QString::fromUtf8(builtIn));
}

QString TfrmKrta07SM::StepCaption(const QString& step) {
    // Read once a session: the dialog repaints every 50 ms.
    auto known = FStepCaptions.constFind(step);
    if (known != FStepCaptions.cend()) return *known;
    QString shown = step;
    for (const TProgressStep& s : kProgressSteps)
        if (step == QLatin1String(s.Step)) shown = OwnText(s.Ident, s.Shown);
    FStepCaptions.insert(step, shown);
    return shown;
}

void TfrmKrta07SM::progress(const QString& step, int done, int total) {
    if (OnProgress) OnProgress(step, done, total);
    if (!FQueryClock.isValid() || FQueryClock.elapsed() < 500) return;
    // Only every 50 ms: painting costs more than the work between two calls.
    if (FPaintClock.isValid() && FPaintClock.elapsed() < 50 && done != total) return;
    FPaintClock.start();
    if (!FProgress) {
        FProgress = std::make_unique<QProgressDialog>(this);
        FProgress->setObjectName(QStringLiteral("dlgProgress"));
        if (FProgressCancellable)
            FProgress->setCancelButtonText(OwnText("sStopWork", "取消"));
        else
            FProgress->setCancelButton(nullptr);
        FProgress->setWindowModality(Qt::WindowModal);
        FProgress->setMinimumDuration(0);
        // One dialog for every step of the run: a step's end neither empties the bar nor closes it.
        FProgress->setAutoReset(false);
        FProgress->setAutoClose(false);
    }
    // A step whose end is not known shows how far it has come.
    const QString shown = StepCaption(step);
    FProgress->setLabelText(total > 0  ? QStringLiteral("%1 (%2/%3)").arg(shown).arg(done).arg(total)
                            : done > 0 ? QStringLiteral("%1 (%2)").arg(shown).arg(done)
                                       : shown);
    FProgress->setMaximum(std::max(total, 0));
    FProgress->setValue(std::min(done, std::max(total, 0)));
    FProgress->show();
    // The dialog is window-modal: the planner's input reaches only its Cancel button.
    QCoreApplication::processEvents(FProgressCancellable ? QEventLoop::AllEvents
                                                         : QEventLoop::ExcludeUserInputEvents);
}

bool TfrmKrta07SM::ProgressCanceled() const {
    return FProgressCancellable && FProgress && FProgress->wasCanceled();
}

void TfrmKrta07SM::F2Lookup(QWidget* control) {
    if (control == edMB001) {
        SelectFactory();
        UpdateToolState();
    } else if (control == edTB036) {
        LookupResource(edTB036, lblTB036C);
    } else if (control == edTB004) {
        LookupSourceDoc(edTB004, edMB001->text().trimmed());
    }
}

void TfrmKrta07SM::LookupResource(TKvEdit* edit, QLabel* name) {
    if (!FDataCalls) return;
    const QStringList row = FDataCalls->OpenLookup(QStringLiteral("MPSMB"), QStringLiteral("01"), {});
    if (row.isEmpty()) return;
    edit->setText(row.value(0));
    if (name && row.size() > 1) name->setText(row.value(1));
}

void TfrmKrta07SM::LookupSourceDoc(TKvEdit* edit, const QString& factory) {
    if (!FDataCalls) return;
    const QStringList row = FDataCalls->OpenLookup(QStringLiteral("MPSTA"), QStringLiteral("02"), {factory});
    if (row.size() < 4) return;
    edit->setText(row[1].leftJustified(4, QLatin1Char(' ')) + QLatin1Char('-') +
                  row[2].leftJustified(11, QLatin1Char(' ')) + QLatin1Char('-') +
                  row[3].leftJustified(4, QLatin1Char(' ')));
}

bool TfrmKrta07SM::SelectFactory() {
    // A failure only reports back: the planner can still type the factory in the query dialog.
    try {
        TfrmKrta07SW window(this);
        QString code, name;
        if (!window.Execute(code, name)) return false;
        edMB001->setText(code);
        lblMB001C->setText(name);
        return true;
    } catch (const std::exception& e) {
        qWarning("The factory window failed: %s", e.what());
        return false;
    }
}

bool TfrmKrta07SM::FormKeyDown(QKeyEvent* key, QWidget* target) {
    if (key->key() != Qt::Key_F2) return false;
    QWidget* w = target ? target : focusWidget();
    if (w == edMB001 || w == edTB036 || w == edTB004) {
        F2Lookup(w);
        return true;
    }
    if (IsLineGridControl(w)) {
        CellLookup();
        return true;
    }
    return false;
}

bool TfrmKrta07SM::event(QEvent* e) {
    if (e->type() == kv::LookupRequestEvent) {
        F2Lookup(static_cast<kv::TLookupRequestEvent*>(e)->edit());
        return true;
    }
    return TKVForm::event(e);
}

void TfrmKrta07SM::closeEvent(QCloseEvent* e) {
    if (!FormCloseQuery()) return e->ignore();
    TKVForm::closeEvent(e);
    if (e->isAccepted() && parentWidget()) parentWidget()->close();
}
