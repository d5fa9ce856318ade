#include "controls/KvGuard.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <cstdio>

#include "controls/KvMsgDlg.h"
#include "platform/data/ClientDataSet.h"
#include "support/StewardINI.h"

QString KvExceptionText(std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what()).trimmed();
        return text.isEmpty() ? QStringLiteral("an error without a message") : text;
    } catch (...) {
        return QStringLiteral("an error of an unknown kind");
    }
}

void KvReportException(const QString& Where, std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const kv::EAbort&) {
        return; // a refused value was already explained
    } catch (...) {
    }
    static int reporting = 0;
    const QString text = KvExceptionText(Error);
    const QString line = Where.isEmpty() ? text : Where + QStringLiteral(": ") + text;
    // Reporting must not fail in turn: a log that cannot be written still leaves the box.
    try {
        WriteAlertLog(line);
    } catch (...) {
    }
    if (reporting > 0) return;
    ++reporting;
    try {
        KvMessageDlg(text, mtError, mbOK);
    } catch (...) {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
    --reporting;
}

QString KvEventPlace(const char* ReceiverClass, const QEvent* Event) {
    return QStringLiteral("event %1 for %2")
        .arg(Event ? int(Event->type()) : 0)
        .arg(QString::fromLatin1(ReceiverClass ? ReceiverClass : "an object"));
}

void KvRunModalLoop(QEventLoop& Loop, const std::function<bool()>& Done) {
    while (!Done()) {
        try {
            Loop.exec(QEventLoop::DialogExec);
        } catch (...) {
            KvReportException(QStringLiteral("a modal window"), std::current_exception());
        }
    }
}

namespace {

// Ends the loop of a dialog however it goes away: done, accept, reject, the close box, hide().
class THideQuits : public QObject {
public:
    THideQuits(QEventLoop& loop) : FLoop(loop) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Hide) FLoop.quit();
        return QObject::eventFilter(watched, e);
    }

private:
    QEventLoop& FLoop;
};

} // namespace

int KvExecDialog(QDialog& Dialog) {
    if (Dialog.windowModality() == Qt::NonModal) Dialog.setWindowModality(Qt::ApplicationModal);
    Dialog.setResult(0);
    QPointer<QDialog> alive(&Dialog);
    QEventLoop loop;
    THideQuits hides(loop);
    Dialog.installEventFilter(&hides);
    QObject::connect(&Dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    Dialog.show();
    KvRunModalLoop(loop, [&alive] { return alive.isNull() || !alive->isVisible(); });
    if (!alive) return QDialog::Rejected;
    Dialog.removeEventFilter(&hides);
    return Dialog.result();
}
