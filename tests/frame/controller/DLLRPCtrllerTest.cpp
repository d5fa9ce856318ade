// The controller driven the way the host drives it, with a small form registered as the main form class.
#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>

#include "frame/DLLEntry.h"
#include "frame/DLLRPCtrller.h"
#include "platform/ole/Dispatch.h"

namespace {

// What happened, in order: notifications as numbers, the form's own steps as words.
QStringList events;

class TfrmProbe : public TDLLForm {
public:
    explicit TfrmProbe(QWidget* Owner = nullptr) : TDLLForm(Owner) {
        FVersionText = "870401-0.00.00";
        // The form's own handlers, which the controller must keep calling.
        setOnShow({[](QObject*) { events << "own show"; }, this});
        setOnHide({[](QObject*) { events << "own hide"; }, this});
        setOnDestroy({[](QObject*) { events << "own destroy"; }, this});
    }

    bool InitializeSession(const kv::Variant& Params) override {
        events << "init";
        if (!FCompanyID.isEmpty()) return false;
        FUserID = Params.at(0).toString();
        FCompanyID = Params.at(1).toString();
        FProgramCode = "KRTA07";
        FProgramName = "主生产排程";
        return true;
    }

    void RunRequest(const kv::Variant& Request) override {
        if (throwOnRequest) throw EKvError("refused");
        requests.push_back(Request);
    }

    using TDLLForm::FResultCode;
    using TDLLForm::FResultData;
    std::vector<kv::Variant> requests;
    bool throwOnRequest = false;
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        savedFormClass = frmBaseGeneClass;
        frmBaseGeneClass = &TDLLFormCreate<TfrmProbe>;
        ctrl = std::make_unique<TDLLRPCtrller>();
        ctrl->OnNotify = [raw = ctrl.get()](int32_t code, TDLLBaseController* sender) {
            EXPECT_EQ(sender, raw);
            events << QString::number(code);
        };
    }
    void TearDown() override {
        ctrl.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        frmBaseGeneClass = savedFormClass;
    }
    TfrmProbe* form() const { return static_cast<TfrmProbe*>(ctrl->Form.data()); }
    void open() { ASSERT_EQ(ctrl->OpenForm(kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, ""})), 0); }
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TDLLFormClass savedFormClass = nullptr;
    std::unique_ptr<TDLLRPCtrller> ctrl;
};

} // namespace

TEST(EntryTest, ControllerClassMissingIsReportedWithTheInternalErrorText) {
    const TDLLControllerClass saved = DLLControllerClass;
    DLLControllerClass = nullptr;
    EXPECT_EQ(GetController(), nullptr);
    const std::string expected = "KVR DLL Internal Error :\rNot Assign \"DLLControllerClass\" varible";
    EXPECT_EQ(std::string(GetControllerError()), expected);
    try {
        createController();
        ADD_FAILURE() << "no exception";
    } catch (const EKvError& e) {
        EXPECT_EQ(std::string(e.what()), expected);
    }
    DLLControllerClass = saved;

    std::unique_ptr<TDLLBaseController> ctrl(GetController());
    ASSERT_NE(ctrl, nullptr);
    EXPECT_NE(dynamic_cast<TDLLRPCtrller*>(ctrl.get()), nullptr);
    EXPECT_STREQ(GetControllerError(), "");
}

// A host compiled against the header calls by position: slot n must sit at entry n of the table.
TEST(EntryTest, OperationsKeepTheirSlotPositions) {
    struct MemberPointer {
        ptrdiff_t ptr; // for a virtual function: 1 + byte offset in the table
        ptrdiff_t adj;
    };
    const auto slot = [](auto member) {
        MemberPointer p;
        static_assert(sizeof(member) == sizeof(p));
        std::memcpy(&p, &member, sizeof(p));
        return int((p.ptr - 1) / ptrdiff_t(sizeof(void*)));
    };
    EXPECT_EQ(slot(&TDLLBaseController::GetVersion), 0);
    EXPECT_EQ(slot(&TDLLBaseController::GetVisible), 1);
    EXPECT_EQ(slot(&TDLLBaseController::SetVisible), 2);
    EXPECT_EQ(slot(&TDLLBaseController::GetHandle), 3);
    EXPECT_EQ(slot(&TDLLBaseController::OpenForm), 4);
    EXPECT_EQ(slot(&TDLLBaseController::Execute), 5);
    EXPECT_EQ(slot(&TDLLBaseController::ExecuteEvent), 6);
    EXPECT_EQ(slot(&TDLLBaseController::ShowModalForm), 7);
    EXPECT_EQ(slot(&TDLLBaseController::FreeForm), 8);
    EXPECT_EQ(slot(&TDLLBaseController::GetSessionInfo), 9);
    EXPECT_EQ(slot(&TDLLBaseController::IsFormFreed), 10);
    EXPECT_EQ(slot(&TDLLBaseController::DoFormCreated), 11);
    EXPECT_EQ(slot(&TDLLBaseController::DoFormShow), 12);
    EXPECT_EQ(slot(&TDLLBaseController::DoFormHide), 13);
    EXPECT_EQ(slot(&TDLLBaseController::DoFormDestroy), 14);
    EXPECT_EQ(slot(&TDLLBaseController::DoCustomNotify), 15);
    EXPECT_EQ(slot(&TDLLBaseController::Notify), 16);
    EXPECT_EQ(slot(&TDLLBaseController::Reserved), 17);
}

TEST_F(ControllerTest, MainFormClassMissingRaisesTheInternalError) {
    frmBaseGeneClass = nullptr;
    try {
        ctrl->OpenForm(kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, ""}));
        ADD_FAILURE() << "no exception";
    } catch (const EKvError& e) {
        EXPECT_EQ(std::string(e.what()), "KVR DLL Internal Error :\rNot Assign \"frmBaseGeneClass\" varible");
    }
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(ControllerTest, WithoutAFormEveryOperationAnswersNeutrally) {
    kv::Variant params = kv::Variant::arrayOf({0, kv::Variant::arrayOf({1})});
    kv::Variant info("untouched");
    EXPECT_EQ(ctrl->GetVersion(), QString());
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_FALSE);
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->Execute(params), -1);
    EXPECT_EQ(ctrl->ExecuteEvent(5, 0, params), -1);
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(2));
    EXPECT_EQ(ctrl->GetSessionInfo(info), -1);
    EXPECT_EQ(info, kv::Variant("untouched"));
    EXPECT_TRUE(ctrl->IsFormFreed());
    ctrl->SetVisible(kv::VARIANT_TRUE);
    ctrl->FreeForm();
    ctrl->Reserved();
    EXPECT_TRUE(events.isEmpty());
    ctrl->DoCustomNotify();
    EXPECT_EQ(events, QStringList{"320"});
}

TEST_F(ControllerTest, OpenShowCloseRaisesTheNotificationsInOrderAndKeepsTheOutcome) {
    auto host = std::make_shared<kv::DispatchObject>();
    ctrl->HostApp = kv::Variant(std::static_pointer_cast<kv::Dispatch>(host));
    open();
    EXPECT_EQ(events, (QStringList{"256", "init"})); // created, then initialised
    ASSERT_NE(form(), nullptr);
    EXPECT_EQ(form()->HostApp().toDispatch(), host);
    EXPECT_EQ(QFileInfo(form()->ModulePath()).canonicalFilePath(),
              QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    EXPECT_FALSE(form()->isVisible());
    EXPECT_EQ(ctrl->GetVersion(), "870401-0.00.00");

    kv::Variant info;
    EXPECT_EQ(ctrl->GetSessionInfo(info), 0);
    ASSERT_TRUE(info.isArray());
    EXPECT_EQ(info.lowBound(), 0);
    EXPECT_EQ(info.highBound(), 3);
    EXPECT_EQ(info, kv::Variant::arrayOf({"DS", "DEMO", "KRTA07", "主生产排程"}));

    events.clear();
    ctrl->SetVisible(kv::VARIANT_TRUE);
    EXPECT_EQ(events, (QStringList{"own show", "272"}));
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_TRUE);
    EXPECT_EQ(ctrl->GetHandle(), static_cast<HWND32>(form()->winId()));
    EXPECT_NE(ctrl->GetHandle(), 0u);

    // The form closes itself: hidden now, freed once control is back in the event loop.
    form()->FResultCode = 1;
    form()->FResultData = "JOB-0001";
    QPointer<TDLLForm> closing = ctrl->Form;
    events.clear();
    closing->close();
    EXPECT_EQ(events, (QStringList{"own hide", "288"}));
    EXPECT_FALSE(ctrl->IsFormFreed());
    flushDeletes();
    EXPECT_EQ(events, (QStringList{"own hide", "288", "own destroy", "304"}));
    EXPECT_TRUE(closing.isNull());
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_FALSE);
    EXPECT_EQ(ctrl->ResultCode, 1);
    EXPECT_EQ(ctrl->ResultData, kv::Variant("JOB-0001"));
}

TEST_F(ControllerTest, SecondOpenFormReusesTheFormAndHooksItWithoutCallingItself) {
    open();
    events.clear();
    EXPECT_EQ(ctrl->OpenForm(kv::Variant::arrayOf({"XX", "OTHER", "OTHER", 0, ""})), -1);
    EXPECT_EQ(events, QStringList{"init"}); // no second form, no 256
    EXPECT_EQ(form()->CompanyID(), "DEMO");

    events.clear();
    ctrl->SetVisible(kv::VARIANT_TRUE);
    ctrl->SetVisible(kv::VARIANT_FALSE);
    EXPECT_EQ(events, (QStringList{"own show", "272", "own hide", "288"}));
}

TEST_F(ControllerTest, ExecutePassesElementOneAsARunRequestAndNeverRaises) {
    open();
    const kv::Variant request = kv::Variant::arrayOf({1, kv::Variant::arrayOf({true, kv::Variant()})});
    kv::Variant params = kv::Variant::arrayOf({"ignored", request});
    EXPECT_EQ(ctrl->Execute(params), 0);
    ASSERT_EQ(form()->requests.size(), 1u);
    EXPECT_EQ(form()->requests[0], kv::Variant::arrayOf({true, request}));

    kv::Variant notArray("text");
    kv::Variant null = kv::Variant::null();
    kv::Variant tooShort = kv::Variant::arrayOf({1});
    EXPECT_EQ(ctrl->Execute(notArray), -1);
    EXPECT_EQ(ctrl->Execute(null), -1);
    EXPECT_EQ(ctrl->Execute(tooShort), -1);
    form()->throwOnRequest = true;
    EXPECT_EQ(ctrl->Execute(params), -1);
    EXPECT_EQ(form()->requests.size(), 1u);
}

TEST_F(ControllerTest, ExecuteEventHandlesOnlyEventsFiveAndNine) {
    open();
    kv::Variant params = kv::Variant::arrayOf({0, kv::Variant::null()});
    EXPECT_EQ(ctrl->ExecuteEvent(5, 77, params), 0);
    EXPECT_EQ(ctrl->ExecuteEvent(9, 0, params), 0);
    for (int other : {0, 1, 4, 6, 8, 10})
        EXPECT_EQ(ctrl->ExecuteEvent(other, 0, params), -1) << other;
    ASSERT_EQ(form()->requests.size(), 2u);
    EXPECT_EQ(form()->requests[0], kv::Variant::arrayOf({false, params}));
    form()->throwOnRequest = true;
    EXPECT_EQ(ctrl->ExecuteEvent(5, 0, params), -1);
}

TEST_F(ControllerTest, ShowModalFormAnswersTheModalResult) {
    open();
    QTimer::singleShot(20, form(), [this] {
        EXPECT_TRUE(form()->isModal());
        form()->setModalResult(mrOk);
    });
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(mrOk));
    // The form freed itself on closing; that completes back in the event loop.
    EXPECT_FALSE(ctrl->IsFormFreed());
    flushDeletes();
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(events.mid(2), (QStringList{"own show", "272", "own hide", "288", "own destroy", "304"}));
}

TEST_F(ControllerTest, ClosingAModalFormWithoutAResultAnswersCancel) {
    open();
    QTimer::singleShot(20, form(), [this] { form()->close(); });
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(mrCancel));
}

TEST_F(ControllerTest, FreeFormDestroysAVisibleFormAtOnce) {
    open();
    ctrl->SetVisible(kv::VARIANT_TRUE);
    QPointer<TDLLForm> f = ctrl->Form;
    events.clear();
    ctrl->FreeForm();
    EXPECT_TRUE(f.isNull());
    EXPECT_EQ(events, (QStringList{"own hide", "288", "own destroy", "304"}));
    EXPECT_TRUE(ctrl->IsFormFreed());
}

TEST_F(ControllerTest, FreeingTheControllerFreesItsForm) {
    open();
    QPointer<TDLLForm> f = ctrl->Form;
    events.clear();
    ctrl.reset();
    EXPECT_TRUE(f.isNull());
    EXPECT_EQ(events, (QStringList{"own destroy", "304"}));
}

TEST_F(ControllerTest, TheHostMayFreeTheControllerWhenItHearsOfTheDestruction) {
    open();
    QPointer<TDLLForm> f = ctrl->Form;
    int32_t resultCode = -99;
    ctrl->OnNotify = [&](int32_t code, TDLLBaseController* sender) {
        if (code == dnFormDestroy) {
            EXPECT_TRUE(sender->IsFormFreed());
            resultCode = sender->ResultCode;
            ctrl.reset();
        }
    };
    f->setResultCode(2);
    f->close();
    flushDeletes();
    EXPECT_EQ(resultCode, 2);
    EXPECT_EQ(ctrl, nullptr);
    EXPECT_TRUE(f.isNull());
}

TEST_F(ControllerTest, FreeFormFromTheFormsOwnEventDefersTheDeletion) {
    open();
    ctrl->SetVisible(kv::VARIANT_TRUE);
    QPointer<TDLLForm> f = ctrl->Form;
    ctrl->OnNotify = [&](int32_t code, TDLLBaseController*) {
        events << QString::number(code);
        if (code == dnFormHide) ctrl->FreeForm(); // inside the form's hide event
    };
    events.clear();
    f->hide();
    EXPECT_EQ(events, (QStringList{"own hide", "288", "own destroy", "304"}));
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_FALSE(f.isNull());
    EXPECT_TRUE(f->isDestroying());
    flushDeletes();
    EXPECT_TRUE(f.isNull());
}
