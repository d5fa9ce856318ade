#pragma once
// A workstation for the language tests: launcher registry file and client settings with chosen code
// pages, and the system code page.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "common/TestSupport.h"
#include "platform/CodePage.h"

class Workstation {
public:
    Workstation(int systemCodePage, const QString& uiCodePage, const QString& dbCodePage = "936") {
        FDir.setAutoRemove(true);
        const QString install = FDir.path() + "/client/";
        testsupport::writeFile(
            FDir.path() + "/registry.ini",
            QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=%1\nServerPath=%1\n")
                .arg(install)
                .toUtf8());
        QString ini = "[Server Information]\nComputerName=127.0.0.1\n";
        if (!uiCodePage.isEmpty())
            ini += QStringLiteral("[CodePage]\nUICodePage=%1\nDBCodePage=%2\n").arg(uiCodePage, dbCodePage);
        testsupport::writeFile(install + "StewardC.ini", ini.toUtf8());
        testsupport::writeFile(install + "StewardS.ini", ini.toUtf8());
        FEnv = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                        (FDir.path() + "/registry.ini").toUtf8());
        kv::codepage::setSystemCodePageOverride(systemCodePage);
    }
    ~Workstation() { kv::codepage::setSystemCodePageOverride(0); }

    QString installPath() const { return FDir.path() + "/client/"; }

private:
    QTemporaryDir FDir;
    std::unique_ptr<testsupport::ScopedEnv> FEnv;
};

// Answers the next message box with its default button and keeps its text and caption.
class MessageBoxWatcher {
public:
    MessageBoxWatcher() : FState(std::make_shared<State>()) { poll(FState); }
    ~MessageBoxWatcher() { FState->stopped = true; }
    bool seen() const { return FState->seen; }
    QString text() const { return FState->text; }
    QString caption() const { return FState->caption; }
    QFont font() const { return FState->font; }
    // The captions of the box's buttons, in the order it shows them.
    QStringList buttons() const { return FState->buttons; }

private:
    struct State {
        QString text, caption;
        QFont font;
        QStringList buttons;
        bool seen = false, stopped = false;
    };
    static void poll(std::shared_ptr<State> state) {
        QTimer::singleShot(10, [state] {
            if (state->stopped || state->seen) return;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                state->text = box->text();
                state->caption = box->windowTitle();
                state->font = box->font();
                for (QAbstractButton* b : box->buttons())
                    state->buttons << b->text();
                state->seen = true;
                box->done(QMessageBox::Ok);
                return;
            }
            poll(state);
        });
    }
    std::shared_ptr<State> FState;
};
