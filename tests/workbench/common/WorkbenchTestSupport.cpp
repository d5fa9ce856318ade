#include "WorkbenchTestSupport.h"

#include <QApplication>
#include <QDate>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>

#include "common/PgServer.h"
#include "frame/KvADO.h"
#include "host/schema/CompanySchema.h"
#include "platform/KvError.h"
#include "workbench/Krta07SMF.h"

namespace wbtest {

void exec(TKvADOConnection& connection, const QString& sql) {
    TKvADOQuery q;
    q.SetConnection(&connection);
    q.SetSQL(sql);
    q.ExecSQL();
}

QStringList rows(TKvADOConnection& connection, const QString& sql) {
    TKvADOQuery q;
    q.SetConnection(&connection);
    q.SetSQL(sql);
    q.Open();
    QStringList out;
    for (int r = 0; r < q.RecordCount(); ++r) {
        QStringList values;
        for (int c = 0; c < q.FieldCount(); ++c) {
            const QVariant v = q.valueAt(r, c);
            values << (q.Fields(c).isNumeric() ? QString::number(v.toDouble(), 'g', 15)
                                               : v.toString().trimmed());
        }
        out << values.join(QLatin1Char('|'));
    }
    return out;
}

void fillCompany(TKvADOConnection& c) {
    exec(c, "INSERT INTO DEMO..CMSMA (MA001, MA002, MA055) VALUES ('1', '/', '1')");
    exec(c, "INSERT INTO DEMO..CMSMB (MB001, MB002) VALUES ('F1', 'Plant one'), ('F2', 'Plant two')");
    exec(c, "INSERT INTO DEMO..CMSMD (MD001, MD002, MD003) VALUES ('WC1', 'Line one', 'F1'), "
            "('WC2', 'Line two', 'F1')");
    exec(c, "INSERT INTO DEMO..CMSMQ (MQ001, MQ002, MQ003, MQ017) VALUES ('5101', 'Work order', '51', '1'), "
            "('5102', 'Outsourced order', '52', '2')");
    exec(c, "INSERT INTO DEMO..PURMA (MA001, MA002, MA016) VALUES ('S1', 'Supplier one', '1'), "
            "('S2', 'Supplier pending', '2'), ('S3', 'Supplier barred', '3')");
    exec(c, "INSERT INTO DEMO..INVMB (MB001, MB002, MB003, MB025) VALUES ('A', 'Product A', 'size A', 'M'), "
            "('B', 'Part B', 'size B', 'M'), ('C', 'Part C', 'size C', 'P'), ('D', 'Part D', 'size D', 'M')");
    exec(c, "INSERT INTO DEMO..MPSMB (MB001, MB002, MB006) VALUES ('R1','Press','HR'), ('R2','Lathe','PCS'), "
            "('R3','Oven','KG')");
    exec(c, "INSERT INTO DEMO..MPSMC (MC001, MC002, MC004, MC005) VALUES ('A','R1',2,10), ('A','R2',2,10), "
            "('B','R2',1,1), ('B','R3',4,0), ('C','R1',1,1), ('D','R3',1,1)");
    struct Line {
        const char *factory, *doc, *node, *item, *res, *start, *stop, *tb028;
        double quantity;
        const char *type = "5101", *seq = "0001";
    };
    const Line lines[] = {
        {"F1", "20260100001", "01", "A", "R1", "20260110", "20260112", "", 60},
        {"F1", "20260100001", "0101", "B", "R2", "20260106", "20260111", "", 30},
        {"F1", "20260100001", "010101", "B", "R2", "20260104", "20260107", "", 8},
        {"F1", "20260100001", "02", "B", "R2", "20260110", "20260110", "", 5},
        {"F1", "D''2", "01", "C", "R1", "20260105", "20260106", "S", 10},
        // Another source line of the same document with the same node paths, and two lines that
        // differ only in their source document type.
        {"F1", "D''2", "01", "D", "R3", "20260108", "20260109", "", 6, "5101", "0002"},
        {"F1", "D''2", "0101", "D", "R3", "20260104", "20260106", "", 4, "5101", "0002"},
        {"F1", "D''2", "01", "D", "R3", "20260107", "20260108", "", 4, "5101", "0003"},
        {"F1", "D''2", "01", "D", "R3", "20260107", "20260108", "", 6, "5102", "0003"},
        {"F2", "20260100009", "01", "C", "R1", "", "", "", 0},
    };
    for (const Line& l : lines)
        exec(c,
             QString("INSERT INTO DEMO..MPSTB (TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB046,TB036,"
                     "TB013,TB014,TB010,TB028,TB038,TB026,TB008,TB042,FLAG) VALUES ('%1','1','1','%10','%2',"
                     "'%11','%3','%4','A','%5','%6','%7','20260115','%8','N',%9,%9,'5101',3)")
                 .arg(l.factory, l.doc, l.node, l.item, l.res, l.start, l.stop, l.tb028)
                 .arg(l.quantity)
                 .arg(l.type, l.seq));
    auto day = [&c](const char* doc, const char* node, const char* d, double q, const char* type = "5101",
                    const char* seq = "0001") {
        exec(c,
             QString("INSERT INTO DEMO..MPSTC (TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008,FLAG) "
                     "VALUES ('F1','1','%5','%1','%6','%2','%3',%4,'r',2)")
                 .arg(doc, node, d)
                 .arg(q)
                 .arg(type, seq));
    };
    day("20260100001", "01", "20260110", 20);
    day("20260100001", "01", "20260111", 20);
    day("20260100001", "01", "20260112", 20);
    day("20260100001", "0101", "20260106", 10);
    day("20260100001", "0101", "20260108", 10);
    day("20260100001", "0101", "20260111", 10);
    day("20260100001", "010101", "20260104", 4);
    day("20260100001", "010101", "20260107", 4);
    day("20260100001", "02", "20260110", 5);
    day("D''2", "01", "20260105", 4);
    day("D''2", "01", "20260106", 6);
    day("D''2", "01", "20260108", 3, "5101", "0002");
    day("D''2", "01", "20260109", 3, "5101", "0002");
    day("D''2", "0101", "20260104", 2, "5101", "0002");
    day("D''2", "0101", "20260106", 2, "5101", "0002");
    day("D''2", "01", "20260107", 2, "5101", "0003");
    day("D''2", "01", "20260108", 2, "5101", "0003");
    day("D''2", "01", "20260107", 3, "5102", "0003");
    day("D''2", "01", "20260108", 3, "5102", "0003");
    exec(c, "INSERT INTO DEMO..MPSTD (TD001,TD002,TD003,TD004,TD005,TD006,TD007,TD008,FLAG) VALUES "
            "('R1','20260110',100,7,99,3,99,'x',5), ('R2','20260106',80,1,99,2,99,'',999), "
            "('R9','20260120',5,0,0,0,0,'',0)");
    exec(c,
         "INSERT INTO DEMO..MPSTF (TF001,TF002,TF003,TF004,TF011,TF005,TF006,TF007,TF008,TF009,TF010) VALUES "
         "('R2','20260101','2','1','5101','20260100001','0001','0101',77,0,''), "
         "('R1','20260110','1','0','5101','WO1','0001','',5,0,'work order')");
}

void shiftFactoryDays(TKvADOConnection& c, const QString& factory, int days) {
    auto shifted = [days](const QString& yyyymmdd) {
        const QDate d = QDate::fromString(yyyymmdd, "yyyyMMdd");
        return d.isValid() ? d.addDays(days).toString("yyyyMMdd") : yyyymmdd;
    };
    auto quoted = [](QString s) { return "'" + s.replace("'", "''") + "'"; };
    const QString f = quoted(factory);
    for (const QString& row :
         rows(c, "SELECT TB003, TB051, TB004, TB005, TB037, TB010, TB013, TB014 FROM DEMO..MPSTB WHERE TB001 = " + f)) {
        const QStringList v = row.split('|');
        exec(c, QString("UPDATE DEMO..MPSTB SET TB010 = %1, TB013 = %2, TB014 = %3 WHERE TB001 = %4 AND TB003 = %5 "
                        "AND TB051 = %6 AND TB004 = %7 AND TB005 = %8 AND TB037 = %9")
                    .arg(quoted(shifted(v[5])), quoted(shifted(v[6])), quoted(shifted(v[7])), f, quoted(v[0]),
                         quoted(v[1]), quoted(v[2]), quoted(v[3]), quoted(v[4])));
    }
    for (const QString& row :
         rows(c, "SELECT TC002, TC009, TC003, TC004, TC005, TC006 FROM DEMO..MPSTC WHERE TC001 = " + f)) {
        const QStringList v = row.split('|');
        exec(c, QString("UPDATE DEMO..MPSTC SET TC006 = %1 WHERE TC001 = %2 AND TC002 = %3 AND TC009 = %4 AND TC003 "
                        "= %5 AND TC004 = %6 AND TC005 = %7 AND TC006 = %8")
                    .arg(quoted(shifted(v[5])), f, quoted(v[0]), quoted(v[1]), quoted(v[2]), quoted(v[3]),
                         quoted(v[4]), quoted(v[5])));
    }
}

QString sqliteCompany(const QString& dir) {
    const QString cs =
        "Provider=SQLOLEDB.1;Password=;User ID=sa;Initial Catalog=DEMO;Data Source=" + dir + "/c.db";
    TKvADOConnection c;
    c.SetConnectionString(cs);
    c.Open();
    kv::schema::applyCompanySchema(c);
    fillCompany(c);
    return cs;
}

QString pgCompany(const QString& prefix) {
    auto& pg = testsupport::PgServer::shared();
    if (!pg.installed()) return {};
    if (!pg.available()) throw EKvError(pg.error().toStdString());
    const QString cs = pg.connectString(pg.createDatabase(prefix));
    TKvADOConnection c;
    c.SetConnectionString(cs);
    c.Open();
    kv::schema::applyCompanySchema(c);
    fillCompany(c);
    return cs;
}

TfrmKrta07SM* createWorkbench(const QString& connectString, const QString& user) {
    auto* wb = new TfrmKrta07SM(nullptr, connectString);
    wb->SetDBName(QStringLiteral("DEMO"));
    wb->SetUserID(user);
    wb->SetCompany(QStringLiteral("DEMO"));
    wb->InitWorkbench();
    wb->resize(1100, 760);
    return wb;
}

void query(TfrmKrta07SM* wb, const QString& factory) {
    wb->SetQueryConditions({factory, {}, {}, {}, {}});
    wb->LoadSchedule(factory);
    wb->RecomputeAllConsumption();
    wb->UpdateToolState();
}

struct ModalAnswerer::State {
    QList<int> answers;
    QStringList texts;
    std::function<void(QWidget*)> dialog;
    QPointer<QWidget> handled;
    bool stopped = false;
};

namespace {

void poll(const std::shared_ptr<ModalAnswerer::State>& state) {
    QTimer::singleShot(5, [state] {
        if (state->stopped) return;
        // Armed first: a handler that provokes a message box of its own waits inside this tick.
        poll(state);
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            state->texts << box->text();
            QAbstractButton* button = nullptr;
            if (!state->answers.isEmpty())
                button = box->button(QMessageBox::StandardButton(state->answers.takeFirst()));
            if (!button) button = box->defaultButton();
            if (!button && !box->buttons().isEmpty()) button = box->buttons().first();
            if (button)
                button->click();
            else
                box->done(QMessageBox::Ok);
        } else if (modal && state->dialog && state->handled != modal) {
            state->handled = modal;
            state->dialog(modal);
        }
    });
}

} // namespace

ModalAnswerer::ModalAnswerer(QList<int> answers) : FState(std::make_shared<State>()) {
    FState->answers = std::move(answers);
    poll(FState);
}

ModalAnswerer::~ModalAnswerer() {
    FState->stopped = true;
}

void ModalAnswerer::onDialog(std::function<void(QWidget*)> handler) {
    FState->dialog = std::move(handler);
    FState->handled = nullptr;
}

void ModalAnswerer::addAnswer(int button) {
    FState->answers << button;
}

QStringList ModalAnswerer::texts() const {
    return FState->texts;
}

} // namespace wbtest
