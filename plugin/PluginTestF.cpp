#include "plugin/PluginTestF.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmPluginTest::TfrmPluginTest(QWidget* Owner) : TfrmBaseRpt(Owner) {
    // The program code's first letters must match the form's name.
    setObjectName("frmKRTA07");
    auto* layout = new QVBoxLayout(tsOption1);
    lblSession = new QLabel(tsOption1);
    lblSession->setObjectName("lblSession");
    edNote = new QLineEdit(tsOption1);
    edNote->setObjectName("edNote");
    edNote->setPlaceholderText(QStringLiteral("备注"));
    layout->addWidget(lblSession);
    layout->addWidget(edNote);
    layout->addStretch();
    btnOk->setDefault(true);
}

bool TfrmPluginTest::InitializeSession(const kv::Variant& Params) {
    if (!TfrmBaseRpt::InitializeSession(Params)) return false;
    lblSession->setText(
        QString("用户: %1\n公司: %2\n数据库: %3\n程序: %4 %5\n主机: VersionType %6, ProductID %7")
            .arg(FUserID, FCompanyID, FDbName, FProgramCode, FProgramName)
            .arg(FHostVersionType)
            .arg(FProductID));
    return true;
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
