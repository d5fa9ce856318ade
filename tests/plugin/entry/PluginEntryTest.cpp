// The plug-in as the host sees it: loaded by path, entered through GetController, driven slot by slot.
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "frame/DLLEntry.h"
#include "host/demo/DemoCompany.h"
#include "host/services/HostAutomation.h"
#include "platform/ole/Dispatch.h"

namespace {

// The host's own automation object and services over a demo installation; the plug-in reaches the
// in-process application server through the process's one object registry.
std::shared_ptr<kv::Dispatch> makeHost() {
    tarnix::THostSettings settings;
    settings.VersionType = 2;
    settings.ProductID = 5;
    return std::make_shared<tarnix::THostAutomation>(tarnix::TMessageTable::shipped(), settings);
}

class PluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        install = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 4;
        kv::demo::writeDemoInstallation(install->path(), options);
        qputenv("TARNIX_REGISTRY", QFile::encodeName(install->path() + "/registry.ini"));
        const QString path = testsupport::binDir() + "/KRTA07C.so";
        library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
    }

    void SetUp() override {
        ASSERT_NE(library, nullptr);
        const auto getController = reinterpret_cast<TGetController>(dlsym(library, "GetController"));
        ASSERT_NE(getController, nullptr);
        ctrl.reset(getController());
        ASSERT_NE(ctrl, nullptr);
        ctrl->HostApp = kv::Variant(makeHost());
        ctrl->OnNotify = [this](int32_t code, TDLLBaseController*) { codes.push_back(code); };
    }
    void TearDown() override {
        ctrl.reset();
        flushDeletes();
    }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static kv::Variant session() { return kv::Variant::arrayOf({"DS", "DEMO", "DEMO", 0, ""}); }
    // A run request [mode, [by name, [labels, values]]] that fills the note edit.
    static kv::Variant noteRequest(int mode, const QString& note) {
        const kv::Variant labels = kv::Variant::arrayOf({kv::Variant::arrayOf({"备注", "edNote"})});
        const kv::Variant values = kv::Variant::arrayOf({note});
        return kv::Variant::arrayOf(
            {mode, kv::Variant::arrayOf({true, kv::Variant::arrayOf({labels, values})})});
    }
    QWidget* form() const { return QWidget::find(WId(ctrl->GetHandle())); }

    static inline void* library = nullptr;
    static inline QTemporaryDir* install = nullptr;
    std::unique_ptr<TDLLBaseController> ctrl;
    std::vector<int32_t> codes;
};

} // namespace

TEST_F(PluginTest, ExportsOnlyTheEntry) {
    EXPECT_NE(dlsym(library, "GetControllerError"), nullptr);
    EXPECT_EQ(dlsym(library, "frmBaseGeneClass"), nullptr);
    EXPECT_EQ(dlsym(library, "DLLControllerClass"), nullptr);
    EXPECT_EQ(dlsym(library, "_Z14moduleFileNamev"), nullptr);
    EXPECT_EQ(dlsym(library, "_Z16createControllerv"), nullptr);
}

TEST_F(PluginTest, EverySlotThroughTheControllerPointer) {
    // Before OpenForm: neutral answers.
    kv::Variant info;
    kv::Variant params = kv::Variant::arrayOf({0, noteRequest(1, "x")});
    EXPECT_EQ(ctrl->GetVersion(), QString());
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_FALSE);
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->Execute(params), -1);
    EXPECT_EQ(ctrl->ExecuteEvent(5, 0, params), -1);
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(2));
    EXPECT_EQ(ctrl->GetSessionInfo(info), -1);
    EXPECT_TRUE(ctrl->IsFormFreed());
    ctrl->FreeForm();
    EXPECT_TRUE(codes.empty());

    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    EXPECT_EQ(codes, std::vector<int32_t>{256});
    EXPECT_FALSE(ctrl->IsFormFreed());
    EXPECT_EQ(ctrl->GetVersion(), "870401-0.00.00");
    EXPECT_EQ(ctrl->GetSessionInfo(info), 0);
    // The program code comes from the library's own file name, its name from the company's programs.
    EXPECT_EQ(info, kv::Variant::arrayOf({"DS", "DEMO", "KRTA07", QStringLiteral("MPS排程工作台")}));
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_FALSE);

    ctrl->SetVisible(kv::VARIANT_TRUE);
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_TRUE);
    EXPECT_NE(ctrl->GetHandle(), 0u);
    QWidget* w = form();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), "frmKRTA07");
    EXPECT_TRUE(w->findChild<QLabel*>("lblSession")->text().contains("ProductID 5"));
    // The popular edition's caption, with the version code of the company's settings.
    EXPECT_EQ(w->windowTitle(), QStringLiteral("MPS排程工作台-普及版[8.0.1]"));

    // Event 5 presets the note without pressing OK (mode 0); other events are not handled.
    kv::Variant preset = noteRequest(0, "draft");
    EXPECT_EQ(ctrl->ExecuteEvent(5, 0, preset), 0);
    EXPECT_EQ(w->findChild<QLineEdit*>("edNote")->text(), "draft");
    EXPECT_EQ(ctrl->ExecuteEvent(3, 0, preset), -1);
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_TRUE);

    ctrl->SetVisible(kv::VARIANT_FALSE);
    ctrl->SetVisible(kv::VARIANT_TRUE);
    ctrl->DoFormCreated();
    ctrl->DoCustomNotify();
    ctrl->Notify(1000);
    ctrl->Reserved();
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272, 288, 272, 256, 320, 1000}));

    // Mode 1 presets and presses OK: the form closes itself with its outcome.
    codes.clear();
    params = kv::Variant::arrayOf({0, noteRequest(1, "hello")});
    EXPECT_EQ(ctrl->Execute(params), 0);
    EXPECT_EQ(codes, std::vector<int32_t>{288});
    flushDeletes();
    EXPECT_EQ(codes, (std::vector<int32_t>{288, 304}));
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->ResultCode, 1);
    EXPECT_EQ(ctrl->ResultData, kv::Variant("hello"));
    EXPECT_EQ(ctrl->GetSessionInfo(info), -1);
}

TEST_F(PluginTest, CancelClickedByTheUser) {
    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    ctrl->SetVisible(kv::VARIANT_TRUE);
    QPointer<QWidget> w = form();
    ASSERT_FALSE(w.isNull());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(w->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.isNull(); }, 2000));
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272, 288, 304}));
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->ResultCode, 2);
}

TEST_F(PluginTest, ModalShowEndsWithTheButtonsResult) {
    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    QTimer::singleShot(50, [this] {
        QWidget* w = form();
        ASSERT_NE(w, nullptr);
        w->findChild<QLineEdit*>("edNote")->setText("modal");
        QTest::mouseClick(w->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
    });
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(1));
    flushDeletes();
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(ctrl->ResultCode, 1);
    EXPECT_EQ(ctrl->ResultData, kv::Variant("modal"));
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272, 288, 304}));
}

TEST_F(PluginTest, SecondOpenFormIsRefusedAndFreeingTheControllerFreesTheForm) {
    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    EXPECT_EQ(ctrl->OpenForm(session()), -1);
    ctrl->SetVisible(kv::VARIANT_TRUE);
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272})); // hooked twice, still one notification
    QPointer<QWidget> w = form();
    ctrl->FreeForm();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272, 288, 304}));

    ASSERT_EQ(ctrl->OpenForm(session()), 0); // a new form after the first has gone
    w = form();
    ctrl.reset();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(codes.back(), 304);
}
