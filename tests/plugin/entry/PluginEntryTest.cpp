// The plug-in as the host sees it: loaded by path, entered through GetController, driven slot by slot.
#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
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
    QWidget* form() const { return QWidget::find(WId(ctrl->GetHandle())); }
    // The workbench windows the main form opened (the plug-in's classes are not visible here: by name).
    static QList<QWidget*> workbenches() {
        QList<QWidget*> found;
        for (QWidget* w : QApplication::allWidgets())
            if (w->objectName() == "frmKrta07SM") found << w;
        return found;
    }

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

TEST_F(PluginTest, TheMainFormHandsOverToTheWorkbench) {
    // Before OpenForm: neutral answers.
    kv::Variant info;
    kv::Variant params = kv::Variant::arrayOf({0, 0});
    EXPECT_EQ(ctrl->GetVersion(), QString());
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_FALSE);
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->Execute(params), -1);
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(2));
    EXPECT_EQ(ctrl->GetSessionInfo(info), -1);
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_TRUE(codes.empty());

    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    EXPECT_EQ(codes, std::vector<int32_t>{256});
    EXPECT_EQ(ctrl->GetVersion(), "870401-0.00.00");
    EXPECT_EQ(ctrl->GetSessionInfo(info), 0);
    // The program code comes from the library's own file name, its name from the company's programs.
    EXPECT_EQ(info, kv::Variant::arrayOf({"DS", "DEMO", "KRTA07", QStringLiteral("MPS排程工作台")}));
    QPointer<QWidget> main = form();
    ASSERT_FALSE(main.isNull());
    EXPECT_EQ(main->objectName(), "frmKRTA07");
    EXPECT_TRUE(workbenches().isEmpty());

    // Shown, the main form hides on its first tick and the workbench opens in its place, with the
    // popular edition's caption and the version code of the company's settings.
    ctrl->SetVisible(kv::VARIANT_TRUE);
    ASSERT_TRUE(
        QTest::qWaitFor([] { return workbenches().size() == 1 && workbenches()[0]->isVisible(); }, 10000));
    QPointer<QWidget> wb = workbenches()[0];
    EXPECT_EQ(wb->parentWidget(), main.data()); // owned by the main form
    EXPECT_EQ(wb->windowTitle(), QStringLiteral("MPS排程工作台-普及版[8.0.1]"));
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(ctrl->GetVisible(), kv::VARIANT_FALSE);
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272, 288}));

    // Shown again, the main form opens no second workbench.
    ctrl->SetVisible(kv::VARIANT_TRUE);
    QTest::qWait(100);
    EXPECT_EQ(workbenches().size(), 1);
    ctrl->SetVisible(kv::VARIANT_FALSE);

    // Closing the workbench closes the main form, which ends the program.
    codes.clear();
    wb->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return main.isNull(); }, 5000));
    EXPECT_TRUE(wb.isNull());
    EXPECT_EQ(codes, std::vector<int32_t>{304});
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(ctrl->GetHandle(), 0u);
    EXPECT_EQ(ctrl->ResultCode, 0);
    EXPECT_EQ(ctrl->GetSessionInfo(info), -1);
}

TEST_F(PluginTest, SecondOpenFormIsRefusedAndFreeingTheControllerFreesTheWorkbench) {
    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    EXPECT_EQ(ctrl->OpenForm(session()), -1);
    ctrl->SetVisible(kv::VARIANT_TRUE);
    ASSERT_TRUE(QTest::qWaitFor([] { return workbenches().size() == 1; }, 10000));
    QPointer<QWidget> wb = workbenches()[0];
    QPointer<QWidget> w = form();
    ctrl->FreeForm();
    flushDeletes();
    EXPECT_TRUE(w.isNull());
    EXPECT_TRUE(wb.isNull());
    EXPECT_EQ(codes.back(), 304);

    ASSERT_EQ(ctrl->OpenForm(session()), 0); // a new form after the first has gone
    ctrl->SetVisible(kv::VARIANT_TRUE);
    ASSERT_TRUE(QTest::qWaitFor([] { return workbenches().size() == 1; }, 10000));
    wb = workbenches()[0];
    ctrl.reset();
    flushDeletes();
    EXPECT_TRUE(wb.isNull());
    EXPECT_EQ(codes.back(), 304);
}
