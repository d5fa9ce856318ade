#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/data/ClientDataSet.h"

using namespace kv;

TEST(FieldFormat, NumberPictures) {
    EXPECT_EQ(formatFloat("#,##0.#######", 1234567.125), "1,234,567.125");
    EXPECT_EQ(formatFloat("#,##0.#######", 0), "0");
    EXPECT_EQ(formatFloat("#,##0.#######", -0.5), "-0.5");
    EXPECT_EQ(formatFloat("#,##0.#######", 0.123456789), "0.1234568");
    EXPECT_EQ(formatFloat("#,##0.#######", 100), "100");
    EXPECT_EQ(formatFloat("0.00", 2.5), "2.50");
    EXPECT_EQ(formatFloat("#", 0), "0");
    EXPECT_EQ(floatToStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(floatToStr(120), "120");
}

class FieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ds.AddField("TB042", TFieldType::ftString, 4);
        ds.AddField("TB042C", TFieldType::ftString, 10);
        ds.AddField("TB026", TFieldType::ftFloat);
        ds.CreateDataSet();
        ds.Append();
        ds.FieldByName("TB042").SetAsString("5101");
        ds.FieldByName("TB026").SetAsFloat(100);
        ds.Post();
    }
    TClientDataSet ds;
};

TEST_F(FieldTest, ValidateRefusesAndChangeFollows) {
    TField& type = ds.FieldByName("TB042");
    int changes = 0;
    type.OnValidate = [&](TField& f) {
        if (f.AsString() == "BAD") Abort();
        ds.FieldByName("TB042C").SetAsString("name of " + f.AsString());
    };
    type.OnChange = [&](TField&) { ++changes; };
    ds.Edit();
    EXPECT_THROW(type.SetAsString("BAD"), EAbort);
    EXPECT_EQ(type.AsString(), "5101");
    EXPECT_EQ(changes, 0);
    type.SetAsString("5102");
    EXPECT_EQ(ds.FieldByName("TB042C").AsString(), "name of 51"); // 10 bytes at most
    EXPECT_EQ(changes, 1);
}

TEST_F(FieldTest, TextHandlersAndConversions) {
    TField& qty = ds.FieldByName("TB026");
    qty.OnGetText = [](TField& f, QString& text, bool display) {
        text = (display ? "D:" : "E:") + f.AsString();
    };
    EXPECT_EQ(qty.DisplayText(), "D:100");
    EXPECT_EQ(qty.Text(), "E:100");
    qty.OnGetText = nullptr;
    ds.Edit();
    qty.SetText(" 12.5 ");
    EXPECT_EQ(qty.AsFloat(), 12.5);
    EXPECT_THROW(qty.SetText("1.2.3"), EKvError);
    EXPECT_EQ(qty.AsFloat(), 12.5);
    qty.SetText("");
    EXPECT_TRUE(qty.IsNull());
    QString seen;
    qty.OnSetText = [&](TField& f, const QString& t) {
        seen = t;
        f.SetAsFloat(1);
    };
    qty.SetText("abc");
    EXPECT_EQ(seen, "abc");
    EXPECT_EQ(qty.AsFloat(), 1);
}

TEST_F(FieldTest, TextFieldsKeepToTheirSizeInSystemCodePageBytes) {
    codepage::setSystemCodePageOverride(codepage::GBK);
    ds.Edit();
    ds.FieldByName("TB042").SetAsString("甲乙丙"); // 6 bytes into 4
    EXPECT_EQ(ds.FieldByName("TB042").AsString(), "甲乙");
    ds.FieldByName("TB042").SetAsString("a甲乙"); // never half a character
    EXPECT_EQ(ds.FieldByName("TB042").AsString(), "a甲");
    ds.FieldByName("TB042").SetAsString("abc×"); // × is two bytes in GBK
    EXPECT_EQ(ds.FieldByName("TB042").AsString(), "abc");
    codepage::setSystemCodePageOverride(0);
}

TEST_F(FieldTest, FieldsMoveAndKeepTheirValues) {
    TField& qty = ds.FieldByName("TB026");
    qty.SetIndex(0);
    EXPECT_EQ(ds.Fields(0).FieldName(), "TB026");
    EXPECT_EQ(ds.Fields(1).FieldName(), "TB042");
    EXPECT_EQ(qty.AsFloat(), 100);
    EXPECT_EQ(ds.valueAt(0, 1).toString(), "5101");
    EXPECT_THROW(ds.FieldByName("NOPE"), EKvError);
}
