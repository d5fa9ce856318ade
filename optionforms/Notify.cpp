#include "optionforms/Notify.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <pugixml.hpp>

#include "controls/Aligrid.h"
#include "optionforms/BaseGene.h"
#include "optionforms/PortalUser.h"

namespace {

const QString kSystemUserLine = QStringLiteral("1.系统用户");
const QString kPortalUserLine = QStringLiteral("5.Portal用户");

QString typeLineOf(const QString& type) {
    for (const QString& line : {kSystemUserLine, kPortalUserLine})
        if (!type.isEmpty() && line.startsWith(type.left(1))) return line;
    return type;
}

// Element i of a row the lookup answered, counted from the row's lower bound; empty when missing.
QString rowField(const kv::Variant& row, int i) {
    if (!row.isArray() || i >= row.elementCount()) return {};
    const kv::Variant& v = row.at(row.lowBound() + i);
    return v.isEmptyOrNull() ? QString() : kv::varToStr(v).trimmed();
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

} // namespace

TfrmNotify::TfrmNotify(TfrmBaseGene* owner, const QString& notifyXml, const QString& startupPortal,
                       const QString& portalWs)
    : TfrmKVDialog(owner), FForm(owner), FPortalWS(portalWs.trimmed()) {
    setObjectName("frmNotify");
    setWindowTitle(QStringLiteral("被通知人"));
    resize(640, 280);
    FPortalMode = startupPortal.trimmed().toUpper() == QLatin1String("Y") && !FPortalWS.isEmpty();

    grReceive = new TStringAlignGrid(this);
    grReceive->setObjectName("grReceive");
    grReceive->SetColCount(8);
    grReceive->SetRowCount(2);
    grReceive->SetFixedCols(0);
    grReceive->SetFixedRows(1);
    grReceive->SetEditable(true);
    grReceive->setToolTip(QStringLiteral("[F2]用户 [F3]员工 [F4]客户 [Shift+F4]供应商 [Ctrl+Del]删除此行"));
    const QStringList titles{QStringLiteral("收件人"),   QStringLiteral("姓名"), QStringLiteral("手机号码"),
                             QStringLiteral("邮箱地址"), QStringLiteral("类型"), QStringLiteral("消息"),
                             QStringLiteral("短信"),     QStringLiteral("邮件")};
    const int widths[] = {90, 90, 100, 130, 100, 40, 40, 40};
    for (int col = 0; col < titles.size(); ++col) {
        grReceive->SetCells(col, 0, titles.at(col));
        grReceive->setColumnWidth(col, widths[col]);
    }
    grReceive->SetCellControl(colID, -1, false, QString(), ck_EditButton);
    grReceive->SetCellControl(colType, -1, true, TypeLine(), ck_PickList);
    for (int col : {int(colMsg), int(colSMS), int(colMail2)})
        grReceive->SetCellControl(col, -1, false, QStringLiteral("Y;N"), ck_CheckBox);
    connect(grReceive, &TStringAlignGrid::OnEditButtonClick, this,
            [this](TStringAlignGrid*, int col, int row) {
                if (col == colID) LookupUser(row);
            });

    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton(QStringLiteral("取消"), this);
    BitBtn2->setObjectName("BitBtn2");
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmNotify::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmNotify::BitBtn2Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(grReceive);
    layout->addLayout(buttons);

    LoadXML(notifyXml);
}

QString TfrmNotify::TypeLine() const {
    return FPortalMode ? kPortalUserLine : kSystemUserLine;
}

void TfrmNotify::FormShow() {
    TfrmKVDialog::FormShow();
    for (int col = 0; col < grReceive->ColCount(); ++col)
        grReceive->SetCells(col, 0,
                            LangText(QStringLiteral("TfrmNotify"),
                                     QStringLiteral("Cells%1%2").arg(col).arg(0), grReceive->Cells(col, 0)));
    grReceive->setFocus();
    grReceive->setCurrentCell(1, colID);
}

// XML ------------------------------------------------------------------------------------------------

QString TfrmNotify::BuildXML(const QList<TNotifyRecipient>& recipients) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "GB2312";
    pugi::xml_node root = doc.append_child("Root");
    int n = 0;
    for (const TNotifyRecipient& r : recipients) {
        pugi::xml_node e = root.append_child(QStringLiteral("R%1").arg(++n).toUtf8().constData());
        e.append_attribute("ID") = r.ID.toUtf8().constData();
        e.append_attribute("Name") = r.Name.toUtf8().constData();
        if (!r.Mob.isEmpty()) e.append_attribute("Mob") = r.Mob.toUtf8().constData();
        if (!r.Mail.isEmpty()) e.append_attribute("Mail") = r.Mail.toUtf8().constData();
        e.append_attribute("Type") = r.Type.toUtf8().constData();
        e.append_attribute("Msg") = r.Msg.toUtf8().constData();
    }
    StringWriter out;
    doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return QString::fromStdString(out.text);
}

QList<TNotifyRecipient> TfrmNotify::ParseXML(const QString& xml) {
    QList<TNotifyRecipient> list;
    if (xml.trimmed().isEmpty()) return list;
    pugi::xml_document doc;
    const QByteArray utf8 = NormalizeXMLText(xml.trimmed()).toUtf8();
    if (!doc.load_buffer(utf8.constData(), size_t(utf8.size()), pugi::parse_default, pugi::encoding_utf8))
        return list;
    static const QRegularExpression rowName(QStringLiteral("^R\\d+$"));
    for (const pugi::xml_node& e : doc.document_element().children()) {
        if (e.type() != pugi::node_element || !rowName.match(QString::fromUtf8(e.name())).hasMatch())
            continue;
        const auto attr = [&e](const char* name) { return QString::fromUtf8(e.attribute(name).value()); };
        list.append({attr("ID"), attr("Name"), attr("Mob"), attr("Mail"), attr("Type"), attr("Msg")});
    }
    return list;
}

QString TfrmNotify::DefaultXML(const QString& userId) {
    return BuildXML({{userId, QString(), QString(), QString(), QStringLiteral("5"), QStringLiteral("YNN")}});
}

// Grid -----------------------------------------------------------------------------------------------

void TfrmNotify::SetRecipients(const QList<TNotifyRecipient>& recipients) {
    grReceive->SetRowCount(1 + std::max<int>(1, int(recipients.size())));
    for (int row = 1; row < grReceive->RowCount(); ++row)
        for (int col = 0; col < grReceive->ColCount(); ++col)
            grReceive->SetCells(col, row, QString());
    for (int i = 0; i < recipients.size(); ++i) {
        const TNotifyRecipient& r = recipients.at(i);
        const int row = i + 1;
        grReceive->SetCells(colID, row, r.ID);
        grReceive->SetCells(colName, row, r.Name);
        grReceive->SetCells(colMob, row, r.Mob);
        grReceive->SetCells(colMail, row, r.Mail);
        grReceive->SetCells(colType, row, typeLineOf(r.Type));
        // Letters the text lacks count as "N".
        for (int k = 0; k < 3; ++k)
            grReceive->SetCells(colMsg + k, row,
                                r.Msg.mid(k, 1).toUpper() == QLatin1String("Y") ? QStringLiteral("Y")
                                                                                : QStringLiteral("N"));
    }
}

QList<TNotifyRecipient> TfrmNotify::Recipients() const {
    QList<TNotifyRecipient> list;
    for (int row = grReceive->FixedRows(); row < grReceive->RowCount(); ++row) {
        TNotifyRecipient r;
        r.ID = grReceive->Cells(colID, row).trimmed();
        if (r.ID.isEmpty()) continue; // an unused row, as Enter leaves one at the end
        r.Name = grReceive->Cells(colName, row).trimmed();
        r.Mob = grReceive->Cells(colMob, row).trimmed();
        r.Mail = grReceive->Cells(colMail, row).trimmed();
        r.Type = grReceive->Cells(colType, row).trimmed().left(1);
        for (int k = 0; k < 3; ++k)
            r.Msg +=
                grReceive->Cells(colMsg + k, row) == QLatin1String("Y") ? QLatin1Char('Y') : QLatin1Char('N');
        list.append(r);
    }
    return list;
}

void TfrmNotify::LoadXML(const QString& xml) {
    SetRecipients(ParseXML(xml));
}

QString TfrmNotify::NotifyXML() const {
    return BuildXML(Recipients());
}

// Lookups --------------------------------------------------------------------------------------------

int TfrmNotify::RowOf(QWidget* control) const {
    if (!control || (control != grReceive && !grReceive->isAncestorOf(control))) return -1;
    return grReceive->currentColumn() == colID ? grReceive->currentRow() : -1;
}

void TfrmNotify::FillRow(int row, const QString& id, const QString& name, const QString& mail,
                         const QString& type) {
    if (row < grReceive->FixedRows() || row >= grReceive->RowCount() || id.isEmpty()) return;
    grReceive->SetCells(colID, row, id);
    grReceive->SetCells(colName, row, name);
    if (!mail.isEmpty()) grReceive->SetCells(colMail, row, mail);
    if (!type.isEmpty() || grReceive->Cells(colType, row).trimmed().isEmpty())
        grReceive->SetCells(colType, row, typeLineOf(type.isEmpty() ? TypeLine().left(1) : type));
    bool anyWay = false;
    for (int k = 0; k < 3; ++k)
        anyWay = anyWay || !grReceive->StoredCell(colMsg + k, row).isEmpty();
    if (!anyWay) { // a new recipient is notified by message
        grReceive->SetCells(colMsg, row, QStringLiteral("Y"));
        grReceive->SetCells(colSMS, row, QStringLiteral("N"));
        grReceive->SetCells(colMail2, row, QStringLiteral("N"));
    }
    // An open cell editor would write its old text back when it closes.
    if (auto* edit = qobject_cast<QLineEdit*>(focusWidget()); edit && grReceive->isAncestorOf(edit) &&
                                                              grReceive->currentRow() == row &&
                                                              grReceive->currentColumn() == colID)
        edit->setText(id);
}

void TfrmNotify::FillFromLookup(int row, const QString& table, const QString& windowNo, const QString& type) {
    if (!FForm) return;
    const kv::Variant rows =
        FForm->LookupData(table, windowNo, kv::Variant::arrayOf({grReceive->Cells(colID, row).trimmed()}),
                          kv::Variant(), false, kv::Variant());
    if (!rows.isArray() || rows.elementCount() == 0) return;
    const kv::Variant& chosen = rows.at(rows.lowBound());
    // The windows list code, name and a third column; for the users it is their e-mail address.
    FillRow(row, rowField(chosen, 0), rowField(chosen, 1),
            table == QLatin1String("KVRMA") ? rowField(chosen, 2) : QString(), type);
}

void TfrmNotify::LookupUser(int row) {
    if (row < grReceive->FixedRows()) return;
    const QString rowType = grReceive->Cells(colType, row).trimmed().left(1);
    const bool portal = rowType.isEmpty() ? FPortalMode : rowType == QLatin1String("5");
    if (!portal || FPortalWS.isEmpty()) {
        FillFromLookup(row, QStringLiteral("KVRMA"), QStringLiteral("04"), QStringLiteral("1"));
        return;
    }
    TfrmPortalUser users(this);
    users.AfterConstruction();
    // A portal that failed (its reason shown) or a missing library leaves the list empty, shown as such.
    users.LoadUsers(FPortalWS, FForm ? FForm->UserID() : QString(), FForm ? FForm->CompanyID() : QString());
    users.ShowModal();
    const QStringList chosen = users.Result();
    if (chosen.size() == 2) FillRow(row, chosen.at(0), chosen.at(1), QString(), QStringLiteral("5"));
}

void TfrmNotify::LookupEmployee(int row) {
    FillFromLookup(row, QStringLiteral("CMSMV"), QStringLiteral("01"), QString());
}

void TfrmNotify::LookupCustomer(int row) {
    FillFromLookup(row, QStringLiteral("COPMA"), QStringLiteral("01"), QString());
}

void TfrmNotify::LookupSupplier(int row) {
    FillFromLookup(row, QStringLiteral("PURMA"), QStringLiteral("01"), QString());
}

void TfrmNotify::F2Lookup(int key, QWidget* control) {
    Q_UNUSED(key);
    if (const int row = RowOf(control); row >= 0) LookupUser(row);
}

void TfrmNotify::F3Lookup(int key, QWidget* control) {
    Q_UNUSED(key);
    if (const int row = RowOf(control); row >= 0) LookupEmployee(row);
}

void TfrmNotify::F4Lookup(int key, QWidget* control) {
    // F4 looks among the customers, Shift+F4 among the suppliers.
    const int row = RowOf(control);
    if (row < 0) return;
    if (key & Qt::ShiftModifier)
        LookupSupplier(row);
    else
        LookupCustomer(row);
}

bool TfrmNotify::FormKeyDown(QKeyEvent* key, QWidget* target) {
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier) {
        const int row = grReceive->currentRow();
        if (row >= grReceive->FixedRows()) grReceive->RemoveRow(row);
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        BitBtn2Click();
        return true;
    }
    return TfrmKVDialog::FormKeyDown(key, target);
}

void TfrmNotify::BitBtn1Click() {
    // A cell still being edited keeps what was typed.
    if (QWidget* editor = focusWidget(); editor && editor != grReceive && grReceive->isAncestorOf(editor))
        QMetaObject::invokeMethod(grReceive, "commitData", Q_ARG(QWidget*, editor));
    setModalResult(mrOk);
}

void TfrmNotify::BitBtn2Click() {
    setModalResult(mrCancel);
}

// The batch form's notify button -----------------------------------------------------------------

void TfrmNotify::ReadPortalSettings(TfrmBaseGene* form, QString& startupPortal, QString& portalWs) {
    startupPortal.clear();
    portalWs.clear();
    if (!form || !form->AppServer()) return;
    const auto read = [form](const QString& sql) {
        try {
            const kv::Variant rows = form->AppServer()->call(QStringLiteral("SimpleSQL"), {sql});
            if (!rows.isArray() || rows.elementCount() == 0) return QString();
            return rowField(rows.at(rows.lowBound()), 0);
        } catch (const std::exception&) {
            return QString();
        }
    };
    startupPortal = read(QStringLiteral("SELECT MA003 FROM KVRINTMA WHERE MA001='StartupPortal' "));
    portalWs = read(QStringLiteral("SELECT MA003 FROM KVRINTMA WHERE MA001='Portal WS' "));
}

bool TfrmNotify::EditRecipients(TfrmBaseGene* form, QString& notifyXml) {
    QString startup, address;
    ReadPortalSettings(form, startup, address);
    // Owned by the form: should the form go while the dialog is open, the dialog goes with it.
    QPointer<TfrmNotify> dialog = new TfrmNotify(form, notifyXml, startup, address);
    dialog->AfterConstruction();
    const bool ok = dialog->ShowModal() == mrOk && dialog;
    if (ok) notifyXml = dialog->NotifyXML();
    delete dialog.data();
    return ok;
}
