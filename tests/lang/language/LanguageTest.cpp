// Language files: the reader's path grammar on a form of test controls, the controller's states and
// errors, message look-up, the language directory and translation from class files.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "controls/Aligrid.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "controls/KvRadio.h"
#include "frame/KVForm.h"
#include "lang/LanguageController.h"
#include "platform/CodePage.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"
#include "tests/lang/common/Workstation.h"

// Forms of the module: translated by the base form's own code, as every form is when it is shown.
class TfrmLangBase : public TKVForm {
    Q_OBJECT
public:
    using TKVForm::TKVForm;
};

class TfrmLangTest : public TfrmLangBase {
    Q_OBJECT
public:
    TfrmLangTest() {
        setObjectName("frmLangTest");
        setWindowTitle(QStringLiteral("设计标题"));
        edMB001 = new TKvEdit(this);
        edMB001->setObjectName("edMB001");
        edMB001->SetCaption(QStringLiteral("品号"));
        lstTypes = new QListWidget(this);
        lstTypes->setObjectName("lstTypes");
        lstTypes->addItems({"a", "b"});
        lvLines = new QTreeWidget(this);
        lvLines->setObjectName("lvLines");
        lvLines->setRootIsDecorated(false);
        lvLines->setHeaderLabels({"c0", "c1", "c2"});
        new QTreeWidgetItem(lvLines, {"i0", "s0"});
        tvTree = new QTreeWidget(this);
        tvTree->setObjectName("tvTree");
        auto* root = new QTreeWidgetItem(tvTree, {"n0"});
        new QTreeWidgetItem(root, {"n1"});
        new QTreeWidgetItem(tvTree, {"n2"});
        cboKind = new QComboBox(this);
        cboKind->setObjectName("cboKind");
        cboKind->addItems({"x", "y", "z"});
        cboKind->setCurrentIndex(2);
        grdList = new TStringAlignGrid(this);
        grdList->setObjectName("grdList");
        rgMode = new TKvRadioGroup(this);
        rgMode->setObjectName("rgMode");
        rgMode->SetItems({"m0"});
        rgMode->setTitle(QStringLiteral("方式"));
        edInner = new TKvEdit(rgMode);
        edInner->setObjectName("edInner");
        memNote = new QPlainTextEdit(this);
        memNote->setObjectName("memNote");
        ds.AddField("MB001", kv::TFieldType::ftString, 8);
        ds.AddField("MB002", kv::TFieldType::ftString, 8);
        ds.CreateDataSet();
        source.SetDataSet(&ds);
        dgLines = new TFDBGrid(this);
        dgLines->setObjectName("dgLines");
        dgLines->SetDataSource(&source);
        btnQuery = new QToolButton(this);
        btnQuery->setObjectName("btnQuery");
        btnQuery->setText(QStringLiteral("查询"));
        lblFactory = new QLabel(QStringLiteral("工厂"), this);
        lblFactory->setObjectName("lblFactory");
        chkDown = new QCheckBox(QStringLiteral("下阶"), this);
        chkDown->setObjectName("chkDown");
        grpLink = new QGroupBox(QStringLiteral("连动"), this);
        grpLink->setObjectName("grpLink");
    }
    kv::TClientDataSet ds;
    kv::TDataSource source;
    TFDBGrid* dgLines;
    TKvEdit* edMB001;
    QListWidget* lstTypes;
    QTreeWidget* lvLines;
    QTreeWidget* tvTree;
    QComboBox* cboKind;
    TStringAlignGrid* grdList;
    TKvRadioGroup* rgMode;
    TKvEdit* edInner;
    QPlainTextEdit* memNote;
    // Standard widgets, which carry a caption as text or title and a hint as tool tip.
    QToolButton* btnQuery;
    QLabel* lblFactory;
    QCheckBox* chkDown;
    QGroupBox* grpLink;
};

namespace {

const char* kLanguageFile = R"(<?xml version="1.0" encoding="UTF-8"?>
<TfrmLangTest Caption="Master plan" Hint="root hint">
  <edMB001 Caption="Item" Hint="Enter the item" Font.Name="Arial" Font.Charset="CHINESEBIG5_CHARSET"
           LabelPosition="0" layoutDirection="RightToLeft" Cursor="crHandPoint" NoSuchProperty="1"/>
  <lstTypes Items_5="five"/>
  <lvLines Columns_9.Caption="nine" Columns_1.Caption="Name" Items_0.Caption="first" Items_7.Caption="none"/>
  <tvTree Items_2.Text="third node" Items_1.Text="second node"/>
  <cboKind Items_0="Inside" Items_1="Outside" currentIndex="0"/>
  <grdList FixedColor="clRed" ColCount="7" Alignment="2"/>
  <rgMode Caption="should stay" Items_2="m2"/>
  <edInner Text="inner text" Caption="Inner" EditLabel.toolTip="label hint" EditLabel.NoSuch.x="1"/>
  <dgLines Columns_1.Caption="Name" Columns_5.Caption="none" Columns_x.Caption="bad"/>
  <memNote Lines_2="third line" Lines_10000="beyond any list"/>
  <btnQuery Caption="Query" Hint="Reads the schedule"/>
  <lblFactory Caption="Factory"/>
  <chkDown caption="Lower levels"/>
  <grpLink Caption="Linkage" Hint="Lines that follow"/>
  <msgSaved Msg="Saved."/>
</TfrmLangTest>
)";

} // namespace

TEST(LangReader, PathGrammarOnAFormOfTestControls) {
    TfrmLangTest form;
    TLanguageController lc(&form);
    lc.SetXMLText(QString::fromUtf8(kLanguageFile).split('\n'));
    lc.SetExcludeControls({QStringLiteral("  RGMODE ")});
    QStringList loaded;
    lc.BeforeLoadComponent = [&](QObject* c, const TDOMNode& n) {
        loaded << c->objectName() + ":" + n.nodeName();
    };
    lc.SetActive(true);
    ASSERT_TRUE(lc.GetActive());
    lc.GetLangReader().ReadComponent(&form);

    // Root element: the form itself.
    EXPECT_EQ(form.windowTitle(), "Master plan");
    EXPECT_EQ(form.toolTip(), "root hint");
    // Plain properties, the font's fields, enumerations and cursors by name; unknown names ignored.
    EXPECT_EQ(form.edMB001->Caption(), "Item");
    EXPECT_EQ(form.edMB001->toolTip(), "Enter the item");
    EXPECT_EQ(form.edMB001->font().family(), "Arial");
    EXPECT_EQ(form.edMB001->property("FontCharset").toInt(), 136);
    EXPECT_EQ(form.edMB001->LabelPosition(), 0);
    EXPECT_EQ(form.edMB001->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(form.edMB001->cursor().shape(), Qt::PointingHandCursor);
    // Line 5 of a two-line list: padded to six lines.
    ASSERT_EQ(form.lstTypes->count(), 6);
    EXPECT_EQ(form.lstTypes->item(1)->text(), "b");
    EXPECT_EQ(form.lstTypes->item(4)->text(), "");
    EXPECT_EQ(form.lstTypes->item(5)->text(), "five");
    // List view: column 1 and item 0 set; column 9 and item 7 out of range leave the view alone.
    EXPECT_EQ(form.lvLines->headerItem()->text(1), "Name");
    EXPECT_EQ(form.lvLines->columnCount(), 3);
    EXPECT_EQ(form.lvLines->topLevelItem(0)->text(0), "first");
    EXPECT_EQ(form.lvLines->topLevelItemCount(), 1);
    // Tree nodes counted in display order.
    EXPECT_EQ(form.tvTree->topLevelItem(0)->child(0)->text(0), "second node");
    EXPECT_EQ(form.tvTree->topLevelItem(1)->text(0), "third node");
    // The combo box keeps its selection while its items are read.
    EXPECT_EQ(form.cboKind->itemText(0), "Inside");
    EXPECT_EQ(form.cboKind->itemText(1), "Outside");
    EXPECT_EQ(form.cboKind->currentIndex(), 2);
    // Colours by name, integers and enumerated integers by value.
    EXPECT_EQ(form.grdList->FixedColor(), QColor(255, 0, 0));
    EXPECT_EQ(form.grdList->ColCount(), 7);
    EXPECT_EQ(form.grdList->Alignment(), 2);
    // An excluded component keeps its texts; what it holds is still read.
    EXPECT_EQ(form.rgMode->title(), QStringLiteral("方式"));
    EXPECT_EQ(form.rgMode->Items().size(), 1);
    EXPECT_EQ(form.edInner->text(), "inner text");
    EXPECT_EQ(form.edInner->Caption(), "Inner");
    // Object-valued properties lead on; an unknown one ends the walk.
    EXPECT_EQ(form.edInner->EditLabel()->toolTip(), "label hint");
    // A collection's element; out of range or not a number, nothing.
    EXPECT_EQ(form.dgLines->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
    EXPECT_EQ(form.dgLines->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "MB001");
    // A line of a text's lines; a line far beyond any list is ignored, and later elements still apply.
    EXPECT_EQ(form.memNote->toPlainText(), "\n\nthird line");
    // Captions and hints of standard widgets.
    EXPECT_EQ(form.btnQuery->text(), "Query");
    EXPECT_EQ(form.btnQuery->toolTip(), "Reads the schedule");
    EXPECT_EQ(form.lblFactory->text(), "Factory");
    EXPECT_EQ(form.chkDown->text(), "Lower levels");
    EXPECT_EQ(form.grpLink->title(), "Linkage");
    EXPECT_EQ(form.grpLink->toolTip(), "Lines that follow");
    EXPECT_TRUE(loaded.contains("frmLangTest:TfrmLangTest"));
    EXPECT_TRUE(loaded.contains("edMB001:edMB001"));
    EXPECT_FALSE(loaded.contains("rgMode:rgMode"));
}

TEST(LangReader, ReadPropertyHandlerTakesOverAndSetPropValueWalksObjects) {
    TfrmLangTest form;
    TLanguageController lc;
    lc.SetXMLText({QStringLiteral("<r><edMB001 Caption=\"x\" Hint=\"y\"/></r>")});
    lc.SetActive(true);
    QStringList seen;
    lc.GetLangReader().OnReadProperty = [&](TComponentRead& r, const TDOMNode& a) {
        seen << r.GetComponent()->objectName() + "." + a.nodeName();
    };
    lc.GetLangReader().ReadComponent(form.edMB001);
    EXPECT_EQ(seen, (QStringList{"edMB001.Caption", "edMB001.Hint"}));
    EXPECT_EQ(form.edMB001->Caption(), QStringLiteral("品号"));

    // Dotted paths through object-valued properties; sets by name.
    EXPECT_TRUE(SetPropValueIncludeSub(&form, "edMB001", QVariant()) == false);
    EXPECT_TRUE(SetPropValueIncludeSub(form.edMB001, "EditLabel.text", QStringLiteral("label")));
    EXPECT_EQ(form.edMB001->Caption(), "label");
    EXPECT_TRUE(SetPropValueIncludeSub(form.edMB001, "Font.Style", QStringLiteral("[fsBold,fsItalic]")));
    EXPECT_TRUE(form.edMB001->font().bold());
    EXPECT_TRUE(form.edMB001->font().italic());
    EXPECT_TRUE(
        SetPropValueIncludeSub(form.edMB001, "alignment", QStringLiteral(" AlignRight|AlignVCenter")));
    EXPECT_TRUE(form.edMB001->alignment() & Qt::AlignRight);
    EXPECT_TRUE(SetPropValueIncludeSub(form.edMB001, "Enabled", QStringLiteral("False")));
    EXPECT_FALSE(form.edMB001->isEnabled());
    EXPECT_FALSE(SetPropValueIncludeSub(form.edMB001, "focusPolicy", QStringLiteral("NoSuchPolicy")));
}

TEST(LanguageController, StatesEventsAndErrors) {
    TLanguageController lc;
    QStringList events;
    lc.BeforeOpen = [&](QObject*) { events << "BeforeOpen"; };
    lc.AfterOpen = [&](QObject*) { events << "AfterOpen"; };
    lc.BeforeClose = [&](QObject*) { events << "BeforeClose"; };
    lc.AfterClose = [&](QObject*) { events << "AfterClose"; };
    try {
        lc.GetLangReader();
        FAIL();
    } catch (const LanguageControllerError& e) {
        EXPECT_EQ(e.message(), "No active LanguageController!");
    }
    try {
        lc.SetActive(true);
        FAIL();
    } catch (const LanguageControllerError& e) {
        EXPECT_EQ(e.message(), "Cannot Find File !");
    }
    lc.SetXMLText({"<r a='1'>", "<unclosed>", "</r>"});
    try {
        lc.SetActive(true);
        FAIL();
    } catch (const LanguageControllerError& e) {
        EXPECT_FALSE(e.message().isEmpty());
    }
    EXPECT_FALSE(lc.GetActive());
    events.clear();
    lc.SetXMLText({"<r/>"});
    lc.SetActive(true);
    EXPECT_TRUE(lc.GetActive());
    lc.SetActive(true);               // no change, no events
    lc.SetFileName("/nowhere/x.Lng"); // a new file closes the document and drops the text
    EXPECT_FALSE(lc.GetActive());
    EXPECT_TRUE(lc.XMLText().isEmpty());
    EXPECT_EQ(events, (QStringList{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));

    // An activation while the owner is being built waits for Loaded().
    TLanguageController deferred;
    deferred.BeginLoading();
    deferred.SetXMLText({"<r/>"});
    deferred.SetActive(true);
    EXPECT_FALSE(deferred.GetActive());
    deferred.Loaded();
    EXPECT_TRUE(deferred.GetActive());
}

TEST(LanguageFiles, DirectoryMessagesAndEncodings) {
    Workstation ws(936, "936");
    const QString dir = ws.installPath() + "MultiLanguage/CHS/";
    EXPECT_EQ(GetLangDir(dtClient), QString()); // not there yet
    testsupport::writeFile(dir + "KRTA07.Lng", kLanguageFile);
    EXPECT_EQ(GetLangDir(dtClient), dir);
    EXPECT_EQ(GetMessage(dtClient, "KRTA07", "msgSaved", "default"), "Saved.");
    EXPECT_EQ(GetMessage(dtClient, "KRTA07", "msgMissing", "default"), "default");
    EXPECT_EQ(GetMessage(dtClient, "NoPackage", "msgSaved", "default"), "default");
    EXPECT_EQ(GetMessage(dtClient, "KRTA07", "bad name']", "default"), "default");
    // A file declared GB2312 is transcoded before parsing.
    const QString gbText =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<r><msgSaved Msg=\"保存完成\"/></r>");
    testsupport::writeFile(dir + "GBFile.Lng", kv::codepage::encode(gbText, kv::codepage::GBK));
    EXPECT_EQ(GetMessage(dtClient, "GBFile", "msgSaved", "default"), QStringLiteral("保存完成"));

    TKvLangController lc;
    lc.SetLangPackageName("KRTA07");
    EXPECT_EQ(lc.FileName(), dir + "KRTA07.Lng");
    lc.SetActive(true);
    EXPECT_TRUE(lc.GetActive());
    lc.SetLangPackageName("Other"); // a new package closes the document
    EXPECT_FALSE(lc.GetActive());
}

// Files copied from a system that ignores case keep the case they had there.
TEST(LanguageFiles, FoldersAndFilesAreFoundInAnyCase) {
    Workstation ws(437, "437");
    const QString dir = ws.installPath() + "multilanguage/eng/";
    testsupport::writeFile(dir + "krta07.lng", kLanguageFile);
    EXPECT_EQ(GetLangDir(dtClient), dir);
    EXPECT_EQ(GetMessage(dtClient, "KRTA07", "msgSaved", "default"), "Saved.");
    TKvLangController lc;
    lc.SetLangPackageName("KRTA07");
    EXPECT_EQ(lc.FileName(), dir + "krta07.lng");
    lc.SetLangPackageName("Other");
    EXPECT_EQ(lc.FileName(), dir + "Other.Lng");
}

TEST(LanguageFiles, InterfaceCodePageWithoutLanguageKeepsDesignTexts) {
    Workstation ws(1252, "1252");
    TfrmLangTest form;
    form.TranslateForm(&form, true);
    EXPECT_EQ(form.LangController->FileName(), "TfrmLangTest.Lng"); // no language directory: the bare name
    EXPECT_EQ(form.windowTitle(), QStringLiteral("设计标题"));
}

TEST(LanguageFiles, MostDerivedClassFileWins) {
    Workstation ws(950, "950");
    const QString dir = ws.installPath() + "MultiLanguage/CHT/";
    testsupport::writeFile(dir + "TKVForm.Lng", "<r Caption='frame' Hint='frame hint' "
                                                "accessibleName='frame name'/>");
    testsupport::writeFile(dir + "TfrmLangBase.Lng", "<r Caption='base' Hint='base hint'/>");
    testsupport::writeFile(dir + "TfrmLangTest.Lng", "<r Caption='derived'/>");
    {
        TfrmLangTest form;
        form.TranslateForm(&form, true);
        EXPECT_EQ(form.windowTitle(), "derived");
        EXPECT_EQ(form.toolTip(), "base hint");
        EXPECT_EQ(form.accessibleName(), "frame name");
    }
    {
        // Below the base form: the frame's own package is left out.
        TfrmLangTest form;
        form.TranslateFormBelowBase(&form, true);
        EXPECT_EQ(form.windowTitle(), "derived");
        EXPECT_EQ(form.toolTip(), "base hint");
        EXPECT_EQ(form.accessibleName(), "");
    }
    {
        TfrmLangTest form;
        form.TranslateForm(&form, false);
        EXPECT_EQ(form.windowTitle(), "derived");
        EXPECT_EQ(form.toolTip(), "");
    }
    {
        // Showing the form reads its packages.
        TfrmLangTest form;
        form.show();
        EXPECT_EQ(form.windowTitle(), "derived");
        EXPECT_EQ(form.toolTip(), "base hint");
    }
}

#include "LanguageTest.moc"
