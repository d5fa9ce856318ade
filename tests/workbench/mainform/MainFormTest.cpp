// The main form hands over to the workbench once and closes with it.
#include <gtest/gtest.h>

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "common/TestSupport.h"
#include "host/demo/DemoCompany.h"
#include "workbench/Krta07C.h"
#include "workbench/Krta07SMF.h"

TEST(MainForm, HandsOverOnceAndClosesWithTheWorkbench) {
    // The workbench works on the company database the launcher settings name.
    QTemporaryDir install;
    kv::demo::DemoOptions options;
    options.lines = 4;
    kv::demo::writeDemoInstallation(install.path(), options);
    testsupport::ScopedEnv registry("TARNIX_REGISTRY", QFile::encodeName(install.filePath("registry.ini")));
    QPointer<TfrmKRTA07> main = new TfrmKRTA07;
    main->AfterConstruction(); // its creation steps clear the session fields set below
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->SetDbName("DEMO");
    main->SetVersionCode("V");
    main->SetProductID(5);
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
