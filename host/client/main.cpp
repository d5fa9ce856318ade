// tarnix-client: loads a module plug-in the way the ERP client does, opens its main form for one session
// and waits until the form has gone.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <dlfcn.h>
#include <memory>
#include <optional>
#include <vector>

#include "controls/KvGuard.h"
#include "frame/DLLEntry.h"
#include "frame/DLLRPCtrller.h"
#include "host/client/ClientWindow.h"
#include "host/client/ScriptRunner.h"
#include "host/services/HostAutomation.h"
#include "platform/RegistryFile.h"

namespace {

enum ExitStatus { exitDone = 0, exitFailure = 1, exitUsage = 2, exitCancelled = 3 };

// One line on stderr, whatever line breaks the text carries.
int fail(const QString& text, int status = exitFailure) {
    QString line = text;
    line.replace("\r\n", " ").replace('\r', ' ').replace('\n', ' ');
    std::fprintf(stderr, "tarnix-client: %s\n", line.toLocal8Bit().constData());
    return status;
}

void out(const QString& text) {
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// The host's last line of defence: an exception that a handler let through would end the process
// in the event loop; it is reported where it stopped, and the program goes on.
class TClientApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override {
        // The class is noted first: the receiver may be gone once its handler has failed.
        const char* receiverClass = receiver ? receiver->metaObject()->className() : nullptr;
        try {
            return QApplication::notify(receiver, e);
        } catch (...) {
            KvReportException(KvEventPlace(receiverClass, e), std::current_exception());
            return false;
        }
    }
};

struct Options {
    QString install;
    QString plugin;
    QString user;
    QString company;
    QString database;
    QString extra;
    int productId = 1;
    int autoCloseMs = -1;
    QString screenshot;
    QString script;
    int modalLimitMs = 10000;
    bool modal = false;
    bool trace = false;
};

// The module's window on screen: the form itself, or the window it handed over to while it hides.
QWidget* moduleWindow(TDLLBaseController& ctrl) {
    QWidget* form = QWidget::find(WId(ctrl.GetHandle()));
    if (!form || form->isVisible()) return form;
    // Windows it owns (isAncestorOf stops at window borders).
    const auto ownedByForm = [form](QWidget* w) {
        for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
            if (p == form) return true;
        return false;
    };
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && ownedByForm(w)) return w;
    return form;
}

// Grabs the part of the screen that holds the host window and the form; where the platform cannot grab
// the screen or the windows do not fit on it, the two windows are drawn side by side.
bool saveScreenshot(const QString& fileName, QWidget* hostWindow, QWidget* form) {
    QPixmap shot;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = hostWindow->frameGeometry();
        if (form) area |= form->frameGeometry();
        area = area.adjusted(-8, -8, 8, 8);
        // Windows beyond the screen's edge (a small virtual screen) are drawn instead.
        if (screen->geometry().contains(area))
            shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    }
    if (shot.isNull()) {
        const QPixmap a = hostWindow->grab();
        const QPixmap b = form ? form->grab() : QPixmap();
        shot = QPixmap(a.width() + b.width() + 16, std::max(a.height(), b.height()) + 16);
        shot.fill(Qt::darkGray);
        QPainter p(&shot);
        p.drawPixmap(8, 8, a);
        p.drawPixmap(a.width() + 8, 8, b);
    }
    return shot.save(fileName, "PNG");
}

int run(const Options& o) {
    // Declared before the controller: freeing the controller may still raise notifications that use them.
    TClientWindow window;
    QEventLoop loop;

    // A script drives the module built into this program (the same code as the plug-in), so that its
    // commands reach the workbench's objects; the plug-in's file name still gives the program code.
    const bool inProcess = !o.script.isEmpty();
    TGetController getController = &GetController;
    TGetControllerError getError = &GetControllerError;
    if (!inProcess) {
        void* library = dlopen(QFile::encodeName(o.plugin).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return fail(QString("cannot load the plug-in: %1").arg(QString::fromLocal8Bit(dlerror())));
        // The library stays loaded until the process ends: forms it created may still be waiting to be
        // deleted.
        getController = reinterpret_cast<TGetController>(dlsym(library, "GetController"));
        if (!getController) return fail(QString("%1 does not export GetController").arg(o.plugin));
        getError = reinterpret_cast<TGetControllerError>(dlsym(library, "GetControllerError"));
    }

    std::unique_ptr<TDLLBaseController> ctrl(getController());
    if (!ctrl)
        return fail(QString("GetController failed: %1")
                        .arg(getError ? QString::fromUtf8(getError()) : QString("no controller returned")));

    // Messages come from the installation's table; the built-in copy stands in when it has none, and for
    // the messages it lacks.
    std::optional<tarnix::TMessageTable> messages;
    if (!o.install.isEmpty()) {
        const QString table = tarnix::messageTableFileName(o.install);
        QString why;
        messages = tarnix::TMessageTable::fromFile(table, nullptr, &why);
        if (!messages && QFileInfo::exists(table))
            fail(QString("warning: the message table %1 cannot be read (%2); using the built-in one")
                     .arg(QDir::toNativeSeparators(table), why));
        else if (!messages)
            fail(QString("warning: %1 has no message table; using the built-in one")
                     .arg(QDir::toNativeSeparators(o.install)));
    }
    if (!messages)
        messages = tarnix::TMessageTable::shipped();
    else
        messages->addMissing(tarnix::TMessageTable::shipped());
    tarnix::THostSettings settings;
    settings.ProductID = o.productId;
    settings.UICodePage = tarnix::installationUICodePage(o.install);
    auto host = std::make_shared<tarnix::THostAutomation>(std::move(*messages), settings);

    window.setSession(o.plugin, o.user, o.company, o.database);
    window.move(40, 40);
    window.show();

    bool screenshotTaken = false;
    ctrl->HostApp = kv::Variant(std::static_pointer_cast<kv::Dispatch>(host));
    ctrl->OnNotify = [&](int32_t code, TDLLBaseController* sender) {
        window.log(QString("notification %1").arg(code));
        if (o.trace) out(QString("notify %1").arg(code));
        if (code == dnFormCreated && inProcess)
            if (auto* rp = dynamic_cast<TDLLRPCtrller*>(sender); rp && rp->Form)
                rp->Form->SetModulePath(o.plugin);
        if (code == dnFormShow && !o.screenshot.isEmpty() && !screenshotTaken) {
            screenshotTaken = true;
            // Let the form paint first, and hand over to its window when it does so.
            auto* wait = new QTimer(&window);
            auto* clock = new QElapsedTimer;
            clock->start();
            QObject::connect(wait, &QTimer::timeout, &window, [&o, &window, sender, wait, clock] {
                QWidget* shown = moduleWindow(*sender);
                if (shown && !shown->isVisible() && clock->elapsed() < 5000) return;
                wait->stop();
                wait->deleteLater();
                delete clock;
                if (!saveScreenshot(o.screenshot, &window, shown))
                    fail(QString("cannot write the screenshot %1").arg(o.screenshot));
            });
            wait->start(300);
        }
        if (code == dnFormDestroy) loop.quit();
    };
    QObject::connect(&window, &TClientWindow::closing, &window, [&ctrl] { ctrl->FreeForm(); });

    // A session that failed tells why in its outcome.
    const auto failureReason = [&ctrl]() -> QString {
        if (ctrl->ResultCode != -1) return {};
        const QString why = kv::varToStr(ctrl->ResultData).trimmed();
        return why.isEmpty() ? QString("the module ended its session after a failure") : why;
    };
    // A script's boxes are answered from the start: the session's own start may show some.
    TScriptContext context;
    context.ScriptFile = o.script;
    context.ClientArguments = {"--company", o.company, "--database", o.database};
    if (!o.install.isEmpty()) context.ClientArguments << "--install" << o.install;
    context.SessionEnded = [&ctrl, &failureReason]() -> QString {
        if (!ctrl->IsFormFreed()) return {};
        const QString why = failureReason();
        return why.isEmpty() ? QString("the module's form closed") : why;
    };
    std::optional<TScriptWatch> watch;
    if (inProcess) watch.emplace(context, o.modalLimitMs);

    const kv::Variant params =
        kv::Variant::arrayOf({o.user, o.company, o.database, int(uint32_t(window.winId())), o.extra});
    int32_t opened = -1;
    QString openError;
    try {
        opened = ctrl->OpenForm(params);
    } catch (const std::exception& e) {
        openError = QString("OpenForm failed: %1").arg(QString::fromUtf8(e.what()));
    }
    if (opened != 0) {
        // The form goes while the script's watch still answers whatever box its end may show.
        ctrl.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (context.Aborted) return exitFailure;
        if (!openError.isEmpty()) return fail(openError);
        // The session told why in a box; the line on stderr gives the same reason.
        return fail(QString("OpenForm answered %1: %2")
                        .arg(opened)
                        .arg(context.LastError.isEmpty() ? QString("the module could not open its form")
                                                         : context.LastError));
    }
    if (context.Aborted) return exitFailure;

    if (o.trace) {
        out("registry=" + kv::registryFileName());
        kv::Variant info;
        if (ctrl->GetSessionInfo(info) == 0 && info.isArray()) {
            QStringList fields;
            for (int i = info.lowBound(); i <= info.highBound(); ++i)
                fields << kv::varToStr(info.at(i));
            out("session=" + fields.join(';'));
        }
    }
    if (o.autoCloseMs >= 0) {
        // Closes the form as its close box would; FreeForm when the window cannot be found.
        QTimer::singleShot(o.autoCloseMs, &window, [&ctrl] {
            if (QWidget* form = moduleWindow(*ctrl))
                form->close();
            else
                ctrl->FreeForm();
        });
    }
    if (o.modal) {
        const kv::Variant modalResult = ctrl->ShowModalForm();
        out(QString("ModalResult=%1").arg(kv::varToStr(modalResult)));
    } else {
        ctrl->SetVisible(kv::VARIANT_TRUE);
    }
    int scriptStatus = 0;
    if (inProcess)
        QTimer::singleShot(0, &window, [&] {
            scriptStatus = RunScript(o.script, context);
            // A workbench that would not close (or a form that never handed over) must not keep the
            // program waiting.
            QTimer::singleShot(2000, &window, [&ctrl] {
                if (!ctrl->IsFormFreed()) ctrl->FreeForm();
            });
        });
    if (!ctrl->IsFormFreed()) loop.exec();
    const QString failure = failureReason();
    if (inProcess) {
        ctrl.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (scriptStatus != 0 || context.Aborted) return exitFailure;
        return failure.isEmpty() ? exitDone : fail(failure);
    }

    const int resultCode = ctrl->ResultCode;
    out(QString("ResultCode=%1").arg(resultCode));
    out(QString("ResultData=%1")
            .arg(ctrl->ResultData.isArray() ? ctrl->ResultData.debugText() : kv::varToStr(ctrl->ResultData)));
    ctrl.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!failure.isEmpty()) return fail(failure);
    return resultCode == 2 ? exitCancelled : exitDone;
}

// The offscreen platform reports on stderr what it cannot do with a window; that is no failure of ours
// and would bury the one line a failure prints.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("This plugin does not support")) return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(messageHandler);
    // Qt takes "-plugin" for itself; our --plugin is kept from it and read from the full argument list.
    QStringList arguments;
    std::vector<char*> qtArgv;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
        const QByteArray a(argv[i]);
        if (i > 0 && (a == "--plugin" || a == "-plugin")) {
            if (i + 1 < argc) arguments << QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (i > 0 && (a.startsWith("--plugin=") || a.startsWith("-plugin="))) continue;
        qtArgv.push_back(argv[i]);
    }
    // Help needs no screen; without one, anything else fails with one clear line instead of Qt's abort.
    const bool wantsHelp =
        arguments.contains("--help") || arguments.contains("-h") || arguments.contains("-?");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (wantsHelp)
            qputenv("QT_QPA_PLATFORM", "offscreen");
        else if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            return fail("no display: set DISPLAY, run under xvfb-run, or set QT_QPA_PLATFORM=offscreen",
                        exitFailure);
    }
    int qtArgc = int(qtArgv.size());
    qtArgv.push_back(nullptr);
    TClientApplication app(qtArgc, qtArgv.data());
    QApplication::setApplicationName("tarnix-client");
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Loads a module plug-in, opens its main form with the session parameters [user, company, database,\n"
        "host window, extra] and waits until the form has closed.\n"
        "\n"
        "Environment:\n"
        "  TARNIX_INSTALL   installation directory when --install is not given\n"
        "  TARNIX_REGISTRY  registry file; --install sets it to DIR/registry.ini unless it is set\n"
        "  TARNIX_ACP       system code page (936, 950 or 437)\n"
        "\n"
        "Prints ResultCode=N and ResultData=TEXT when the form has gone. Exit status: 0 the form closed\n"
        "(nothing done or a job accepted), 3 the user cancelled, 1 a failure (one line on stderr),\n"
        "2 a wrong command line.");
    parser.addHelpOption();
    const QCommandLineOption installOpt(
        "install",
        "Installation directory: registry.ini, StewardC.ini and StewardS.ini, Messages.txt and the "
        "language files. Default: $TARNIX_INSTALL.",
        "DIR");
    const QCommandLineOption pluginOpt(
        "plugin", "The plug-in to load. Default: KRTA07C.so next to this program.", "PATH");
    const QCommandLineOption userOpt("user", "User code. Default: DS.", "CODE", "DS");
    const QCommandLineOption companyOpt("company", "Company code. Default: DEMO.", "CODE", "DEMO");
    const QCommandLineOption databaseOpt("database", "Company database name. Default: DEMO.", "NAME", "DEMO");
    const QCommandLineOption extraOpt("extra", "The fifth session parameter. Default: empty.", "TEXT", "");
    const QCommandLineOption productOpt(
        "product-id", "ProductID the host reports (5: popular edition). Default: 1.", "N", "1");
    const QCommandLineOption modalOpt("modal",
                                      "Show the form modally (ShowModalForm) instead of SetVisible.");
    const QCommandLineOption autoCloseOpt("auto-close",
                                          "Close the form MS milliseconds after it was shown (tests).", "MS");
    const QCommandLineOption screenshotOpt("screenshot", "Save a PNG of the screen once the form is shown.",
                                           "FILE");
    const QCommandLineOption scriptOpt(
        "script",
        "Run the commands of FILE on the workbench, one per line: query FACTORY [RESOURCE|-] "
        "[SOURCEDOC|-], select ROW, tab schedule|capacity, answer ok|yes|no|cancel, shot FILE.png, dump, "
        "close. Message boxes are answered and printed as message<TAB>TYPE<TAB>TEXT<TAB>ANSWER. The module "
        "built into this program runs; --plugin only names it. Exit status 1 with one line on stderr for "
        "an unknown command or a failed step, and also when a window other than a message box stays open "
        "longer than --modal-limit without a command driving it.",
        "FILE");
    const QCommandLineOption modalLimitOpt(
        "modal-limit",
        "With --script: how long a window other than a message box may stay open while no command drives "
        "it before the run ends (status 1). Default: 10.",
        "SECONDS", "10");
    const QCommandLineOption traceOpt(
        "trace", "Print the session the form took and every notification of the module on stdout.");
    parser.addOptions({installOpt, pluginOpt, userOpt, companyOpt, databaseOpt, extraOpt, productOpt,
                       modalOpt, autoCloseOpt, screenshotOpt, scriptOpt, modalLimitOpt, traceOpt});
    if (!parser.parse(arguments)) return fail(parser.errorText() + " (see --help)", exitUsage);
    if (parser.isSet("help")) parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return fail(QString("unexpected argument %1 (see --help)").arg(parser.positionalArguments().first()),
                    exitUsage);

    Options o;
    o.install = parser.isSet(installOpt) ? parser.value(installOpt) : qEnvironmentVariable("TARNIX_INSTALL");
    o.plugin = parser.isSet(pluginOpt) ? parser.value(pluginOpt)
                                       : QDir(QCoreApplication::applicationDirPath()).filePath("KRTA07C.so");
    o.user = parser.value(userOpt);
    // Every row a planner saves carries the user code, and a refused save names whose rows came first.
    if (o.user.trimmed().isEmpty()) return fail("--user takes a user code, not an empty one", exitUsage);
    o.company = parser.value(companyOpt);
    o.database = parser.value(databaseOpt);
    o.extra = parser.value(extraOpt);
    o.modal = parser.isSet(modalOpt);
    o.trace = parser.isSet(traceOpt);
    o.screenshot = parser.value(screenshotOpt);
    o.script = parser.value(scriptOpt);
    if (!o.script.isEmpty() && o.modal) return fail("--script and --modal do not go together", exitUsage);
    if (!o.script.isEmpty() && !QFileInfo(o.script).isFile())
        return fail(QString("the script %1 does not exist").arg(o.script));
    bool ok = true;
    o.productId = parser.value(productOpt).toInt(&ok);
    if (!ok) return fail("--product-id takes a number", exitUsage);
    const double modalLimit = parser.value(modalLimitOpt).toDouble(&ok);
    if (!ok || modalLimit <= 0 || modalLimit > 3600)
        return fail("--modal-limit takes a number of seconds (up to 3600)", exitUsage);
    o.modalLimitMs = int(modalLimit * 1000);
    if (parser.isSet(autoCloseOpt)) {
        o.autoCloseMs = parser.value(autoCloseOpt).toInt(&ok);
        if (!ok || o.autoCloseMs < 0) return fail("--auto-close takes a number of milliseconds", exitUsage);
    }

    if (!o.install.isEmpty()) {
        if (!QFileInfo(o.install).isDir())
            return fail(QString("the installation directory %1 does not exist").arg(o.install));
        o.install = QFileInfo(o.install).absoluteFilePath();
        if (!qEnvironmentVariableIsSet(kv::kRegistryEnv))
            qputenv(kv::kRegistryEnv, QFile::encodeName(QDir(o.install).filePath("registry.ini")));
    }
    // dlopen searches the library path for a bare name; a name given on the command line means a file.
    if (!o.plugin.contains('/')) o.plugin = QFileInfo(o.plugin).absoluteFilePath();
    return run(o);
}
