// The data-aware controls over a client data set.
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/BtChkBox.h"
#include "controls/DBLabel.h"
#include "controls/FDBGrid.h"
#include "controls/GSpdBtn.h"
#include "controls/KvDBEdit.h"
#include "controls/KvMessages.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"
#include "tests/lang/common/Workstation.h"

using kv::TClientDataSet;
using kv::TDataSource;
using kv::TFieldType;

namespace {

struct Data {
    TClientDataSet ds;
    TDataSource source;
    Data() {
        ds.AddField("MB001", TFieldType::ftString, 8).SetDisplayLabel(QStringLiteral("品号"));
        ds.AddField("MB002", TFieldType::ftString, 20);
        ds.AddField("FLAG", TFieldType::ftString, 1);
        ds.CreateDataSet();
        for (const char* code : {"A01", "A02", "A03"}) {
            ds.Append();
            ds.FieldByName("MB001").SetAsString(code);
            ds.FieldByName("FLAG").SetAsString(QString(code) == "A02" ? "Y" : "N");
            ds.Post();
        }
        ds.First();
        source.SetDataSet(&ds);
    }
};

class LookupForm : public QWidget {
public:
    QList<QWidget*> requests;
    bool event(QEvent* e) override {
        if (e->type() == kv::LookupRequestEvent) {
            requests << static_cast<kv::TLookupRequestEvent*>(e)->edit();
            return true;
        }
        return QWidget::event(e);
    }
};

void activate(QWidget& w) {
    w.resize(500, 400);
    w.show();
    QApplication::setActiveWindow(&w);
}

} // namespace

TEST(KvDBEdit, ShowsAndWritesItsField) {
    Data d;
    QWidget form;
    auto* edit = new TKvDBEdit(&form);
    auto* other = new QLineEdit(&form);
    other->move(0, 100);
    edit->SetDesigning(true);
    edit->SetDataSource(&d.source);
    edit->SetDataField("MB001");
    EXPECT_EQ(edit->Caption(), QStringLiteral("品号"));
    EXPECT_EQ(edit->text(), "A01");
    EXPECT_EQ(edit->maxLength(), 8);
    d.ds.Next();
    EXPECT_EQ(edit->text(), "A02");
    activate(form);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, "X");
    EXPECT_EQ(d.ds.State(), kv::TDataSetState::dsEdit);
    other->setFocus(); // leaving writes the text
    EXPECT_EQ(d.ds.FieldByName("MB001").AsString(), "A02X");
    d.ds.Post();
    d.ds.SetReadOnly(true);
    edit->setFocus();
    QTest::keyClicks(edit, "Z");
    EXPECT_EQ(edit->text(), "A02X");
}

TEST(KvBtnDBEdit, ButtonFollowsAndRequestsTheLookup) {
    LookupForm form;
    auto* edit = new TKvBtnDBEdit(&form);
    activate(form);
    edit->setGeometry(50, 20, 100, 22);
    TGSpeedButton* button = edit->F2Button();
    EXPECT_EQ(button->objectName(), "F2Button");
    EXPECT_EQ(button->parentWidget(), &form);
    EXPECT_EQ(button->geometry(), QRect(50 + 100 + 2, 20, 22, 22));
    edit->SetButtonSpacing(5);
    edit->move(60, 30);
    EXPECT_EQ(button->geometry(), QRect(60 + 100 + 5, 30, 22, 22));
    edit->SetButtonHint(QStringLiteral("开窗"));
    EXPECT_EQ(button->toolTip(), QStringLiteral("开窗"));
    EXPECT_EQ(edit->GlyphIndex(), 8);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(form.requests.size(), 1);
    EXPECT_EQ(form.requests[0], edit);
    int dialogs = 0;
    edit->OnDialog = [&](TKvBtnDBEdit* sender, int&) { dialogs += sender == edit; };
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(form.requests.size(), 1);
    edit->setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
}

TEST(DBLabel, CaptionPlacementAndOneLabelPerControl) {
    Data d;
    QWidget form;
    auto* edit = new TKvDBEdit(&form);
    edit->setGeometry(10, 40, 100, 22);
    edit->SetDataSource(&d.source);
    edit->SetDataField("MB001");
    auto* label = new TDBLabel(&form);
    EXPECT_EQ(label->text(), QStringLiteral("挂靠标签"));
    label->SetFocusControl(edit);
    EXPECT_EQ(label->text(), QStringLiteral("品号"));
    // Left of the control, clamped at 0.
    EXPECT_EQ(label->x(), 0);
    EXPECT_EQ(label->y(), 40);
    label->SetPos(psAbove);
    EXPECT_EQ(label->geometry().bottom() + 1 + 4, 40);
    label->SetPos(psRight);
    EXPECT_EQ(label->x(), 10 + 100 + 4);
    label->SetGap(8);
    EXPECT_EQ(label->x(), 10 + 100 + 8);
    edit->move(20, 60);
    QCoreApplication::sendEvent(label, new QEvent(TDBLabel::RefreshEventType(label->objectName())));
    EXPECT_EQ(label->x(), 20 + 100 + 8);

    auto* second = new TDBLabel(&form);
    MessageBoxWatcher watcher;
    second->SetFocusControl(edit);
    EXPECT_TRUE(watcher.seen());
    EXPECT_EQ(watcher.text(), QStringLiteral("不能同时有两个 DBLabel 指到同一个 Control."));
    EXPECT_EQ(second->FocusControl(), nullptr);
    delete edit;
    EXPECT_EQ(label->FocusControl(), nullptr);
}

TEST(BitCheckBox, BoundToAFlagField) {
    Data d;
    QWidget form;
    auto* box = new TBitCheckBox(&form);
    box->SetDataSource(&d.source);
    box->SetDataField("FLAG");
    EXPECT_EQ(box->State(), cbUnchecked);
    d.ds.Next();
    EXPECT_EQ(box->State(), cbChecked);
    activate(form);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->State(), cbUnchecked);
    EXPECT_EQ(d.ds.FieldByName("FLAG").AsString(), "N");
    d.ds.Post();
    d.ds.FieldByName("FLAG");
    d.ds.Edit();
    d.ds.FieldByName("FLAG").SetAsString("?");
    EXPECT_EQ(box->State(), cbGrayed);
    d.ds.Cancel();
}

TEST(FDBGrid, StripesFocusRowBlankRowsAndAppend) {
    Data d;
    QWidget form;
    auto* grid = new TFDBGrid(&form);
    grid->setGeometry(0, 0, 400, 300);
    grid->SetDataSource(&d.source);
    grid->SetCheckBoxField("FLAG");
    activate(form);
    d.ds.SetRecNo(3);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("品号"));
    EXPECT_EQ(grid->currentIndex().row(), 2);
    const QImage image = grid->viewport()->grab().toImage();
    auto colourAt = [&](int row, int col) {
        const QRect r = grid->visualRect(grid->model()->index(row, col));
        return image.pixelColor(r.right() - 2, r.top() + 2);
    };
    const TFDBGridColors* colors = grid->GridColors();
    EXPECT_EQ(colourAt(0, 1), colors->OddRecColor);
    EXPECT_EQ(colourAt(1, 1), colors->EvenRecColor);
    EXPECT_EQ(colourAt(2, 1), colors->FocusRecColor);
    // Below the last record the stripes go on: even, then odd.
    const QRect last = grid->visualRect(grid->model()->index(2, 1));
    const int h = last.height();
    EXPECT_EQ(image.pixelColor(last.right() - 2, last.bottom() + 3), colors->EvenRecColor);
    EXPECT_EQ(image.pixelColor(last.right() - 2, last.bottom() + h + 3), colors->OddRecColor);
    // The flag column shows the check picture: it differs between "Y" and "N".
    const QRect flagYes = grid->visualRect(grid->model()->index(1, 2));
    const QRect flagNo = grid->visualRect(grid->model()->index(0, 2));
    EXPECT_NE(
        image.copy(flagYes.adjusted(0, 0, 0, 0)).pixelColor(flagYes.width() / 2 - 1, flagYes.height() / 2),
        image.copy(flagNo).pixelColor(flagNo.width() / 2 - 1, flagNo.height() / 2));

    // A click in the blank area appends a record and selects the clicked column.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(last.center().x(), last.bottom() + h + 5));
    EXPECT_EQ(d.ds.State(), kv::TDataSetState::dsInsert);
    EXPECT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(grid->currentIndex().column(), 1);
    // A second click there keeps the untouched new record.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(5, grid->viewport()->height() - 3));
    EXPECT_EQ(d.ds.State(), kv::TDataSetState::dsInsert);
    EXPECT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(grid->currentIndex().column(), 0);
}
