#include "optionforms/BaseGene.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "controls/F2Button.h"
#include "controls/KvGuard.h"
#include "controls/KvMessages.h"
#include "controls/SelectPnl.h"
#include "frame/SocketConnection.h"
#include "lang/CodeConverter.h"
#include "lang/LangCommon.h"
#include "platform/DateTime.h"
#include "platform/RegistryFile.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "support/StewardINI.h"

namespace {

constexpr int kRequiredColor = 0xAFFFFF; // pale yellow, 0x00BBGGRR

QString cls() {
    return QStringLiteral("TfrmBaseGene");
}

// Delphi-style formatting of a message text with string arguments: "%s" takes the next argument and
// "%%" is a percent sign; anything else cannot be formatted.
bool formatMessage(const QString& text, const QStringList& args, QString& out) {
    out.clear();
    int next = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 >= text.size()) return false;
        const QChar conversion = text.at(++i);
        if (conversion == '%') {
            out += '%';
        } else if (conversion == 's' || conversion == 'S') {
            if (next >= args.size()) return false;
            out += args.at(next++);
        } else {
            return false;
        }
    }
    return true;
}

// The parts of a control that carry its colour, each with the name its original colour is kept under:
// a select panel's begin edit (part 1), end edit (2) and list (3), or all three for any other part
// number; any other control as a whole.
QList<QPair<QWidget*, QString>> colourParts(QWidget* control, int part) {
    auto* panel = qobject_cast<TSelectPanel*>(control);
    if (!panel) return {{control, control->objectName()}};
    const QString n = panel->objectName();
    const bool all = part < 1 || part > 3;
    QList<QPair<QWidget*, QString>> parts;
    if (all || part == 1) parts.append({panel->StartEdit(), n + ".edBegin"});
    if (all || part == 2) parts.append({panel->EndEdit(), n + ".edFinal"});
    if (all || part == 3) parts.append({panel->ListView(), n + ".ListBox"});
    return parts;
}

kv::Variant callMember(const kv::DispatchPtr& object, const QString& name, kv::VariantArgs args = {}) {
    if (!object) throw kv::EOleError(QString("%1: no object").arg(name));
    return object->invoke(name, args);
}

QWidget* focusedControl(QWidget* form) {
    QWidget* f = QApplication::focusWidget();
    return f && f->window() == form ? f : nullptr;
}

} // namespace

TfrmBaseGene::TfrmBaseGene(QWidget* owner) : TDLLForm(owner) {
    setObjectName("frmBaseGene");
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    FVersionText = "870401-0.00.00";
    resize(600, 380);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    root->addWidget(Splitter1, 1);

    pnlCondition = new QFrame(Splitter1);
    pnlCondition->setObjectName("pnlCondition");
    auto* conditionLayout = new QVBoxLayout(pnlCondition);
    conditionLayout->setContentsMargins(2, 2, 2, 2);
    lblCondition = new QLabel(QStringLiteral(" 条件方案"), pnlCondition);
    lblCondition->setObjectName("lblCondition");
    ToolBar1 = new QToolBar(pnlCondition);
    ToolBar1->setObjectName("ToolBar1");
    const auto tool = [this](const char* name, const QString& hint) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setText(hint);
        ToolBar1->addWidget(b);
        return b;
    };
    btnInsert = tool("btnInsert", QStringLiteral("新增"));
    btnOpen = tool("btnOpen", QStringLiteral("打开"));
    btnDelete = tool("btnDelete", QStringLiteral("删除"));
    ToolButton1 = tool("ToolButton1", QStringLiteral("显示"));
    lstCondition = new QTreeWidget(pnlCondition);
    lstCondition->setObjectName("lstCondition");
    lstCondition->setRootIsDecorated(false);
    conditionLayout->addWidget(lblCondition);
    conditionLayout->addWidget(ToolBar1);
    conditionLayout->addWidget(lstCondition, 1);

    pgOption = new QTabWidget(Splitter1);
    pgOption->setObjectName("pgOption");
    pgOption->setToolTip(QStringLiteral("请输入选项条件"));
    // Pages with a caption of their own, so that language files can name their tabs.
    tsOption1 = new TTabSheet;
    tsOption1->setObjectName("tsOption1");
    tsOption2 = new TTabSheet;
    tsOption2->setObjectName("tsOption2");
    pgOption->addTab(tsOption1, QString());
    pgOption->addTab(tsOption2, QString());
    tsOption1->SetCaption(QStringLiteral("基本选项"));
    tsOption2->SetCaption(QStringLiteral("系统选项"));
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({200, 400}); // room for the scheme tool bar

    lblToday = new QLabel(QStringLiteral("制表日期"), tsOption2);
    lblToday->setObjectName("lblToday");
    edPrintDate = new QLineEdit(tsOption2);
    edPrintDate->setObjectName("edPrintDate");
    edPrintDate->setToolTip(QStringLiteral("[F2]日期快手"));
    btnPrintDate = new TF2Button(tsOption2);
    btnPrintDate->setObjectName("btnPrintDate");
    btnPrintDate->setToolTip(QStringLiteral("日期快手"));
    btnPrintDate->SetGlyphIndex(9);
    btnPrintDate->SetF2Control(edPrintDate);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    auto* buttons = new QHBoxLayout(Panel1);
    buttons->addStretch();
    btnOk = new QPushButton(QStringLiteral("确定"), Panel1);
    btnOk->setObjectName("btnOk");
    btnCancel = new QPushButton(QStringLiteral("取消"), Panel1);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    root->addWidget(Panel1);

    MainMidas = new TSocketConnection(this);
    MainMidas->setObjectName("MainMidas");
    ObjBroker = new QObject(this);
    ObjBroker->setObjectName("ObjBroker");
    MainMidas->ObjectBroker = ObjBroker;
    muOperation = new QMenu(this);
    muOperation->setObjectName("muOperation");
    mnList = new QMenu(this);
    mnList->setObjectName("mnList");
    const auto item = [](QMenu* menu, const char* name, const QString& text) {
        QAction* a = menu->addAction(text);
        a->setObjectName(name);
        return a;
    };
    N2 = item(muOperation, "N2", QStringLiteral("开启(&O)"));
    N3 = item(muOperation, "N3", QStringLiteral("删除(&D)"));
    N7 = item(mnList, "N7", QStringLiteral("大型图标(&G)"));
    N8 = item(mnList, "N8", QStringLiteral("小型图标(&M)"));
    N9 = item(mnList, "N9", QStringLiteral("清单(&L)"));
    N10 = item(mnList, "N10", QStringLiteral("详细信息(&D)"));
    for (QAction* a : {N7, N8, N9, N10})
        a->setCheckable(true);
    ClientDataSet1 = new kv::TClientDataSet(this);
    ClientDataSet1->setObjectName("ClientDataSet1");

    // The scheme panel.
    btnInsert->setText(QStringLiteral("保存(&S)"));
    btnOpen->setText(QStringLiteral("开启(&O)"));
    btnDelete->setText(QStringLiteral("删除(&D)"));
    ToolButton1->setMenu(mnList);
    ToolButton1->setPopupMode(QToolButton::MenuButtonPopup);
    lstCondition->setColumnCount(2);
    lstCondition->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    lstCondition->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(btnInsert, &QToolButton::clicked, this, [this] { btnInsertClick(); });
    connect(btnOpen, &QToolButton::clicked, this, [this] { btnOpenClick(); });
    connect(btnDelete, &QToolButton::clicked, this, [this] { btnDeleteClick(); });
    connect(ToolButton1, &QToolButton::clicked, this, [this] { ToolButton1Click(); });
    connect(N2, &QAction::triggered, this, [this] { btnOpenClick(); });
    connect(N3, &QAction::triggered, this, [this] { btnDeleteClick(); });
    connect(N7, &QAction::triggered, this, [this] { ViewIconExecute(); });
    connect(N8, &QAction::triggered, this, [this] { ViewSmallIconExecute(); });
    connect(N9, &QAction::triggered, this, [this] { ViewListExecute(); });
    connect(N10, &QAction::triggered, this, [this] { ViewReportExecute(); });
    connect(lstCondition, &QTreeWidget::itemDoubleClicked, this, [this] { btnOpenClick(); });
    connect(lstCondition, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item, int column) { lstConditionEdited(item, column); });
    connect(lstCondition, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { muOperation->popup(lstCondition->viewport()->mapToGlobal(at)); });
    SetViewStyle(2);

    // The required fields guard the button before its own handlers run (eventFilter, ClickButton).
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        setModalResult(mrCancel);
        btnCancelClick();
    });
    LayoutSystemPage();
}

TfrmBaseGene::~TfrmBaseGene() {
    FCounterService.reset();
    FValidatorService.reset();
    FLookupService.reset();
    FAppServer.reset();
    if (!FLocalServer) MainMidas->Close();
    MainMidas->SetAppServer(nullptr);
    setHostApp(kv::Variant());
}

void TfrmBaseGene::FormCreate() {
    TDLLForm::FormCreate();
    if (GetSystemCodePage() == QLatin1String("950")) {
        const QString sep = QLocale().dateFormat(QLocale::ShortFormat).remove(QRegularExpression("[dMy]"));
        FDateSeparator = sep.isEmpty() ? QStringLiteral("/") : sep.left(1);
    }
    // Hints stay up while the user reads them.
    for (QWidget* w : findChildren<QWidget*>())
        w->setToolTipDuration(500000);
    FUserID.clear();
    FCompanyID.clear();
    FDbName.clear();
    FOnDateFieldEnter = {[this](QObject* sender) { DateFieldEnter(qobject_cast<QWidget*>(sender)); }, this};
    FOnDateFieldExit = {[this](QObject* sender) { DateFieldExit(qobject_cast<QWidget*>(sender)); }, this};
    FOnRequiredExit = {[this](QObject* sender) { RequiredExit(qobject_cast<QWidget*>(sender)); }, this};
    FErrorFocus = this;
    FInteractive = true;
    PrepareDataSets();
    FOriginalColors.clear();
    for (QObject* c : findChildren<QObject*>())
        if (FindProperty(c, "ImeName").isValid()) c->setProperty("ImeName", QString());
}

void TfrmBaseGene::LayoutSystemPage() {
    QFont f = tsOption2->font();
    f.setPointSize(9);
    tsOption2->setFont(f);
    if (height() < 110 || width() < 315) resize(std::max(width(), 315), std::max(height(), 110));
    setMinimumSize(315, 110);
    lblToday->move(8, 12);
    edPrintDate->setGeometry(60, 8, 85, edPrintDate->sizeHint().height());
    btnPrintDate->AlignToControl();
}

QString TfrmBaseGene::ProgramCodeFromFile(const QString& modulePath) {
    const QFileInfo file(modulePath);
    const QString name = file.fileName();
    const QString ext = file.suffix().isEmpty() ? QString() : "." + file.suffix();
    // The original measured a ".Dll"; here the library is a shared object.
    const bool library =
        ext.compare(".so", Qt::CaseInsensitive) == 0 || ext.compare(".dll", Qt::CaseInsensitive) == 0;
    const qsizetype n = name.size() - ext.size() - (library ? 1 : 2);
    return name.left(std::max<qsizetype>(n, 6)).toUpper();
}

void TfrmBaseGene::ConfigureForm() {
    SetDateFields(QStringLiteral("edPrintDate"));
    FFormType = "R";
    FHeaderSize = 9;
    SetOptionCount(0);
    FServiceFlags = 0;
    FProgramCode = ProgramCodeFromFile(ModulePath());
    FServerProgID = FProgramCode + "S.Class1";
    kv::Variant row;
    FProgramName = FProgramCode;
    FWantLog = false;
    try {
        if (GetData("ADMMB", "01", true, row, kv::Variant::arrayOf({FProgramCode})) && row.isArray()) {
            FProgramName = kv::varToStr(row.at(row.lowBound())).trimmed();
            FWantLog = kv::varToStr(row.at(row.lowBound() + 4)).trimmed() == QLatin1String("Y");
            if (row.elementCount() > 7 && GetUICodePage() == QLatin1String("437"))
                FProgramName = kv::varToStr(row.at(row.lowBound() + 7)).trimmed();
        }
    } catch (const std::exception&) {
        FProgramName = FProgramCode;
        FWantLog = false;
    }
}

bool TfrmBaseGene::InitializeSession(const kv::Variant& params) {
    if (!FCompanyID.isEmpty()) return false;
    FClosePending = false;
    const bool result = InitializeSessionSteps(params);
    // The close request goes out only now: message boxes shown on the way run their own event loops,
    // which must not free the form while it is still being initialised.
    if (FClosePending) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return result;
}

void TfrmBaseGene::RequestClose() {
    FClosePending = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool TfrmBaseGene::InitializeSessionSteps(const kv::Variant& params) {
    try {
        FSystemSettings.clear();
        FOriginalColors.clear();
        FCounterService.reset();
        FValidatorService.reset();
        FLookupService.reset();
        FErrorCodes.clear();
        FErrorTexts.clear();
        edPrintDate->clear();
        FLastRequest = kv::Variant::null();
        FInteractive = true;
        FPressOk = false;
        const int high = params.isArray() ? params.highBound() : -1;
        FHostWindow = high >= 3 ? params.at(3).toInt() : 0;
        if (high > 3) {
            FHostExtra = params.at(4);
        } else {
            ShowMessageCode("E;000038");
            FClosePending = true;
        }
        hide();
        if (high < 2) throw EKvError("The session parameters lack the user, company or database");
        FUserID = kv::varToStr(params.at(0));
        FCompanyID = kv::varToStr(params.at(1));
        FDbName = kv::varToStr(params.at(2));
        // The name is written into every statement: anything but a plain name could run as SQL.
        if (!IsPlainDatabaseName(FDbName)) {
            ShowMessageCode("E;000041;" + MessageCodeArgument(FDbName));
            FClosePending = true;
            return false;
        }
        LoadSessionServices();
        if (objectName().mid(3, 3).compare(FProgramCode.left(3), Qt::CaseInsensitive) != 0) {
            ShowMessageCode("E;000036");
            FClosePending = true;
        } else if (!ConnectServer()) {
            ShowMessageCode("E;000006", FServerError);
            FClosePending = true;
            return false;
        }
        return true;
    } catch (const EKvError& e) {
        RecordError(QString::fromUtf8(e.what()));
        return false;
    }
}

void TfrmBaseGene::LoadSessionServices() {
    // Original colours, so that highlighting can be undone.
    for (QWidget* w : findChildren<QWidget*>())
        if (!w->objectName().isEmpty())
            for (const auto& [part, key] : colourParts(w, 0))
                FOriginalColors << key + "=" + QString::number(part->palette().base().color().rgb());
    const bool library = ModulePath().endsWith(".so", Qt::CaseInsensitive) ||
                         ModulePath().endsWith(".dll", Qt::CaseInsensitive);
    FHost.reset();
    if (library) {
        FHost = HostApp().type() == kv::VarType::Dispatch ? HostApp().toDispatch() : nullptr;
    } else {
        try {
            FHost = kv::CreateOleObject("VantorWorkCenter.Manager");
            setHostApp(kv::Variant(FHost));
        } catch (const std::exception&) {
            FHost.reset();
        }
    }
    BeforeServices();
    try {
        FHostVersionType = callMember(FHost, "VersionType").toInt();
    } catch (const std::exception&) {
        FHostVersionType = 0;
    }
    try {
        FProductID = callMember(FHost, "ProductID").toInt();
    } catch (const std::exception&) {
        FProductID = 3;
    }
    ConfigureForm();
    AfterServices();
}

void TfrmBaseGene::BeforeServices() {
    try {
        FCounterService = callMember(FHost, "Com_Counter").toDispatch();
    } catch (const std::exception&) {
        FCounterService.reset();
    }
    try {
        const kv::Variant info = callMember(FCounterService, "GetSysInfo", {FCompanyID});
        if (info.isArray() && info.dimCount() == 2)
            for (int i = info.lowBound(2); i <= info.highBound(2); ++i)
                FSystemSettings << kv::varToStr(info.at(info.lowBound(1), i)) + "=" +
                                       kv::varToStr(info.at(info.lowBound(1) + 1, i));
    } catch (const std::exception&) {
    }
    FVersionCode = GetSysSetting("KVR002");
    bool ok = false;
    const int order = GetSysSetting("DateOrder").toInt(&ok);
    if (ok && order >= 1 && order <= 5) FDateOrder = order;
    if (!GetSysSetting("DateSign").isEmpty()) FDateSeparator = GetSysSetting("DateSign").left(1);
    try {
        FValidatorService = callMember(FHost, "Com_Validator").toDispatch();
    } catch (const std::exception&) {
        FValidatorService.reset();
    }
}

void TfrmBaseGene::AfterServices() {
    if (!(FServiceFlags & 4)) return;
    try {
        FLookupService = callMember(FHost, "Com_F2Window").toDispatch();
    } catch (const std::exception&) {
        FLookupService.reset();
    }
}

QString TfrmBaseGene::GetSysSetting(const QString& name) {
    QString value;
    for (const QString& line : std::as_const(FSystemSettings)) {
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && line.left(eq).compare(name, Qt::CaseInsensitive) == 0) {
            value = line.mid(eq + 1);
            break;
        }
    }
    if (value.isEmpty()) {
        static const QStringList names = {"SYS007", "SYS008", "SYS009", "SYS010"};
        const int i = int(names.indexOf(name.toUpper()));
        if (i >= 0) {
            if (GetUICodePage() != QLatin1String("437"))
                value = QStringList{QStringLiteral("商品分类方式一"), QStringLiteral("商品分类方式二"),
                                    QStringLiteral("商品分类方式三"), QStringLiteral("商品分类方式四")}
                            .at(i);
            else
                value = QStringList{"Inv.Cate.1", "Inv.Cate.2", "Inv.Cate.3", "Inv.Cate.4"}.at(i);
        }
    }
    return ToDisplayText(value);
}

QString TfrmBaseGene::ToDisplayText(const QString& value) const {
    return GetUIChangeType() == 0 ? value : kv::varToStr(KvConverter->ConvertUIString(value));
}

QString TfrmBaseGene::FromDisplayText(const QString& value) const {
    return GetUIChangeType() == 0 ? value : kv::varToStr(KvConverter->RecoverUIString(value));
}

void TfrmBaseGene::SetServerName(TSocketConnection* connection) {
    Q_UNUSED(connection);
}

bool TfrmBaseGene::ConnectServer() {
    FServerError.clear();
    try {
        MainMidas->Close();
        const TStewardIniC settings;
        QString error = settings.ErrorCode;
        if (error.isEmpty()) {
            const kv::Variant& list = settings.ServerList;
            if (list.isArray() && list.dimCount() == 2 && list.elementCount(2) > 0) {
                MainMidas->Address = kv::varToStr(list.at(0, list.lowBound(2))).trimmed();
                MainMidas->ObjectBroker = nullptr;
                MainMidas->Port = kv::varToStr(list.at(1, list.lowBound(2))).trimmed().toInt();
            }
        }
        if (!error.isEmpty()) {
            // Which file to mend: the registry stands in a file here.
            FServerError =
                error == QLatin1String("E;000015")
                    ? QString("Registry file: %1").arg(QDir::toNativeSeparators(kv::registryFileName()))
                    : QString("Settings file: %1").arg(QDir::toNativeSeparators(settings.IniFileName));
            ShowMessageCode(error, FServerError);
            return false;
        }
        SetServerName(MainMidas);
        FAppServer.reset();
        MainMidas->Close();
        if (MainMidas->Address == QLatin1String("127.0.0.1")) {
            FAppServer = kv::CreateOleObject(MainMidas->ServerName);
            MainMidas->SetAppServer(FAppServer);
            FLocalServer = true;
        } else {
            MainMidas->Open();
            if (MainMidas->Connected()) FAppServer = MainMidas->AppServer();
        }
        if (!FAppServer)
            FServerError = QString("%1 at %2:%3 gave no server object")
                               .arg(MainMidas->ServerName, MainMidas->Address)
                               .arg(MainMidas->Port);
        return bool(FAppServer);
    } catch (const EKvError& e) {
        FServerError = QString::fromUtf8(e.what());
        RecordError(FServerError);
        return false;
    }
}

kv::DispatchPtr TfrmBaseGene::MessageHost() const {
    if (FHost) return FHost;
    return HostApp().type() == kv::VarType::Dispatch ? HostApp().toDispatch() : nullptr;
}

QString MessageCodeArgument(QString text) {
    return text.replace(QLatin1Char(';'), QLatin1Char(','));
}

bool IsPlainDatabaseName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,127}$"));
    return plain.match(name).hasMatch();
}

void TfrmBaseGene::ShowMessageCode(const QString& code, const QString& detail) {
    if (focusWidget() == btnCancel) return; // the form's focus, whether or not its window is active
    if (code.isEmpty()) {
        FErrorCodes.clear();
        FErrorTexts.clear();
        return;
    }
    FErrorCodes += code + "; ";
    const QStringList fields = code.split(';');
    const QString type = fields.value(0).trimmed();
    QString number = fields.value(1).trimmed();
    const bool shown = number.toInt() > 0;
    if (number.startsWith('-')) number.remove(0, 1);
    QStringList args;
    for (int i = 2; i < 12; ++i)
        args << fields.value(i);
    QString text;
    if (const kv::DispatchPtr host = MessageHost()) {
        try {
            text = kv::varToStr(callMember(host, "GetMessage", {type, number}));
        } catch (const std::exception& e) {
            text = QString::fromUtf8(e.what());
        }
    } else {
        text = QString("Can not Get Message\rType= %1, ID= %2 ").arg(type, number);
    }
    text = ToDisplayText(text);
    QString formatted;
    if (!formatMessage(text, args, formatted)) {
        formatted = text + "\r";
        for (const QString& a : std::as_const(args))
            formatted += a + ";";
    }
    if (!detail.trimmed().isEmpty()) formatted += "\r" + detail.trimmed();
    if (!FErrorTexts.contains(formatted)) FErrorTexts += formatted + "; ";
    if (!shown) return;
    const QString t = type.toUpper();
    const TMsgDlgType kind = (t == "C" || t == "D" || t == "W") ? mtWarning
                             : t == "E"                         ? mtError
                             : t == "I"                         ? mtInformation
                             : t == "Q"                         ? mtConfirmation
                                                                : mtCustom;
    MessageBox(formatted, kind, mbOK);
}

void TfrmBaseGene::RecordError(const QString& error) {
    if (focusWidget() == btnCancel) return; // the form's focus, whether or not its window is active
    const QString text = error.trimmed();
    if (text.isEmpty()) {
        FErrorCodes.clear();
        FErrorTexts.clear();
        return;
    }
    FErrorCodes += "E;-1; ";
    if (!FErrorTexts.contains(text)) FErrorTexts += text + "; ";
}

int TfrmBaseGene::MessageBox(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
    if (FSilentMessages && kind != mtError) return mrNone;
    QPointer<QWidget> focused = focusedControl(this);
    const int result = KvMessageDlg(text, kind, buttons);
    // The box took the mouse: a button pressed when it came up would stay down. The release is sent
    // outside the control, so it lets go without counting as a click.
    if (focused) {
        const QPointF outside(-1, -1);
        QCoreApplication::postEvent(focused, new QMouseEvent(QEvent::MouseButtonRelease, outside,
                                                             focused->mapToGlobal(outside), Qt::LeftButton,
                                                             Qt::NoButton, Qt::NoModifier));
    }
    if (kind == mtError && FErrorFocus && FErrorFocus != this && FErrorFocus->isVisible() &&
        FErrorFocus->isEnabled())
        FErrorFocus->setFocus();
    else if (focused)
        focused->setFocus();
    return result;
}

void TfrmBaseGene::SetOptionCount(int n) {
    // The framework's own options follow the kind's; a form without options of its own has none.
    FOptionCount = n;
    if (FSystemOptionCount < FOptionCount + FSystemOptionCount) FOptionCount += FSystemOptionCount;
}

bool TfrmBaseGene::CheckBuilt(const kv::Variant& array, int count, const QString& ident,
                              const QString& fallback) {
    const QString what = LangText(cls(), ident, fallback);
    if (!array.isArray() || array.highBound() != count) {
        ShowMessageCode(
            QString("W;000002;%1;%2;%3").arg(what).arg(count).arg(array.isArray() ? array.highBound() : -1));
        return false;
    }
    for (int i = 1; i <= count; ++i)
        if (array.at(i).isEmptyOrNull()) {
            ShowMessageCode(QString("W;000003;%1;%2;%3").arg(what).arg(count).arg(i));
            return false;
        }
    return true;
}

bool TfrmBaseGene::BuildJobRequest() {
    if (FHeaderSize <= 0 || (FOptionCount <= 0 && !FPressOk)) return false;
    kv::Variant header = kv::Variant::array(1, FHeaderSize);
    kv::Variant labels = kv::Variant::array(1, FOptionCount);
    kv::Variant values = kv::Variant::array(1, FOptionCount);
    for (int i = 1; i <= FHeaderSize; ++i)
        header.at(i) = kv::Variant::null();
    for (int i = 1; i <= FOptionCount; ++i)
        labels.at(i) = values.at(i) = kv::Variant::null();
    if (!AddOptionLabels(labels, FOptionCount - FSystemOptionCount) ||
        !CheckBuilt(labels, FOptionCount, "sOption", QStringLiteral("选择条件文字")))
        return false;
    if (!AddOptionValues(values, FOptionCount - FSystemOptionCount) ||
        !CheckBuilt(values, FOptionCount, "sOptionInf", QStringLiteral("选择条件信息")))
        return false;
    if (!FillRequestHeader(header) ||
        !CheckBuilt(header, FHeaderSize, "sEnvSetting", QStringLiteral("环境设置")))
        return false;
    FJobRequest = kv::Variant::array(0, 2);
    FJobRequest.at(0) = header;
    FJobRequest.at(1) = KvConverter->RecoverDataString(labels);
    FJobRequest.at(2) = KvConverter->RecoverDataString(values);
    return true;
}

bool TfrmBaseGene::AddOptionLabels(kv::Variant& labels, int index) {
    FLabelled = true;
    const int at = index + FSystemOptionCount;
    if (!labels.isArray() || at < labels.lowBound() || at > labels.highBound()) {
        QString info;
        if (const kv::DispatchPtr host = MessageHost()) {
            try {
                info = kv::varToStr(callMember(host, "GetMessage", {QString("I"), QString("000011")}));
            } catch (const std::exception&) {
            }
        }
        ShowMessageCode("E;000030;" + info);
        return false;
    }
    labels.at(at) = kv::Variant::arrayOf({lblToday->text(), edPrintDate->objectName()});
    return true;
}

bool TfrmBaseGene::AddOptionValues(kv::Variant& values, int index) {
    const int at = index + FSystemOptionCount;
    if (!values.isArray() || at < values.lowBound() || at > values.highBound()) {
        ShowMessageCode("E;000030");
        return false;
    }
    QString date = edPrintDate->text().trimmed();
    if (!date.isEmpty() && !date.startsWith(FDateSeparator) && !date.endsWith(FDateSeparator)) {
        const kv::TDateTime d = StringToDate(date, FDateOrder, FDateSeparator);
        if (d != 0) date = DateToString(d, FDateOrder, FDateSeparator);
    }
    values.at(at) = date;
    return true;
}

bool TfrmBaseGene::FillRequestHeader(kv::Variant& header) {
    header.at(1) = FProgramCode.toUpper();
    header.at(2) = FHeaderSize;
    header.at(3) = FOptionCount;
    header.at(4) = FCompanyID;
    header.at(5) = FUserID;
    header.at(6) = FDbName;
    const QDateTime now = QDateTime::currentDateTime();
    header.at(7) = kv::Variant::fromDate(QDate(1899, 12, 30).daysTo(now.date()) +
                                         now.time().msecsSinceStartOfDay() / 86400000.0);
    header.at(8) = FServerProgID;
    header.at(9) = FFormType.toUpper();
    return true;
}

bool TfrmBaseGene::LoadRequestValues(const kv::Variant& values) {
    Q_UNUSED(values);
    return false;
}

bool TfrmBaseGene::RunMode(int mode) {
    Q_UNUSED(mode);
    return true;
}

void TfrmBaseGene::BeforeApplyValue(QWidget* control, const kv::Variant& value) {
    Q_UNUSED(control);
    Q_UNUSED(value);
}

void TfrmBaseGene::AfterApplyValue(QWidget* control, const kv::Variant& value) {
    Q_UNUSED(control);
    Q_UNUSED(value);
}

void TfrmBaseGene::RunRequest(const kv::Variant& request) {
    const kv::Variant R =
        request.isArray() && request.elementCount() > 1 ? request.at(request.lowBound() + 1) : kv::Variant();
    FLastRequest = R;
    if (!R.isArray()) return;
    const int mode = R.at(R.lowBound()).toInt();
    FInteractive = mode == 0 || mode == 1;
    bool loaded = false;
    const kv::Variant what = R.elementCount() > 1 ? R.at(R.lowBound() + 1) : kv::Variant();
    if (what.isArray() && what.elementCount() > 1) {
        const bool byName = what.at(what.lowBound()).toBool();
        const kv::Variant& V = what.at(what.lowBound() + 1);
        if (V.isArray()) loaded = byName ? ApplyValuesByName(V) : LoadRequestValues(V);
    }
    const bool runNow = loaded && mode != 0;
    FPressOk = runNow;
    if (!FConverted) {
        ConvertOnce();
        if (GetSystemCodePage() == QLatin1String("950")) {
            FProgramName = KvConverter->GBToBig5(FProgramName);
            setWindowTitle(FProgramName + "[" + FVersionCode + "]");
        }
    }
    if (mode > 2 && loaded)
        RunMode(mode);
    else if (runNow)
        ClickButton(btnOk);
}

bool TfrmBaseGene::ApplyValuesByName(const kv::Variant& v) {
    bool all = v.isArray() && v.elementCount() > 1;
    if (!all) {
        ShowMessageCode("W;000014");
        return false;
    }
    const kv::Variant& labels = v.at(v.lowBound());
    const kv::Variant& values = v.at(v.lowBound() + 1);
    if (!labels.isArray() || !values.isArray()) all = false;
    for (int i = labels.isArray() ? labels.lowBound() : 0; all && i <= labels.highBound(); ++i) {
        const kv::Variant& label = labels.at(i);
        const QString name = label.isArray() && label.elementCount() > 1
                                 ? kv::varToStr(label.at(label.lowBound() + 1))
                                 : QString();
        QWidget* control = name.isEmpty() ? nullptr : findChild<QWidget*>(name);
        if (!control || i > values.highBound()) {
            all = false;
            break;
        }
        const kv::Variant& value = values.at(i);
        BeforeApplyValue(control, value);
        bool accepted = true;
        if (auto* panel = qobject_cast<TSelectPanel*>(control)) {
            const QStringList parts = kv::varToStr(value).split(QChar(3));
            panel->SetStartText(parts.value(0));
            panel->SetEndText(parts.value(1));
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            const int index = combo->findText(kv::varToStr(value));
            accepted = index >= 0 || value.isNumeric();
            combo->setCurrentIndex(index >= 0          ? index
                                   : value.isNumeric() ? value.toInt()
                                                       : combo->currentIndex());
        } else if (FindProperty(control, "ItemIndex").isValid()) {
            accepted = control->setProperty(FindProperty(control, "ItemIndex").name(), value.toInt());
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(kv::varToStr(value));
        } else if (FindProperty(control, "Text").isValid()) {
            accepted = control->setProperty(FindProperty(control, "Text").name(), kv::varToStr(value));
        } else {
            accepted = false;
        }
        if (!accepted) {
            all = false;
            break;
        }
        AfterApplyValue(control, value);
    }
    if (!all) ShowMessageCode("W;000014");
    return all;
}

void TfrmBaseGene::FormShow() {
    TDLLForm::FormShow();
    if (FProductID == 5)
        setWindowTitle(FProgramName + LangText(cls(), "sPublicVer", QStringLiteral("-普及版")) + "[" +
                       FVersionCode + "]");
    else
        setWindowTitle(FProgramName + "[" + FVersionCode + "]");
    pgOption->setCurrentIndex(0);
    ConvertOnce();
    lstCondition->setHeaderLabels({LangText(cls(), "sProjectName", QStringLiteral("方案名称")),
                                   LangText(cls(), "sCreateTime", QStringLiteral("创建时间"))});
    // A form without options to keep has no scheme panel.
    if (FOptionList.isEmpty()) FOptionList = BuildOptionList();
    pnlCondition->setVisible(!FOptionList.isEmpty());
    try {
        LoadSchemes();
    } catch (const std::exception& e) {
        const QString reason = QString::fromUtf8(e.what());
        RecordError(reason);
        // Said once the form is up, which it still opens: its options work without the schemes.
        QTimer::singleShot(0, this, [this, reason] {
            KvGuard("the scheme list's failure",
                    [&] { ShowMessageCode("E;000013;" + MessageCodeArgument(reason)); });
        });
    }
}

void TfrmBaseGene::DoClose(TCloseAction& action) {
    action = caFree;
}

void TfrmBaseGene::RepaintHost() {
    if (FHostWindow == 0) return;
    if (QWidget* host = QWidget::find(WId(uint32_t(FHostWindow)))) host->update();
}

void TfrmBaseGene::resizeEvent(QResizeEvent* e) {
    TDLLForm::resizeEvent(e);
    RepaintHost();
}

void TfrmBaseGene::moveEvent(QMoveEvent* e) {
    TDLLForm::moveEvent(e);
    RepaintHost();
}

QString TfrmBaseGene::HelpCode(const QString& programCode) {
    if (programCode.size() < 6) return {};
    const QChar c4 = programCode.at(3).toUpper();
    QString code;
    int next = 3;
    if (c4 == 'A') {
        code = "6";
        next = 4;
    } else if (c4 == 'M') {
        code = "8";
        next = 4;
    } else {
        code = "1";
    }
    const QChar n = programCode.at(next).toUpper();
    if (n == 'B')
        code += "3";
    else if (n == 'R')
        code += "2";
    else
        return {};
    return code + programCode.right(2) + "0000";
}

void TfrmBaseGene::ShowHelp() {
    const QString code = HelpCode(FProgramCode);
    if (code.isEmpty()) return;
    try {
        callMember(MessageHost(), "CallHelp", {kv::Variant::arrayOf({FProgramCode.left(3), code})});
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
    }
}

void TfrmBaseGene::OnF2Key(int key, QWidget* control) {
    Q_UNUSED(key);
    if (!control) return;
    if (control->isEnabled() && control->isVisible()) control->setFocus();
    if (control == edPrintDate) PickDate(edPrintDate);
}

void TfrmBaseGene::PickDate(QLineEdit* edit) {
    if (!edit || !FLookupService) return;
    try {
        const kv::Variant day =
            callMember(FLookupService, "ShowInputDay",
                       {kv::Variant::arrayOf({edit->text(), FDateOrder, FDateSeparator})});
        if (!kv::varToStr(day).isEmpty()) edit->setText(kv::varToStr(day));
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
    }
}

void TfrmBaseGene::PickPhrase(QWidget* control) {
    if (!control || !FLookupService) return;
    try {
        const kv::Variant phrase = callMember(FLookupService, "GetPhrase", {FUserID, FDbName, int(winId())});
        const QString text = ToDisplayText(kv::varToStr(phrase));
        if (text.isEmpty()) return;
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->insert(text);
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
            memo->insertPlainText(text);
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
    }
}

kv::Variant TfrmBaseGene::LookupData(const QString& table, const QString& windowNo, const kv::Variant& keys,
                                     const kv::Variant& condition, bool multiSelect,
                                     const kv::Variant& extra) {
    if (!FLookupService) return {};
    try {
        kv::Variant request = kv::Variant::array(0, 18);
        for (int i = 0; i <= 18; ++i)
            request.at(i) = QString();
        request.at(0) = FCompanyID;
        request.at(1) = FDbName;
        request.at(2) = table;
        request.at(3) = windowNo;
        request.at(4) = KvConverter->RecoverDataString(keys);
        request.at(5) = condition;
        request.at(6) = multiSelect;
        request.at(7) = FUserID;
        request.at(8) = FProductID;
        request.at(9) = FBaseLimited;
        request.at(10) = extra;
        request.at(11) = int(winId());
        return KvConverter->ConvertDataString(callMember(FLookupService, "F2GetData", {request}));
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
        return {};
    }
}

bool TfrmBaseGene::GetData(const QString& table, const QString& queryNo, bool flag, kv::Variant& result,
                           const kv::Variant& keys) {
    if (!FValidatorService) return false;
    try {
        FValidatorService->setProperty("ProductID", FProductID);
        FValidatorService->setProperty("BaseLimited", FBaseLimited);
        kv::VariantArgs args{table, queryNo, FDbName, KvConverter->RecoverDataString(keys), kv::Variant()};
        const bool found = FValidatorService->invoke(flag ? "QueryData" : "CheckValue", args).toBool();
        result = KvConverter->ConvertDataString(args[4]);
        return found;
    } catch (const std::exception&) {
        return false;
    }
}

void TfrmBaseGene::PrepareDataSets() {
    for (kv::TClientDataSet* set : findChildren<kv::TClientDataSet*>()) {
        for (int i = 0; i < set->FieldCount(); ++i) {
            kv::TField& field = set->Fields(i);
            field.SetDisplayLabel(ToDisplayText(field.DisplayLabel()));
            // Texts are stored in the data script and shown in the interface script; fields with
            // handlers of their own convert for themselves.
            if (!field.isText() || field.OnGetText || field.OnSetText) continue;
            field.OnGetText = [this](kv::TField& sender, QString& text, bool) {
                text = ToDisplayText(sender.AsString());
            };
            field.OnSetText = [this](kv::TField& sender, const QString& text) {
                sender.SetAsString(FromDisplayText(text));
            };
        }
    }
}

void TfrmBaseGene::SetDateFields(const QString& fieldNames) {
    QString names = fieldNames.trimmed();
    if (names == FDateFields) return;
    // The form sees every focus change of its controls (TKVForm filters the application's events), so
    // the list itself decides which controls get the date handlers.
    if (!names.contains("edPrintDate") && !FDateFields.isEmpty()) names += "," + FDateFields;
    FDateFields = names;
}

void TfrmBaseGene::SetRequiredFields(const QString& text) {
    const auto recorded = [this](const QString& key) -> int {
        const QString prefix = key + "=";
        for (const QString& line : std::as_const(FOriginalColors))
            if (line.startsWith(prefix)) return int(FOriginalColors.indexOf(line));
        return -1;
    };
    // The controls of the earlier list get their colours back.
    for (const QString& entry : FRequiredFields.split(',', Qt::SkipEmptyParts)) {
        QWidget* w = findChild<QWidget*>(entry.section(';', 0, 0).trimmed());
        if (!w) continue;
        for (const auto& [part, key] : colourParts(w, entry.section(';', 1, 1).toInt())) {
            const int at = recorded(key);
            if (at < 0) continue;
            QPalette p = part->palette();
            p.setColor(QPalette::Base,
                       QColor::fromRgb(QRgb(FOriginalColors.at(at).section('=', 1).toUInt())));
            part->setPalette(p);
        }
    }
    FRequiredFields = text;
    for (const QString& entry : text.split(',', Qt::SkipEmptyParts)) {
        QWidget* w = findChild<QWidget*>(entry.section(';', 0, 0).trimmed());
        if (!w) continue;
        for (const auto& [part, key] : colourParts(w, entry.section(';', 1, 1).toInt())) {
            // A control created after the session started is recorded when it is first marked.
            if (recorded(key) < 0)
                FOriginalColors << key + "=" + QString::number(part->palette().base().color().rgb());
            QPalette p = part->palette();
            p.setColor(QPalette::Base, QColor::fromRgb(kRequiredColor & 0xFF, (kRequiredColor >> 8) & 0xFF,
                                                       (kRequiredColor >> 16) & 0xFF));
            part->setPalette(p);
        }
    }
}

bool TfrmBaseGene::CheckRequiredFields() {
    for (const QString& entry : FRequiredFields.split(',', Qt::SkipEmptyParts)) {
        QWidget* w = findChild<QWidget*>(entry.section(';', 0, 0).trimmed());
        if (!w) continue;
        const int part = entry.section(';', 1, 1).toInt();
        const bool all = part < 1 || part > 3;
        QWidget* empty = nullptr;
        if (auto* panel = qobject_cast<TSelectPanel*>(w)) {
            const int shown = panel->Style() == sp_UserChoice ? panel->UserChoice() : panel->Style();
            if (shown == sp_Range) {
                if ((all || part == 1) && panel->StartText().trimmed().isEmpty())
                    empty = panel->StartEdit();
                else if ((all || part == 2) && panel->EndText().trimmed().isEmpty())
                    empty = panel->EndEdit();
            } else if (panel->ListView()->topLevelItemCount() == 0) {
                empty = panel->ListView();
            }
        } else {
            QString text;
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                text = edit->text();
            else if (auto* combo = qobject_cast<QComboBox*>(w))
                text = combo->currentText();
            else if (const QMetaProperty p = FindProperty(w, "Text"); p.isValid())
                text = p.read(w).toString();
            if (text.trimmed().isEmpty()) empty = w;
        }
        if (empty) {
            ShowMessageCode("E;000037");
            int page = -1;
            for (int i = 0; i < pgOption->count(); ++i)
                if (pgOption->widget(i)->isAncestorOf(empty)) page = i;
            // A periodic job cannot go ahead either: its button is released and its page hidden.
            auto* period = findChild<QAbstractButton*>("btnPeriod");
            QWidget* periodPage = nullptr;
            for (int i = 0; i < pgOption->count() && !periodPage; ++i)
                if (pgOption->widget(i)->objectName().startsWith(QLatin1String("tsPeriod")))
                    periodPage = pgOption->widget(i);
            QWidget* shown = page >= 0 ? pgOption->widget(page) : pgOption->currentWidget();
            if (period && (!periodPage || shown != periodPage)) {
                if (period->isCheckable() && period->isChecked()) {
                    // Released as the user releases it, so that the generation time and the required
                    // list of a plain job come back with it.
                    period->click();
                } else {
                    period->setDown(false);
                    if (periodPage && pgOption->indexOf(periodPage) >= 0)
                        pgOption->setTabVisible(pgOption->indexOf(periodPage), false);
                }
            }
            if (page >= 0) pgOption->setCurrentIndex(page);
            empty->setFocus();
            return false;
        }
    }
    return true;
}

bool TfrmBaseGene::IsGuardedButton(const QObject* button) {
    static const QStringList names{"btnOk", "btnQuery", "btnDesign", "btnPeriod"};
    return button && names.contains(button->objectName());
}

bool TfrmBaseGene::GuardClick(QAbstractButton* button) {
    // The periodic button is guarded only on the click that puts it down.
    if (button->objectName() == QLatin1String("btnPeriod") && button->isCheckable() && button->isChecked())
        return true;
    return CheckRequiredFields();
}

bool TfrmBaseGene::ClickButton(QAbstractButton* button) {
    if (!button || !button->isEnabled()) return false;
    if (IsGuardedButton(button) && button->window() == this && !GuardClick(button)) return false;
    button->click();
    return true;
}

void TfrmBaseGene::ChainEvent(QWidget* control, const QString& event, TNotifyEvent handler) {
    if (!control) return;
    const QString key = control->objectName() + "." + event;
    const bool hooked = FChainedEvents.contains(key);
    FChainedEvents.insert(key, std::move(handler));
    auto* button = qobject_cast<QAbstractButton*>(control);
    // A guarded click never reaches the signal, so the kept handler runs only after the check passed.
    if (event == QLatin1String("OnClick") && button && !hooked)
        connect(button, &QAbstractButton::clicked, this, [this, key, button] {
            const TNotifyEvent handler = FChainedEvents.value(key);
            handler(button);
        });
}

void TfrmBaseGene::DateFieldEnter(QWidget* control) {
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (!edit) return;
    const kv::TDateTime d = StringToDate(edit->text().trimmed(), FDateOrder, FDateSeparator);
    if (d != 0) edit->setText(DateToString(d, FDateOrder, FDateSeparator));
}

bool TfrmBaseGene::UncheckableControl(QWidget* control, const char* routine) {
    // Select panels order and trim their own range when they are left.
    if (qobject_cast<TSelectPanel*>(control)) return true;
    ShowMessageCode(QStringLiteral("E;000005;") + QString::fromUtf8(routine) +
                    ";TSelectPanel, TMaskedit, TEdit");
    FPendingFailure = true;
    return false;
}

bool TfrmBaseGene::RefuseTyped(QLineEdit* edit, const QString& text) {
    FPendingFailure = true;
    ShowMessageCode("E;000005;" + text + ";");
    // Back to the field, so that the user corrects it where it is.
    if (edit->isVisible() && edit->isEnabled()) edit->setFocus();
    return false;
}

kv::TDateTime TfrmBaseGene::YearMonthOf(const QString& text) const {
    // Year and month in the form's date order: year first in order 1 and the Minguo forms, whose
    // years count from 1912.
    const QStringList n = text.split(QRegularExpression("\\D+"), Qt::SkipEmptyParts);
    const bool yearFirst = FDateOrder == 1 || FDateOrder >= 4;
    int year = n.value(yearFirst ? 0 : 1).toInt();
    const int month = n.value(yearFirst ? 1 : 0).toInt();
    if (FDateOrder >= 4) year += 1911;
    kv::TDateTime d = 0;
    return n.size() == 2 && year > 0 && kv::tryEncodeDate(year, month, 1, d) ? d : 0;
}

bool TfrmBaseGene::DateFieldExit(QWidget* control) {
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (!edit) return UncheckableControl(control, "判断日期的函数第一个参数错误, 只能传下列三种物件:");
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) {
        FPendingFailure = false;
        return true;
    }
    const kv::TDateTime d = StringToDate(text, FDateOrder, FDateSeparator);
    if (d == 0) return RefuseTyped(edit, text);
    FPendingFailure = false;
    edit->setText(DateToString(d, FDateOrder, FDateSeparator));
    return true;
}

bool TfrmBaseGene::YearMonthFieldExit(QWidget* control) {
    auto* edit = qobject_cast<QLineEdit*>(control);
    if (!edit) return UncheckableControl(control, "判断年月的函数第一个参数错误, 只能传下列三种物件:");
    const QString text = edit->text().trimmed();
    if (text.isEmpty()) return true;
    const kv::TDateTime d = YearMonthOf(text);
    if (d == 0) return RefuseTyped(edit, text);
    edit->setText(MonthToString(d, FDateOrder, FDateSeparator));
    return true;
}

bool TfrmBaseGene::RequiredExit(QWidget* control) {
    Q_UNUSED(control);
    return true;
}

bool TfrmBaseGene::eventFilter(QObject* watched, QEvent* e) {
    // The date, year-month and required-field checks and the handlers modules chain to them run
    // here: what they raise ends in a message, not in the host's event loop.
    try {
        return FilterControlEvent(watched, e);
    } catch (...) {
        KvReportException(KvEventPlace(metaObject()->className(), e), std::current_exception());
        // A click or key whose check failed goes no further; focus moves as it was going to.
        return e->type() != QEvent::FocusIn && e->type() != QEvent::FocusOut;
    }
}

bool TfrmBaseGene::FilterControlEvent(QObject* watched, QEvent* e) {
    const QEvent::Type type = e->type();
    if (!watched->isWidgetType() ||
        (type != QEvent::FocusIn && type != QEvent::FocusOut && type != QEvent::MouseButtonRelease &&
         type != QEvent::KeyRelease && type != QEvent::KeyPress))
        return TDLLForm::eventFilter(watched, e);
    auto* w = static_cast<QWidget*>(watched);
    if (w->window() != this) return TDLLForm::eventFilter(watched, e);

    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        // A window or popup coming up (a message box, a menu) does not enter or leave the control.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
            w->objectName().isEmpty())
            return TDLLForm::eventFilter(watched, e);
        const QStringList dates = FDateFields.split(',', Qt::SkipEmptyParts);
        const bool isDate = dates.contains(w->objectName());
        const bool isMonth =
            !isDate && FYearMonthFields.split(',', Qt::SkipEmptyParts).contains(w->objectName());
        if (type == QEvent::FocusIn) {
            if (isDate) FOnDateFieldEnter(w);
            const TNotifyEvent chained = FChainedEvents.value(w->objectName() + ".OnEnter");
            chained(w);
        } else {
            bool ok = true;
            if (isDate) {
                // Leaving a date settles the pending failure: the handler sets it again when it fails.
                FPendingFailure = false;
                FOnDateFieldExit(w);
                ok = !FPendingFailure;
            } else if (isMonth) {
                FPendingFailure = false;
                ok = YearMonthFieldExit(w);
            }
            bool required = false;
            for (const QString& entry : FRequiredFields.split(',', Qt::SkipEmptyParts))
                required = required || entry.section(';', 0, 0).trimmed() == w->objectName();
            if (ok && required) {
                const bool pending = FPendingFailure;
                FPendingFailure = false;
                FOnRequiredExit(w);
                ok = !FPendingFailure;
                FPendingFailure = FPendingFailure || pending;
            }
            if (ok) {
                const TNotifyEvent chained = FChainedEvents.value(w->objectName() + ".OnExit");
                chained(w);
            }
        }
        return TDLLForm::eventFilter(watched, e);
    }

    // Clicks of the guarded buttons: the required fields are checked before the button's own handlers.
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button || !IsGuardedButton(button) || !button->isEnabled()) return TDLLForm::eventFilter(watched, e);
    bool clicks = false;
    if (type == QEvent::MouseButtonRelease) {
        auto* m = static_cast<QMouseEvent*>(e);
        clicks = m->button() == Qt::LeftButton && button->isDown() &&
                 button->rect().contains(m->position().toPoint());
    } else {
        auto* k = static_cast<QKeyEvent*>(e);
        if (type == QEvent::KeyRelease)
            clicks = k->key() == Qt::Key_Space && !k->isAutoRepeat() && button->isDown();
        else if (auto* push = qobject_cast<QPushButton*>(button))
            clicks = (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
                     (push->autoDefault() || push->isDefault());
    }
    if (clicks && !GuardClick(button)) {
        button->setDown(false);
        return true;
    }
    return TDLLForm::eventFilter(watched, e);
}

bool TfrmBaseGene::event(QEvent* e) {
    if (e->type() == kv::LookupRequestEvent) {
        QWidget* edit = static_cast<kv::TLookupRequestEvent*>(e)->edit();
        try {
            if (edit && edit->window() == this) OnF2Key(Qt::Key_F2, edit);
        } catch (...) {
            KvReportException(KvEventPlace(metaObject()->className(), e), std::current_exception());
        }
        return true;
    }
    return TDLLForm::event(e);
}

int TfrmBaseGene::ShownPageAfter(int page, int step, bool wrap) const {
    // A page whose tab is hidden (the periodic one while its button is up) is no page to go to.
    const int n = pgOption->count();
    for (int i = 1; i < n; ++i) {
        int next = page + step * i;
        if (!wrap && (next < 0 || next >= n)) return -1;
        next = (next % n + n) % n;
        if (pgOption->isTabVisible(next)) return next;
    }
    return -1;
}

namespace {

// The inner edit of a spin box or an editable combo box: it stands for its control.
bool IsPartOfControl(const QWidget* w) {
    return w->parentWidget() && w->parentWidget()->focusProxy() == w;
}

// A control Enter can move to now. Of a group of radio buttons only the ticked one is a stop, as with Tab;
// decided here, since the focus policy the toolkit keeps for that is only brought up to date by focus
// changes, not by a button ticked in code.
bool TakesEnterFocus(const QWidget* w) {
    if (!w->isVisible() || !w->isEnabled() || IsPartOfControl(w)) return false;
    const auto* radio = qobject_cast<const QRadioButton*>(w);
    if (!radio || !radio->autoExclusive() || !w->parentWidget()) return w->focusPolicy() & Qt::TabFocus;
    if (w->focusPolicy() == Qt::NoFocus) return false;
    if (radio->isChecked()) return true;
    for (const QRadioButton* other :
         w->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly))
        if (other->autoExclusive() && other->isChecked()) return false;
    return true;
}

} // namespace

void TfrmBaseGene::MoveByEnter(QWidget* control) {
    while (IsPartOfControl(control) && control->parentWidget() != this)
        control = control->parentWidget();
    QWidget* page = pgOption->currentWidget();
    if (page && page->isAncestorOf(control)) {
        // The next control of the page in tab order; after the page's last one, the next page. Controls
        // outside the page (OK and Cancel) are no stop on the way.
        const QList<QWidget*> order = TabOrder(page);
        for (qsizetype i = order.indexOf(control) + 1; i > 0 && i < order.size(); ++i) {
            QWidget* w = order.at(i);
            if (!control->isAncestorOf(w) && TakesEnterFocus(w)) {
                w->setFocus(Qt::TabFocusReason);
                return;
            }
        }
        if (const int next = ShownPageAfter(pgOption->currentIndex(), 1, false); next >= 0)
            pgOption->setCurrentIndex(next);
        return;
    }
    // Elsewhere on the form: the next control in tab order that can take the focus.
    QWidget* next = control->nextInFocusChain();
    while (next && next != control && (!TakesEnterFocus(next) || next->window() != this))
        next = next->nextInFocusChain();
    if (next && next != control) next->setFocus(Qt::TabFocusReason);
}

bool TfrmBaseGene::FormKeyDown(QKeyEvent* key, QWidget* target) {
    const int k = key->key();
    const Qt::KeyboardModifiers m = key->modifiers();
    QWidget* focused = target == this ? focusedControl(this) : target;
    if (k == Qt::Key_Escape && m == Qt::NoModifier) {
        // Esc in an item's editor (a scheme renamed in place) ends the editing only.
        for (QWidget* p = focused ? focused->parentWidget() : nullptr; p && p != this; p = p->parentWidget())
            if (auto* view = qobject_cast<QAbstractItemView*>(p);
                view && view->viewport()->isAncestorOf(focused))
                return false;
        close();
        return true;
    }
    if (k == Qt::Key_F1) {
        ShowHelp();
        return true;
    }
    if (k == Qt::Key_F2) {
        OnF2Key(k, focused);
        return true;
    }
    if (k == Qt::Key_V && (m & Qt::ControlModifier) && (m & Qt::AltModifier)) {
        // The desktop's file manager shows the module file's properties; without one, its folder opens.
        const QString uri = QUrl::fromLocalFile(ModulePath()).toString(QUrl::FullyEncoded);
        if (!QProcess::startDetached("dbus-send",
                                     {"--session", "--type=method_call",
                                      "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                      "org.freedesktop.FileManager1.ShowItemProperties",
                                      "array:string:" + uri, "string:"}))
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(ModulePath()).absolutePath()));
        return true;
    }
    const bool ctrl = m & Qt::ControlModifier;
    if ((k == Qt::Key_Tab && ctrl && !(m & Qt::ShiftModifier)) || (k == Qt::Key_PageDown && ctrl)) {
        if (const int next = ShownPageAfter(pgOption->currentIndex(), 1, true); next >= 0)
            pgOption->setCurrentIndex(next);
        return true;
    }
    if ((k == Qt::Key_Backtab && ctrl) || (k == Qt::Key_Tab && ctrl && (m & Qt::ShiftModifier)) ||
        (k == Qt::Key_PageUp && ctrl)) {
        if (const int next = ShownPageAfter(pgOption->currentIndex(), -1, true); next >= 0)
            pgOption->setCurrentIndex(next);
        return true;
    }
    if ((k == Qt::Key_Return || k == Qt::Key_Enter) && m == Qt::NoModifier && focused) {
        // Enter a control let through comes here again from its parents; only the focused one moves on.
        if (target != this && target != focusWidget()) return false;
        // A focused push button is pressed, through the required-field check like a click.
        if (auto* push = qobject_cast<QPushButton*>(focused)) {
            ClickButton(push);
            return true;
        }
        if (auto* grid = qobject_cast<QTableView*>(focused)) {
            const QModelIndex at = grid->currentIndex();
            auto* model = grid->model();
            if (!model) return false;
            if (at.column() + 1 < model->columnCount()) {
                grid->setCurrentIndex(model->index(at.row(), at.column() + 1));
            } else {
                if (at.row() + 1 >= model->rowCount()) model->insertRow(model->rowCount());
                grid->setCurrentIndex(model->index(at.row() + 1, 0));
            }
            return true;
        }
        if (auto* memo = qobject_cast<QPlainTextEdit*>(focused)) {
            if (memo->textCursor().blockNumber() < 2) return false;
        } else if (qobject_cast<QTextEdit*>(focused)) {
            return false;
        }
        MoveByEnter(focused);
        return true;
    }
    return false;
}
