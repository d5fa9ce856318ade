#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

#include "support/LibVCLs.h"

// A component with the kinds of published properties the module addresses by name.
class TTestComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER FCaption)
    Q_PROPERTY(QByteArray Hint MEMBER FHint)
    Q_PROPERTY(int ItemIndex MEMBER FItemIndex)
    Q_PROPERTY(bool Checked MEMBER FChecked)
    Q_PROPERTY(TAlign Align MEMBER FAlign)
    Q_PROPERTY(QChar PasswordChar MEMBER FPasswordChar)
    Q_PROPERTY(double Ratio MEMBER FRatio)
    Q_PROPERTY(int Count READ count)
public:
    enum TAlign { alNone, alTop, alBottom, alClient };
    Q_ENUM(TAlign)
    int count() const { return 42; }

    QString FCaption = "design";
    QByteArray FHint;
    int FItemIndex = -1;
    bool FChecked = false;
    TAlign FAlign = alNone;
    QChar FPasswordChar;
    double FRatio = 0.5;
};

// Records the mouse events it receives.
class TClickTarget : public QWidget {
public:
    QList<QPair<QEvent::Type, QPoint>> events;
    Qt::KeyboardModifiers modifiers;

protected:
    void mousePressEvent(QMouseEvent* e) override { record(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { record(e); }

private:
    void record(QMouseEvent* e) {
        events.append({e->type(), e->position().toPoint()});
        modifiers = e->modifiers();
    }
};

TEST(Properties, ExistenceIgnoresCase) {
    TTestComponent c;
    EXPECT_TRUE(CheckPropertyExist(&c, "Caption"));
    EXPECT_TRUE(CheckPropertyExist(&c, "CAPTION"));
    EXPECT_TRUE(CheckPropertyExist(&c, "objectName"));
    EXPECT_FALSE(CheckPropertyExist(&c, "Missing"));
    EXPECT_FALSE(CheckPropertyExist(&c, ""));
    EXPECT_FALSE(CheckPropertyExist(nullptr, "Caption"));
    c.setProperty("Dynamic", 1);
    EXPECT_FALSE(CheckPropertyExist(&c, "Dynamic")); // only published properties count
}

TEST(Properties, StringPropertiesByName) {
    TTestComponent c;
    EXPECT_EQ(GetStringProperty(&c, "caption"), "design");
    EXPECT_TRUE(SetStringProperty(&c, "Caption", QString::fromUtf8("生产计划")));
    EXPECT_EQ(c.FCaption, QString::fromUtf8("生产计划"));
    EXPECT_TRUE(SetStringProperty(&c, "Hint", "tip"));
    EXPECT_EQ(c.FHint, "tip");
    EXPECT_EQ(GetStringProperty(&c, "Hint"), "tip");
    // Missing objects and properties, and properties of other kinds, are left alone.
    EXPECT_EQ(GetStringProperty(&c, "Missing"), "");
    EXPECT_EQ(GetStringProperty(&c, "ItemIndex"), "");
    EXPECT_FALSE(SetStringProperty(&c, "ItemIndex", "3"));
    EXPECT_EQ(c.FItemIndex, -1);
    EXPECT_FALSE(SetStringProperty(&c, "Missing", "x"));
    EXPECT_FALSE(SetStringProperty(nullptr, "Caption", "x"));
    EXPECT_EQ(GetStringProperty(nullptr, "Caption"), "");
    c.setObjectName("edMB001");
    EXPECT_EQ(GetStringProperty(&c, "Name"), ""); // the name is objectName, as published by Qt
    EXPECT_EQ(GetStringProperty(&c, "objectName"), "edMB001");
}

TEST(Properties, OrdinalPropertiesByName) {
    TTestComponent c;
    EXPECT_TRUE(SetOrdinalProperty(&c, "itemindex", 3));
    EXPECT_EQ(c.FItemIndex, 3);
    EXPECT_EQ(GetOrdinalProperty(&c, "ItemIndex"), 3);
    EXPECT_TRUE(SetOrdinalProperty(&c, "Checked", 1));
    EXPECT_TRUE(c.FChecked);
    EXPECT_EQ(GetOrdinalProperty(&c, "Checked"), 1);
    EXPECT_TRUE(SetOrdinalProperty(&c, "Checked", 0));
    EXPECT_EQ(GetOrdinalProperty(&c, "Checked"), 0);
    EXPECT_TRUE(SetOrdinalProperty(&c, "Align", TTestComponent::alClient));
    EXPECT_EQ(c.FAlign, TTestComponent::alClient);
    EXPECT_EQ(GetOrdinalProperty(&c, "Align"), 3);
    EXPECT_TRUE(SetOrdinalProperty(&c, "PasswordChar", '*'));
    EXPECT_EQ(c.FPasswordChar, QChar('*'));
    EXPECT_EQ(GetOrdinalProperty(&c, "PasswordChar"), '*');
    EXPECT_EQ(GetOrdinalProperty(&c, "Count"), 42);
    EXPECT_FALSE(SetOrdinalProperty(&c, "Count", 1)); // read-only
    EXPECT_EQ(GetOrdinalProperty(&c, "Ratio"), 0);    // not ordinal
    EXPECT_FALSE(SetOrdinalProperty(&c, "Ratio", 2));
    EXPECT_EQ(c.FRatio, 0.5);
    EXPECT_EQ(GetOrdinalProperty(&c, "Caption"), 0);
    EXPECT_EQ(GetOrdinalProperty(nullptr, "Checked"), 0);

    QCheckBox box;
    EXPECT_TRUE(SetOrdinalProperty(&box, "checked", 1));
    EXPECT_TRUE(box.isChecked());
}

TEST(Events, AssignRaiseAndClearHandlers) {
    TTestComponent c;
    QVariantList args{0};
    EXPECT_FALSE(GetObjectMethod(&c, "OnClick"));
    EXPECT_FALSE(CallObjectMethod(&c, "OnClick", args));

    QObject* seenSender = nullptr;
    ASSERT_TRUE(SetObjectMethod(&c, "OnKeyPress", [&seenSender](QObject* sender, QVariantList& a) {
        seenSender = sender;
        a[0] = a[0].toInt() + 13; // a handler may change the key
    }));
    EXPECT_TRUE(GetObjectMethod(&c, "onkeypress"));
    EXPECT_FALSE(GetObjectMethod(&c, "OnClick"));
    EXPECT_TRUE(CallObjectMethod(&c, "ONKEYPRESS", args));
    EXPECT_EQ(seenSender, &c);
    EXPECT_EQ(args[0].toInt(), 13);

    // A handler copied from one component and assigned to another runs for the other.
    TTestComponent other;
    SetObjectMethod(&other, "OnKeyPress", GetObjectMethod(&c, "OnKeyPress"));
    EXPECT_TRUE(CallObjectMethod(&other, "OnKeyPress", args));
    EXPECT_EQ(seenSender, &other);
    EXPECT_EQ(args[0].toInt(), 26);

    EXPECT_TRUE(SetObjectMethod(&c, "OnKeyPress", {}));
    EXPECT_FALSE(CallObjectMethod(&c, "OnKeyPress", args));
    EXPECT_EQ(args[0].toInt(), 26);
    EXPECT_FALSE(SetObjectMethod(nullptr, "OnClick", [](QObject*, QVariantList&) {}));
    EXPECT_FALSE(GetObjectMethod(nullptr, "OnClick"));
}

TEST(Events, HandlersAreFreedWithTheirComponent) {
    auto token = std::make_shared<int>(0);
    {
        TTestComponent c;
        SetObjectMethod(&c, "OnChange", [token](QObject*, QVariantList&) { ++*token; });
        QVariantList none;
        CallObjectMethod(&c, "OnChange", none);
        EXPECT_EQ(*token, 1);
        EXPECT_EQ(token.use_count(), 2);
    }
    EXPECT_EQ(token.use_count(), 1);
}

TEST(Clicks, SendClickMessageClicksButtonsAtTheGivenPlace) {
    QPushButton button("OK");
    button.resize(80, 24);
    QSignalSpy clicked(&button, &QPushButton::clicked);
    SendClickMessage(&button, 0, 0);
    EXPECT_EQ(clicked.count(), 1);
    SendClickMessage(&button, 0, (10 << 16) | 40);
    EXPECT_EQ(clicked.count(), 2);
    SendClickMessage(&button, 0, (10 << 16) | 500); // outside the button: no click
    EXPECT_EQ(clicked.count(), 2);

    QCheckBox box("Down");
    box.resize(80, 24);
    SendClickMessage(&box, 0, (5 << 16) | 5);
    EXPECT_TRUE(box.isChecked());

    TClickTarget target;
    target.resize(100, 100);
    SendClickMessage(&target, 4 | 8, (7 << 16) | 30);
    ASSERT_EQ(target.events.size(), 2);
    EXPECT_EQ(target.events[0].first, QEvent::MouseButtonPress);
    EXPECT_EQ(target.events[1].first, QEvent::MouseButtonRelease);
    EXPECT_EQ(target.events[0].second, QPoint(30, 7));
    EXPECT_EQ(target.modifiers, Qt::ShiftModifier | Qt::ControlModifier);
    SendClickMessage(nullptr, 0, 0);
}

#include "LibVCLsTest.moc"
