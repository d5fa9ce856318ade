#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "platform/CodePage.h"

using namespace kv;

namespace {
const QString kGuojia = QString::fromUtf8("国家");
const QString kGuojiaTrad = QString::fromUtf8("國家");
}  // namespace

TEST(CodePage, GbkAndBig5BytesAreTheRealOnes) {
    bool ok = false;
    EXPECT_EQ(codepage::encode(kGuojia, codepage::GBK, &ok), QByteArray("\xB9\xFA\xBC\xD2"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(codepage::encode(kGuojiaTrad, codepage::BIG5, &ok), QByteArray("\xB0\xEA\xAE\x61"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(codepage::decode(QByteArray("\xB9\xFA\xBC\xD2"), codepage::GBK), kGuojia);
    EXPECT_EQ(codepage::decode(QByteArray("\xB0\xEA\xAE\x61"), codepage::BIG5), kGuojiaTrad);
}

TEST(CodePage, UnencodableCharactersBecomeQuestionMarks) {
    bool ok = true;
    // BIG5 has no simplified 国; the rest of the text survives.
    EXPECT_EQ(codepage::encode(QString::fromUtf8("a国b"), codepage::BIG5, &ok), QByteArray("a?b"));
    EXPECT_FALSE(ok);
    EXPECT_EQ(codepage::encode(QString::fromUtf8("x😀"), codepage::GBK, &ok), QByteArray("x?"));
    EXPECT_FALSE(ok);
    // A lead byte without its trail byte cannot be decoded.
    codepage::decode(QByteArray("ab\xB9"), codepage::GBK, &ok);
    EXPECT_FALSE(ok);
}

TEST(CodePage, ByteLengthsAndCutsNeverSplitACharacter) {
    EXPECT_EQ(codepage::byteLength(QString::fromUtf8("ab国"), codepage::GBK), 4);
    EXPECT_EQ(codepage::byteLength(QString::fromUtf8("abc"), codepage::GBK), 3);
    EXPECT_EQ(codepage::leftBytes(QString::fromUtf8("ab国c"), 3, codepage::GBK), "ab");
    EXPECT_EQ(codepage::leftBytes(QString::fromUtf8("ab国c"), 4, codepage::GBK), QString::fromUtf8("ab国"));
    EXPECT_EQ(codepage::leftBytes("abc", 0, codepage::GBK), "");
    // Latin-1 letters and signs are double-byte characters of GBK and BIG5, single bytes of code page 437.
    const QString times = QString::fromUtf8("ab×c");
    EXPECT_EQ(codepage::byteLength(times, codepage::GBK), 5);
    EXPECT_EQ(codepage::leftBytes(times, 3, codepage::GBK), "ab");
    EXPECT_EQ(codepage::leftBytes(times, 4, codepage::GBK), QString::fromUtf8("ab×"));
    EXPECT_EQ(codepage::leftBytes(QString::fromUtf8("é°c"), 3, codepage::GBK), QString::fromUtf8("é"));
    EXPECT_EQ(codepage::leftBytes(times, 3, codepage::BIG5), "ab");
    EXPECT_EQ(codepage::byteLength(times, codepage::US), 4);
    EXPECT_EQ(codepage::leftBytes(times, 3, codepage::US), QString::fromUtf8("ab×"));
}

TEST(CodePage, SystemCodePageFollowsEnvironmentAndOverride) {
    {
        testsupport::ScopedEnv env("TARNIX_ACP", "950");
        EXPECT_EQ(codepage::systemCodePage(), 950);
        codepage::setSystemCodePageOverride(936);
        EXPECT_EQ(codepage::systemCodePage(), 936);
        codepage::setSystemCodePageOverride(0);
        EXPECT_EQ(codepage::systemCodePage(), 950);
    }
    EXPECT_EQ(codepage::encodingName(12345), nullptr);
}
