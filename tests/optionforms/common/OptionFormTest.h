#pragma once
// What the option form tests share: a demo installation the launcher settings point at, a helper that
// answers message boxes, and one that acts inside a modal window.
#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QDialog>
#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "common/TestSupport.h"
#include "host/demo/DemoCompany.h"
#include "host/services/LookupWindow.h"
#include "platform/ole/Dispatch.h"

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace optiontest {

// A demo installation in a temporary directory; the registry stand-in points at it while it lives.
class DemoInstallation {
public:
    explicit DemoInstallation(int lines = 2) {
        kv::demo::DemoOptions options;
        options.lines = lines;
        kv::demo::writeDemoInstallation(FDir.path(), options);
        FEnv = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                        (FDir.path() + "/registry.ini").toUtf8());
    }
    QString path() const { return FDir.path(); }
    // The client settings with one application server.
    void setServer(const QString& address, int port) const {
        testsupport::writeFile(FDir.path() + "/StewardC.ini",
                               QString("[CodePage]\nUICodePage=936\nDBCodePage=936\n\n[Server Information]\n"
                                       "ComputerName=%1\nServerPort=%2\n")
                                   .arg(address)
                                   .arg(port)
                                   .toUtf8());
    }

private:
    QTemporaryDir FDir;
    std::unique_ptr<testsupport::ScopedEnv> FEnv;
};

// Answers every message box while it lives, with Yes where the box offers it (else OK), and keeps
// their texts.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Yes)
        : FState(std::make_shared<State>()) {
        FState->answer = answer;
        poll(FState);
    }
    ~BoxAnswerer() { FState->stopped = true; }
    const QStringList& texts() const { return FState->texts; }
    void setAnswer(QMessageBox::StandardButton answer) { FState->answer = answer; }

private:
    struct State {
        QStringList texts;
        QMessageBox::StandardButton answer = QMessageBox::Yes;
        bool stopped = false;
    };
    static void poll(std::shared_ptr<State> state) {
        QTimer::singleShot(5, [state] {
            if (state->stopped) return;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                state->texts << box->text();
                if (QAbstractButton* b = box->button(state->answer))
                    b->click();
                else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->done(QMessageBox::Ok);
            }
            poll(state);
        });
    }
    std::shared_ptr<State> FState;
};

// An application server whose named members answer as a test says; the others go to the real one.
class ServerStandIn : public kv::Dispatch {
public:
    using Answer = std::function<kv::Variant(kv::VariantArgs&)>;
    explicit ServerStandIn(kv::DispatchPtr server) : FServer(std::move(server)) {}
    void answer(const QString& member, Answer a) { FAnswers.insert(member.toLower(), std::move(a)); }
    kv::Variant invoke(const QString& name, kv::VariantArgs& args) override {
        const auto it = FAnswers.constFind(name.toLower());
        return it != FAnswers.constEnd() ? (*it)(args) : FServer->invoke(name, args);
    }
    bool hasMember(const QString& name) const override {
        return FAnswers.contains(name.toLower()) || FServer->hasMember(name);
    }

private:
    kv::DispatchPtr FServer;
    QHash<QString, Answer> FAnswers;
};

// Runs the steps once the next modal window is up; a window the steps leave open fails the test
// (and is closed) instead of hanging it.
template <class F> void whileModal(F steps, int delay = 20) {
    QTimer::singleShot(delay, [steps] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr) << "no modal window";
        steps(modal);
        QTimer::singleShot(2000, [window = QPointer<QWidget>(modal)] {
            if (window && window->isVisible()) {
                ADD_FAILURE() << "the window stayed open";
                window->close();
            }
        });
    });
}

// Clicks a date button and picks the day in the host's date quick-pick it opens.
inline void pickDay(QAbstractButton* button, const QDate& day) {
    whileModal([day](QWidget* modal) {
        auto* picker = qobject_cast<tarnix::TDayPicker*>(modal);
        ASSERT_NE(picker, nullptr);
        picker->calendar()->setSelectedDate(day);
        picker->accept();
    });
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace optiontest
