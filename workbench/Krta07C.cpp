#include "workbench/Krta07C.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "lang/CodeConverter.h"
#include "platform/ole/Variant.h"
#include "workbench/Krta07SDF.h"

namespace {
QString textOf(const kv::Variant& v) {
    return v.isNull() || v.isEmpty() ? QString() : v.toString();
}
// The values of a one-dimensional array, or of the first row of a two-dimensional one.
QStringList rowOf(const kv::Variant& v) {
    QStringList row;
    if (!v.isArray()) return row;
    for (int i = v.lowBound(); i <= v.highBound(); ++i) {
        const kv::Variant& e = v.at(i);
        if (e.isArray()) return rowOf(e);
        row << textOf(e);
    }
    return row;
}
} // namespace

TfrmKRTA07::TfrmKRTA07(QWidget* owner) : TfrmBaseRpt(owner) {
    setObjectName(QStringLiteral("frmKRTA07"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10);
    memLNG = new QPlainTextEdit(tsOption1);
    memLNG->setObjectName(QStringLiteral("memLNG"));
    memLNG->setPlainText(QString::fromUtf8(
        "-普及版\n数量总和必须等于\n字段[工单单别]不可空白!\n此单别不存在或单据性质不存在!\n"
        "此工作中心不存在!\n此供应商不存在!\n此供应商的核准状况为尚待核准!\n"
        "此供应商的核准状况为不准交易!\n工厂不可空白!\n工厂不存在!\n主要资源不存在!"));
    memLNG->hide();
    ed01 = new QLineEdit(tsOption1);
    ed01->setObjectName(QStringLiteral("ed01"));
    ed01->setFixedWidth(0);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

QString TfrmKRTA07::WorkbenchCaption() const {
    const QString suffix =
        ProductID() == 5 ? memLNG->toPlainText().split(QLatin1Char('\n')).value(0) : QString();
    return ProgramName() + suffix + QLatin1Char('[') + VersionCode() + QLatin1Char(']');
}

bool TfrmKRTA07::InitializeSession(const kv::Variant& params) {
    if (!CompanyID().isEmpty()) return TfrmBaseRpt::InitializeSession(params); // refused: one runs
    FSessionState = ssStarting;
    const bool open = TfrmBaseRpt::InitializeSession(params);
    FSessionState = open && !ClosePending() ? ssOpen : ssFailed;
    return open;
}

void TfrmKRTA07::Timer1Timer() {
    hide();
    // A tick queued before the timer stopped must not open a second workbench.
    if (!Timer1->isActive() || FWorkbench) return;
    // Ticks also arrive inside the event loops of message boxes the session start shows: the hand-over
    // waits until the session stands and no box is up, and never follows a failed session.
    if (FSessionState == ssStarting || FSessionState == ssFailed) return;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) return;
    try {
        OpenWorkbench();
    } catch (const std::exception& e) {
        QString reason = QString::fromUtf8(e.what()).trimmed();
        // Which database failed goes with every reason, also with one the query gave without it.
        const QString database =
            FWorkbench && FWorkbench->dmKrta07S ? FWorkbench->dmKrta07S->DatabaseText() : QString();
        if (!database.isEmpty() && !reason.contains(database)) reason = database + ": " + reason;
        FailHandOver("E;000040;" + MessageCodeArgument(reason), reason);
        return;
    }
    // The codes every row a save writes carries, in fixed-width columns: one too long is refused
    // before anything is shown.
    TdmKrta07S& dm = *FWorkbench->dmKrta07S;
    const struct {
        const char *number, *what;
        QString code;
        bool (TdmKrta07S::*fits)(const QString&, int&, QString&);
    } codes[] = {{"000042", "user", UserID(), &TdmKrta07S::UserCodeFits},
                 {"000043", "company", CompanyID(), &TdmKrta07S::CompanyCodeFits}};
    for (const auto& c : codes) {
        QString column;
        int width = 0;
        if ((dm.*c.fits)(c.code, width, column)) continue;
        // In one pass: a code holding "%3" is not taken for a place of the next value.
        FailHandOver(
            QStringLiteral("E;%1;%2;%3;%4")
                .arg(QLatin1String(c.number), MessageCodeArgument(c.code), QString::number(width), column),
            QStringLiteral("The %1 code %2 is longer than %3 (%4 characters)")
                .arg(QLatin1String(c.what), c.code, column, QString::number(width)));
        return;
    }
    setWindowTitle(WorkbenchCaption());
    FWorkbench->setWindowTitle(
        KvConverter ? KvConverter->ConvertUIString(kv::Variant(windowTitle())).toString() : windowTitle());
    FWorkbench->show();
    Timer1->stop();
}

void TfrmKRTA07::OpenWorkbench() {
    FWorkbench = new TfrmKrta07SM(this);
    TfrmKrta07SM::Current = FWorkbench;
    FWorkbench->SetUserID(UserID());
    FWorkbench->SetDBName(DbName());
    FWorkbench->SetCompany(CompanyID());
    FWorkbench->SetDataCalls(this);
    FWorkbench->InitWorkbench();
}

void TfrmKRTA07::FailHandOver(const QString& code, const QString& reason) {
    Timer1->stop();
    delete FWorkbench; // never shown; it leaves the module-wide reference with it
    FWorkbench = nullptr;
    FSessionState = ssFailed;
    ShowMessageCode(code);
    // The host learns that the session ended in failure, and why.
    setResultCode(-1);
    setResultData(kv::Variant(reason));
    RequestClose();
}

bool TfrmKRTA07::CheckCode(const QString& table, const QString& queryNo, const QString& key,
                           QStringList& row) {
    kv::Variant result;
    if (!GetData(table, queryNo, false, result, kv::Variant(key))) return false;
    row = rowOf(result);
    return true;
}

namespace {
// One key as itself, several as an array: the validator and the lookup window bind them in order.
kv::Variant keysOf(const QStringList& keys) {
    if (keys.isEmpty()) return kv::Variant();
    if (keys.size() == 1) return kv::Variant(keys.value(0));
    std::vector<kv::Variant> values;
    for (const QString& k : keys)
        values.emplace_back(k);
    return kv::Variant::arrayOf(values);
}
} // namespace

bool TfrmKRTA07::CheckCodeKeys(const QString& table, const QString& queryNo, const QStringList& keys,
                               QStringList& row) {
    kv::Variant result;
    if (!GetData(table, queryNo, false, result, keysOf(keys))) return false;
    row = rowOf(result);
    return true;
}

QStringList TfrmKRTA07::OpenLookup(const QString& table, const QString& windowNo, const QStringList& params) {
    const kv::Variant keys = keysOf(params);
    const kv::Variant chosen = LookupData(table, windowNo, keys, kv::Variant(), false, kv::Variant());
    return rowOf(chosen);
}
