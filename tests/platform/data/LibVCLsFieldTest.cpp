#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibVCLsField.h"

using namespace kv;

class SetFieldValueTest : public ::testing::Test {
protected:
    void SetUp() override {
        codepage::setSystemCodePageOverride(codepage::GBK);
        ds.AddField("TB045", TFieldType::ftString, 6);
        ds.AddField("TB026", TFieldType::ftFloat);
        ds.AddField("TF010", TFieldType::ftMemo);
        ds.CreateDataSet();
        ds.Append();
    }
    void TearDown() override { codepage::setSystemCodePageOverride(0); }
    TClientDataSet ds;
};

TEST_F(SetFieldValueTest, NeverStoresHalfACharacter) {
    TField& f = ds.FieldByName("TB045");
    // Eight bytes whose sixth starts a double-byte character: the first five bytes stay.
    ASSERT_TRUE(SetFieldValue(&f, "abcde中文", false));
    EXPECT_EQ(f.AsString(), "abcde");
    ASSERT_TRUE(SetFieldValue(&f, "ab中文字", false)); // the sixth byte ends a character
    EXPECT_EQ(f.AsString(), "ab中文");
    ASSERT_TRUE(SetFieldValue(&f, "abcde×", false)); // × too is a double-byte character of GBK
    EXPECT_EQ(f.AsString(), "abcde");
    ASSERT_TRUE(SetFieldValue(&ds.FieldByName("TF010"), QString(300, u'长'), false));
    EXPECT_EQ(ds.FieldByName("TF010").AsString().size(), 300);
    EXPECT_FALSE(SetFieldValue(nullptr, "x", false));
}

TEST_F(SetFieldValueTest, LiftsReadOnlyAndRestoresItEvenWhenRefused) {
    TField& qty = ds.FieldByName("TB026");
    qty.SetReadOnly(true);
    qty.SetEditFormat("#,##0.#######");
    int edited = 0;
    qty.OnSetText = [&](TField& f, const QString& t) {
        ++edited;
        f.SetAsString(QString(t).remove(','));
    };
    ASSERT_TRUE(SetFieldValue(&qty, "1,234.5", true));
    EXPECT_EQ(edited, 1);
    EXPECT_EQ(qty.AsFloat(), 1234.5);
    EXPECT_TRUE(qty.ReadOnly());
    // Without the flag the text is assigned as a value.
    ASSERT_TRUE(SetFieldValue(&qty, "7", false));
    EXPECT_EQ(edited, 1);
    EXPECT_EQ(qty.AsFloat(), 7);
    qty.OnValidate = [](TField&) { Abort(); };
    EXPECT_THROW(SetFieldValue(&qty, "8", false), EAbort);
    EXPECT_TRUE(qty.ReadOnly());
    EXPECT_EQ(qty.AsFloat(), 7);
}
