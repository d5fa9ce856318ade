#pragma once
// Shared set-up of the workbench tests: a small company written on SQLite or on the test program's
// PostgreSQL server, a workbench on it, and an answerer for modal message boxes and dialogs.
//
// The company (database name DEMO, date format 1 with "/"), factory F1, demand source "1"; every line
// has work order type 5101 and day quantities that add up to its production quantity TB026:
//   row  type doc          line node    item res  TB013..TB014          TB026  days (quantity)
//   0    5101 20260100001  0001 01      A    R1   20260110..20260112    60     10:20 11:20 12:20
//   1    5101 20260100001  0001 0101    B    R2   20260106..20260111    30     06:10 08:10 11:10
//   2    5101 20260100001  0001 010101  B    R2   20260104..20260107    8      04:4  07:4
//   3    5101 20260100001  0001 02      B    R2   20260110..20260110    5      10:5
//   4    5101 D'2          0001 01      C    R1   20260105..20260106    10     05:4  06:6   (TB028 "S")
//   5    5101 D'2          0002 01      D    R3   20260108..20260109    6      08:3  09:3
//   6    5101 D'2          0002 0101    D    R3   20260104..20260106    4      04:2  06:2
//   7/8  5101 D'2          0003 01      D    R3   20260107..20260108    4      07:2  08:2
//   8/7  5102 D'2          0003 01      D    R3   20260107..20260108    6      07:3  08:3
// (the last two lines differ only in their type, so their order in the chart is the database's).
// Factory F2 has one line without dates. MPSTB rows carry FLAG 3; the load MPSTD has R1 20260110
// (FLAG 5), R2 20260106 (FLAG 999) and R9 20260120 (FLAG 0); MPSTF holds an old plan row of line
// 0101 on R2 and a work order row on R1.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <ostream>

class QWidget;
class TKvADOConnection;
class TfrmKrta07SM;

// Texts in test failures as texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace wbtest {

void exec(TKvADOConnection& connection, const QString& sql);
// The rows of a SELECT, each row its values joined by "|" (texts trimmed, numbers as read).
QStringList rows(TKvADOConnection& connection, const QString& sql);

void fillCompany(TKvADOConnection& connection);
// Schema and the small company in dir/c.db; the launcher's connection string.
QString sqliteCompany(const QString& dir);
// The same in a new database of the shared PostgreSQL server. Empty when PostgreSQL is not
// installed; raises EKvError when it is installed but does not run.
QString pgCompany(const QString& prefix);

// The engines a test runs on, named as its instances are.
enum class Engine { SQLite, PostgreSQL };
inline const char* engineName(Engine engine) {
    return engine == Engine::SQLite ? "SQLite" : "PostgreSQL";
}
// The small company on the engine: sqliteCompany in dir or pgCompany with prefix.
inline QString companyOn(Engine engine, const QString& dir, const QString& prefix) {
    return engine == Engine::PostgreSQL ? pgCompany(prefix) : sqliteCompany(dir);
}

// Moves a factory's schedule by whole days: the lines' need, start and finish dates and their days.
void shiftFactoryDays(TKvADOConnection& connection, const QString& factory, int days);

// A workbench on the company (FDBName DEMO, FCompany DEMO), set up and sized; the caller owns it.
TfrmKrta07SM* createWorkbench(const QString& connectString, const QString& user = QStringLiteral("DS"));
// The query of a factory as the query button runs it after the dialog.
void query(TfrmKrta07SM* workbench, const QString& factory);

// Answers modal windows while it lives. A message box gets the next of the given answers (a
// QMessageBox::StandardButton), or its default/first button when none are left; its text is kept.
// Any other modal window goes to the dialog handler, called again until the window closes.
class ModalAnswerer {
public:
    explicit ModalAnswerer(QList<int> answers = {});
    ~ModalAnswerer();
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    void onDialog(std::function<void(QWidget* dialog)> handler);
    void addAnswer(int button);
    QStringList texts() const;

    struct State;

private:
    std::shared_ptr<State> FState;
};

} // namespace wbtest
