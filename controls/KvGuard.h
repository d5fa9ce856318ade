#pragma once
// Where exceptions stop. An exception that reaches Qt's event loop ends the process, so event
// handlers, timers and modal loops catch everything at their edge and report it: a line in the alert
// log and an error box that says what failed and why. The silent abort of a refused value is no
// failure and is dropped without a word.
#include <QString>
#include <exception>
#include <functional>
#include <utility>

class QDialog;
class QEvent;
class QEventLoop;
class QObject;

// The message of an exception.
QString KvExceptionText(std::exception_ptr error);
// Reports an exception caught at a boundary; Where says what was running. While one report's box is
// up, further reports only go to the alert log, so that a handler failing on every paint cannot pile
// up boxes.
void KvReportException(const QString& where, std::exception_ptr error);
// What was running when an event failed, for a report: "event 12 for TfrmKrta07SM".
QString KvEventPlace(const char* receiverClass, const QEvent* event);

// Runs F; an exception leaving it is reported and the answer is false.
template <class Fn> bool KvGuard(const char* where, Fn&& f) {
    try {
        std::forward<Fn>(f)();
        return true;
    } catch (...) {
        KvReportException(QString::fromUtf8(where), std::current_exception());
        return false;
    }
}

// Runs a modal loop until Done holds. An exception that a handler inside it lets through is reported
// and the loop goes on: it must never unwind through the window that runs the loop, whose teardown
// would then touch the loop that is gone. The caller quits the loop when Done starts to hold.
void KvRunModalLoop(QEventLoop& loop, const std::function<bool()>& done);
// QDialog::exec on such a loop: shows the dialog application-modal and waits until it is hidden;
// its result.
int KvExecDialog(QDialog& dialog);
