#include "workbench/Krta07STF.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

#include "controls/FDBGrid.h"
#include "controls/KvGuard.h"
#include "lang/CodeConverter.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "workbench/Krta07Dialogs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

namespace {

struct Mapped {
    const char* value;
    const char* text;
};
// cboTF003G and cboTF004G: the stored codes with their captions.
const Mapped kTF003[] = {{"1", "1:工单"}, {"2", "2:计划 "}};
const Mapped kTF004[] = {{"0", "0.工单"}, {"1", "1.订单"}, {"2", "2.销售预测"}, {"3", "3.独立需求  "}};

template <size_t N> QString mapped(const Mapped (&map)[N], const QString& value) {
    const QString v = value.trimmed();
    for (const Mapped& m : map)
        if (v == QLatin1String(m.value)) return QString::fromUtf8(m.text);
    return value;
}

} // namespace

QString Krta07TF003Text(const QString& value) {
    return mapped(kTF003, value);
}

QString Krta07TF004Text(const QString& value) {
    return mapped(kTF004, value);
}

TfrmKRTA07ST::TfrmKRTA07ST(TfrmKrta07SM* workbench) : QDialog(workbench), FWorkbench(workbench) {
    setObjectName(QStringLiteral("frmKRTA07ST"));
    setWindowTitle(QString::fromUtf8("资源耗用明细"));
    auto* layout = new QVBoxLayout(this);
    dgWin = new TFDBGrid(this);
    dgWin->setObjectName(QStringLiteral("dgWin"));
    dgWin->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dgWin->setSelectionBehavior(QAbstractItemView::SelectRows);
    dgWin->setProperty("AllowInsert", false);
    layout->addWidget(dgWin);
    Krta07AddOkCancel(this, layout, btnOk, btnCancel);
    resize(900, 400);
}

void TfrmKRTA07ST::Execute(const QString& resource, const QString& day) {
    TdmKrta07S* dm = FWorkbench ? FWorkbench->dmKrta07S : nullptr;
    if (!dm || !dm->qryMPSTF->Active()) return;
    kv::TClientDataSet& plan = *dm->qryMPSTF;
    // Filters compare values: a resource code is never read as part of an expression.
    const QString r = resource.trimmed();
    // Whatever stops the window, the plan rows are left unfiltered and in their own order.
    const auto restore = qScopeGuard([&plan, grid = dgWin] {
        grid->SetDataSource(nullptr);
        plan.SetIndexName(QString());
        plan.DeleteIndex(QStringLiteral("TF002Index"));
        plan.ClearFilter();
    });
    if (day.isEmpty())
        plan.SetFilter(QStringLiteral("TF001"), {r});
    else
        plan.SetFilter(QStringLiteral("TF001;TF002"), {r, day});
    plan.AddIndex(QStringLiteral("TF002Index"), QStringLiteral("TF002"));
    plan.SetIndexName(QStringLiteral("TF002Index"));
    // The sources show their captions in the interface's script, as the grid's mapped combos do.
    TCodeConverter* converter = FWorkbench->KvConverter;
    auto setMapped = [&plan, converter](const char* name, QString (*text)(const QString&)) {
        if (kv::TField* f = plan.FindField(QString::fromLatin1(name)))
            f->OnGetText = [text, converter](kv::TField& s, QString& t, bool) {
                t = text(s.AsString());
                if (converter) t = converter->ConvertUIString(kv::Variant(t)).toString();
            };
    };
    setMapped("TF003", &Krta07TF003Text);
    setMapped("TF004", &Krta07TF004Text);
    // The window is no form of the frame: the workbench translates it, and converts its script.
    FWorkbench->TranslateForm(this, false);
    if (converter) converter->DoTranslate(this, QString(), true);
    dgWin->SetDataSource(dm->dsMPSTF);
    KvExecDialog(*this);
}
