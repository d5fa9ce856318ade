#include "workbench/Krta07SDF.h"

#include <QScopeGuard>
#include <functional>
#include <optional>

#include "controls/KvEdit.h"
#include "frame/KVForm.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "lang/CodeConverter.h"
#include "platform/CodePage.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Provider.h"
#include "support/LibStrs.h"
#include "support/StewardINI.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SMF.h"

namespace {

const char* const kLineSQL =
    "SELECT TB001,TB002,TB003,TB051 , TB004,TB005,TB046,B.MB002 AS TB046C ,B.MB003 AS TB046C1 , TB008 ,TB049 "
    ", "
    "TB037 , TB006,A.MB002 AS TB006C , A.MB003 AS TB006C1 , TB026 , TB010 , TB013 , TB014 , TB034 , TB036 "
    ",TB039 , "
    "TB040 , TB027 , TB038, TB028, MPSTB.FLAG AS FLAG ,TB042,MQ002 AS TB042C, TB044,MD002 AS TB044C, "
    "TB045,MA002 AS TB045C,TB035,A.MB025 AS MB025C ,MQ017 AS MQ017C FROM $$MPSTB AS MPSTB LEFT JOIN $$INVMB "
    "AS A "
    "ON A.MB001 = TB006 LEFT JOIN $$INVMB AS B ON B.MB001 = TB046 LEFT JOIN $$CMSMD AS C ON C.MD001 = TB044 "
    "LEFT JOIN $$PURMA AS D ON D.MA001 = TB045 LEFT JOIN $$CMSMQ AS E ON E.MQ001 = TB042 WHERE TB001 = "
    ":TB001 "
    "AND :TB036 in (TB036,'') AND :TB004 IN (TB051+TB004+TB005,'') ORDER BY TB001 , TB002 ,TB003 , TB004 , "
    "TB005 , TB037 ";

// The load range is bound, not pasted into the text.
const char* const kLoadSQL =
    " SELECT TD001,TD002,TD003,TD004,0.00 AS TD005,TD006 ,0.00 AS TD007 ,TD008 ,FLAG "
    "FROM $$MPSTD WHERE TD002 BETWEEN :RANGESTART AND :RANGEEND ";

const char* const kDetailSQL =
    " SELECT TF001,TF002,TF003,TF004,TF005,TF006 ,TF007,TF008,TF009,TF010,TF011 ,FLAG "
    "FROM $$MPSTF WHERE 1 = 0  ";

const char* const kItemResourceSQL = "SELECT MC001 , MC002 , MC004 , MC005 ,MB006  FROM $$MPSMC LEFT JOIN "
                                     "$$MPSMB ON MC002=MB001 WHERE MC001 =:MC001 ";

// The rows of a data set as a row source: what one set read from the database, another takes
// without a second query.
class TDataSetRows : public kv::TRowSource {
public:
    explicit TDataSetRows(kv::TClientDataSet& set) : FSet(set) {}
    void openRows() override { FRow = -1; }
    int columnCount() const override { return FSet.FieldCount(); }
    QString columnName(int column) const override { return FSet.Fields(column).FieldName(); }
    kv::TFieldType columnType(int column) const override { return FSet.Fields(column).DataType(); }
    int columnSize(int column) const override { return FSet.Fields(column).Size(); }
    bool nextRow() override { return ++FRow < FSet.RecordCount(); }
    QVariant columnValue(int column) const override { return FSet.valueAt(FRow, column); }
    void closeRows() override {}
    const kv::TClientDataSet* rowsOfDataSet() const override { return &FSet; }

private:
    kv::TClientDataSet& FSet;
    int FRow = -1;
};

struct FieldLabel {
    const char* name;
    const char* label;
};

const FieldLabel kLineLabels[] = {
    {"TB002", "优先顺序"},   {"TB003", "需求来源"},    {"TB051", "来源单别"},   {"TB004", "来源单号"},
    {"TB005", "来源序号"},   {"TB046", "产品品号"},    {"TB046C", "品名"},      {"TB046C1", "规格"},
    {"TB008", "需求数量"},   {"TB049", "客户简称"},    {"TB037", "BOM节点"},    {"TB006", "品号"},
    {"TB006C", "品名"},      {"TB006C1", "规格"},      {"TB026", "生产数量"},   {"TB010", "需求日期"},
    {"TB013", "排程开工"},   {"TB014", "排程完工"},    {"TB034", "最晚开工日"}, {"TB036", "排产依据"},
    {"TB039", "生产天数"},   {"TB040", "排程时间"},    {"TB027", "排程状况"},   {"TB035", "锁定"},
    {"TB042", "工单单别"},   {"TB042C", "单据名称"},   {"TB044", "工作中心"},   {"TB044C", "工作中心名称"},
    {"TB045", "委外供应商"}, {"TB045C", "供应商简称"},
};

const FieldLabel kDetailLabels[] = {
    {"TF001", "资源编号"}, {"TF002", "日期"},       {"TF003", "耗用来源"}, {"TF004", "需求来源"},
    {"TF011", "来源单别"}, {"TF005", "来源单号"},   {"TF006", "来源序号"}, {"TF007", "BOM节点"},
    {"TF008", "主要耗用"}, {"TF009", "非主要耗用"}, {"TF010", "备注"},
};

void setLabels(TdmKrta07S& dm, kv::TClientDataSet& set, const FieldLabel* labels, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (kv::TField* f = set.FindField(QString::fromLatin1(labels[i].name)))
            f->SetDisplayLabel(
                dm.FieldLabelText(QString::fromLatin1(labels[i].name), QString::fromUtf8(labels[i].label)));
}

void hide(kv::TClientDataSet& set, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (kv::TField* f = set.FindField(QString::fromLatin1(n))) f->SetVisible(false);
}

const char* const kDateFields[] = {"TB010", "TB013", "TB014", "TB034"};

struct MappedText {
    const char* value;
    const char* text;
};
// cboTB003G and cboTB027G: the stored codes with the captions the grid shows for them.
const MappedText kTB003G[] = {{"1", "1:订单"}, {"2", "2:销售预测"}, {"3", "3:独立需求"}};
const MappedText kTB027G[] = {
    {"1", "1:交期符合"}, {"2", "2.交期延迟"}, {"3", "3.排产数量短缺"}, {"4", "9:未作排程"}};

template <size_t N> QString mappedText(const MappedText (&map)[N], const QString& value) {
    const QString v = value.trimmed();
    for (const MappedText& m : map)
        if (v == QLatin1String(m.value)) return QString::fromUtf8(m.text);
    return value;
}

// Sets a field the planner cannot type into (a name beside a code, the hidden property).
void setQuietly(kv::TField* field, const QString& value) {
    if (!field) return;
    const auto restore = qScopeGuard([field, ro = field->ReadOnly()] { field->SetReadOnly(ro); });
    field->SetReadOnly(false);
    field->SetAsString(value);
}

QString trimmedText(const kv::TClientDataSet& set, const char* name) {
    const kv::TField* f = set.FindField(QString::fromLatin1(name));
    return f ? f->AsString().trimmed() : QString();
}

} // namespace

TdmKrta07S::TdmKrta07S(QObject* owner, const QString& dbName, const QString& connectString)
    : QObject(owner), FDBName(dbName) {
    setObjectName(QStringLiteral("dmKrta07S"));
    dbKrta07 = new TKvADOConnection(this);
    dbKrta07->setObjectName(QStringLiteral("dbKrta07"));
    dbKrta07->SetLoginPrompt(false);

    auto query = [this](const char* name) {
        auto* q = new TKvADOQuery(this);
        q->setObjectName(QString::fromLatin1(name));
        q->SetConnection(dbKrta07);
        return q;
    };
    qryGetCMSMB = query("qryGetCMSMB");
    qryCMSMA = query("qryCMSMA");
    qryMPSTC = query("qryMPSTC");
    qryMPSMC = query("qryMPSMC");
    qryTemp = query("qryTemp");
    qryMPSTBSource = query("qryMPSTBSource");
    qryMPSTDSource = query("qryMPSTDSource");
    qryMPSTFSource = query("qryMPSTFSource");

    auto provider = [this](const char* name, TKvADOQuery* source) {
        auto* p = new kv::TDataSetProvider(this);
        p->setObjectName(QString::fromLatin1(name));
        p->SetDataSet(source);
        return p;
    };
    dspMPSTB = provider("dspMPSTB", qryMPSTBSource);
    dspMPSTD = provider("dspMPSTD", qryMPSTDSource);
    dspMPSTF = provider("dspMPSTF", qryMPSTFSource);

    auto clientSet = [this](const char* name, kv::TDataSetProvider* p) {
        auto* c = new kv::TClientDataSet(this);
        c->setObjectName(QString::fromLatin1(name));
        c->SetProvider(p);
        return c;
    };
    FLineCopy = std::make_unique<TDataSetRows>(*(qryMPSTB = clientSet("qryMPSTB", dspMPSTB)));
    dspMPSTBPre = provider("dspMPSTBPre", nullptr);
    dspMPSTBPre->SetDataSet(FLineCopy.get());
    qryMPSTBPre = clientSet("qryMPSTBPre", dspMPSTBPre);
    qryMPSTD = clientSet("qryMPSTD", dspMPSTD);
    qryMPSTF = clientSet("qryMPSTF", dspMPSTF);

    auto source = [this](const char* name, kv::TClientDataSet* set) {
        auto* s = new kv::TDataSource(this);
        s->setObjectName(QString::fromLatin1(name));
        s->SetDataSet(set);
        return s;
    };
    dsGetCMSMB = source("dsGetCMSMB", qryGetCMSMB);
    dsMPSTB = source("dsMPSTB", qryMPSTBPre);
    dsMPSTF = source("dsMPSTF", qryMPSTF);

    dspMPSTB->BeforeGetRecords = [this](kv::TDataSetProvider&) {
        qryMPSTBSource->SetSQL(ExpandSQL(QString::fromUtf8(kLineSQL)));
        qryMPSTBSource->ParamByName(QStringLiteral("TB001")).SetAsString(FFactory);
        qryMPSTBSource->ParamByName(QStringLiteral("TB036")).SetAsString(FResource);
        qryMPSTBSource->ParamByName(QStringLiteral("TB004")).SetAsString(FSourceDoc);
    };
    dspMPSTD->BeforeGetRecords = [this](kv::TDataSetProvider&) {
        qryMPSTDSource->SetSQL(ExpandSQL(QString::fromUtf8(kLoadSQL)));
        qryMPSTDSource->ParamByName(QStringLiteral("RANGESTART")).SetAsString(FRangeStart);
        qryMPSTDSource->ParamByName(QStringLiteral("RANGEEND")).SetAsString(FRangeEnd);
    };
    dspMPSTF->BeforeGetRecords = [this](kv::TDataSetProvider&) {
        qryMPSTFSource->SetSQL(ExpandSQL(QString::fromUtf8(kDetailSQL)));
    };

    QString cs = connectString;
    if (cs.isEmpty()) {
        const TStewardIniS settings;
        // Without a database to go to there is no workbench: say which setting to mend.
        const QString problem = settings.DatabaseSettingsProblem();
        if (!problem.isEmpty()) throw EKvError(problem);
        cs = settings.GetConnectString();
    }
    dbKrta07->SetConnectionString(cs);
    dbKrta07->setOpenExistingOnly(true);
    // A second try for a server that refuses the first connection of a session.
    try {
        dbKrta07->Open();
    } catch (const EKvError&) {
    }
    if (!dbKrta07->Connected()) dbKrta07->Open();
}

QString TdmKrta07S::DatabaseText() const {
    return dbKrta07->describe();
}

bool TdmKrta07S::CodeFits(const QString& code, std::initializer_list<const char*> columns, int& columnWidth,
                          QString& columnName) {
    // SQL Server measures fixed-width texts in bytes of its code page, the others in characters.
    const int length = dbKrta07->dialect() == kv::ado::SqlDialect::SQLServer
                           ? kv::codepage::byteLength(code.trimmed())
                           : int(code.trimmed().size());
    for (const char* table : {"MPSTB", "MPSTC", "MPSTD", "MPSTF"})
        for (const char* column : columns) {
            const int width =
                dbKrta07->textColumnWidth(QString::fromLatin1(table), QString::fromLatin1(column));
            if (width > 0 && length > width) {
                columnWidth = width;
                columnName = QStringLiteral("%1.%2").arg(QLatin1String(table), QLatin1String(column));
                return false;
            }
        }
    return true;
}

bool TdmKrta07S::UserCodeFits(const QString& user, int& columnWidth, QString& columnName) {
    return CodeFits(user, {"CREATOR", "MODIFIER"}, columnWidth, columnName);
}

bool TdmKrta07S::CompanyCodeFits(const QString& company, int& columnWidth, QString& columnName) {
    return CodeFits(company, {"COMPANY"}, columnWidth, columnName);
}

TdmKrta07S::~TdmKrta07S() = default;

QString TdmKrta07S::PlanRowOfLoadedLine() {
    // The resources are compared through RTRIM so that no server looks the plan rows up by resource,
    // the first part of their key: a resource has rows on every day of every line, and a server that
    // has not counted a factory's first plan rows yet would go through them once per line.
    return QStringLiteral(
        "EXISTS (SELECT MC002 FROM $$MPSTB AS MPSTB INNER JOIN $$MPSMC AS MPSMC ON MC001 = TB006 WHERE TB001 "
        "= "
        ":TB001 AND :TB036 IN (TB036,'') AND :TB004 IN (TB051+TB004+TB005,'') AND TB003 = TF004 AND TB051 = "
        "TF011 AND TB004 = TF005 AND TB005 = TF006 AND TB037 = TF007 AND RTRIM(MC002) = RTRIM(TF001)) ");
}

QString TdmKrta07S::ExpandSQL(const QString& sql) const {
    return SwapStr(sql, QStringLiteral("$$"), FDBName + QStringLiteral(".."), true);
}

void TdmKrta07S::OpenItemResources(const QString& item) {
    qryMPSMC->Close();
    qryMPSMC->SetSQL(ExpandSQL(QString::fromUtf8(kItemResourceSQL)));
    qryMPSMC->ParamByName(QStringLiteral("MC001")).SetAsString(item);
    qryMPSMC->Open();
}

const std::vector<TItemResource>& TdmKrta07S::ItemResources(const QString& item) {
    auto it = FItemResources.find(item);
    if (it != FItemResources.end()) return *it;
    if (FAllItemsRead) return *FItemResources.insert(item, {});
    OpenItemResources(item);
    std::vector<TItemResource> rows;
    kv::TField& mc002 = qryMPSMC->FieldByName(QStringLiteral("MC002"));
    kv::TField& mc004 = qryMPSMC->FieldByName(QStringLiteral("MC004"));
    kv::TField& mc005 = qryMPSMC->FieldByName(QStringLiteral("MC005"));
    kv::TField& mb006 = qryMPSMC->FieldByName(QStringLiteral("MB006"));
    for (qryMPSMC->First(); !qryMPSMC->Eof(); qryMPSMC->Next())
        rows.push_back(
            {mc002.AsString().trimmed(), mc004.AsFloat(), mc005.AsFloat(), mb006.AsString().trimmed()});
    return *FItemResources.insert(item, std::move(rows));
}

void TdmKrta07S::ReadAllItemResources() {
    FItemResources.clear();
    ++FItemsGeneration;
    TKvADOQuery q;
    q.SetConnection(dbKrta07);
    q.SetSQL(ExpandSQL(
        QStringLiteral("SELECT MC001 , MC002 , MC004 , MC005 ,MB006  FROM $$MPSMC LEFT JOIN $$MPSMB ON "
                       "MC002=MB001 ORDER BY MC001 , MC002 ")));
    q.Open();
    const int mc001 = q.FieldByName(QStringLiteral("MC001")).Index();
    const int mc002 = q.FieldByName(QStringLiteral("MC002")).Index();
    const int mc004 = q.FieldByName(QStringLiteral("MC004")).Index();
    const int mc005 = q.FieldByName(QStringLiteral("MC005")).Index();
    const int mb006 = q.FieldByName(QStringLiteral("MB006")).Index();
    for (int r = 0; r < q.RecordCount(); ++r)
        FItemResources[q.valueAt(r, mc001).toString().trimmed()].push_back(
            {q.valueAt(r, mc002).toString().trimmed(), q.valueAt(r, mc004).toDouble(),
             q.valueAt(r, mc005).toDouble(), q.valueAt(r, mb006).toString().trimmed()});
    FAllItemsRead = true;
}

void TdmKrta07S::ReadCompanyParameters() {
    FDateFormat = 0;
    FDateSeparator.clear();
    if (!qryCMSMA->Active() || qryCMSMA->IsEmpty()) return;
    qryCMSMA->First();
    FDateFormat = qryCMSMA->FieldByName(QStringLiteral("MA001")).AsString().trimmed().toInt();
    FDateSeparator = qryCMSMA->FieldByName(QStringLiteral("MA002")).AsString().left(1);
}

QString TdmKrta07S::DateDisplayText(const QString& yyyymmdd) const {
    return DateToString(TransDateIn(yyyymmdd.trimmed()), FDateFormat, FDateSeparator);
}

void TdmKrta07S::SetupDateField(kv::TField* field) {
    if (!field) return;
    field->OnGetText = [this](kv::TField& f, QString& text, bool) {
        text = f.IsNull() ? QString() : DateDisplayText(f.AsString());
    };
}

QString TdmKrta07S::FieldLabelText(const QString& field, const QString& chinese) {
    auto found = FLabelTexts.constFind(field);
    if (found != FLabelTexts.cend()) return *found;
    // The owning form knows the interface language; without one the labels stay as written.
    const auto* form = qobject_cast<const TKVForm*>(parent());
    const QString text = form ? form->LangText(QStringLiteral("TdmKrta07S"), field, chinese) : chinese;
    FLabelTexts.insert(field, text);
    return text;
}

void TdmKrta07S::SetupFields() {
    // Once per set, when its fields first exist: they stay with the set through every reload, and
    // so does what the user's grid layout made of them (order, widths, number formats).
    if (qryMPSTBPre->Active() && !FLineFieldsSetUp) {
        FLineFieldsSetUp = true;
        kv::TClientDataSet& s = *qryMPSTBPre;
        setLabels(*this, s, kLineLabels, std::size(kLineLabels));
        hide(s, {"TB001", "MB025C", "MQ017C", "FLAG"});
        for (const char* n : {"TB008", "TB026", "TB039"})
            if (kv::TField* f = s.FindField(QString::fromLatin1(n)))
                f->SetDisplayFormat(QStringLiteral("#,##0.#######"));
        for (const char* n : {"TB010", "TB013", "TB014", "TB034"})
            SetupDateField(s.FindField(QString::fromLatin1(n)));
        // Only the work order type, work centre and supplier are the planner's to change here.
        for (int i = 0; i < s.FieldCount(); ++i) {
            const QString n = s.Fields(i).FieldName().toUpper();
            s.Fields(i).SetReadOnly(n != QLatin1String("TB042") && n != QLatin1String("TB044") &&
                                    n != QLatin1String("TB045"));
        }
    }
    if (qryMPSTF->Active() && !FDetailFieldsSetUp) {
        FDetailFieldsSetUp = true;
        setLabels(*this, *qryMPSTF, kDetailLabels, std::size(kDetailLabels));
        hide(*qryMPSTF, {"FLAG"});
        SetupDateField(qryMPSTF->FindField(QStringLiteral("TF002")));
    }
    SetupFieldHandlers();
}

// ---- company date format ------------------------------------------------------------------------

QString TdmKrta07S::DateEditMask() const {
    return Krta07DateEditMask(CompanyDateFormat(), DateSeparator());
}

QString TdmKrta07S::DisplayDateToText(const QString& text) const {
    return Krta07DisplayDateToText(text, CompanyDateFormat(), DateSeparator());
}

QString TdmKrta07S::LineText(const char* name) const {
    return trimmedText(*qryMPSTBPre, name);
}

QString TdmKrta07S::CompanyParameter(const QString& number) const {
    if (!qryCMSMA->Active() || qryCMSMA->IsEmpty()) return QString();
    qryCMSMA->First();
    const kv::TField* f = qryCMSMA->FindField(QStringLiteral("MA") + number);
    return f ? f->AsString().trimmed() : QString();
}

// ---- display conversion -------------------------------------------------------------------------

void TdmKrta07S::DateFieldGetText(kv::TField& sender, QString& text, bool displayText) {
    Q_UNUSED(displayText);
    if (sender.IsNull()) {
        text.clear();
        return;
    }
    if (sender.DataType() == kv::TFieldType::ftDateTime)
        text = DateToString(sender.AsDateTime(), CompanyDateFormat(), DateSeparator());
    else
        text = DateDisplayText(sender.AsString());
}

void TdmKrta07S::DateFieldSetText(kv::TField& sender, const QString& text) {
    if (sender.DataType() == kv::TFieldType::ftDateTime) {
        const kv::TDateTime d = StringToDate(text, CompanyDateFormat(), DateSeparator());
        if (d > 0)
            sender.SetAsDateTime(d);
        else
            sender.Clear();
        return;
    }
    // A text that reads as numbers but names no day (30 February) is no date either: it would be
    // stored as a date text that every reader takes for day zero.
    const QString day = Changedate(text, CompanyDateFormat(), DateSeparator());
    if (!day.isEmpty() && day != QLatin1String("0") && TransDateIn(day) > 0)
        sender.SetAsString(day);
    else
        sender.SetAsString(QString());
}

void TdmKrta07S::DOGetText(kv::TField& sender, QString& text, bool displayText) {
    Q_UNUSED(displayText);
    const TfrmKrta07SM* wb = qobject_cast<const TfrmKrta07SM*>(parent());
    text = sender.AsString();
    if (wb && wb->KvConverter) text = wb->KvConverter->ConvertUIString(kv::Variant(text)).toString();
}

void TdmKrta07S::DOSetText(kv::TField& sender, const QString& text) {
    const TfrmKrta07SM* wb = qobject_cast<const TfrmKrta07SM*>(parent());
    sender.SetAsString(wb && wb->KvConverter ? wb->KvConverter->RecoverUIString(kv::Variant(text)).toString()
                                             : text);
}

// ---- the line set's handlers --------------------------------------------------------------------

void TdmKrta07S::ConvertTextFields(kv::TClientDataSet& set) {
    for (int i = 0; i < set.FieldCount(); ++i) {
        kv::TField& f = set.Fields(i);
        if (!f.isText()) continue;
        f.OnGetText = [this](kv::TField& s, QString& t, bool d) { DOGetText(s, t, d); };
        f.OnSetText = [this](kv::TField& s, const QString& t) { DOSetText(s, t); };
    }
}

void TdmKrta07S::SetupFieldHandlers() {
    using namespace std::placeholders;
    auto textHandlers = [this](kv::TClientDataSet& set) { ConvertTextFields(set); };
    auto dateHandlers = [this](kv::TField* f) {
        if (!f) return;
        f->OnGetText = [this](kv::TField& s, QString& t, bool d) { DateFieldGetText(s, t, d); };
        f->OnSetText = [this](kv::TField& s, const QString& t) { DateFieldSetText(s, t); };
    };
    if (qryMPSTBPre->Active()) {
        kv::TClientDataSet& s = *qryMPSTBPre;
        textHandlers(s);
        for (const char* n : kDateFields)
            dateHandlers(s.FindField(QString::fromLatin1(n)));
        if (kv::TField* f = s.FindField(QStringLiteral("TB042")))
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreTB042Validate(x); };
        if (kv::TField* f = s.FindField(QStringLiteral("TB044")))
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreTB044Validate(x); };
        if (kv::TField* f = s.FindField(QStringLiteral("TB045"))) {
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreTB045Validate(x); };
            f->OnSetText = [this](kv::TField& x, const QString& t) { qryMPSTBPreTB045SetText(x, t); };
        }
        if (kv::TField* f = s.FindField(QStringLiteral("MQ017C")))
            f->OnValidate = [this](kv::TField& x) { qryMPSTBPreMQ017CValidate(x); };
        // The mapped combos show a code's caption, in the interface script as other texts are.
        auto mapped = [this](kv::TField* f, QString (*caption)(const QString&)) {
            if (!f) return;
            f->OnGetText = [this, caption](kv::TField& x, QString& t, bool) {
                const TfrmKrta07SM* wb = qobject_cast<const TfrmKrta07SM*>(parent());
                t = caption(x.AsString());
                if (wb && wb->KvConverter) t = wb->KvConverter->ConvertUIString(kv::Variant(t)).toString();
            };
        };
        mapped(s.FindField(QStringLiteral("TB003")), [](const QString& v) { return mappedText(kTB003G, v); });
        mapped(s.FindField(QStringLiteral("TB027")), [](const QString& v) { return mappedText(kTB027G, v); });
        // The property of the line the set opens on decides its editable column.
        if (!s.IsEmpty()) qryMPSTBPreAfterScroll(s);
    }
    if (qryMPSTF->Active()) {
        textHandlers(*qryMPSTF);
        dateHandlers(qryMPSTF->FindField(QStringLiteral("TF002")));
    }
    qryMPSTBPre->BeforeScroll = [this](kv::TClientDataSet& d) { qryMPSTBPreBeforeScroll(d); };
    qryMPSTBPre->AfterScroll = [this](kv::TClientDataSet& d) { qryMPSTBPreAfterScroll(d); };
    qryMPSTBPre->OnNewRecord = [this](kv::TClientDataSet& d) { qryMPSTBPreNewRecord(d); };
}

void TdmKrta07S::qryMPSTBPreNewRecord(kv::TClientDataSet& dataSet) {
    Q_UNUSED(dataSet);
    // Lines come from the schedule run only; a new one is never added here.
    kv::Abort();
}

void TdmKrta07S::SwitchEditableColumn(bool byValidation) {
    kv::TClientDataSet& s = *qryMPSTBPre;
    const bool inHouse = trimmedText(s, "MQ017C") == QLatin1String("1");
    auto ro = [&s](const char* n, bool value) {
        if (kv::TField* f = s.FindField(QString::fromLatin1(n))) f->SetReadOnly(value);
    };
    if (byValidation) {
        // An in-house order has no supplier, an outsourced one no work centre.
        const QString code = inHouse ? QStringLiteral("TB045") : QStringLiteral("TB044");
        setQuietly(s.FindField(code), QString());
        setQuietly(s.FindField(code + QLatin1Char('C')), QString());
    }
    ro("TB044", !inHouse);
    ro("TB044C", true);
    ro("TB045", inHouse);
    ro("TB045C", true);
}

void TdmKrta07S::qryMPSTBPreAfterScroll(kv::TClientDataSet& dataSet) {
    Q_UNUSED(dataSet);
    SwitchEditableColumn(false);
    // The highlight follows through the data source's cursor signal (the workbench listens to it).
}

void TdmKrta07S::qryMPSTBPreMQ017CValidate(kv::TField& sender) {
    Q_UNUSED(sender);
    SwitchEditableColumn(true);
}

void TdmKrta07S::qryMPSTBPreBeforeScroll(kv::TClientDataSet& dataSet) {
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    if (!wb || wb->EditState() != 1 || wb->Linking() || dataSet.IsEmpty()) return;
    if (trimmedText(dataSet, "TB042").isEmpty()) {
        wb->ShowLineMessage(2);
        kv::Abort();
    }
    const int row = wb->CurrentRowIndex();
    if (TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(row)) {
        auto sum = [item] {
            TKrta07QuantitySum s;
            for (int k = 0; k < item->CellCount(); ++k)
                s.Add(item->CellValue(k));
            return s;
        };
        const double target = wb->BarQuantity(row);
        while (!sum().Equals(target)) {
            wb->ShowLineMessage(1, kv::floatToStr(target));
            if (!wb->EditDailyQuantities(row)) {
                // Cancelling the editor keeps the planner on the line until the days add up.
                kv::Abort();
            }
        }
    }
    wb->mgMPSTC->CancelMouseOperation();
}

namespace {

// The look-up row of a line's code (table and look-up kind, its parameters built from the code). An
// empty code clears the name beside it and gives nothing; an unknown one shows line message
// `message` and aborts the edit.
std::optional<QStringList>
lineCodeRow(TdmKrta07S& dm, kv::TField& sender, const char* nameField, const char* table, const char* kind,
            int message, const std::function<QStringList(TfrmKrta07SM&, const QString&)>& params) {
    const QString value = sender.AsString().trimmed();
    if (value.isEmpty()) {
        setQuietly(dm.qryMPSTBPre->FindField(QString::fromLatin1(nameField)), QString());
        return std::nullopt;
    }
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(dm.parent());
    QStringList row;
    if (!wb ||
        !wb->CheckLineCode(QString::fromLatin1(table), QString::fromLatin1(kind), params(*wb, value), row)) {
        if (wb) wb->ShowLineMessage(message);
        kv::Abort();
    }
    return row;
}

} // namespace

void TdmKrta07S::qryMPSTBPreTB042Validate(kv::TField& sender) {
    kv::TClientDataSet& s = *qryMPSTBPre;
    const auto row =
        lineCodeRow(*this, sender, "TB042C", "CMSMQ", "54", 3, [&s](TfrmKrta07SM& wb, const QString& code) {
            const QString kind =
                trimmedText(s, "MB025C") == QLatin1String("M") ? QStringLiteral("1") : QStringLiteral("2");
            return QStringList{code, QStringLiteral("51"), QStringLiteral("52"), wb.UserID(), kind};
        });
    if (!row) return;
    setQuietly(s.FindField(QStringLiteral("TB042C")), row->value(0));
    setQuietly(s.FindField(QStringLiteral("MQ017C")), row->value(12));
}

void TdmKrta07S::qryMPSTBPreTB044Validate(kv::TField& sender) {
    const auto row =
        lineCodeRow(*this, sender, "TB044C", "CMSMD", "02", 4, [](TfrmKrta07SM& wb, const QString& code) {
            return QStringList{wb.edMB001->text().trimmed(), code};
        });
    if (row) setQuietly(qryMPSTBPre->FindField(QStringLiteral("TB044C")), row->value(0));
}

void TdmKrta07S::qryMPSTBPreTB045Validate(kv::TField& sender) {
    const auto row = lineCodeRow(*this, sender, "TB045C", "PURMA", "01", 5,
                                 [](TfrmKrta07SM&, const QString& code) { return QStringList{code}; });
    if (!row) return;
    // A supplier waiting for approval or refused is not taken; its name stays as it was.
    const QString approval = row->value(12).trimmed();
    if (approval == QLatin1String("2") || approval == QLatin1String("3")) {
        qobject_cast<TfrmKrta07SM*>(parent())->ShowLineMessage(approval == QLatin1String("2") ? 6 : 7);
        kv::Abort();
    }
    setQuietly(qryMPSTBPre->FindField(QStringLiteral("TB045C")), row->value(0));
}

void TdmKrta07S::qryMPSTBPreTB045SetText(kv::TField& sender, const QString& text) {
    ProviderFieldSetText(sender, text, QStringLiteral("61"));
}

void TdmKrta07S::ProviderFieldSetText(kv::TField& sender, const QString& text, const QString& windowNo) {
    TfrmKrta07SM* wb = qobject_cast<TfrmKrta07SM*>(parent());
    auto recover = [wb](const QString& t) {
        return wb && wb->KvConverter ? wb->KvConverter->RecoverUIString(kv::Variant(t)).toString() : t;
    };
    if (text.isEmpty() || !wb) {
        sender.SetAsString(recover(text));
        return;
    }
    const QString mode = CompanyParameter(QStringLiteral("055"));
    if (mode == QLatin1String("1")) {
        sender.SetAsString(recover(text));
        return;
    }
    QStringList chosen, row;
    if (mode == QLatin1String("2")) {
        if (wb->CheckLineCode(QStringLiteral("PURMA"), QStringLiteral("08"), {text}, row))
            chosen = wb->DataCalls()->OpenLookup(QStringLiteral("PURMA"),
                                                 QString::number(windowNo.toInt() + 1), {recover(text)});
    } else if (wb->CheckLineCode(QStringLiteral("PURMA"), QStringLiteral("09"), {text}, row)) {
        chosen = wb->DataCalls()->OpenLookup(QStringLiteral("PURMA"), windowNo, {recover(text)});
    }
    sender.SetAsString(chosen.isEmpty() ? recover(text) : chosen.value(0));
    // The lookup window took the focus: back to the field, for the planner to go on from there.
    wb->FocusLineField(sender.FieldName());
}
