#include "workbench/Krta07SWF.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "controls/FDBGrid.h"
#include "controls/KvGuard.h"
#include "frame/KvADO.h"
#include "lang/CodeConverter.h"
#include "platform/data/DataSource.h"
#include "workbench/Krta07Dialogs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

TfrmKrta07SW::TfrmKrta07SW(TfrmKrta07SM* workbench) : QDialog(workbench), FWorkbench(workbench) {
    setObjectName(QStringLiteral("frmKrta07SW"));
    setWindowTitle(QString::fromUtf8("工厂开窗"));
    auto* layout = new QVBoxLayout(this);
    dgWin = new TFDBGrid(this);
    dgWin->setObjectName(QStringLiteral("dgWin"));
    dgWin->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dgWin->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(dgWin);
    Krta07AddOkCancel(this, layout, btnOk, btnCancel);
    connect(dgWin, &QAbstractItemView::doubleClicked, this, &QDialog::accept);
    resize(360, 300);
}

bool TfrmKrta07SW::Execute(QString& code, QString& name) {
    TdmKrta07S* dm = FWorkbench ? FWorkbench->dmKrta07S : nullptr;
    if (!dm) return false;
    TKvADOQuery& q = *dm->qryGetCMSMB;
    q.Close();
    q.SetSQL(dm->ExpandSQL(QStringLiteral("SELECT MB001,MB002 FROM $$CMSMB ")));
    q.Open();
    dm->ConvertTextFields(q);
    // The window is no form of the frame: the workbench translates it, and converts its script.
    FWorkbench->TranslateForm(this, false);
    if (FWorkbench->KvConverter) FWorkbench->KvConverter->DoTranslate(this, QString(), true);
    const auto text = [this](const char* ident, const char* chinese) {
        return FWorkbench->LangText(QStringLiteral("TfrmKrta07SW"), QString::fromLatin1(ident),
                                    QString::fromUtf8(chinese));
    };
    q.FieldByName(QStringLiteral("MB001")).SetDisplayLabel(text("sMB001", "工厂编号"));
    q.FieldByName(QStringLiteral("MB001")).SetDisplayWidth(6);
    q.FieldByName(QStringLiteral("MB002")).SetDisplayLabel(text("sMB002", "工厂名称"));
    q.SetReadOnly(true);
    dgWin->SetDataSource(dm->dsGetCMSMB);
    const bool ok = KvExecDialog(*this) == QDialog::Accepted && !q.IsEmpty();
    if (ok) {
        code = q.FieldByName(QStringLiteral("MB001")).AsString().trimmed();
        name = q.FieldByName(QStringLiteral("MB002")).DisplayText().trimmed(); // as the window showed it
    }
    dgWin->SetDataSource(nullptr);
    return ok;
}
