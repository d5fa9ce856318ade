// Script command export: the line grid's context menu, its export entry and the file dialog, worked
// with mouse and key events as a planner would.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTimer>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "host/client/ScriptRunner.h"
#include "workbench/Krta07SMF.h"

namespace {

QMenu* shownMenu(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible() && m->objectName() == name) return m;
    return nullptr;
}

QFileDialog* exportDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible() && d->objectName() == "dlgExport")
            return d;
    return nullptr;
}

// export FILE.png|FILE.pdf [window|all]: right-click on the line grid, pick the entry, type the file's
// name into the dialog and press Enter.
bool exportCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    const QString range = args.value(1, QStringLiteral("window"));
    if (args.isEmpty() || args.size() > 2 || (range != QLatin1String("window") && range != QLatin1String("all"))) {
        error = QStringLiteral("usage: export FILE.png|FILE.pdf [window|all]");
        return false;
    }
    const QString file = c.FilePath(args[0]);
    if (QFile::exists(file) && !QFile::remove(file)) {
        error = QStringLiteral("cannot replace %1").arg(args[0]);
        return false;
    }
    // The chart and its grid are on the schedule tab.
    QTabBar* tabs = wb->PageControl1->tabBar();
    if (wb->PageControl1->currentIndex() != 0) c.Click(tabs, tabs->tabRect(0).center());

    QWidget* viewport = wb->dgMPSTB->viewport();
    const QPoint at(viewport->width() / 2, std::min(viewport->height() / 2, 30));
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &menuEvent);
    QApplication::processEvents();
    QMenu* menu = shownMenu(QStringLiteral("PopupMenu1"));
    if (!menu) {
        error = QStringLiteral("the line grid's menu did not open");
        return false;
    }
    QAction* entry = range == QLatin1String("all") ? wb->actExportSpan : wb->actExportWindow;
    if (!entry || !entry->isEnabled()) {
        menu->close();
        error = QStringLiteral("the menu's export entry is disabled");
        return false;
    }

    // The file dialog is modal: it is filled from a timer while the click on the entry waits for it.
    bool seen = false;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QFileDialog* d = exportDialog();
        if (!d || seen) return;
        seen = true;
        driver.stop();
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            d->reject();
            return;
        }
        c.Click(name);
        name->selectAll();
        c.Type(name, file);
        c.Key(name, Qt::Key_Return);
        if (d->isVisible()) d->reject();
    });
    driver.start();
    c.Click(menu, menu->actionGeometry(entry).center());
    driver.stop();
    if (!seen) {
        error = QStringLiteral("the export dialog did not open");
        return false;
    }
    if (!QFile::exists(file)) {
        error = QStringLiteral("%1 was not written").arg(args[0]);
        return false;
    }
    c.Print(QStringLiteral("export\t%1").arg(args[0]));
    return true;
}

[[maybe_unused]] const bool registered = [] {
    RegisterScriptCommand(QStringLiteral("export"), exportCommand);
    return true;
}();

} // namespace
