// The main-form interface on its own: closing, freeing and modal showing.
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include "frame/DLLForm.h"

namespace {

class TfrmClosing : public TDLLForm {
public:
    using TDLLForm::TDLLForm;
    bool InitializeSession(const kv::Variant&) override { return true; }
    void RunRequest(const kv::Variant&) override {}
    TCloseAction action = caFree;

protected:
    void DoClose(TCloseAction& Action) override { Action = action; }
};

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(DLLFormTest, CloseActionDecidesWhatClosingDoes) {
    QPointer<TfrmClosing> form = new TfrmClosing;
    form->show();
    form->action = caNone;
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());

    form->action = caHide;
    EXPECT_TRUE(form->close());
    flushDeletes();
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(form->isVisible());

    form->show();
    form->action = caFree;
    int destroyed = 0;
    form->setOnDestroy({[&](QObject* sender) {
                            ++destroyed;
                            EXPECT_TRUE(static_cast<TDLLForm*>(sender)->isDestroying());
                        },
                        nullptr});
    EXPECT_TRUE(form->close());
    EXPECT_EQ(destroyed, 0);
    flushDeletes();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(destroyed, 1);
}

TEST(DLLFormTest, ModalShowRefusesACloseThatIsCancelled) {
    QPointer<TfrmClosing> form = new TfrmClosing;
    form->action = caNone;
    int attempts = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // The first two closes are refused and leave the form modal; then it may go.
        if (++attempts == 3) form->action = caHide;
        form->close();
    });
    timer.start(10);
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(attempts, 3);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    delete form;
}

TEST(DLLFormTest, FreeRaisesOnDestroyOnceWhileTheFormIsWhole) {
    auto* form = new TfrmClosing;
    form->setResultCode(7);
    int destroyed = 0;
    int resultSeen = 0;
    form->setOnDestroy({[&](QObject* sender) {
                            ++destroyed;
                            resultSeen = static_cast<TDLLForm*>(sender)->ResultCode();
                            static_cast<TDLLForm*>(sender)->Free(); // already being freed: nothing
                        },
                        nullptr});
    QPointer<TDLLForm> guard = form;
    form->Free();
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(resultSeen, 7);
}
