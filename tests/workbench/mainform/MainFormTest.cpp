// The main form hands over to the workbench once and closes with it.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>
#include <QTimer>

#include "workbench/Krta07C.h"
#include "workbench/Krta07SMF.h"

TEST(MainForm, HandsOverOnceAndClosesWithTheWorkbench) {
    QPointer<TfrmKRTA07> main = new TfrmKRTA07;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->FDbName = "DEMO";
    main->FVersionCode = "V";
    main->FProductID = 5;
    main->show();
    QTRY_VERIFY(main->Workbench() != nullptr);
    TfrmKrta07SM* wb = main->Workbench();
    EXPECT_EQ(TfrmKrta07SM::Current, wb);
    EXPECT_FALSE(main->isVisible());
    EXPECT_FALSE(main->Timer1->isActive());
    EXPECT_TRUE(wb->isVisible());
    EXPECT_TRUE(wb->windowTitle().endsWith(QString::fromUtf8("-普及版[V]")));
    // A late tick does not open a second workbench.
    main->Timer1Timer();
    EXPECT_EQ(main->Workbench(), wb);
    EXPECT_EQ(main->findChildren<TfrmKrta07SM*>().size(), 1);
    wb->close();
    QTRY_VERIFY(main.isNull());
}
