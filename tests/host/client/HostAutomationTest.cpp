// The host's automation object as a module calls it, and the message table behind GetMessage.
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "host/services/HostAutomation.h"

using tarnix::THostAutomation;
using tarnix::TMessageTable;

namespace {

kv::DispatchPtr makeHost(int uiCodePage) {
    tarnix::THostSettings settings;
    settings.UICodePage = uiCodePage;
    return std::make_shared<THostAutomation>(TMessageTable::shipped(), settings);
}

QString message(const kv::DispatchPtr& host, const char* type, const char* number) {
    return host->call("GetMessage", {type, number}).toString();
}

} // namespace

TEST(MessageTableTest, ShippedTableParsesAndEveryTextTakesItsArguments) {
    QStringList errors;
    const TMessageTable table =
        TMessageTable::fromText(QString::fromUtf8(tarnix::shippedMessageTableText()), &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    // The codes the module shows, with the number of arguments that follow each.
    const std::vector<std::pair<QString, int>> used = {
        {"E;000005", 2}, {"E;000006", 0}, {"E;000013", 1}, {"E;000015", 0}, {"E;000016", 0}, {"E;000030", 1},
        {"E;000036", 0}, {"E;000037", 0}, {"E;000038", 0}, {"E;000040", 1}, {"E;000041", 1}, {"E;000042", 3},
        {"E;000043", 3}, {"E;100082", 2}, {"I;000004", 1}, {"I;000005", 0}, {"I;000009", 0}, {"I;000010", 0},
        {"I;000011", 0}, {"R;100235", 0}, {"R;100236", 0}, {"R;200235", 0}, {"W;000002", 3}, {"W;000003", 3},
        {"W;000004", 1}, {"W;000014", 0}};
    EXPECT_EQ(table.size(), int(used.size()));
    for (const auto& [code, arguments] : used) {
        const QString type = code.section(';', 0, 0);
        const QString number = code.section(';', 1, 1);
        ASSERT_TRUE(table.contains(type, number)) << code.toStdString();
        for (int cp : {936, 437}) {
            const QString text = *table.text(type, number, cp);
            EXPECT_FALSE(text.trimmed().isEmpty()) << code.toStdString();
            EXPECT_EQ(text.count("%s"), arguments) << code.toStdString() << " " << cp;
        }
    }
}

TEST(MessageTableTest, EscapesAndMalformedLines) {
    QStringList errors;
    const TMessageTable table = TMessageTable::fromText(
        "# comment\n\nE\t000013\t失败:\\r%s\tFailed:\\r%s\r\nbroken line\nX\t1\tonly three\n", &errors);
    EXPECT_EQ(table.size(), 1);
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(*table.text("e", "13", 437), "Failed:\r%s");
    EXPECT_EQ(*table.text("E", "000013", 950), "失败:\r%s");
    EXPECT_FALSE(table.text("E", "000014", 437).has_value());
}

TEST(HostAutomationTest, GetMessageAnswersInTheInterfaceLanguage) {
    const kv::DispatchPtr chinese = makeHost(936);
    const kv::DispatchPtr english = makeHost(437);
    EXPECT_EQ(message(chinese, "E", "000038"), "主程序传入的参数不完整, 程序将关闭!");
    EXPECT_EQ(message(english, "E", "000038"),
              "The client passed incomplete parameters; the program will close.");
    EXPECT_EQ(message(english, "W", "000004"), "%s does not exist.");
    // A message the table lacks still names its code rather than failing the module.
    EXPECT_TRUE(message(english, "E", "999999").contains("E;999999"));
    EXPECT_TRUE(message(chinese, "E", "999999").contains("E;999999"));
    EXPECT_THROW(chinese->call("GetMessage", {"E"}), kv::EOleError);
}

TEST(HostAutomationTest, CreatableByItsProgrammeIdentifier) {
    tarnix::THostSettings settings;
    settings.UICodePage = 437;
    tarnix::registerHostAutomationClass(settings);
    const kv::DispatchPtr host = kv::CreateOleObject("vantorworkcenter.manager");
    EXPECT_EQ(message(host, "I", "000005"), "Choose at least one kind of output.");
    kv::ObjectRegistry::unregisterClass(tarnix::kHostProgID);
    EXPECT_THROW(kv::CreateOleObject(tarnix::kHostProgID), kv::EOleError);
}

TEST(HostAutomationTest, ServicesWithoutTheirMeansFailWithTheirName) {
    // Without launcher settings the services have no company database.
    testsupport::ScopedEnv env("TARNIX_REGISTRY", "/nonexistent/registry.ini");
    const kv::DispatchPtr host = makeHost(936);
    for (const char* name : {"Com_Counter", "Com_Validator", "Com_F2Window", "CallHelp", "GetFileList"}) {
        EXPECT_TRUE(host->hasMember(name)) << name;
        try {
            host->call(name, {kv::Variant::arrayOf({1})});
            ADD_FAILURE() << name << " answered";
        } catch (const kv::EOleError& e) {
            EXPECT_TRUE(e.message().startsWith(QString(name) + ":")) << e.what();
        }
    }
}

TEST(HostAutomationTest, InstallingTheTableAndReadingTheInterfaceCodePage) {
    QTemporaryDir dir;
    const QString install = dir.filePath("Tarnix/Client");
    QString error;
    ASSERT_TRUE(tarnix::installMessageTable(install, &error)) << error.toStdString();
    EXPECT_EQ(testsupport::readFile(tarnix::messageTableFileName(install)),
              tarnix::shippedMessageTableText());
    ASSERT_TRUE(TMessageTable::fromFile(tarnix::messageTableFileName(install)).has_value());

    testsupport::writeFile(dir.filePath("blocked"), "a file, not a directory");
    EXPECT_FALSE(tarnix::installMessageTable(dir.filePath("blocked/sub"), &error));
    EXPECT_FALSE(error.isEmpty());

    testsupport::ScopedEnv acp("TARNIX_ACP", "936");
    EXPECT_EQ(tarnix::installationUICodePage(install), 936); // no StewardC.ini: the system's
    testsupport::writeFile(install + "/StewardC.ini", "[CodePage]\nUICodePage=950\n");
    EXPECT_EQ(tarnix::installationUICodePage(install), 950);
    testsupport::writeFile(install + "/StewardC.ini", "[CodePage]\nUICodePage=1252\n");
    EXPECT_EQ(tarnix::installationUICodePage(install), 437);
    testsupport::ScopedEnv latin("TARNIX_ACP", "1252");
    EXPECT_EQ(tarnix::installationUICodePage(dir.filePath("empty")), 437);
}
