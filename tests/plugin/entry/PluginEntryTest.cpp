// The plug-in as the host sees it: loaded by path, entered through GetController, driven slot by slot.
#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

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

// The names of the symbols a shared library defines and exports (global, weak or unique binding) in its
// dynamic symbol table.
std::set<std::string> exportedSymbols(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    const QByteArray image = file.readAll();
    auto at = [&image](size_t offset, size_t size) -> const char* {
        return offset + size <= static_cast<size_t>(image.size()) ? image.constData() + offset : nullptr;
    };
    Elf64_Ehdr header;
    const char* raw = at(0, sizeof header);
    if (!raw || std::memcmp(raw, ELFMAG, SELFMAG) != 0 || raw[EI_CLASS] != ELFCLASS64) {
        ADD_FAILURE() << path.toStdString() << " is no 64-bit ELF file";
        return {};
    }
    std::memcpy(&header, raw, sizeof header);
    auto section = [&](size_t index, Elf64_Shdr& out) {
        const char* p = at(header.e_shoff + index * header.e_shentsize, sizeof out);
        if (p) std::memcpy(&out, p, sizeof out);
        return p != nullptr;
    };
    std::set<std::string> names;
    bool found = false;
    for (size_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr symbols, strings;
        if (!section(i, symbols) || symbols.sh_type != SHT_DYNSYM || !section(symbols.sh_link, strings)) continue;
        found = true;
        for (size_t off = 0; off + sizeof(Elf64_Sym) <= symbols.sh_size; off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            const char* p = at(symbols.sh_offset + off, sizeof sym);
            if (!p) break;
            std::memcpy(&sym, p, sizeof sym);
            const int binding = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF ||
                (binding != STB_GLOBAL && binding != STB_WEAK && binding != STB_GNU_UNIQUE))
                continue;
            const char* name = at(strings.sh_offset + sym.st_name, 1);
            names.insert(name ? std::string(name, strnlen(name, image.constEnd() - name)) : std::string("?"));
        }
    }
    EXPECT_TRUE(found) << path.toStdString() << " has no dynamic symbol table";
    return names;
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
    // The dynamic symbol table lists everything another module could bind to.
    const std::set<std::string> exported = exportedSymbols(testsupport::binDir() + "/KRTA07C.so");
    EXPECT_EQ(exported, (std::set<std::string>{"GetController", "GetControllerError"}));
    EXPECT_NE(dlsym(library, "GetControllerError"), nullptr);
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

// A host that shows the program modally gets control back when the program ends, not when the main
// form hides itself to hand over to the workbench.
TEST_F(PluginTest, AModalShowLastsUntilTheWorkbenchCloses) {
    ASSERT_EQ(ctrl->OpenForm(session()), 0);
    bool wasRunning = false;
    QPointer<QWidget> wb;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (workbenches().size() != 1 || !workbenches()[0]->isVisible()) return;
        closer.stop();
        wb = workbenches()[0];
        // The workbench is in use, the main form hidden, and the program not over.
        wasRunning = !ctrl->IsFormFreed() && form() && !form()->isVisible() &&
                     codes == std::vector<int32_t>{256, 272, 288};
        QTimer::singleShot(200, wb, [&wb] { wb->close(); });
    });
    closer.start(50);
    EXPECT_EQ(ctrl->ShowModalForm(), kv::Variant(2));
    EXPECT_TRUE(wasRunning);
    EXPECT_FALSE(wb.isNull() && wb->isVisible());
    flushDeletes();
    EXPECT_TRUE(ctrl->IsFormFreed());
    EXPECT_EQ(codes, (std::vector<int32_t>{256, 272, 288, 304}));
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
