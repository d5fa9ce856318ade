// The conversion library, its loader and the code converter on values, forms and message boxes.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "controls/Aligrid.h"
#include "controls/DBLabel.h"
#include "controls/KvEdit.h"
#include "controls/KvRadio.h"
#include "controls/SelectPnl.h"
#include "lang/CodeConverter.h"
#include "lang/TranslatorU.h"
#include "platform/CodePage.h"
#include "tests/lang/common/Workstation.h"

using kv::Variant;
namespace cp = kv::codepage;

TEST(Kvlanguage, ConvertsCharactersAndEncodingBothWays) {
    TTranslator t;
    const QByteArray gb = cp::encode(QStringLiteral("国家 ABC 简体"), cp::GBK);
    const QByteArray big5 = t.GBtoBIG5(gb);
    EXPECT_EQ(cp::decode(big5, cp::BIG5), QStringLiteral("國家 ABC 簡體"));
    EXPECT_EQ(cp::decode(t.BIG5toGB(big5), cp::GBK), QStringLiteral("国家 ABC 简体"));
    // Unicode texts in and out.
    EXPECT_EQ(t.GBtoBIG5(QStringLiteral("计划数量")), QStringLiteral("計劃數量"));
    EXPECT_EQ(t.BIG5toGB(QStringLiteral("計劃數量")), QStringLiteral("计划数量"));
    // Bytes around a NUL are converted on both sides of it.
    const QByteArray withNul = cp::encode(QStringLiteral("国"), cp::GBK) + QByteArray(1, '\0') +
                               cp::encode(QStringLiteral("家"), cp::GBK);
    EXPECT_EQ(cp::decode(t.GBtoBIG5(withNul), cp::BIG5),
              QString(QStringLiteral("國") + QChar(0) + QStringLiteral("家")));
}

TEST(Kvlanguage, KeepsWhatTheCodePagesCannotCarryAndRejectsBytesThatAreNoText) {
    TTranslator t;
    // 堃 is in GBK but not in BIG5, an emoji in neither: they stay, and what is around them converts,
    // its phrases together.
    EXPECT_EQ(t.GBtoBIG5(QStringLiteral("国😀")), QStringLiteral("國😀"));
    EXPECT_EQ(t.GBtoBIG5(QStringLiteral("张堃的头发")), QStringLiteral("張堃的頭髮"));
    EXPECT_EQ(t.BIG5toGB(QStringLiteral("頭髮😀國")), QStringLiteral("头发😀国"));
    EXPECT_THROW(t.BIG5toGB(QByteArray("\xff\xff")), EKvError); // no BIG5 text
}

TEST(Kvlanguage, LoaderReportsMissingLibraryAndEntryPoints) {
    try {
        TTranslator t("NoSuchLanguage.so");
        FAIL() << "loaded";
    } catch (const EKvError& e) {
        EXPECT_EQ(e.message(), "Load Library NoSuchLanguage.so Error!");
    }
    try {
        TTranslator t("libm.so.6");
        FAIL() << "loaded";
    } catch (const EKvError& e) {
        EXPECT_EQ(e.message(), "Get Library Procedure Address Error!");
    }
}

TEST(CodeConverter, SettingsChooseKindsAndTheLibrary) {
    {
        Workstation ws(936, "936");
        TCodeConverter c;
        EXPECT_EQ(c.UIChangeType, 0);
        EXPECT_EQ(c.DataChangeType, 0);
        EXPECT_EQ(c.Translator(), nullptr);
        EXPECT_EQ(c.ConvertUIString(Variant(QStringLiteral("国"))), Variant(QStringLiteral("国")));
        EXPECT_EQ(c.ConvertDataString(Variant(12)), Variant(12));
        EXPECT_EQ(c.GBToBig5(QStringLiteral("国")), QStringLiteral("国"));
    }
    {
        Workstation ws(936, "950", "936");
        TCodeConverter c;
        EXPECT_EQ(c.UICodePage, "950");
        EXPECT_EQ(c.UIChangeType, 2);
        EXPECT_EQ(c.DataChangeType, 2);
        ASSERT_NE(c.Translator(), nullptr);
    }
    {
        Workstation ws(950, "936", "950");
        TCodeConverter c;
        EXPECT_EQ(c.UIChangeType, 4);
        EXPECT_EQ(c.DataChangeType, 1);
        EXPECT_EQ(c.ConvertDataString(Variant(QStringLiteral("國家"))), Variant(QStringLiteral("国家")));
        // Kind 4 converts no text.
        EXPECT_EQ(c.ConvertUIString(Variant(QStringLiteral("国家"))), Variant(QStringLiteral("国家")));
    }
}

TEST(CodeConverter, VariantsTextsNumbersEmptyAndNull) {
    Workstation ws(936, "950");
    TCodeConverter c;
    EXPECT_EQ(c.ConvertUIString(Variant(QStringLiteral("数量"))), Variant(QStringLiteral("數量")));
    EXPECT_EQ(c.ConvertUIString(Variant(12)), Variant(QStringLiteral("12"))); // a number comes back as text
    EXPECT_TRUE(c.ConvertUIString(Variant()).isEmpty());
    EXPECT_TRUE(c.ConvertUIString(Variant::null()).isNull());
    EXPECT_EQ(c.RecoverUIString(Variant(QStringLiteral("數量"))), Variant(QStringLiteral("数量")));
    // A character the code pages lack stays as it is, both ways.
    const Variant emoji(QStringLiteral("数😀"));
    EXPECT_EQ(c.RecoverDataString(emoji), emoji);
    EXPECT_EQ(c.ConvertDataString(emoji), Variant(QStringLiteral("數😀")));
    // A byte text of the GB code page is read as its characters.
    EXPECT_EQ(c.ConvertUIString(Variant::fromBytes(cp::encode(QStringLiteral("国"), cp::GBK), 936)),
              Variant(QStringLiteral("國")));
}

// A label publishes its caption as Qt's text too: the form's conversion converts it once. Converted
// twice, 核准 would change again.
TEST(CodeConverter, ATextPublishedUnderTwoNamesIsConvertedOnce) {
    Workstation ws(936, "950");
    TCodeConverter c;
    const QString once = c.GBToBig5(QStringLiteral("核准"));
    ASSERT_NE(c.GBToBig5(once), once);
    QWidget form;
    auto* label = new TDBLabel(&form);
    label->setObjectName("lblApproval");
    label->setText(QStringLiteral("核准"));
    c.DoTranslate(&form, QString(), true);
    EXPECT_EQ(label->text(), once);
}

TEST(CodeConverter, ArraysOfOneTwoAndThreeDimensions) {
    Workstation ws(936, "950");
    TCodeConverter c;
    Variant one = Variant::arrayOf(
        {Variant(QStringLiteral("国")), Variant(5), Variant::arrayOf({Variant(QStringLiteral("家"))})});
    const Variant oneOut = c.ConvertUIString(one);
    EXPECT_EQ(oneOut[0], Variant(QStringLiteral("國")));
    EXPECT_EQ(oneOut[1], Variant(5)); // one dimension: only texts change
    EXPECT_EQ(oneOut[2][0], Variant(QStringLiteral("家")));

    Variant two = Variant::array2(1, 2, 0, 1);
    two.set(1, 0, Variant(QStringLiteral("计划")));
    two.set(1, 1, Variant(7));
    two.set(2, 0, Variant(QStringLiteral("数量")));
    const Variant twoOut = c.ConvertUIString(two);
    EXPECT_EQ(twoOut.at(1, 0), Variant(QStringLiteral("計劃")));
    EXPECT_EQ(twoOut.at(1, 1), Variant(QStringLiteral("7"))); // every cell passes through Convert
    EXPECT_EQ(twoOut.at(2, 0), Variant(QStringLiteral("數量")));
    EXPECT_TRUE(twoOut.at(2, 1).isEmpty());
    EXPECT_EQ(twoOut.lowBound(1), 1);

    // Three dimensions: a two-dimensional array whose cells are arrays, or arrays nested three deep.
    Variant three = Variant::array2(0, 0, 0, 0);
    three.set(0, 0, Variant::arrayOf({Variant(QStringLiteral("国"))}));
    EXPECT_EQ(c.ConvertUIString(three), three);
    const Variant nested =
        Variant::arrayOf({Variant::arrayOf({Variant::arrayOf({Variant(QStringLiteral("国"))})})});
    EXPECT_EQ(c.ConvertUIString(nested), nested);
}

namespace {

// A form holding one of each kind of text the converter visits.
struct TestForm {
    QWidget form;
    TKvEdit* edit;
    TKvRadioGroup* group;
    QComboBox* combo;
    TStringAlignGrid* grid;
    QTableWidget* table;
    QTreeWidget* tree;
    QTreeWidget* list;
    TSelectPanel* panel;
    QPlainTextEdit* memo;
    TestForm() {
        form.setWindowTitle(QStringLiteral("计划工作台"));
        form.setToolTip(QStringLiteral("计划提示"));
        edit = new TKvEdit(&form);
        edit->setObjectName("edMB001");
        edit->SetCaption(QStringLiteral("品号"));
        edit->setToolTip(QStringLiteral("输入品号"));
        group = new TKvRadioGroup(&form);
        group->SetItems({QStringLiteral("计划"), QStringLiteral("实际")});
        group->SetItemIndex(1);
        combo = new QComboBox(&form);
        combo->addItems({QStringLiteral("厂内"), QStringLiteral("委外")});
        combo->setCurrentIndex(-1);
        grid = new TStringAlignGrid(&form);
        grid->SetCells(1, 1, QStringLiteral("数量"));
        grid->SetCellHint(1, 1, QStringLiteral("单位数量"));
        grid->SetCellControl(2, -1, false, QStringLiteral("是;否"), ck_CheckBox);
        grid->SetFontAt(plCol, 1, -1, TKvFont{});
        table = new QTableWidget(2, 2, &form);
        table->setItem(0, 1, new QTableWidgetItem(QStringLiteral("资源")));
        tree = new QTreeWidget(&form);
        auto* root = new QTreeWidgetItem(tree, {QStringLiteral("工厂")});
        new QTreeWidgetItem(root, {QStringLiteral("车间")});
        list = new QTreeWidget(&form);
        list->setRootIsDecorated(false);
        list->setHeaderLabels({QStringLiteral("代号"), QStringLiteral("名称")});
        new QTreeWidgetItem(list, {QStringLiteral("国"), QStringLiteral("简称")});
        panel = new TSelectPanel(&form);
        panel->SetHintWord(QStringLiteral("选择"));
        // A hidden message list, with a blank line kept in its place.
        memo = new QPlainTextEdit(&form);
        memo->setPlainText(QStringLiteral("工厂不存在!\n\n主要资源"));
        memo->hide();
        grid->SetCellLines(2, 2, {QStringLiteral("第一项"), QString(), QStringLiteral("第三项")});
    }
};

} // namespace

TEST(CodeConverter, Kind2ConvertsEveryTextOfTheForm) {
    Workstation ws(936, "950");
    TestForm f;
    TCodeConverter c(&f.form);
    c.DoTranslate(&f.form, QString(), true);
    EXPECT_EQ(f.form.windowTitle(), QStringLiteral("计划工作台")); // the title only on a 950 system
    EXPECT_EQ(f.form.toolTip(), QStringLiteral("計劃提示"));
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("品號"));
    EXPECT_EQ(f.edit->EditLabel()->text(), QStringLiteral("品號")); // converted once, through the edit
    EXPECT_EQ(f.edit->toolTip(), QStringLiteral("輸入品號"));
    EXPECT_EQ(f.edit->property("FontCharset").toInt(), CHINESEBIG5_CHARSET);
    EXPECT_EQ(f.edit->font().family(), QString::fromLatin1(kUIFontFace));
    EXPECT_EQ(f.group->Items(), (QStringList{QStringLiteral("計劃"), QStringLiteral("實際")}));
    EXPECT_EQ(f.group->ItemIndex(), 1);
    EXPECT_EQ(f.group->Button(0)->text(), QStringLiteral("計劃"));
    EXPECT_EQ(f.combo->itemText(1), QStringLiteral("委外"));
    EXPECT_EQ(f.combo->itemText(0), QStringLiteral("廠內"));
    EXPECT_EQ(f.combo->currentIndex(), 0); // nothing selected: the first item
    EXPECT_EQ(f.grid->Cells(1, 1), QStringLiteral("數量"));
    EXPECT_EQ(f.grid->CellHint(1, 1), QStringLiteral("單位數量"));
    EXPECT_EQ(f.grid->EffectiveControl(2, 1)->CheckedText, QStringLiteral("是"));
    EXPECT_EQ(f.grid->EffectiveControl(2, 1)->UncheckedText, QStringLiteral("否"));
    EXPECT_EQ(f.grid->EffectiveFont(1, 1, false)->Name, QString::fromLatin1(kUIFontFace));
    EXPECT_EQ(f.table->item(0, 1)->text(), QStringLiteral("資源"));
    EXPECT_EQ(f.tree->topLevelItem(0)->text(0), QStringLiteral("工廠"));
    EXPECT_EQ(f.tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("車間"));
    EXPECT_EQ(f.list->headerItem()->text(1), QStringLiteral("名稱"));
    EXPECT_EQ(f.list->topLevelItem(0)->text(0), QStringLiteral("國"));
    EXPECT_EQ(f.list->topLevelItem(0)->text(1), QStringLiteral("簡稱"));
    EXPECT_EQ(f.panel->HintWord(), QStringLiteral("選擇"));
    EXPECT_EQ(f.panel->ChildHints().value(0), QStringLiteral("區間選擇-起始信息"));
    EXPECT_EQ(f.panel->Items().value(0), QStringLiteral("區間選擇"));
    EXPECT_EQ(f.panel->BeginWords().value(0), QStringLiteral("起"));
    EXPECT_EQ(f.memo->toPlainText(), QStringLiteral("工廠不存在!\n\n主要資源"));
    EXPECT_EQ(f.grid->CellLines(2, 2),
              (QStringList{QStringLiteral("第一項"), QString(), QStringLiteral("第三項")}));
}

TEST(CodeConverter, GridsOnlyWithTheFlagAndTitleOnA950System) {
    Workstation ws(950, "950");
    TestForm f;
    TCodeConverter c(&f.form);
    c.DoTranslate(&f.form, QString(), false);
    EXPECT_EQ(f.form.windowTitle(), QStringLiteral("計劃工作臺"));
    EXPECT_EQ(f.grid->Cells(1, 1), QStringLiteral("数量"));
    EXPECT_EQ(f.table->item(0, 1)->text(), QStringLiteral("资源"));
    EXPECT_EQ(f.tree->topLevelItem(0)->text(0), QStringLiteral("工厂"));
    EXPECT_EQ(f.list->topLevelItem(0)->text(1), QStringLiteral("簡稱")); // list views are not grids
}

TEST(CodeConverter, Kind4ChangesFontsOnlyAndKind0Nothing) {
    {
        Workstation ws(950, "936");
        TestForm f;
        TCodeConverter c(&f.form);
        ASSERT_EQ(c.UIChangeType, 4);
        c.DoTranslate(&f.form, QString(), true);
        EXPECT_EQ(f.edit->Caption(), QStringLiteral("品号"));
        EXPECT_EQ(f.grid->Cells(1, 1), QStringLiteral("数量"));
        EXPECT_EQ(f.edit->property("FontCharset").toInt(), GB2312_CHARSET);
        EXPECT_EQ(f.edit->font().family(), QString::fromLatin1(kUIFontFace));
    }
    {
        Workstation ws(936, "936");
        TestForm f;
        const QFont before = f.edit->font();
        TCodeConverter c(&f.form);
        c.DoTranslate(&f.form, QString(), true);
        EXPECT_EQ(f.edit->Caption(), QStringLiteral("品号"));
        EXPECT_FALSE(f.edit->property("FontCharset").isValid());
        EXPECT_EQ(f.edit->font(), before);
    }
}

TEST(CodeConverter, ExceptionListKeepsNamedGroups) {
    Workstation ws(936, "950");
    TestForm f;
    TCodeConverter c(&f.form);
    c.ExceptList << QStringLiteral("edMB001") + QChar(3) + QStringLiteral("Caption");
    c.DoTranslate(&f.form, QStringLiteral("x"), true);
    EXPECT_EQ(f.edit->Caption(), QStringLiteral("品号"));
    EXPECT_EQ(f.edit->toolTip(), QStringLiteral("輸入品號"));
}

TEST(CodeConverter, MessageBoxCarriesBlanksCaptionAndFont) {
    Workstation ws(936, "936");
    QWidget form;
    form.setWindowTitle(QStringLiteral("主计划"));
    TCodeConverter c(&form);
    EXPECT_EQ(c.KvCodeMessageDlg(QString(), mtError, mbOK), 0);
    MessageBoxWatcher watcher;
    c.KvCodeMessageDlg(QStringLiteral("保存完成"), mtInformation, mbOK);
    ASSERT_TRUE(watcher.seen());
    EXPECT_EQ(watcher.text(), QStringLiteral("保存完成      "));
    EXPECT_EQ(watcher.caption(), QStringLiteral("主计划"));
    EXPECT_EQ(watcher.font().family(), QString::fromLatin1(kUIFontFace));
}

// Buttons speak the interface's language: Chinese, traditional on 950, English on 437.
TEST(CodeConverter, MessageBoxButtonsInTheInterfaceLanguage) {
    const std::pair<int, QStringList> cases[] = {
        {936, {"确定", "重试"}}, {950, {"確定", "重試"}}, {437, {"OK", "Retry"}}};
    for (const auto& [page, captions] : cases) {
        Workstation ws(page, QString::number(page));
        QWidget form;
        MessageBoxWatcher watcher;
        TCodeConverter(&form).KvCodeMessageDlg("?", mtWarning, mbOK | mbRetry);
        QStringList shown = watcher.buttons().replaceInStrings("&", "");
        shown.sort();
        EXPECT_EQ(shown, captions) << page;
    }
}
