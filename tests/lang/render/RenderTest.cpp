// A form holding one of each control, rendered in Chinese and after conversion to traditional
// characters; the pictures are kept for a look in TARNIX_RENDER_DIR, else beside the test programs
// in "showcase/".
#include <QDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "controls/Aligrid.h"
#include "controls/BtChkBox.h"
#include "controls/DBLabel.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBEdit.h"
#include "controls/KvRadio.h"
#include "controls/KvSpinEdit.h"
#include "controls/SelectPnl.h"
#include "lang/CodeConverter.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"
#include "tests/lang/common/Workstation.h"

namespace {

class TfrmShowcase : public QWidget {
public:
    kv::TClientDataSet ds;
    kv::TDataSource source;
    TKvEdit* edit;
    TStringAlignGrid* grid;
    QTreeWidget* tree;

    TfrmShowcase() {
        setWindowTitle(QStringLiteral("控件一览"));
        resize(760, 560);
        setAutoFillBackground(true);
        ds.AddField("MB001", kv::TFieldType::ftString, 10).SetDisplayLabel(QStringLiteral("品号"));
        ds.AddField("MB002", kv::TFieldType::ftString, 20).SetDisplayLabel(QStringLiteral("品名"));
        ds.AddField("MB003", kv::TFieldType::ftString, 1).SetDisplayLabel(QStringLiteral("确认"));
        ds.CreateDataSet();
        const char* names[] = {"螺丝", "齿轮组件", "电机总成"};
        for (int i = 0; i < 3; ++i) {
            ds.Append();
            ds.FieldByName("MB001").SetAsString(QStringLiteral("A0%1").arg(i + 1));
            ds.FieldByName("MB002").SetAsString(QString::fromUtf8(names[i]));
            ds.FieldByName("MB003").SetAsString(i == 1 ? "Y" : "N");
            ds.Post();
        }
        ds.First();
        source.SetDataSet(&ds);

        edit = new TKvEdit(this);
        edit->setGeometry(80, 12, 120, 24);
        edit->SetCaption(QStringLiteral("工厂"));
        edit->setText(QStringLiteral("总厂"));
        auto* dbEdit = new TKvBtnDBEdit(this);
        dbEdit->setGeometry(300, 12, 120, 24);
        dbEdit->SetCaption(QStringLiteral("主资源"));
        dbEdit->SetDataSource(&source);
        dbEdit->SetDataField("MB002");
        dbEdit->SetButtonHint(QStringLiteral("开窗查询"));
        auto* plain = new QLineEdit(this);
        plain->setGeometry(520, 12, 100, 24);
        auto* f2 = new TF2Button(this);
        f2->SetF2Control(plain);
        auto* label = new TDBLabel(this);
        label->SetFocusControl(plain);
        auto* check = new TBitCheckBox(this);
        check->setGeometry(20, 50, 140, 20);
        check->setText(QStringLiteral("下阶跟随"));
        check->SetChecked(true);
        auto* spin = new TKvSpinEdit(this);
        spin->setGeometry(180, 48, 80, 24);
        spin->SetValue(12);
        auto* radio = new TKvRadioGroup(this);
        radio->setGeometry(280, 44, 300, 50);
        radio->setTitle(QStringLiteral("排程方式"));
        radio->SetItems({QStringLiteral("顺推"), QStringLiteral("逆推")});
        radio->SetColumns(2);
        radio->SetItemIndex(0);
        auto* panel = new TSelectPanel(this);
        panel->setGeometry(20, 100, 420, 28);
        panel->SetStartText("A01");
        panel->SetEndText("A99");
        grid = new TStringAlignGrid(this);
        grid->setGeometry(20, 140, 360, 140);
        grid->SetColCount(4);
        grid->SetRowCount(4);
        const QStringList heads{QStringLiteral("序号"), QStringLiteral("收件人"), QStringLiteral("类型"),
                                QStringLiteral("邮件")};
        for (int c = 0; c < 4; ++c)
            grid->SetCells(c, 0, heads[c]);
        grid->SetAlign(plFixedRow, -1, 0, alCenter);
        grid->SetCellControl(3, -1, false, "Y;N", ck_CheckBox);
        grid->SetCells(1, 1, QStringLiteral("张三"));
        grid->SetCells(2, 1, QStringLiteral("计划员"));
        grid->SetCells(3, 1, "Y");
        grid->SetCells(1, 2, QStringLiteral("李四"));
        grid->SetCells(2, 2, QStringLiteral("车间主任"));
        grid->SetBrushAt(plCell, 2, 2, TKvBrush{0xC0FFFF, 0});
        tree = new QTreeWidget(this);
        tree->setGeometry(400, 140, 180, 140);
        tree->setHeaderLabel(QStringLiteral("工厂结构"));
        auto* root = new QTreeWidgetItem(tree, {QStringLiteral("总厂")});
        new QTreeWidgetItem(root, {QStringLiteral("装配车间")});
        new QTreeWidgetItem(root, {QStringLiteral("机加车间")});
        tree->expandAll();
        auto* pages = new TExtPageControl(this);
        pages->setGeometry(600, 50, 150, 230);
        for (const QString& caption : {QStringLiteral("一般"), QStringLiteral("进阶")}) {
            auto* sheet = new TTabSheet;
            sheet->SetCaption(caption);
            pages->AddPage(sheet);
        }
        auto* records = new TFDBGrid(this);
        records->setGeometry(20, 300, 560, 200);
        records->SetDataSource(&source);
        records->SetCheckBoxField("MB003");
    }
};

QString outputDir() {
    return testsupport::pictureDir("showcase");
}

// Number of dark pixels in an area: text that renders as nothing leaves none.
int inkPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100) ++n;
    return n;
}

} // namespace

TEST(Showcase, RendersInChineseAndAfterConversion) {
    Workstation ws(936, "950");
    TfrmShowcase form;
    form.show();
    QApplication::processEvents();
    const QImage before = form.grab().toImage();
    before.save(outputDir() + "/showcase_gb.png");
    TCodeConverter converter(&form);
    converter.DoTranslate(&form, QString(), true);
    QApplication::processEvents();
    const QImage after = form.grab().toImage();
    after.save(outputDir() + "/showcase_big5.png");
    EXPECT_EQ(form.edit->Caption(), QStringLiteral("工廠"));
    EXPECT_EQ(form.grid->Cells(2, 2), QStringLiteral("車間主任"));
    EXPECT_EQ(form.tree->topLevelItem(0)->child(1)->text(0), QStringLiteral("機加車間"));
    // The converted captions draw different glyphs in the same places.
    const QRect labelArea = form.edit->EditLabel()->geometry();
    EXPECT_GT(inkPixels(before, labelArea), 10);
    EXPECT_GT(inkPixels(after, labelArea), 10);
    EXPECT_NE(before.copy(labelArea), after.copy(labelArea));
}
