// TfrmKVDialog: what it takes from its owner, the three lookup hooks by key and by message, Enter
// moving between controls, and the modal result.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "controls/KvMessages.h"
#include "controls/KvMsgDlgHook.h"
#include "lang/CodeConverter.h"
#include "optionforms/KVDialog.h"
#include "platform/KvError.h"

namespace {

class TfrmOwner : public TKVForm {
public:
    TfrmOwner() { setWindowTitle("主窗体"); }
};

class TfrmProbe : public TfrmKVDialog {
public:
    explicit TfrmProbe(TKVForm* owner) : TfrmKVDialog(owner) {
        edFirst = new QLineEdit(this);
        edFirst->setObjectName("edFirst");
        edSecond = new QLineEdit(this);
        edSecond->setObjectName("edSecond");
        edSecond->move(0, 30);
        memo = new QPlainTextEdit(this);
        memo->move(0, 60);
        resize(300, 300);
    }
    QStringList calls;
    QLineEdit *edFirst, *edSecond;
    QPlainTextEdit* memo;

protected:
    void record(const char* hook, int key, QWidget* control) {
        calls << QString("%1:%2:%3").arg(hook).arg(key, 0, 16).arg(control ? control->objectName() : "-");
    }
    void F2Lookup(int key, QWidget* control) override { record("F2", key, control); }
    void F3Lookup(int key, QWidget* control) override { record("F3", key, control); }
    void F4Lookup(int key, QWidget* control) override { record("F4", key, control); }
};

} // namespace

TEST(KVDialog, TakesTheOwnersCaptionAndConversion) {
    TfrmOwner owner;
    owner.KvConverter->SystemCodePage = "950";
    owner.KvConverter->UICodePage = "950";
    owner.KvConverter->UIChangeType = 2;
    owner.KvConverter->DataChangeType = 2;
    TfrmProbe dialog(&owner);
    dialog.AfterConstruction();
    EXPECT_EQ(dialog.windowTitle(), "主窗体");
    EXPECT_EQ(dialog.OwnerForm(), &owner);
    EXPECT_EQ(dialog.GetSystemCodePage(), "950");
    EXPECT_EQ(dialog.GetUIChangeType(), 2);
    EXPECT_EQ(dialog.GetDataChangeType(), 2);
    // Shown with active conversion, a bound combo box shows the code of its "code<Tab>name" item.
    auto* combo = new QComboBox(&dialog);
    combo->setEditable(true);
    combo->setProperty("DataField", "MA001");
    combo->addItems({"A01\t甲", "B02\t乙"});
    combo->setCurrentIndex(1);
    auto* unbound = new QComboBox(&dialog);
    unbound->setEditable(true);
    unbound->addItem("C03\t丙");
    dialog.show();
    EXPECT_EQ(combo->currentText(), "B02");
    EXPECT_EQ(unbound->currentText(), "C03\t丙");
    dialog.hide();
    // A caption of its own is kept.
    TfrmProbe named(&owner);
    named.setWindowTitle("被通知人");
    named.AfterConstruction();
    EXPECT_EQ(named.windowTitle(), "被通知人");
}

TEST(KVDialog, LookupHooksByKeyAndByMessage) {
    TfrmProbe dialog(nullptr);
    dialog.AfterConstruction();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.edSecond->setFocus();
    QTest::keyClick(dialog.edSecond, Qt::Key_F2);
    QTest::keyClick(dialog.edSecond, Qt::Key_F3);
    QTest::keyClick(dialog.edSecond, Qt::Key_F4, Qt::ShiftModifier);
    const QString shiftF4 = QString::number(int(Qt::Key_F4) | int(Qt::ShiftModifier), 16);
    EXPECT_EQ(dialog.calls,
              (QStringList{QString("F2:%1:edSecond").arg(Qt::Key_F2, 0, 16),
                           QString("F3:%1:edSecond").arg(Qt::Key_F3, 0, 16), "F4:" + shiftF4 + ":edSecond"}));
    // The messages carry their control; a message posted without one reaches no hook.
    dialog.calls.clear();
    QCoreApplication::postEvent(&dialog, new kv::TLookupRequestEvent(dialog.edFirst));
    QCoreApplication::postEvent(&dialog, new TKvControlMessage(kv::WM_KVLOOKUP3, dialog.edFirst));
    QCoreApplication::postEvent(&dialog, new TKvControlMessage(kv::WM_KVLOOKUP4, dialog.edSecond));
    QCoreApplication::postEvent(&dialog, new QEvent(kv::messageEventType(kv::WM_KVLOOKUP4)));
    QCoreApplication::sendPostedEvents(&dialog);
    EXPECT_EQ(dialog.calls, (QStringList{QString("F2:%1:edFirst").arg(Qt::Key_F2, 0, 16),
                                         QString("F3:%1:edFirst").arg(Qt::Key_F3, 0, 16),
                                         QString("F4:%1:edSecond").arg(Qt::Key_F4, 0, 16)}));
}

TEST(KVDialog, EnterMovesOnExceptInMemosAndModalResultCloses) {
    TfrmProbe dialog(nullptr);
    dialog.AfterConstruction();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.edFirst->setFocus();
    QTest::keyClick(dialog.edFirst, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), dialog.edSecond);
    dialog.memo->setFocus();
    QTest::keyClicks(dialog.memo, "a\rb");
    EXPECT_EQ(dialog.memo->toPlainText(), "a\nb");
    dialog.hide();
    QTimer::singleShot(20, [&] { dialog.setModalResult(mrOk); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_FALSE(dialog.isVisible());
    QTimer::singleShot(20, [&] { dialog.close(); }); // closed by its window: cancelled
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

TEST(KVDialog, AFailingHandlerWhileModalIsReportedAndTheDialogStaysOpen) {
    TfrmProbe dialog(nullptr);
    auto* failing = new QPushButton("Fetch", &dialog);
    failing->move(0, 200);
    QObject::connect(failing, &QPushButton::clicked,
                     [] { throw EKvError("The portal at http://portal.invalid/users cannot be reached"); });
    dialog.AfterConstruction();
    QStringList boxes;
    SetMessageDlgHook([&](const QString& text, TMsgDlgType type, TMsgDlgButtons) -> std::optional<int> {
        boxes << QString::number(type) + ":" + text + (dialog.isVisible() ? ":open" : ":closed");
        return mrOk;
    });
    // The click arrives through the dialog's own modal loop, as the planner's click would.
    QTimer::singleShot(20, [&] { QTest::mouseClick(failing, Qt::LeftButton); });
    QTimer::singleShot(60, [&] { dialog.setModalResult(mrOk); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    SetMessageDlgHook(nullptr);
    EXPECT_EQ(boxes, QStringList{QString::number(mtError) +
                                 ":The portal at http://portal.invalid/users cannot be reached:open"});
}
