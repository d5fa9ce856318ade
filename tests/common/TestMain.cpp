#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A message box nobody answers (an unexpected error of the code under test) fails the test running
// then and is closed after a minute, instead of holding the whole suite until its time limit.
void watchForUnansweredBoxes(QTimer& timer) {
    static QPointer<QMessageBox> seen;
    static QElapsedTimer since;
    QObject::connect(&timer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != seen) {
            seen = box;
            since.start();
            return;
        }
        if (!box || since.elapsed() < 60000) return;
        const QString text = QStringList{box->text(), box->informativeText(), box->detailedText()}.join('\n');
        ADD_FAILURE() << "a message box stayed unanswered for a minute: " << text.trimmed().toStdString();
        seen = nullptr;
        box->reject();
    });
    timer.start(1000);
}

} // namespace

int main(int argc, char** argv) {
    // Test discovery runs the program without the test's environment: choose the platform here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::tempPath() + "/tarnix-runtime-" + QString::number(getuid());
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    // Each test says which workstation it stands for (code pages, installation settings). The
    // machine's own locale would otherwise choose the system code page, and with it the texts, and
    // the default fonts: a developer's Taiwanese or German desktop must see what CI sees.
    qputenv("LC_ALL", "C.UTF-8");
    qunsetenv("LANGUAGE");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QTimer watchdog;
    watchForUnansweredBoxes(watchdog);
    return RUN_ALL_TESTS();
}
