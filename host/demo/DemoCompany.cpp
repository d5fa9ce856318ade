#include "host/demo/DemoCompany.h"

#include "host/services/MessageTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "frame/KvADO.h"
#include "host/schema/CompanySchema.h"
#include "platform/KvError.h"
#include "support/StewardINI.h"

// The language files are a resource of this library; a static library's resources are registered by hand.
static void initLanguageFiles() {
    Q_INIT_RESOURCE(LanguageFiles);
}

namespace kv::demo {

namespace {

// One prepared INSERT per table; the audit columns come first.
class Inserter {
public:
    Inserter(TKvADOConnection& connection, const QString& table, const QStringList& columns,
             const DemoOptions& options, const QString& createDate)
        : FCount(static_cast<int>(columns.size())) {
        FQuery.SetConnection(&connection);
        QStringList params;
        for (const QString& c : columns)
            params << ":" + c;
        FQuery.SetSQL(
            QString("INSERT INTO %1 (COMPANY, CREATOR, CREATE_DATE, FLAG, %2) VALUES (:COMPANY, :CREATOR, "
                    ":CREATEDATE, 0, %3)")
                .arg(table, columns.join(", "), params.join(", ")));
        FCompany = options.company;
        FUser = options.user;
        FCreateDate = createDate;
    }

    void row(std::initializer_list<QVariant> values) {
        if (static_cast<int>(values.size()) != FCount)
            throw EKvError("demo row has the wrong number of values");
        FQuery.Params(0).SetAsString(FCompany);
        FQuery.Params(1).SetAsString(FUser);
        FQuery.Params(2).SetAsString(FCreateDate);
        int i = 3;
        for (const QVariant& v : values) {
            TParam& p = FQuery.Params(i++);
            if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int)
                p.SetAsFloat(v.toDouble());
            else
                p.SetAsString(v.toString());
        }
        FQuery.ExecSQL();
        ++FRows;
    }
    int rows() const { return FRows; }

private:
    TKvADOQuery FQuery;
    int FCount;
    int FRows = 0;
    QString FCompany, FUser, FCreateDate;
};

QString ymd(const QDate& d) {
    return d.toString("yyyyMMdd");
}

struct Item {
    QString code, name, specification;
    QChar property; // M made, S subcontracted, P purchased
    std::vector<int> resources;
    std::vector<double> usage; // per unit made, on each of the resources (MC004 / MC005)
};

struct Resource {
    QString code, name, unit, factory;
    double capacity;
    // What the schedule lines plan on it, by day.
    std::map<QDate, double> planned;
};

// The days the workbench shows and moves: a schedule line holds days from 1899-12-31 on, and the chart's
// window never reaches past 4000-01-01. A start day this far inside them keeps every generated day there.
const QDate kFirstScheduleDay(1899, 12, 31), kLastScheduleDay(3999, 12, 31);
const QDate kFirstStart(1901, 1, 1), kLastStart(3999, 6, 1);

class Generator {
public:
    Generator(TKvADOConnection& c, const DemoOptions& o) : FConn(c), FOpt(o), FRng(o.seed) {
        FStart = o.start.isValid() ? o.start : QDate::currentDate();
        FCreateDate = QDateTime::currentDateTime().toString("yyyyMMddHHmmsszzz");
    }

    DemoSummary run() {
        FConn.StartTransaction();
        auto rollback = qScopeGuard([this] { FConn.Rollback(); });
        masterData();
        scheduleLines();
        // Days the workbench cannot show or move would make a company no planner could work with.
        if (FFirstDay.isValid() && (FFirstDay < kFirstScheduleDay || FLastDay > kLastScheduleDay))
            throw EKvError(
                QString("The demo schedule would run from %1 to %2, beyond the days the workbench "
                        "shows (%3 to %4): choose another start day")
                    .arg(ymd(FFirstDay), ymd(FLastDay), ymd(kFirstScheduleDay), ymd(kLastScheduleDay)));
        resourceLoad();
        FConn.Commit();
        rollback.dismiss();
        return FSummary;
    }

private:
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRng); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(FRng) < p; }
    template <typename T> const T& pick(const std::vector<T>& v) {
        return v[static_cast<size_t>(uniform(0, static_cast<int>(v.size()) - 1))];
    }

    std::unique_ptr<Inserter> inserter(const QString& table, const QStringList& columns) {
        return std::make_unique<Inserter>(FConn, table, columns, FOpt, FCreateDate);
    }

    void masterData() {
        inserter("CMSMA", {"MA001", "MA002", "MA055"})->row({"1", "/", "1"});
        auto factories = inserter("CMSMB", {"MB001", "MB002"});
        factories->row({"F01", "第一工厂(总装)"});
        factories->row({"F02", "第二工厂(零部件)"});
        FSummary.factories = 2;

        const std::vector<std::pair<QString, QString>> centres = {
            {"WC01", "总装车间"}, {"WC02", "焊接车间"}, {"WC03", "涂装车间"}, {"WC04", "机加车间"},
            {"WC05", "冲压车间"}, {"WC06", "注塑车间"}, {"WC07", "电控车间"}, {"WC08", "包装车间"}};
        auto md = inserter("CMSMD", {"MD001", "MD002", "MD003"});
        for (size_t i = 0; i < centres.size(); ++i) {
            const QString factory = i < 5 ? "F01" : "F02";
            md->row({centres[i].first, centres[i].second, factory});
            FCentres.push_back(centres[i].first);
            FCentresOf[factory].push_back(centres[i].first);
        }

        auto mq = inserter("CMSMQ", {"MQ001", "MQ002", "MQ003", "MQ017"});
        mq->row({"5101", "厂内工单", "51", "1"});
        mq->row({"5102", "返工工单", "51", "1"});
        mq->row({"5103", "试产工单", "51", "1"});
        mq->row({"5201", "委外工单", "52", "2"});
        mq->row({"5202", "委外返工", "52", "2"});
        mq->row({"2201", "客户订单", "22", ""});
        mq->row({"2202", "内销订单", "22", ""});
        mq->row({"FC01", "销售预测", "FC", ""});
        mq->row({"ID01", "独立需求", "ID", ""});

        const QStringList supplierNames = {"华东精密", "永兴五金", "捷达电机", "宏发塑胶",
                                           "恒通电子", "新兴车料", "大成机械", "利群包装",
                                           "金盛铝业", "远航物流", "昌盛橡胶", "鑫源电池"};
        auto pur = inserter("PURMA", {"MA001", "MA002", "MA003", "MA016"});
        for (int i = 0; i < supplierNames.size(); ++i) {
            // Approval: 1 approved, 2 pending, 3 not to be traded with.
            const QString state = i == 9 ? "2" : i == 10 ? "3" : "1";
            const QString code = QString("S%1").arg(i + 1, 3, 10, QChar('0'));
            pur->row({code, supplierNames[i], supplierNames[i] + "有限公司", state});
            if (state == "1") FSuppliers.push_back(code);
        }

        const QStringList kinds = {"装配线", "焊接机器人", "喷涂线", "加工中心",
                                   "冲压机", "注塑机",     "检测台", "包装线"};
        const int resourceCount = std::max(8, FOpt.lines / 400);
        for (int i = 0; i < resourceCount; ++i) {
            Resource r;
            r.code = QString("R%1").arg(i + 1, 3, 10, QChar('0'));
            r.name = kinds[i % kinds.size()] + QString::number(i / kinds.size() + 1);
            const bool hours = i % 3 != 2;
            r.unit = hours ? "小时" : "件";
            r.capacity = hours ? 8.0 * uniform(1, 3) : 50.0 * uniform(2, 8);
            r.factory = i % 4 == 3 ? "F02" : "F01";
            FResources.push_back(r);
        }
        FSummary.resources = resourceCount;

        // Items: finished goods, assemblies (some subcontracted) and purchased parts.
        const QStringList finished = {"电动自行车", "折叠自行车", "山地车",     "儿童三轮车",
                                      "电动滑板车", "平衡车",     "城市通勤车", "公路赛车"};
        const QStringList assemblies = {"车架总成", "前叉组件", "后轮组件", "前轮组件",
                                        "电机总成", "控制器",   "电池包",   "车把组件",
                                        "座垫组件", "刹车组件", "传动组件", "灯具组件"};
        const QStringList parts = {"钢管", "铝合金管", "轴承", "螺栓", "链条", "轮胎", "辐条", "电芯"};
        const int finishedCount = std::max(8, FOpt.lines / 150);
        const int assemblyCount = finishedCount * 3;
        for (int i = 0; i < finishedCount; ++i)
            addItem(QString("FG-%1").arg(i + 1, 5, 10, QChar('0')),
                    finished[i % finished.size()] + QString("X%1").arg(i / finished.size() + 1),
                    QString("整车/%1V/%2寸").arg(pick(std::vector<int>{36, 48, 60})).arg(uniform(12, 28)),
                    u'M');
        for (int i = 0; i < assemblyCount; ++i)
            addItem(QString("SA-%1").arg(i + 1, 5, 10, QChar('0')),
                    assemblies[i % assemblies.size()] + QString("-%1").arg(i / assemblies.size() + 1),
                    QString("规格 %1-%2").arg(uniform(100, 999)).arg(QChar('A' + uniform(0, 5))),
                    chance(0.2) ? u'S' : u'M');
        for (int i = 0; i < parts.size() * 2; ++i)
            addItem(QString("PT-%1").arg(i + 1, 5, 10, QChar('0')), parts[i % parts.size()],
                    QString("φ%1mm").arg(uniform(5, 60)), u'P');
        auto inv = inserter("INVMB", {"MB001", "MB002", "MB003", "MB004", "MB025"});
        auto mc = inserter("MPSMC", {"MC001", "MC002", "MC004", "MC005"});
        for (Item& item : FItems) {
            inv->row({item.code, item.name, item.specification, item.property == u'P' ? "PCS" : "SET",
                      QString(item.property)});
            if (item.property == u'P') continue;
            // Three resources per scheduled item; the first is the line's main resource.
            while (item.resources.size() < 3) {
                const int r = uniform(0, static_cast<int>(FResources.size()) - 1);
                if (std::find(item.resources.begin(), item.resources.end(), r) == item.resources.end())
                    item.resources.push_back(r);
            }
            for (int r : item.resources) {
                const double perBatch = uniform(1, 4), batch = pick(std::vector<int>{1, 5, 10});
                item.usage.push_back(perBatch / batch);
                mc->row({item.code, FResources[static_cast<size_t>(r)].code, perBatch, batch});
            }
        }
        FSummary.items = static_cast<int>(FItems.size());

        inserter("ADMMB", {"MB001", "MB002", "MB003", "MB004", "MB005", "MB006", "MB007", "MB008", "MB009"})
            ->row({"KRTA07", "MPS排程工作台", "KRT", "R", "", "N", "1.0", "", "MPS Scheduling Workbench"});
        auto users = inserter("KVRMA", {"MA001", "MA002", "MA003", "MA004"});
        users->row({FOpt.user, "系统管理员", "ADMIN", ""});
        users->row({"PLAN01", "生产计划员", "PLAN", ""});
        auto settings = inserter("KVRINTMA", {"MA001", "MA002", "MA003"});
        settings->row({"StartupPortal", "启动门户", "N"});
        settings->row({"Portal WS", "门户服务地址", ""});
        // System settings the host's counter service reports: the version code shown in captions and
        // the names of the item category schemes (the last one left to the module's default).
        auto system = inserter("KVRSYS", {"SY001", "SY002"});
        system->row({"KVR002", "8.0.1"});
        system->row({"SYS007", "产品大类"});
        system->row({"SYS008", "产品中类"});
        system->row({"SYS009", "产品小类"});
        auto employees = inserter("CMSMV", {"MV001", "MV002", "MV004"});
        employees->row({"E001", "王计划", "PMC"});
        employees->row({"E002", "李生管", "PMC"});
        auto customers = inserter("COPMA", {"MA001", "MA002", "MA003"});
        customers->row({"C001", "华东机电", "华东机电股份有限公司"});
        customers->row({"C002", "南方电器", "南方电器有限公司"});
        auto phrases = inserter("ADMPH", {"PH001", "PH002", "PH003"});
        phrases->row({FOpt.user, "0001", "请于本周内完成排程"});
        phrases->row({FOpt.user, "0002", "产能不足, 请调整"});
        auto footers = inserter("CMSMS", {"MS001", "MS002", "MS003", "MS004", "MS005"});
        footers->row({"1", "F01", "核准:", "审核:", "制表:"});
        footers->row({"2", "S01", "厂长", "计划主管", "计划员"});
    }

    void addItem(const QString& code, const QString& name, const QString& specification, QChar property) {
        Item item{code, name, specification, property, {}, {}};
        (property == u'P'                            ? FParts
         : property == u'S'                          ? FSubcontracted
         : property == u'M' && code.startsWith("FG") ? FFinished
                                                     : FAssemblies)
            .push_back(static_cast<int>(FItems.size()));
        FItems.push_back(item);
    }

    struct Demand {
        QString factory, priority, source, docType, docNo, docLine, product, customer;
        double quantity;
        QDate need;
    };

    void scheduleLines() {
        auto tb = inserter("MPSTB",
                           {"TB001", "TB002", "TB003", "TB051", "TB004", "TB005", "TB046", "TB008", "TB049",
                            "TB037", "TB006", "TB026", "TB010", "TB013", "TB014", "TB034", "TB036", "TB039",
                            "TB040", "TB027", "TB035", "TB038", "TB028", "TB042", "TB044", "TB045"});
        auto tc = inserter("MPSTC",
                           {"TC001", "TC002", "TC009", "TC003", "TC004", "TC005", "TC006", "TC007", "TC008"});
        auto ta = inserter("MPSTA",
                           {"TA001", "TA002", "TA003", "TA004", "TA005", "TA006", "TA007", "TA008", "TA009"});
        FLines = tb.get();
        FDays = tc.get();
        const QStringList customers = {"宝骑贸易", "城市单车", "绿行科技",
                                       "速达物流", "蓝天租赁", "乐途运动"};
        // Document numbers count on over the factories: a source document line is planned in one
        // factory, and its plan rows, which do not name the factory, would collide with another's.
        std::map<QDate, int> docsOfDay;
        for (const auto& [factory, target] :
             {std::pair<QString, int>{"F01", FOpt.lines}, {"F02", std::min(8, FOpt.lines)}}) {
            int made = 0, priority = 0;
            while (made < target) {
                const int kind = uniform(1, 20);
                const QString source = kind <= 12 ? "1" : kind <= 17 ? "2" : "3";
                const QString docType = source == "1"   ? (chance(0.8) ? "2201" : "2202")
                                        : source == "2" ? "FC01"
                                                        : "ID01";
                const QDate docDate = FStart.addDays(uniform(0, 60));
                const QString docNo =
                    ymd(docDate) + QString("%1").arg(++docsOfDay[docDate], 3, 10, QChar('0'));
                const int docLines = uniform(1, 3);
                for (int l = 1; l <= docLines && made < target; ++l) {
                    Demand d;
                    d.factory = factory;
                    d.priority = QString("%1").arg(++priority, 5, 10, QChar('0'));
                    d.source = source;
                    d.docType = docType;
                    d.docNo = docNo;
                    d.docLine = QString("%1").arg(l, 4, 10, QChar('0'));
                    d.product = FItems[static_cast<size_t>(pick(FFinished))].code;
                    d.customer =
                        source == "1" ? customers[uniform(0, static_cast<int>(customers.size()) - 1)] : "";
                    d.quantity = 10.0 * uniform(1, 50);
                    d.need = docDate.addDays(uniform(40, 100));
                    ta->row({factory, docType, docNo, d.docLine, source, d.product, d.quantity, ymd(d.need),
                             d.customer});
                    made += tree(d, target - made);
                }
            }
            FSummary.lines += made;
        }
        FSummary.dayRows = tc->rows();
        FLines = nullptr;
        FDays = nullptr;
    }

    // The lines of one demand's bill of materials, at most room of them; returns how many.
    int tree(const Demand& d, int room) {
        const QDate rootFinish = d.need.addDays(-uniform(1, 3));
        int made = 0;
        struct Node {
            QString node;
            int item;
            double qty;
            QDate finish;
        };
        std::vector<Node> pending{{"01", indexOf(d.product), d.quantity, rootFinish}};
        while (!pending.empty() && made < room) {
            const Node n = pending.front();
            pending.erase(pending.begin());
            const QDate start = line(d, n.node, n.item, n.qty, n.finish);
            ++made;
            // Children finish the day before their parent starts; a node's path grows by 2 characters.
            if (n.node.size() < 6) {
                const int children = n.node.size() == 2 ? uniform(2, 3) : (chance(0.4) ? 1 : 0);
                for (int c = 1; c <= children; ++c) {
                    const std::vector<int>& pool =
                        chance(0.25) && !FSubcontracted.empty() ? FSubcontracted : FAssemblies;
                    pending.push_back({n.node + QString("%1").arg(c, 2, 10, QChar('0')), pick(pool),
                                       n.qty * uniform(1, 2), start.addDays(-1)});
                }
            }
        }
        return made;
    }

    int indexOf(const QString& code) const {
        for (size_t i = 0; i < FItems.size(); ++i)
            if (FItems[i].code == code) return static_cast<int>(i);
        return 0;
    }

    // Writes one line and its day quantities; returns its start day.
    QDate line(const Demand& d, const QString& node, int itemIndex, double qty, const QDate& finish) {
        const Item& item = FItems[static_cast<size_t>(itemIndex)];
        const int days = uniform(3, 27);
        const QDate start = finish.addDays(1 - days);
        const bool outsourced = item.property == u'S';
        const QString type = outsourced ? "5201" : (chance(0.9) ? "5101" : "5103");
        // A work centre of the line's factory, drawn as one of all of them so that the rest of the
        // company comes out as it always did for a seed.
        const std::vector<QString>& own = FCentresOf[d.factory];
        const QString centre =
            outsourced ? "" : own[static_cast<size_t>(uniform(0, int(FCentres.size()) - 1)) % own.size()];
        const QString supplier = outsourced ? pick(FSuppliers) : "";
        const int status = uniform(1, 20);
        const QString mainResource = FResources[static_cast<size_t>(item.resources.front())].code;
        FLines->row({d.factory,
                     d.priority,
                     d.source,
                     d.docType,
                     d.docNo,
                     d.docLine,
                     d.product,
                     d.quantity,
                     d.customer,
                     node,
                     item.code,
                     qty,
                     ymd(d.need),
                     ymd(start),
                     ymd(finish),
                     ymd(start.addDays(uniform(0, 3))),
                     mainResource,
                     double(days),
                     ymd(start) + "0800",
                     status <= 16   ? "1"
                     : status <= 18 ? "2"
                     : status == 19 ? "3"
                                    : "4",
                     chance(0.05) ? "Y" : "N",
                     node.size() == 2 ? "Y" : "N",
                     chance(0.03) ? "S" : "",
                     type,
                     centre,
                     supplier});
        // Whole units per day; the last day takes the remainder so the days add up to the line exactly.
        const double base = std::floor(qty / days);
        double left = qty;
        for (int k = 0; k < days; ++k) {
            const double q = k == days - 1 ? left : base;
            left -= q;
            if (q == 0) continue;
            FDays->row(
                {d.factory, d.source, d.docType, d.docNo, d.docLine, node, ymd(start.addDays(k)), q, ""});
            for (size_t i = 0; i < item.resources.size(); ++i)
                FResources[size_t(item.resources[i])].planned[start.addDays(k)] += q * item.usage[i];
        }
        FFirstDay = FFirstDay.isValid() ? std::min(FFirstDay, start) : start;
        FLastDay = FLastDay.isValid() ? std::max(FLastDay, finish) : finish;
        return start;
    }

    void resourceLoad() {
        auto td = inserter("MPSTD", {"TD001", "TD002", "TD003", "TD004", "TD005", "TD006", "TD007", "TD008"});
        auto tf = inserter("MPSTF", {"TF001", "TF002", "TF003", "TF004", "TF011", "TF005", "TF006", "TF007",
                                     "TF008", "TF009", "TF010"});
        sizeCapacities();
        if (!FFirstDay.isValid()) return;
        for (const Resource& r : FResources) {
            for (QDate day = FFirstDay; day <= FLastDay; day = day.addDays(1)) {
                const double capacity = day.dayOfWeek() == 7 ? 0 : r.capacity;
                const double main = std::round(capacity * uniform(0, 40)) / 100.0;
                const double other = std::round(capacity * uniform(0, 20)) / 100.0;
                td->row({r.code, ymd(day), capacity, main, 0.0, other, 0.0, ""});
                // Work orders already released consume part of the load.
                if (main > 0 && chance(0.1))
                    tf->row({r.code, ymd(day), "1", "0", "5101", ymd(day) + "001", "0001", "", main, other,
                             "工单耗用"});
            }
        }
        FSummary.loadRows = td->rows();
    }

    // A resource's daily capacity is set from what the lines plan on it, so that a day's load (the
    // lines' plan and the work already released, about a third of the capacity) exceeds it on some
    // busy days only, not on most. Resources no line plans on keep the capacity they were drawn with.
    void sizeCapacities() {
        auto mb = inserter("MPSMB", {"MB001", "MB002", "MB003", "MB006", "MB007"});
        for (Resource& r : FResources) {
            std::vector<double> busy;
            for (const auto& [day, amount] : r.planned)
                if (day.dayOfWeek() != 7 && amount > 0) busy.push_back(amount);
            if (!busy.empty()) {
                const auto at = busy.begin() + std::ptrdiff_t(busy.size() * 9 / 10);
                std::nth_element(busy.begin(), at, busy.end());
                const double step = r.unit == "件" ? 50.0 : 8.0;
                r.capacity = std::max(step, std::ceil(*at / 0.7 / step) * step);
            }
            mb->row({r.code, r.name, r.factory, r.unit, r.capacity});
        }
    }

    TKvADOConnection& FConn;
    DemoOptions FOpt;
    std::mt19937 FRng;
    QDate FStart, FFirstDay, FLastDay;
    QString FCreateDate;
    DemoSummary FSummary;
    std::vector<QString> FCentres, FSuppliers;
    std::map<QString, std::vector<QString>> FCentresOf; // by factory
    std::vector<Resource> FResources;
    std::vector<Item> FItems;
    std::vector<int> FFinished, FAssemblies, FSubcontracted, FParts;
    Inserter* FLines = nullptr;
    Inserter* FDays = nullptr;
};

bool writeBytes(const QString& fileName, const QByteArray& bytes) {
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

bool writeText(const QString& fileName, const QString& text) {
    return writeBytes(fileName, text.toUtf8());
}

// The launcher's language type of an interface code page.
QString LanguageOfCodePage(int codePage) {
    switch (codePage) {
    case 936:
        return QStringLiteral("CHS");
    case 950:
        return QStringLiteral("CHT");
    case 437:
        return QStringLiteral("ENG");
    default:
        return {};
    }
}

void checkDemoOptions(const DemoOptions& options) {
    if (options.lines < 1) throw EKvError("A demo company needs at least one line");
    const QDate start = options.start.isValid() ? options.start : QDate::currentDate();
    if (start < kFirstStart || start > kLastStart)
        throw EKvError(QString("The demo company's start day %1 is outside %2 to %3, the start days whose "
                               "schedules stay within %4 to %5")
                           .arg(ymd(start), ymd(kFirstStart), ymd(kLastStart), ymd(kFirstScheduleDay),
                                ymd(kLastScheduleDay)));
}

} // namespace

DemoSummary generateCompany(TKvADOConnection& connection, const DemoOptions& options) {
    checkDemoOptions(options);
    return Generator(connection, options).run();
}

QString sqliteConnectString(const QString& databaseFile, const QString& databaseName) {
    return QString("Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;Initial Catalog=%1;"
                   "Data Source=%2;Auto Translate=False;Connect Timeout=30;Extended Properties=\"Command "
                   "Timeout=3000\"")
        .arg(databaseName, databaseFile);
}

int installLanguageFiles(const QString& dir) {
    initLanguageFiles();
    const QString source = QStringLiteral(":/tarnix/demo/MultiLanguage");
    int count = 0;
    QDirIterator it(source, {QStringLiteral("*.Lng")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString target = QDir(dir).filePath(QStringLiteral("MultiLanguage") + from.mid(source.size()));
        QFile in(from);
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !in.open(QIODevice::ReadOnly) ||
            !writeBytes(target, in.readAll()))
            throw EKvError(QString("Cannot write the language file %1").arg(target));
        ++count;
    }
    return count;
}

// The module's report server library goes into the server's package folder, where direct queries
// and report design look for it. It is built beside the programs; without it the installation still
// works, only reports cannot be produced.
static void installReportServer(const QString& base) {
    const QString library = QCoreApplication::applicationDirPath() + QStringLiteral("/KRTA07S.so");
    if (!QFileInfo::exists(library)) return;
    const QString target = base + QStringLiteral("S_PKG/KRTA07S.so");
    QFile::remove(target);
    if (!QDir().mkpath(base + QStringLiteral("S_PKG")) || !QFile::copy(library, target))
        throw EKvError(QString("Cannot install the report server library into %1").arg(target));
}

DemoSummary writeDemoInstallation(const QString& dir, const DemoOptions& options, bool schemaOnly) {
    // Refused before anything is written: no half-made installation is left behind.
    if (!schemaOnly) checkDemoOptions(options);
    const QString uiCodePage = QString::number(options.uiCodePage);
    const QString langType = LanguageOfCodePage(options.uiCodePage);
    if (langType.isEmpty())
        throw EKvError(QString("No interface language has the code page %1").arg(uiCodePage));
    QDir root(dir);
    if (!root.mkpath(".")) throw EKvError(QString("Cannot create the directory %1").arg(dir));
    const QString base = root.absolutePath() + "/";
    const QString database = base + options.company + ".db";
    QFile::remove(database);
    const bool ok =
        writeText(
            base + "registry.ini",
            QString(
                "; Launcher registry of the demo installation: point TARNIX_REGISTRY at this file.\n"
                "[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=%1\nServerPath=%1\nProfileType=0\n")
                .arg(base)) &&
        writeText(base + "StewardC.ini",
                  QString("[Client Components]\nLangType=%1\n\n[CodePage]\nUICodePage=%2\nDBCodePage=936\n\n"
                          "[Server Information]\nComputerName=127.0.0.1\nServerPort=211\nSupportCallBack=0\n")
                      .arg(langType, uiCodePage)) &&
        writeText(base + "StewardS.ini",
                  QString("[CodePage]\nUICodePage=%4\nDBCodePage=936\n\n[DBE Setting]\nMainAlias=Vantor\n"
                          "MainUserName=sa\nXXXXXX=%1\nMainDBType=MSSQL\nMainDBName=%2\nMainServerName=%3\n"
                          "MainConnectionTimeOut=30\nMainCommandTimeOut=3000\n")
                      .arg(EncodePassword(QString()), options.company, database, uiCodePage));
    if (!ok) throw EKvError(QString("Cannot write the settings files in %1").arg(dir));
    QString messageError;
    if (!tarnix::installMessageTable(base, &messageError)) throw EKvError(messageError);
    installLanguageFiles(base);
    installReportServer(base);
    TKvADOConnection connection;
    connection.SetConnectionString(sqliteConnectString(database, options.company));
    connection.Open();
    {
        // A new file that nobody else uses yet: keep the journal in memory and the pages in cache.
        QSqlQuery pragma(connection.database());
        pragma.exec("PRAGMA journal_mode=MEMORY");
        pragma.exec("PRAGMA synchronous=OFF");
        pragma.exec("PRAGMA cache_size=-262144");
    }
    schema::applyCompanySchema(connection);
    if (schemaOnly) return {};
    return generateCompany(connection, options);
}

} // namespace kv::demo
