#include "plugin/PluginTestF.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/ole/Dispatch.h"

namespace {

// Program code from the library's file name: the stem less its one-letter kind suffix, at least six
// characters ("KRTA07C.so" gives "KRTA07").
QString programCodeOf(const QString& modulePath) {
    const QFileInfo file(modulePath);
    const QString name = file.fileName();
    const QString suffix = file.suffix().isEmpty() ? QString() : "." + file.suffix();
    const bool library = suffix.compare(".so", Qt::CaseInsensitive) == 0;
    const qsizetype n = name.size() - suffix.size() - (library ? 1 : 2);
    return name.left(std::max<qsizetype>(n, 6)).toUpper();
}

int hostInteger(const kv::Variant& host, const char* member, int fallback) {
    try {
        if (const kv::DispatchPtr object = host.toDispatch()) return object->call(member).toInt();
    } catch (const std::exception&) {
    }
    return fallback;
}

} // namespace

TfrmPluginTest::TfrmPluginTest(QWidget* Owner) : TDLLForm(Owner) {
    setObjectName("frmPluginTest");
    FVersionText = "870401-0.00.00";
    resize(360, 200);

    lblSession = new QLabel(this);
    lblSession->setObjectName("lblSession");
    edNote = new QLineEdit(this);
    edNote->setObjectName("edNote");
    edNote->setPlaceholderText("备注");
    btnOk = new QPushButton("确定", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    btnCancel = new QPushButton("取消", this);
    btnCancel->setObjectName("btnCancel");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSession);
    layout->addWidget(edNote);
    layout->addStretch();
    layout->addLayout(buttons);

    // Module forms open in the middle of the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(btnOk, &QPushButton::clicked, this, &TfrmPluginTest::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPluginTest::btnCancelClick);
}

bool TfrmPluginTest::InitializeSession(const kv::Variant& Params) {
    if (!FCompanyID.isEmpty()) return false; // a form is initialised once
    try {
        if (!Params.isArray() || Params.highBound() < 2) return false;
        const int high = Params.highBound();
        FHostWindow = high >= 3 ? Params.at(3).toInt() : 0;
        if (high > 3) FHostExtra = Params.at(4);
        hide();
        FUserID = kv::varToStr(Params.at(0));
        FCompanyID = kv::varToStr(Params.at(1));
        FDbName = kv::varToStr(Params.at(2));
        FProgramCode = programCodeOf(ModulePath());
        FProgramName = FProgramCode;
        const int versionType = hostInteger(HostApp(), "VersionType", 0);
        const int productId = hostInteger(HostApp(), "ProductID", 3);
        setWindowTitle(FProgramName + "[" + FVersionText + "]");
        lblSession->setText(
            QString("用户: %1\n公司: %2\n数据库: %3\n程序: %4\n主机: VersionType %5, ProductID %6")
                .arg(FUserID, FCompanyID, FDbName, FProgramCode)
                .arg(versionType)
                .arg(productId));
        return true;
    } catch (const EKvError&) {
        return false;
    }
}

void TfrmPluginTest::RunRequest(const kv::Variant& Request) {
    const kv::Variant R = Request.at(1);
    FLastRequest = R;
    if (!R.isArray()) return;
    const int mode = R.at(0).toInt();
    bool loaded = false;
    const kv::Variant& what = R.at(1);
    if (what.isArray() && what.elementCount() > 1) {
        const kv::Variant& V = what.at(1);
        if (V.isArray() && what.at(0).toBool()) loaded = ApplyValuesByName(V);
    }
    if (loaded && mode != 0 && mode <= 2) btnOk->click();
}

// V = [Labels, Values]; element 1 of each label names the edit that takes the value.
bool TfrmPluginTest::ApplyValuesByName(const kv::Variant& V) {
    const kv::Variant& labels = V.at(0);
    const kv::Variant& values = V.at(1);
    bool all = true;
    for (int i = labels.lowBound(); i <= labels.highBound(); ++i) {
        auto* edit = findChild<QLineEdit*>(labels.at(i).at(1).toString());
        if (edit)
            edit->setText(kv::varToStr(values.at(i)));
        else
            all = false;
    }
    return all;
}

void TfrmPluginTest::btnOkClick() {
    FResultCode = 1;
    FResultData = edNote->text();
    setModalResult(mrOk);
    close();
}

void TfrmPluginTest::btnCancelClick() {
    FResultCode = 2;
    setModalResult(mrCancel);
    close();
}
