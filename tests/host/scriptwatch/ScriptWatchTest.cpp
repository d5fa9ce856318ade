// No scripted command leaves a window of its own open today; the watch is what keeps a new one from
// holding a run for ever.
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include "host/client/ScriptRunner.h"

TEST(ScriptWatch, AModalWindowNoCommandDrivesIsClosedAfterTheLimitAndEndsTheRun) {
    TScriptContext context;
    TScriptWatch watch(context, 300);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Nobody drives me"));
    // A dialog closed some other way would leave the test waiting: one that outlives the watch by
    // far is closed here, and fails the test below.
    QTimer::singleShot(10000, &dialog, &QDialog::reject);
    QElapsedTimer clock;
    clock.start();
    dialog.exec();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_TRUE(context.Aborted);
}
