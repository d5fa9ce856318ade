#include "host/services/HostServices.h"

#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QDateTime>
#include <QScopeGuard>

#include "frame/SocketConnection.h"
#include "host/services/CompanyData.h"
#include "host/services/LookupWindow.h"
#include "support/LibStrs.h"
#include "support/StewardINI.h"

namespace tarnix {

namespace {

QString arg(const kv::VariantArgs& args, size_t i) {
    return i < args.size() ? kv::varToStr(args[i]) : QString();
}

kv::Variant rowVariant(const QStringList& row) {
    kv::Variant v = kv::Variant::array(0, int(row.size()) - 1);
    for (int i = 0; i < row.size(); ++i)
        v.at(i) = row.at(i);
    return v;
}

kv::Variant rowsVariant(const QList<QStringList>& rows) {
    kv::Variant v = kv::Variant::array(0, int(rows.size()) - 1);
    for (int i = 0; i < rows.size(); ++i)
        v.at(i) = rowVariant(rows.at(i));
    return v;
}

// Keys arrive as an array of texts or as one text.
QStringList keyList(const kv::Variant& keys) {
    QStringList list;
    if (keys.isArray()) {
        for (int i = keys.lowBound(); i <= keys.highBound(); ++i)
            list << kv::varToStr(keys.at(i));
    } else if (!keys.isEmptyOrNull()) {
        list << kv::varToStr(keys);
    }
    return list;
}

// The window a modal host dialog belongs to: the module window that has the focus, if any.
QWidget* dialogParent() {
    return QApplication::activeWindow();
}

QString serialise(const kv::Variant& value) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    kv::wire::writeVariant(out, value);
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

QString timeText(const QDateTime& when) {
    return when.toString("yyyyMMddhhmmsszzz");
}

// ---- counter service

TCounterService::TCounterService(TCompanyDataPtr data) : FData(std::move(data)) {
    addMember("GetSysInfo", [this](kv::VariantArgs& a) { return GetSysInfo(arg(a, 0)); });
    addMember("GetCounter", [this](kv::VariantArgs& a) {
        const int value = GetCounter(arg(a, 0));
        if (a.size() > 1) a[1] = value;
        return kv::Variant(value);
    });
}

kv::Variant TCounterService::GetSysInfo(const QString& company) {
    Q_UNUSED(company); // one company database per installation
    QList<QStringList> rows =
        FData->select("SELECT SY001, SY002 FROM KVRSYS WHERE SY001 NOT LIKE 'CNT:%' ORDER BY SY001");
    // The company's date display order and separator come from its parameters.
    const QList<QStringList> params = FData->select("SELECT MA001, MA002 FROM CMSMA");
    if (!params.isEmpty()) {
        rows << QStringList{"DateOrder", params.first().value(0)}
             << QStringList{"DateSign", params.first().value(1)};
    }
    kv::Variant info = kv::Variant::array2(0, 1, 0, int(rows.size()) - 1);
    for (int i = 0; i < rows.size(); ++i) {
        info.at(0, i) = rows.at(i).value(0);
        info.at(1, i) = rows.at(i).value(1);
    }
    return info;
}

int TCounterService::GetCounter(const QString& name) {
    const QString key = "CNT:" + name.trimmed().left(16);
    FData->begin();
    auto rollback = qScopeGuard([this] { FData->rollback(); });
    const QList<QStringList> rows = FData->select("SELECT SY002 FROM KVRSYS WHERE SY001 = ?", {key});
    const int next = rows.isEmpty() ? 1 : rows.first().value(0).toInt() + 1;
    if (rows.isEmpty())
        FData->exec("INSERT INTO KVRSYS (SY001, SY002) VALUES (?, ?)", {key, QString::number(next)});
    else
        FData->exec("UPDATE KVRSYS SET SY002 = ? WHERE SY001 = ?", {QString::number(next), key});
    FData->commit();
    rollback.dismiss();
    return next;
}

// ---- validator service

TValidatorService::TValidatorService(TCompanyDataPtr data) : FData(std::move(data)) {
    const auto query = [this](kv::VariantArgs& a) {
        if (a.size() < 5) throw kv::EOleError("expected table, query number, database, keys and a result");
        kv::Variant row;
        const bool found = QueryData(arg(a, 0), arg(a, 1), a[3], row);
        a[4] = row;
        return kv::Variant(found);
    };
    addMember("QueryData", query);
    addMember("CheckValue", query);
    addSetter("ProductID", [this](const kv::Variant& v) { FProductID = v.toInt(); });
    addSetter("BaseLimited", [this](const kv::Variant& v) { FBaseLimited = kv::varToStr(v); });
    addMember("ProductID", [this](kv::VariantArgs&) { return kv::Variant(FProductID); });
    addMember("BaseLimited", [this](kv::VariantArgs&) { return kv::Variant(FBaseLimited); });
}

bool TValidatorService::QueryData(const QString& table, const QString& number, const kv::Variant& keys,
                                  kv::Variant& row) {
    const TCatalogueQuery* query = validatorQuery(table, number);
    if (!query) throw kv::EOleError(QString("The validator has no query %1 %2").arg(table, number));
    const QList<QStringList> rows = FData->select(query->Sql, bindKeys(*query, keyList(keys)));
    if (rows.isEmpty()) {
        row = kv::Variant();
        return false;
    }
    row = rowVariant(rows.first());
    return true;
}

// ---- lookup service

TLookupService::TLookupService(TCompanyDataPtr data) : FData(std::move(data)) {
    addMember("F2GetData",
              [this](kv::VariantArgs& a) { return F2GetData(a.empty() ? kv::Variant() : a[0]); });
    addMember("GetPhrase", [this](kv::VariantArgs& a) { return kv::Variant(GetPhrase(arg(a, 0))); });
    addMember("ShowInputDay", [this](kv::VariantArgs& a) {
        return kv::Variant(ShowInputDay(a.empty() ? kv::Variant() : a[0]));
    });
}

kv::Variant TLookupService::F2GetData(const kv::Variant& request) {
    if (!request.isArray() || request.elementCount() < 5)
        throw kv::EOleError("F2GetData: expected company, database, table, window number and keys");
    const int low = request.lowBound();
    const QString table = kv::varToStr(request.at(low + 2)).trimmed().toUpper();
    const QString number = kv::varToStr(request.at(low + 3)).trimmed();
    const TCatalogueQuery* window = lookupWindow(table, number);
    if (!window) throw kv::EOleError(QString("There is no lookup window %1 %2").arg(table, number));
    const bool multi =
        request.elementCount() > 6 && request.at(low + 6).isNumeric() && request.at(low + 6).toBool();
    const QList<QStringList> rows =
        FData->select(window->Sql, bindKeys(*window, keyList(request.at(low + 4))));
    TLookupWindow dialog(table + " " + number, window->Captions, rows, multi, dialogParent());
    dialog.exec();
    return rowsVariant(dialog.chosenRows());
}

QString TLookupService::GetPhrase(const QString& user) {
    const QList<QStringList> rows =
        FData->select("SELECT PH003, PH002 FROM ADMPH WHERE PH001 = ? ORDER BY PH002", {user.trimmed()});
    TLookupWindow dialog(QStringLiteral("常用词组"), {QStringLiteral("词组"), QStringLiteral("序号")}, rows,
                         false, dialogParent());
    dialog.exec();
    const QList<QStringList> chosen = dialog.chosenRows();
    return chosen.isEmpty() ? QString() : chosen.first().value(0);
}

QString TLookupService::ShowInputDay(const kv::Variant& request) {
    const QString text = request.isArray() && request.elementCount() > 0
                             ? kv::varToStr(request.at(request.lowBound()))
                             : QString();
    const int order =
        request.isArray() && request.elementCount() > 1 ? request.at(request.lowBound() + 1).toInt() : 1;
    const QString sep = request.isArray() && request.elementCount() > 2
                            ? kv::varToStr(request.at(request.lowBound() + 2))
                            : QStringLiteral("/");
    const kv::TDateTime start = text.trimmed().isEmpty() ? 0 : StringToDate(text.trimmed(), order, sep);
    TDayPicker picker(start == 0 ? QDate::currentDate() : QDate(1899, 12, 30).addDays(qint64(start)),
                      dialogParent());
    picker.exec();
    const QDate chosen = picker.chosenDate();
    if (!chosen.isValid()) return {};
    return DateToString(QDate(1899, 12, 30).daysTo(chosen), order, sep);
}

// ---- application server

TReportCounter::TReportCounter(TCompanyDataPtr data, int sqlType)
    : FData(std::move(data)), FSqlType(sqlType) {
    addMember("Request", [this](kv::VariantArgs& a) {
        return kv::Variant(Request(a.empty() ? kv::Variant() : a[0], QString()));
    });
    addMember("Request1", [this](kv::VariantArgs& a) {
        return kv::Variant(Request(a.empty() ? kv::Variant() : a[0], arg(a, 1)));
    });
    addMember("ErrorDescript", [this](kv::VariantArgs&) { return kv::Variant(FLastError); });
    addMember("UpdateStatus1", [this](kv::VariantArgs& a) {
        return kv::Variant(UpdateStatus1(arg(a, 0), arg(a, 1), a.size() > 2 ? a[2] : kv::Variant()));
    });
    addMember("SQLType", [this](kv::VariantArgs&) { return kv::Variant(FSqlType); });
    addMember("GetPower", [this](kv::VariantArgs& a) { return GetPower(a.empty() ? kv::Variant() : a[0]); });
    addMember("LoadTable",
              [this](kv::VariantArgs& a) { return LoadTable(a.empty() ? kv::Variant() : a[0]); });
    addMember("InsertConTable", [this](kv::VariantArgs& a) {
        return kv::Variant(InsertConTable(a.empty() ? kv::Variant() : a[0]));
    });
    addMember("DeleteConTable", [this](kv::VariantArgs& a) {
        return kv::Variant(DeleteConTable(a.empty() ? kv::Variant() : a[0]));
    });
    addMember("ChangeConName", [this](kv::VariantArgs& a) {
        return kv::Variant(
            ChangeConName(a.size() > 0 ? a[0] : kv::Variant(), a.size() > 1 ? a[1] : kv::Variant()));
    });
    addMember("SimpleSQL", [this](kv::VariantArgs& a) { return SimpleSQL(arg(a, 0)); });
}

QString TReportCounter::Request(const kv::Variant& jobRequest, const QString& workstation) {
    try {
        if (!jobRequest.isArray() || jobRequest.elementCount() < 3)
            throw EKvError("A job request has a header, option labels and option values");
        const kv::Variant& header = jobRequest.at(jobRequest.lowBound());
        if (!header.isArray() || header.highBound() < 9)
            throw EKvError("The job request header is incomplete");
        const QString now = timeText(QDateTime::currentDateTime());
        FData->begin();
        auto rollback = qScopeGuard([this] { FData->rollback(); });
        // Job numbers run by day: the date and a six-digit sequence.
        const QString day = now.left(8);
        const QList<QStringList> last =
            FData->select("SELECT MAX(JB001) FROM KVRJOB WHERE JB001 LIKE ?", {day + "%"});
        const int seq =
            last.isEmpty() || last.first().value(0).isEmpty() ? 1 : last.first().value(0).mid(8).toInt() + 1;
        const QString id = day + QString::number(seq).rightJustified(6, '0');
        FData->exec(
            "INSERT INTO KVRJOB (JB001, JB002, JB003, JB004, JB005, JB006, JB007, JB008, JB009, JB010) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {id, kv::varToStr(header.at(1)).left(10), kv::varToStr(header.at(4)).left(20),
             kv::varToStr(header.at(5)).left(10), kv::varToStr(header.at(6)).left(20), QString("0"), now, now,
             serialise(jobRequest), workstation});
        FData->commit();
        rollback.dismiss();
        FLastError.clear();
        return id;
    } catch (const std::exception& e) {
        FLastError = QString::fromUtf8(e.what());
        return QStringLiteral("ERROR");
    }
}

QString TReportCounter::UpdateStatus1(const QString& jobId, const QString& errors, const kv::Variant& when) {
    try {
        const QString at = when.type() == kv::VarType::Date || when.isNumeric()
                               ? timeText(QDateTime(QDate(1899, 12, 30), QTime(0, 0))
                                              .addMSecs(qint64(when.toDouble() * 86400000.0)))
                               : timeText(QDateTime::currentDateTime());
        const int n = FData->exec("UPDATE KVRJOB SET JB006 = ?, JB008 = ?, JB010 = ? WHERE JB001 = ?",
                                  {errors.trimmed().isEmpty() ? "1" : "2", at, errors, jobId.trimmed()});
        return n > 0 ? QString() : QString("Job %1 does not exist").arg(jobId);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

kv::Variant TReportCounter::GetPower(const kv::Variant& args) {
    const QStringList a = keyList(args);
    const QString user = a.value(1).trimmed(), program = a.value(2).trimmed();
    const QList<QStringList> rows =
        FData->select("SELECT PW003, PW004 FROM KVRPOW WHERE PW001 = ? AND PW002 = ?", {user, program});
    if (!rows.isEmpty()) return kv::Variant::arrayOf({rows.first().value(0), rows.first().value(1)});
    // Without rights of their own, known users may do everything and unknown ones nothing.
    const bool known = !FData->select("SELECT MA001 FROM KVRMA WHERE MA001 = ?", {user}).isEmpty();
    return kv::Variant::arrayOf({QString(), known ? QString("YYYYYYYY") : QString("NNNNNNNN")});
}

kv::Variant TReportCounter::LoadTable(const kv::Variant& args) {
    const QStringList a = keyList(args);
    // The values keep their line ends: an empty first or last option is a line of its own.
    QList<QStringList> rows =
        FData->select("SELECT CN003, CN004, CN005, CN006 FROM KVRCON WHERE CN002 = ? AND CN001 = ? "
                      "ORDER BY CN003",
                      {a.value(0).trimmed(), a.value(1).trimmed()}, false);
    for (QStringList& row : rows) {
        row[0] = row[0].trimmed();
        row[1] = row[1].trimmed();
    }
    return rowsVariant(rows);
}

QString TReportCounter::InsertConTable(const kv::Variant& args) {
    try {
        if (!args.isArray() || args.elementCount() < 7)
            throw EKvError("A scheme is saved with seven elements");
        const int l = args.lowBound();
        const QString name = kv::varToStr(args.at(l)).trimmed(),
                      user = kv::varToStr(args.at(l + 1)).trimmed();
        const QString when = kv::varToStr(args.at(l + 2)), program = kv::varToStr(args.at(l + 3)).trimmed();
        const QString options = kv::varToStr(args.at(l + 4)), values = kv::varToStr(args.at(l + 5));
        const bool replace = args.at(l + 6).toBool();
        if (name.isEmpty()) return QStringLiteral("方案名不可空白!");
        FData->begin();
        auto rollback = qScopeGuard([this] { FData->rollback(); });
        const bool exists =
            !FData
                 ->select("SELECT CN003 FROM KVRCON WHERE CN001 = ? AND CN002 = ? AND CN003 = ?",
                          {program, user, name})
                 .isEmpty();
        if (exists && !replace) return QStringLiteral("方案已存在!");
        if (exists)
            FData->exec("UPDATE KVRCON SET CN004 = ?, CN005 = ?, CN006 = ? WHERE CN001 = ? AND CN002 = ? "
                        "AND CN003 = ?",
                        {when, options, values, program, user, name});
        else
            FData->exec(
                "INSERT INTO KVRCON (CN001, CN002, CN003, CN004, CN005, CN006) VALUES (?, ?, ?, ?, ?, ?)",
                {program, user, name, when, options, values});
        FData->commit();
        rollback.dismiss();
        return {};
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

QString TReportCounter::DeleteConTable(const kv::Variant& args) {
    try {
        const QStringList a = keyList(args);
        const int n = FData->exec("DELETE FROM KVRCON WHERE CN003 = ? AND CN002 = ? AND CN001 = ?",
                                  {a.value(0).trimmed(), a.value(1).trimmed(), a.value(2).trimmed()});
        return n > 0 ? QString() : QStringLiteral("方案不存在!");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

QString TReportCounter::ChangeConName(const kv::Variant& old, const kv::Variant& renamed) {
    try {
        const QStringList o = keyList(old), n = keyList(renamed);
        if (n.value(0).trimmed().isEmpty()) return QStringLiteral("方案名不可空白!");
        if (!FData
                 ->select("SELECT CN003 FROM KVRCON WHERE CN003 = ? AND CN002 = ? AND CN001 = ?",
                          {n.value(0).trimmed(), n.value(1).trimmed(), n.value(2).trimmed()})
                 .isEmpty())
            return QStringLiteral("方案已存在!");
        const int changed = FData->exec(
            "UPDATE KVRCON SET CN003 = ? WHERE CN003 = ? AND CN002 = ? AND CN001 = ?",
            {n.value(0).trimmed(), o.value(0).trimmed(), o.value(1).trimmed(), o.value(2).trimmed()});
        return changed > 0 ? QString() : QStringLiteral("方案不存在!");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

kv::Variant TReportCounter::SimpleSQL(const QString& statement) {
    // Clients may read with it, never write: one SELECT statement only.
    const QString sql = statement.trimmed();
    if (!sql.startsWith("SELECT ", Qt::CaseInsensitive) || sql.contains(';') || sql.contains("--") ||
        sql.contains("/*"))
        throw kv::EOleError("SimpleSQL takes a single SELECT statement");
    return rowsVariant(FData->select(sql));
}

void registerApplicationServerClass() {
    if (kv::ObjectRegistry::isRegistered(kAppServerProgID)) return;
    kv::ObjectRegistry::registerClass(kAppServerProgID, []() -> kv::DispatchPtr {
        const TStewardIniS settings;
        return std::make_shared<TReportCounter>(TCompanyData::fromLauncherSettings(), settings.DBKind);
    });
}

} // namespace tarnix
