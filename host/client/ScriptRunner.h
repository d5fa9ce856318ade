#pragma once
// Scripted runs of the client: one command per line, each driving the workbench's real widgets with
// synthesized mouse and key events. Commands live in one table; other units add theirs with
// RegisterScriptCommand (at start-up, from a static initialiser, or before RunScript).
#include <QString>
#include <QStringList>
#include <QtCore/qnamespace.h>
#include <functional>
#include <memory>

class QPoint;
class QRect;
class QWidget;
class TfrmKrta07SM;
class TMyGantItem;

class TScriptContext {
public:
    // The running workbench, or null before it opened and after it closed.
    TfrmKrta07SM* Workbench() const;
    // The workbench when it is open and shown; null with error set otherwise.
    TfrmKrta07SM* RequireWorkbench(QString& error) const;
    // True when row (0-based, in chart order) is a loaded line; false with error set otherwise.
    bool ValidRow(TfrmKrta07SM* workbench, int row, QString& error) const;
    // The bar of a loaded row; null with error set when there is none.
    TMyGantItem* RowBar(TfrmKrta07SM* workbench, int row, QString& error) const;
    // The same bar brought on screen in the schedule tab with a few days either side of it, as the
    // planner would with the scroll bar and the scaler, days of under 4 pixels zoomed in to 8; rect
    // is its rectangle in the chart area. Null with error set when there is no bar, the chart takes
    // no mouse (outside edit mode) or the bar stays off screen.
    TMyGantItem* ShowBar(TfrmKrta07SM* workbench, int row, QRect& rect, QString& error) const;
    // The point on the shown bar's top edge (above its day cells) nearest to x where a press reaches
    // the bar itself: another item drawn over it there, such as the red mark of the need date, would
    // take the press instead, as it would a planner's.
    QPoint BarPoint(TfrmKrta07SM* workbench, int row, const QRect& rect, int x) const;

    // The answer to the next message box: "ok", "yes", "no" or "cancel". A box takes it and the
    // answer falls back to "ok".
    QString Answer = QStringLiteral("ok");
    // With a file name: the next box is shown for real and saved as a picture over the workbench
    // before it is answered.
    QString AnswerPicture;
    // The arguments that open this session's installation, company and database in a second client.
    QStringList ClientArguments;

    // One line on standard output.
    void Print(const QString& line) const;
    // A file name of the script, relative to the directory the client was started in.
    QString FilePath(const QString& name) const;

    // Helpers for commands: a click of the left button or a key on a widget, delivered as the
    // platform would, then the events it caused processed.
    void Click(QWidget* widget, const QPoint& pos) const;
    void Click(QWidget* widget) const;
    void DoubleClick(QWidget* widget, const QPoint& pos) const;
    void Key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const;
    void Type(QWidget* widget, const QString& text) const;
    // Runs the event loop until the condition holds or the time is up; true when it holds.
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) const;

    // Where the current command stands in the script, and its name (empty between commands).
    QString ScriptFile;
    int LineNo = 0;
    QString Command;
    // A failure noticed while events ran (a message box without the wanted button, say); the
    // runner reports it after the command.
    QString PendingError;
    // The text of the last error box answered (on one line): the reason of a session that then fails.
    QString LastError;
    // Set by the program: why the module's session has ended, or empty while it runs.
    std::function<QString()> SessionEnded;
    // The run was stopped by a window the script does not drive; its line on stderr is out.
    bool Aborted = false;
    // The one line on stderr of a failed run, with the script's file and line: status 1.
    int Fail(const QString& text) const;
};

// Watches a scripted run from before the module's session starts until the program ends: every
// message box is answered from context.Answer and printed as "message<TAB>TYPE<TAB>TEXT<TAB>ANSWER",
// and any other modal window that stays up for modalLimitMs (the commands drive theirs at once) is
// closed, reported on stderr and marks the run Aborted.
class TScriptWatch {
public:
    TScriptWatch(TScriptContext& context, int modalLimitMs);
    ~TScriptWatch();
    TScriptWatch(const TScriptWatch&) = delete;
    TScriptWatch& operator=(const TScriptWatch&) = delete;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Why a step failed that met the daily editor of the current line it was leaving (row, from 0):
// that line's day quantities do not add up.
QString LeftLineEditorError(int row);

// A command: true when it did its step; false with one line of error text otherwise.
using TScriptCommand = std::function<bool(TScriptContext& context, const QStringList& args, QString& error)>;

// Adds or replaces a command. Names are lower case.
void RegisterScriptCommand(const QString& name, TScriptCommand command);
// The names of all commands, sorted.
QStringList ScriptCommandNames();

// Runs a script under a TScriptWatch: waits for the workbench, then runs line after line (blank lines
// and lines starting with "#" are skipped). Returns 0, or 1 after one line on stderr for an unknown
// command, a failed step or a session that ended before the workbench opened (none more when the
// watch aborted the run). Closes the workbench when the script ends without "close".
int RunScript(const QString& fileName, TScriptContext& context);
