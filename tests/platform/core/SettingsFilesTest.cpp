#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/RegistryFile.h"

using namespace kv;

TEST(IniFile, LooksUpWithoutRegardToCaseAndSkipsMalformedLines) {
    const IniFile ini = IniFile::fromText("; comment\n"
                                          "orphan=before any section\n"
                                          "[Client Components]\n"
                                          "  LangType =  CHS  \n"
                                          "no equals sign here\n"
                                          "=no name\n"
                                          "Quoted=\"  spaced  \"\n"
                                          "[codepage]\r\n"
                                          "UICodePage=950\r\n"
                                          "[CLIENT COMPONENTS]\n"
                                          "GridViewDataPath=/data/\n");
    EXPECT_EQ(ini.readString("client components", "langtype"), "CHS");
    EXPECT_EQ(ini.readString("Client Components", "Quoted"), "  spaced  ");
    EXPECT_EQ(ini.readString("CodePage", "UICodePage"), "950");
    // A section written twice is one section.
    EXPECT_EQ(ini.readString("Client Components", "GridViewDataPath"), "/data/");
    EXPECT_EQ(ini.keys("Client Components"), (QStringList{"LangType", "Quoted", "GridViewDataPath"}));
    EXPECT_EQ(ini.readString("Client Components", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readInteger("CodePage", "UICodePage", 0), 950);
    EXPECT_EQ(ini.readInteger("Client Components", "LangType", 7), 7);
    EXPECT_FALSE(ini.sectionExists("orphan"));
}

TEST(IniFile, MissingFileIsEmptyAndGbkFileIsDecoded) {
    const IniFile missing("/nonexistent/dir/StewardC.ini");
    EXPECT_FALSE(missing.exists());
    EXPECT_EQ(missing.readString("A", "B", "x"), "x");

    QTemporaryDir dir;
    const QString name = dir.filePath("gbk.ini");
    testsupport::writeFile(name, "[S]\nName=" + codepage::encode(QString::fromUtf8("国家"), codepage::GBK) + "\n");
    codepage::setSystemCodePageOverride(codepage::GBK);
    const IniFile ini(name);
    codepage::setSystemCodePageOverride(0);
    EXPECT_EQ(ini.readString("s", "name"), QString::fromUtf8("国家"));
}

TEST(RegistryFile, OpensKeysFromTheConfiguredFile) {
    QTemporaryDir dir;
    const QString name = dir.filePath("registry.ini");
    testsupport::writeFile(name, "[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\nClientPath=/opt/tarnix\n");
    testsupport::ScopedEnv env(kRegistryEnv, name.toUtf8());

    auto key = RegistryKey::openReadOnly(HKEY_LOCAL_MACHINE, "software\\kvr\\steward");
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->readString("clientpath"), "/opt/tarnix");
    EXPECT_FALSE(key->valueExists("ServerPath"));
    EXPECT_FALSE(RegistryKey::openReadOnly(HKEY_LOCAL_MACHINE, "Software\\Other").has_value());

    testsupport::ScopedEnv missing(kRegistryEnv, dir.filePath("none.ini").toUtf8());
    EXPECT_FALSE(RegistryKey::openReadOnly(HKEY_LOCAL_MACHINE, "Software\\KVR\\Steward").has_value());
}
