// The controls without data: labelled edits, spin edit, check box, radio group, speed and F2 buttons,
// select panel and page control, driven by mouse and key events.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "controls/BtChkBox.h"
#include "controls/ExtPage.h"
#include "controls/F2Button.h"
#include "controls/KvBitmaps.h"
#include "controls/KvDBEdit.h"
#include "controls/KvEdit.h"
#include "controls/KvMessages.h"
#include "controls/KvRadio.h"
#include "controls/KvSpinEdit.h"
#include "controls/SelectPnl.h"
#include "tests/lang/common/Workstation.h"

namespace {

// A form that records the lookup requests it receives.
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
    w.resize(500, 300);
    w.show();
    QApplication::setActiveWindow(&w);
}

} // namespace

TEST(KvEdit, LabelFollowsTheEditInEveryPosition) {
    QWidget form;
    auto* edit = new TKvEdit(&form);
    form.show(); // hidden widgets report their moves when shown
    edit->setGeometry(100, 50, 80, 20);
    edit->SetCaption(QStringLiteral("品号"));
    QLabel* label = edit->EditLabel();
    ASSERT_EQ(label->parentWidget(), &form);
    EXPECT_EQ(label->geometry().right() + 1, 100 - 4); // left, spacing 4
    EXPECT_EQ(label->geometry().center().y(), edit->geometry().center().y());
    edit->move(150, 80);
    EXPECT_EQ(label->geometry().right() + 1, 150 - 4);
    edit->SetLabelSpacing(-3); // ignored
    EXPECT_EQ(edit->LabelSpacing(), 4);
    edit->SetLabelSpacing(10);
    EXPECT_EQ(label->geometry().right() + 1, 140);
    edit->SetLabelPosition(lpAbove);
    EXPECT_EQ(label->geometry().left(), 150);
    EXPECT_EQ(label->geometry().bottom() + 1, 80 - 10);
    edit->SetLabelPosition(lpBelow);
    EXPECT_EQ(label->geometry().top(), 100 + 10);
    edit->SetLabelPosition(lpRight);
    EXPECT_EQ(label->geometry().left(), 230 + 10);
    edit->setEnabled(false);
    EXPECT_FALSE(label->isEnabled());
    edit->hide();
    EXPECT_FALSE(label->isVisible());
    delete edit;
    EXPECT_EQ(form.findChildren<QLabel*>().size(), 0); // the label goes with its edit
}

// An edit's limit counts bytes in the system's code page: on a Chinese system a Chinese character
// takes two; typing beyond the limit is refused, in the middle of the text as at its end.
TEST(KvEdit, TheMaximumLengthCountsBytesOfTheSystemsCodePage) {
    QWidget form;
    auto* edit = new TKvEdit(&form);
    activate(form);
    edit->setFocus();
    edit->setMaxLength(6);
    auto type = [edit](const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    };
    {
        testsupport::ScopedEnv acp("TARNIX_ACP", "936");
        type(QStringLiteral("工厂一二"));
        EXPECT_EQ(edit->text(), QStringLiteral("工厂一"));
        edit->clear();
        type(QStringLiteral("AB工厂C"));
        EXPECT_EQ(edit->text(), QStringLiteral("AB工厂"));
        QTest::keyClick(edit, Qt::Key_Home);
        type(QStringLiteral("X"));
        EXPECT_EQ(edit->text(), QStringLiteral("AB工厂"));
    }
    edit->clear();
    type(QStringLiteral("ABCDEFGH"));
    EXPECT_EQ(edit->text(), QStringLiteral("ABCDEF"));
    EXPECT_EQ(edit->property("MaxLength").toInt(), 6);
    edit->setMaxLength(0);
    type(QStringLiteral("GH"));
    EXPECT_EQ(edit->text(), QStringLiteral("ABCDEFGH"));
}

TEST(KvSpinEdit, DropsASignTypedAfterTheFirstPosition) {
    QWidget form;
    auto* spin = new TKvSpinEdit(&form);
    activate(form);
    spin->SetText("");
    spin->setFocus();
    QSignalSpy changes(spin, &TKvSpinEdit::Change);
    QTest::keyClicks(spin, "12-");
    EXPECT_EQ(spin->Text(), "12");
    EXPECT_EQ(changes.count(), 2); // "1" and "12"; nothing for the stripped sign
    spin->SetText("");
    changes.clear();
    QTest::keyClicks(spin, "-5");
    EXPECT_EQ(spin->Text(), "-5"); // a leading sign stays
    EXPECT_EQ(spin->Value(), -5);
    EXPECT_EQ(changes.count(), 2);
    // A sign typed between digits goes, the digits stay.
    spin->SetText("12");
    changes.clear();
    QTest::keyClick(spin, Qt::Key_Home);
    QTest::keyClick(spin, Qt::Key_Right);
    QTest::keyClick(spin, Qt::Key_Minus);
    EXPECT_EQ(spin->Text(), "12");
    EXPECT_EQ(changes.count(), 0);
}

TEST(BitCheckBox, ClicksCycleTheStates) {
    QWidget form;
    auto* box = new TBitCheckBox(&form);
    box->setText("&Down");
    activate(form);
    EXPECT_EQ(box->size(), QSize(97, 17));
    QSignalSpy clicked(box, &QAbstractButton::clicked);
    int stateAtClick = -1;
    QObject::connect(box, &QAbstractButton::clicked, [&] { stateAtClick = box->State(); });
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->State(), cbChecked);
    EXPECT_EQ(stateAtClick, cbChecked); // the click event sees the new state
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->State(), cbUnchecked);
    box->SetAllowGrayed(true);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->State(), cbGrayed);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(box->State(), cbChecked);
    EXPECT_TRUE(box->Checked());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->State(), cbUnchecked);
    EXPECT_EQ(clicked.count(), 5);
    // The glyph of the state is drawn.
    box->SetState(cbChecked);
    const QImage checkedImage = box->grab().toImage();
    box->SetState(cbUnchecked);
    EXPECT_NE(box->grab().toImage(), checkedImage);
}

TEST(KvRadioGroup, ItemIndexFollowsClicksAndArrows) {
    QWidget form;
    auto* group = new TKvRadioGroup(&form);
    group->setGeometry(10, 10, 300, 120);
    group->SetItems({"A", "B", "C"});
    activate(form);
    QSignalSpy changed(group, &TKvRadioGroup::ItemIndexChanged);
    QTest::mouseClick(group->Button(1), Qt::LeftButton);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_TRUE(group->Button(1)->isChecked());
    group->Button(1)->setFocus();
    QTest::keyClick(group->Button(1), Qt::Key_Down);
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_FALSE(group->Button(1)->isChecked());
    group->SetItemIndex(-1);
    EXPECT_FALSE(group->Button(2)->isChecked());
    group->SetColumns(3);
    EXPECT_EQ(group->Button(2)->y(), group->Button(0)->y());
    EXPECT_GE(changed.count(), 3);
}

TEST(GSpeedButton, GlyphIndexLoadsOrClearsThePicture) {
    TGSpeedButton b;
    EXPECT_GE(GetMaxBmpID(), 12);
    b.SetGlyphIndex(3);
    EXPECT_FALSE(b.Glyph().isNull());
    EXPECT_EQ(b.text(), "");
    EXPECT_EQ(b.NumGlyphs(), 1);
    b.SetGlyphIndex(GetMaxBmpID() + 1); // beyond the library: no picture, the number as caption
    EXPECT_TRUE(b.Glyph().isNull());
    EXPECT_EQ(b.text(), QString::number(GetMaxBmpID() + 1));
    b.SetGlyphIndex(0);
    EXPECT_TRUE(b.Glyph().isNull());
    EXPECT_EQ(b.text(), "0");
}

TEST(F2Button, PlacesItselfRefusesASecondButtonAndRequestsTheLookup) {
    LookupForm form;
    auto* edit = new QLineEdit(&form);
    edit->setGeometry(20, 20, 100, 24);
    auto* button = new TF2Button(&form);
    button->SetF2Control(edit);
    EXPECT_EQ(button->geometry(), QRect(20 + 100 + 2, 20, 24, 24));
    auto* second = new TF2Button(&form);
    MessageBoxWatcher watcher;
    second->SetF2Control(edit);
    EXPECT_TRUE(watcher.seen());
    EXPECT_EQ(watcher.text(), QStringLiteral("不能同时有两个 F2Button 指到同一个 Edit."));
    EXPECT_EQ(second->F2Control(), nullptr);

    activate(form);
    int order = 0, clickOrder = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { clickOrder = ++order; });
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(clickOrder, 1);
    EXPECT_TRUE(edit->hasFocus());
    ASSERT_EQ(form.requests.size(), 1);
    EXPECT_EQ(form.requests[0], edit);
    // A disabled edit gets no request.
    edit->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.requests.size(), 1);
}

TEST(SelectPanel, LeavingOrdersTheRangeByValueType) {
    QWidget form;
    auto* panel = new TSelectPanel(&form);
    auto* other = new QLineEdit(&form);
    panel->setGeometry(0, 0, 400, 30);
    other->setGeometry(0, 40, 100, 24);
    activate(form);
    QSignalSpy exits(panel, &TSelectPanel::OnExit);
    QSignalSpy presses(panel, &TSelectPanel::OnKeyPress);
    // Typed over what the edit holds; text outside ASCII as key events carrying its characters.
    auto type = [](QLineEdit* edit, const QString& text) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    };
    auto leaveWith = [&](int valueType, const QString& start, const QString& end) {
        panel->setProperty("ValueType", valueType);
        panel->StartEdit()->setFocus();
        type(panel->StartEdit(), start);
        panel->EndEdit()->setFocus();
        type(panel->EndEdit(), end);
        other->setFocus();
    };
    leaveWith(vt_Number, "10", "2");
    EXPECT_EQ(panel->StartText(), "2");
    EXPECT_EQ(panel->EndText(), "10");
    leaveWith(vt_String, "10", "2");
    EXPECT_EQ(panel->StartText(), "10"); // "10" sorts before "2"
    leaveWith(vt_String, " b ", "a");
    EXPECT_EQ(panel->StartText(), "a");
    EXPECT_EQ(panel->EndText(), "b");
    // Chinese texts in the order of the module's code page, as the server compares them: 北 before 上.
    leaveWith(vt_String, QStringLiteral("上海"), QStringLiteral("北京"));
    EXPECT_EQ(panel->StartText(), QStringLiteral("北京"));
    EXPECT_EQ(panel->EndText(), QStringLiteral("上海"));
    panel->setProperty("UseDiscard", true);
    panel->setProperty("Discard", "zzz");
    leaveWith(vt_String, "zzz", "a");
    EXPECT_EQ(panel->StartText(), "zzz"); // the discard text is never exchanged
    panel->setProperty("AutoChangeDateSite", true);
    panel->setProperty("DateType", int(dt_DDMMYYYY));
    leaveWith(vt_Date, "05/03/2024", "01/12/2023");
    EXPECT_EQ(panel->StartText(), "01/12/2023");
    leaveWith(vt_Date, "2024", "01/01/2023"); // not a date: the earliest one
    EXPECT_EQ(panel->StartText(), "2024");
    panel->setProperty("DateType", int(dt_YYYMMDD));
    leaveWith(vt_Date, "113/01", "112/12/31"); // a month of the Republic era: its first day
    EXPECT_EQ(panel->StartText(), "112/12/31");
    EXPECT_EQ(exits.count(), 8);
    EXPECT_GE(presses.count(), 20);
}

// Another window taking the focus (a lookup window, another program) is no leaving: a half-typed
// range is not ordered then, only when the focus goes on within the form.
TEST(SelectPanel, AnotherWindowIsNoLeaving) {
    QWidget form;
    auto* panel = new TSelectPanel(&form);
    auto* other = new QLineEdit(&form);
    panel->setGeometry(0, 0, 400, 30);
    other->setGeometry(0, 40, 100, 24);
    activate(form);
    panel->setProperty("ValueType", int(vt_Number));
    QSignalSpy exits(panel, &TSelectPanel::OnExit);
    panel->StartEdit()->setFocus();
    QTest::keyClicks(panel->StartEdit(), "10");
    QTest::keyClick(panel->StartEdit(), Qt::Key_Tab);
    ASSERT_TRUE(panel->EndEdit()->hasFocus());
    QTest::keyClicks(panel->EndEdit(), "2");

    QWidget lookup;
    auto* find = new QLineEdit(&lookup);
    activate(lookup);
    find->setFocus();
    ASSERT_TRUE(find->hasFocus());
    EXPECT_EQ(exits.count(), 0);
    EXPECT_EQ(panel->StartText(), "10");
    EXPECT_EQ(panel->EndText(), "2");
    lookup.close();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(panel->EndEdit()->hasFocus());
    EXPECT_EQ(exits.count(), 0);

    QTest::keyClick(panel->EndEdit(), Qt::Key_Tab);
    ASSERT_TRUE(other->hasFocus());
    EXPECT_EQ(exits.count(), 1);
    EXPECT_EQ(panel->StartText(), "2");
    EXPECT_EQ(panel->EndText(), "10");

    // A lookup that moves the form's focus on to its next field while it is open: the panel is left
    // when the form comes back.
    panel->StartEdit()->setFocus();
    QTest::keyClicks(panel->StartEdit(), "5");
    activate(lookup);
    find->setFocus();
    other->setFocus();
    EXPECT_EQ(exits.count(), 1);
    lookup.close();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(other->hasFocus());
    EXPECT_EQ(exits.count(), 2);
    EXPECT_EQ(panel->StartText(), "10"); // "25" against "10"
    EXPECT_EQ(panel->EndText(), "25");
}

TEST(SelectPanel, MaskStyleAndList) {
    TSelectPanel panel;
    panel.SetStartText("20240102");
    panel.SetEditMask("9999/99/99");
    EXPECT_EQ(panel.EmptyMaskText(), "//");
    EXPECT_EQ(panel.StartText(), "2024/01/02");
    QSignalSpy changed(&panel, &TSelectPanel::OnStyleChange);
    panel.OnStyleChanging = [](TSelectPanel*, int, int next, bool& accept) {
        accept = next != sp_UserChoice;
    };
    // The change is told with the layout of the new style and the old one still stored.
    int styleSeen = -1;
    bool listShown = false;
    QObject::connect(&panel, &TSelectPanel::OnStyleChange, [&](TSelectPanel* p, int, int) {
        styleSeen = p->Style();
        listShown = p->ListView()->isVisibleTo(p);
        p->SetCanOpenWin(false); // lays the panel out again
    });
    panel.SetStyle(sp_UserChoice);
    EXPECT_EQ(panel.Style(), sp_Range);
    panel.setProperty("Style", int(sp_Discrete));
    EXPECT_EQ(panel.Style(), sp_Discrete);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][1].toInt(), sp_Range);
    EXPECT_EQ(changed[0][2].toInt(), sp_Discrete);
    EXPECT_EQ(styleSeen, sp_Range);
    EXPECT_TRUE(listShown);
    EXPECT_TRUE(panel.ListView()->isVisibleTo(&panel));
    EXPECT_FALSE(panel.StartEdit()->isVisibleTo(&panel));

    TYenListView* list = panel.ListView();
    EXPECT_FALSE(list->AddItem({}));
    EXPECT_TRUE(list->AddItem({"A01"}));
    EXPECT_TRUE(list->AddItem({"A02", "name", "size"}));
    EXPECT_EQ(list->columnCount(), 3);
    EXPECT_EQ(list->headerItem()->text(2), "Data3");
    EXPECT_EQ(list->Row(0), (QStringList{"A01", "", ""}));
    panel.setProperty("CheckDuplicate", int(cd_CaseInsensitive));
    EXPECT_FALSE(panel.AddValue({"a01"}));
    list->Clear();
    EXPECT_EQ(list->topLevelItemCount(), 0);
}

TEST(SelectPanel, SecondWordsFrameTheDiscreteList) {
    QWidget form;
    auto* panel = new TSelectPanel(&form);
    panel->setGeometry(0, 0, 500, 60);
    panel->SetBeginWords({QStringLiteral("起"), QStringLiteral("自")});
    panel->SetFinalWords({QStringLiteral("止"), QStringLiteral("共选")});
    form.show();
    const auto shown = [panel] {
        QStringList texts;
        for (QLabel* l : panel->findChildren<QLabel*>())
            if (l->isVisible() && !l->text().isEmpty()) texts << l->text();
        texts.sort();
        return texts;
    };
    const auto sorted = [](QStringList texts) {
        texts.sort();
        return texts;
    };
    EXPECT_EQ(shown(), sorted({QStringLiteral("起"), QStringLiteral("止")}));
    panel->SetStyle(sp_Discrete);
    EXPECT_EQ(shown(), sorted({QStringLiteral("共选"), QStringLiteral("自")}));
    // The end words follow the list: they sit right of it.
    QLabel* end = nullptr;
    for (QLabel* l : panel->findChildren<QLabel*>())
        if (l->text() == QStringLiteral("共选")) end = l;
    ASSERT_NE(end, nullptr);
    EXPECT_GE(end->x(), panel->ListView()->geometry().right());
    // One word each: nothing beside the list.
    panel->SetFinalWords({QStringLiteral("止")});
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("自")}));
}

TEST(ExtPageControl, DrawsTheActiveTabInTheCaptionColours) {
    QWidget form;
    auto* pages = new TExtPageControl(&form);
    pages->setGeometry(0, 0, 300, 200);
    auto* one = new TTabSheet;
    one->SetCaption(QStringLiteral("一般"));
    auto* two = new TTabSheet;
    two->SetCaption(QStringLiteral("批次"));
    pages->AddPage(one);
    pages->AddPage(two);
    activate(form);
    two->SetCaption(QStringLiteral("报表"));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("报表"));
    QTabBar* bar = pages->tabBar();
    const QImage image = bar->grab().toImage();
    const QRect active = bar->tabRect(0);
    const QRect inactive = bar->tabRect(1);
    const QRgb highlight = bar->palette().color(QPalette::Active, QPalette::Highlight).rgb();
    EXPECT_EQ(image.pixel(active.left() + 3, active.top() + 3), highlight);
    EXPECT_NE(image.pixel(active.left(), active.top()), highlight); // inset by 2
    EXPECT_EQ(image.pixel(inactive.left() + 1, inactive.top() + 1),
              bar->palette().color(QPalette::Inactive, QPalette::Mid).rgb());
}

TEST(SelectPanel, FreedWhileItsEditHasTheFocus) {
    QWidget form;
    auto* panel = new TSelectPanel(&form);
    auto* edit = new TKvBtnDBEdit(&form);
    activate(form);
    panel->StartEdit()->setFocus();
    ASSERT_TRUE(panel->StartEdit()->hasFocus());
    QSignalSpy exits(panel, &TSelectPanel::OnExit);
    delete panel; // the focus moves on while the parts go: no exit rule runs on the freed panel
    EXPECT_EQ(exits.count(), 0);
    delete edit->F2Button(); // the button freed first: the edit carries on without it
    edit->SetButtonHint("x");
    edit->move(5, 5);
    EXPECT_EQ(edit->ButtonHint(), "");
}
