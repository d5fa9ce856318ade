#include "controls/KvGuard.h"

#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <cstdio>

#include "controls/KvMsgDlg.h"
#include "platform/data/ClientDataSet.h"
#include "support/StewardINI.h"

QString KvExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what()).trimmed();
        return text.isEmpty() ? QStringLiteral("an error without a message") : text;
    } catch (...) {
        return QStringLiteral("an error of an unknown kind");
    }
}

void KvReportException(const QString& where, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const kv::EAbort&) {
        return; // a refused value was already explained
    } catch (...) {
    }
    static int reporting = 0;
    const QString text = KvExceptionText(error);
    const QString line = where.isEmpty() ? text : where + QStringLiteral(": ") + text;
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

QString KvEventPlace(const char* receiverClass, const QEvent* event) {
    return QStringLiteral("event %1 for %2")
        .arg(event ? int(event->type()) : 0)
        .arg(QString::fromLatin1(receiverClass ? receiverClass : "an object"));
}

void KvRunModalLoop(QEventLoop& loop, const std::function<bool()>& done) {
    while (!done()) {
        try {
            loop.exec(QEventLoop::DialogExec);
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

int KvExecDialog(QDialog& dialog) {
    if (dialog.windowModality() == Qt::NonModal) dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setResult(0);
    QPointer<QDialog> alive(&dialog);
    QEventLoop loop;
    THideQuits hides(loop);
    dialog.installEventFilter(&hides);
    QObject::connect(&dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    dialog.show();
    KvRunModalLoop(loop, [&alive] { return alive.isNull() || !alive->isVisible(); });
    if (!alive) return QDialog::Rejected;
    dialog.removeEventFilter(&hides);
    return dialog.result();
}
