#include "host/services/CompanyData.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "frame/KvADO.h"
#include "support/StewardINI.h"

namespace tarnix {

TCompanyData::TCompanyData(const QString& connectString) : FConnection(std::make_unique<TKvADOConnection>()) {
    FConnection->SetConnectionString(connectString);
    FConnection->setOpenExistingOnly(true);
    FConnection->Open();
}

TCompanyData::~TCompanyData() = default;

std::shared_ptr<TCompanyData> TCompanyData::fromLauncherSettings() {
    const TStewardIniS settings;
    if (const QString problem = settings.DatabaseSettingsProblem(); !problem.isEmpty())
        throw EKvError(problem);
    return std::make_shared<TCompanyData>(settings.GetConnectString());
}

namespace {

QSqlQuery run(TKvADOConnection& connection, const QString& sql, const QVariantList& params) {
    QSqlQuery query(connection.database());
    // A table or column the database lacks shows here: say which database.
    if (!query.prepare(sql))
        throw EKvError(connection.describe() + QStringLiteral(": ") + connection.scrub(query.lastError()));
    for (int i = 0; i < params.size(); ++i) {
        // Text columns are NOT NULL: a null text is stored as the empty one.
        const QVariant& p = params.at(i);
        query.bindValue(i, p.typeId() == QMetaType::QString && p.toString().isNull() ? QVariant(QString(""))
                                                                                     : p);
    }
    if (!query.exec()) throw EKvError(connection.scrub(query.lastError()));
    return query;
}

} // namespace

QList<QStringList> TCompanyData::select(const QString& sql, const QVariantList& params, bool trim) {
    QSqlQuery query = run(*FConnection, sql, params);
    QList<QStringList> rows;
    const int columns = query.record().count();
    while (FConnection->nextRow(query, sql)) {
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << (trim ? query.value(c).toString().trimmed() : query.value(c).toString());
        rows << row;
    }
    return rows;
}

int TCompanyData::exec(const QString& sql, const QVariantList& params) {
    return run(*FConnection, sql, params).numRowsAffected();
}

void TCompanyData::begin() {
    FConnection->StartTransaction();
}

void TCompanyData::commit() {
    FConnection->Commit();
}

void TCompanyData::rollback() {
    FConnection->Rollback();
}

namespace {

QString key(const QString& table, const QString& number) {
    return table.trimmed().toUpper() + ";" + number.trimmed();
}

// Columns are in the positions the module reads them from; unused positions hold ''.
const QHash<QString, TCatalogueQuery>& validators() {
    static const QHash<QString, TCatalogueQuery> q{
        {key("ADMMB", "01"),
         {"SELECT MB002, MB003, MB004, MB005, MB006, MB007, MB008, MB009 FROM ADMMB WHERE MB001 = ?", {}}},
        {key("GENES", "01"),
         {"SELECT CN003, CN004 FROM KVRCON WHERE CN003 = ? AND CN002 = ? AND CN001 = ?", {}}},
        {key("CMSMB", "01"), {"SELECT MB002, MB001 FROM CMSMB WHERE MB001 = ?", {}}},
        {key("MPSMB", "01"), {"SELECT MB001, MB002, MB003, MB006, MB007 FROM MPSMB WHERE MB001 = ?", {}}},
        {key("CMSMQ", "54"),
         {"SELECT MQ002, MQ001, MQ003, '', '', '', '', '', '', '', '', '', MQ017 FROM CMSMQ "
          "WHERE MQ001 = ? AND MQ003 IN (?, ?)",
          {}}},
        {key("CMSMD", "02"), {"SELECT MD002, MD001, MD003 FROM CMSMD WHERE MD003 = ? AND MD001 = ?", {}}},
        {key("PURMA", "01"),
         {"SELECT MA002, MA001, MA003, '', '', '', '', '', '', '', '', '', MA016 FROM PURMA WHERE MA001 = ?",
          {}}},
        // Suppliers whose code starts with the typed text (08) or whose code or name holds it (09).
        {key("PURMA", "08"), {"SELECT MA001, MA002 FROM PURMA WHERE MA001 LIKE ?", {}}},
        {key("PURMA", "09"), {"SELECT MA001, MA002 FROM PURMA WHERE MA001 LIKE ? OR MA002 LIKE ?", {}}},
        {key("CMSMS", "01"),
         {"SELECT MS002, MS003, MS004, MS005 FROM CMSMS WHERE MS001 = ? AND MS002 = ?", {}}},
        {key("CMSMA", "02"),
         {"SELECT MA003 FROM KVRINTMA WHERE MA001 = 'WebReportSiteUrl' AND MA003 <> ''", {}}},
        {key("KVRMA", "04"), {"SELECT MA002, MA001, MA003, MA004 FROM KVRMA WHERE MA001 = ?", {}}},
        {key("CMSMV", "01"), {"SELECT MV002, MV001, MV004 FROM CMSMV WHERE MV001 = ?", {}}},
        {key("COPMA", "01"), {"SELECT MA002, MA001, MA003 FROM COPMA WHERE MA001 = ?", {}}},
    };
    return q;
}

const QHash<QString, TCatalogueQuery>& windows() {
    static const QHash<QString, TCatalogueQuery> q{
        {key("CMSMB", "01"), {"SELECT MB001, MB002 FROM CMSMB ORDER BY MB001", {"工厂编号", "工厂名称"}}},
        {key("MPSMB", "01"),
         {"SELECT MB001, MB002, MB003 FROM MPSMB ORDER BY MB001", {"资源编号", "资源名称", "工厂"}}},
        {key("MPSTA", "02"),
         {"SELECT TA001, TA002, TA003, TA004, TA006, TA008 FROM MPSTA WHERE TA001 = ? "
          "ORDER BY TA002, TA003, TA004",
          {"工厂", "单别", "单号", "序号", "品号", "日期"}}},
        {key("CMSMQ", "53"),
         {"SELECT MQ001, MQ002, MQ003 FROM CMSMQ WHERE MQ003 IN (?, ?) ORDER BY MQ001",
          {"单别", "单据名称", "性质"}}},
        {key("CMSMD", "02"),
         {"SELECT MD001, MD002, MD003 FROM CMSMD WHERE MD003 = ? ORDER BY MD001",
          {"工作中心", "名称", "工厂"}}},
        {key("PURMA", "01"),
         {"SELECT MA001, MA002, MA003 FROM PURMA ORDER BY MA001", {"供应商", "简称", "全名"}}},
        {key("PURMA", "02"),
         {"SELECT MA001, MA002, MA003 FROM PURMA ORDER BY MA001", {"供应商", "简称", "全名"}}},
        {key("PURMA", "61"),
         {"SELECT MA001, MA002, MA003 FROM PURMA WHERE MA001 LIKE ? OR MA002 LIKE ? ORDER BY MA001",
          {"供应商", "简称", "全名"}}},
        {key("PURMA", "62"),
         {"SELECT MA001, MA002, MA003 FROM PURMA WHERE MA001 LIKE ? ORDER BY MA001",
          {"供应商", "简称", "全名"}}},
        {key("CMSMS", "01"),
         {"SELECT MS002, MS003, MS004, MS005 FROM CMSMS WHERE MS001 = ? ORDER BY MS002",
          {"代号", "内容一", "内容二", "内容三"}}},
        {key("KVRMA", "04"),
         {"SELECT MA001, MA002, MA004 FROM KVRMA ORDER BY MA001", {"用户", "名称", "电子邮件"}}},
        {key("CMSMV", "01"),
         {"SELECT MV001, MV002, MV004 FROM CMSMV ORDER BY MV001", {"员工", "姓名", "部门"}}},
        {key("COPMA", "01"),
         {"SELECT MA001, MA002, MA003 FROM COPMA ORDER BY MA001", {"客户", "简称", "全名"}}},
    };
    return q;
}

} // namespace

const TCatalogueQuery* validatorQuery(const QString& table, const QString& number) {
    const auto it = validators().constFind(key(table, number));
    return it == validators().constEnd() ? nullptr : &*it;
}

const TCatalogueQuery* lookupWindow(const QString& table, const QString& number) {
    const auto it = windows().constFind(key(table, number));
    return it == windows().constEnd() ? nullptr : &*it;
}

QVariantList bindKeys(const TCatalogueQuery& query, const QStringList& keys) {
    const int needed = int(query.Sql.count('?'));
    const bool like = query.Sql.contains("LIKE");
    QVariantList params;
    for (int i = 0; i < needed; ++i) {
        // The LIKE queries take one typed text for each of their patterns.
        const int k = like ? 0 : i;
        if (k >= keys.size())
            throw EKvError(QString("The query needs %1 keys, %2 given").arg(needed).arg(keys.size()));
        QString value = keys.at(k).trimmed();
        if (like) {
            value.replace('%', QString()).replace('_', QString());
            value = (query.Sql.contains("MA002 LIKE") && i == 1 ? "%" : "") + value + "%";
        }
        params << value;
    }
    return params;
}

} // namespace tarnix
