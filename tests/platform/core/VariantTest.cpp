#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/ole/Variant.h"

using namespace kv;

TEST(Variant, KindsAndBooleanAsOleKeepsIt) {
    EXPECT_TRUE(Variant().isEmpty());
    EXPECT_TRUE(Variant::null().isNull());
    EXPECT_EQ(Variant(true).toVariantBool(), -1);
    EXPECT_EQ(Variant(true).toInt(), -1);
    EXPECT_EQ(Variant(false).toInt(), 0);
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_TRUE(Variant("TRUE").toBool());
    EXPECT_TRUE(Variant("-1").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_EQ(Variant(3).type(), VarType::Integer);
    EXPECT_EQ(Variant(2.5).type(), VarType::Double);
    EXPECT_EQ(Variant::fromDate(39583).type(), VarType::Date);
}

TEST(Variant, NumbersAndTextsConvertBothWays) {
    EXPECT_EQ(Variant(" 42 ").toInt(), 42);
    EXPECT_EQ(Variant("2.5").toInt(), 2);  // halves to even, as OLE rounds
    EXPECT_EQ(Variant(3.5).toInt(), 4);
    EXPECT_EQ(Variant(-2.5).toInt(), -2);
    EXPECT_DOUBLE_EQ(Variant("1.25").toDouble(), 1.25);
    EXPECT_EQ(Variant(42).toString(), "42");
    EXPECT_EQ(Variant(0.1 + 0.2).toString(), "0.3");
    EXPECT_EQ(Variant(1234.5).toString(), "1234.5");
    EXPECT_EQ(Variant(1e20).toString(), "1E20");
    EXPECT_EQ(Variant(1.5e-7).toString(), "1.5E-7");
    EXPECT_EQ(Variant(-0.25).toString(), "-0.25");
    EXPECT_EQ(Variant().toString(), "");
    EXPECT_EQ(Variant().toInt(), 0);
    EXPECT_EQ(Variant::fromDate(encodeDate(2008, 5, 15)).toString(), "2008/05/15");
    EXPECT_EQ(Variant::fromDate(encodeDate(2008, 5, 15) + 0.5).toString(), "2008/05/15 12:00:00");
    EXPECT_DOUBLE_EQ(Variant("2008/05/15").toDate(), 39583);
}

TEST(Variant, ImpossibleConversionsRaiseClearly) {
    EXPECT_THROW(Variant("abc").toInt(), EVariantError);
    EXPECT_THROW(Variant("").toDouble(), EVariantError);
    EXPECT_THROW(Variant("1e999").toDouble(), EVariantError);
    EXPECT_THROW(Variant(3e10).toInt(), EVariantError);
    EXPECT_THROW(Variant::null().toString(), EVariantError);
    EXPECT_THROW(Variant::arrayOf({1, 2}).toInt(), EVariantError);
    try {
        Variant("x").toInt();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.message(), "Could not convert variant of type (OleStr) into type (Integer)");
    }
    EXPECT_EQ(varToStr(Variant::null()), "");
}

TEST(Variant, ByteTextsCarryTheirCodePage) {
    const Variant v = Variant::fromBytes(QByteArray("\xB9\xFA"), codepage::GBK);
    EXPECT_EQ(v.type(), VarType::ByteString);
    EXPECT_EQ(v.codePage(), 936);
    EXPECT_EQ(v.toString(), QString::fromUtf8("国"));
    EXPECT_NE(v, Variant::fromBytes(QByteArray("\xB9\xFA"), codepage::BIG5));
}

TEST(Variant, ArraysKeepTheirBoundsAndCopyOnWrite) {
    Variant a = Variant::array2(0, 3, 0, 7);
    EXPECT_EQ(a.dimCount(), 2);
    EXPECT_EQ(a.highBound(1), 3);
    EXPECT_EQ(a.highBound(2), 7);
    a.set(2, 5, "pw");
    Variant copy = a;
    copy.set(2, 5, "changed");
    EXPECT_EQ(a.at(2, 5).toString(), "pw");
    EXPECT_EQ(copy.at(2, 5).toString(), "changed");
    EXPECT_THROW(a.at(4, 0), EVariantError);
    EXPECT_THROW(a.at(1), EVariantError);
    EXPECT_THROW(a.lowBound(3), EVariantError);

    Variant b = Variant::array(1, 3);
    b[1] = 10;
    b[3] = "x";
    EXPECT_EQ(b.lowBound(), 1);
    EXPECT_EQ(b.elementCount(), 3);
    EXPECT_TRUE(b[2].isEmpty());
    EXPECT_THROW(b.at(0), EVariantError);

    // Growing the last dimension keeps every element.
    Variant list = Variant::array2(0, 1, 0, 0);
    list.set(0, 0, "host");
    list.set(1, 0, 211);
    list.redim(1);
    list.set(0, 1, "second");
    EXPECT_EQ(list.at(0, 0).toString(), "host");
    EXPECT_EQ(list.at(1, 0).toInt(), 211);
    EXPECT_EQ(list.at(0, 1).toString(), "second");
}

TEST(Variant, EqualityAndQtRoundTrip) {
    const Variant nested = Variant::arrayOf({true, Variant::arrayOf({"a", 1, 2.5}), Variant::null()});
    EXPECT_EQ(nested, Variant::arrayOf({true, Variant::arrayOf({"a", 1, 2.5}), Variant::null()}));
    EXPECT_NE(nested, Variant::arrayOf({true}));
    EXPECT_NE(Variant(1), Variant(1.0));
    EXPECT_EQ(Variant::fromQVariant(nested.toQVariant()), nested);
    EXPECT_EQ(Variant::fromQVariant(QVariant(QString("x"))), Variant("x"));
    EXPECT_TRUE(Variant::fromQVariant(QVariant()).isEmpty());
}
