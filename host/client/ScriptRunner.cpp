#include "host/client/ScriptRunner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "controls/KvMsgDlgHook.h"
#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "gantt/phGant.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/Field.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SQF.h"

namespace {

QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\t'), QLatin1Char(' ')); // tabs separate the fields of a printed line
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

// The answers a script can give and the buttons they press.
struct TAnswer {
    const char* name;
    unsigned button;
    int result;
    QMessageBox::StandardButton standard;
};
constexpr TAnswer kAnswers[] = {
    {"ok", mbOK, mrOk, QMessageBox::Ok},
    {"yes", mbYes, mrYes, QMessageBox::Yes},
    {"no", mbNo, mrNo, QMessageBox::No},
    {"cancel", mbCancel, mrCancel, QMessageBox::Cancel},
};

const TAnswer* answerNamed(const QString& name) {
    for (const TAnswer& a : kAnswers)
        if (name == QLatin1String(a.name)) return &a;
    return nullptr;
}

QString typeName(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QStringLiteral("warning");
    case mtError:
        return QStringLiteral("error");
    case mtInformation:
        return QStringLiteral("information");
    case mtConfirmation:
        return QStringLiteral("confirmation");
    default:
        return QStringLiteral("custom");
    }
}

QString typeName(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Warning:
        return QStringLiteral("warning");
    case QMessageBox::Critical:
        return QStringLiteral("error");
    case QMessageBox::Information:
        return QStringLiteral("information");
    case QMessageBox::Question:
        return QStringLiteral("confirmation");
    default:
        return QStringLiteral("custom");
    }
}

// ---- the commands of the workbench's first steps

// The visible query dialog, if one is up.
TfrmKrta07SQ* queryDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TfrmKrta07SQ*>(w); d && d->isVisible()) return d;
    return nullptr;
}

// Types a source document "TYPE-NUMBER-LINE" part by part into the masked edit, as a planner moves
// over the dashes with the cursor keys.
void typeSourceDoc(TScriptContext& c, TKvEdit* edit, const QString& doc) {
    const QStringList parts = doc.split(QLatin1Char('-'));
    const int starts[3] = {0, 5, 17};
    c.Key(edit, Qt::Key_Home);
    for (int i = 0; i < std::min<int>(3, int(parts.size())); ++i) {
        // The mask moves the cursor over the dashes itself: step on only while short of the part.
        for (int guard = 0; edit->cursorPosition() < starts[i] && guard < 21; ++guard)
            c.Key(edit, Qt::Key_Right);
        c.Type(edit, parts[i]);
    }
}

// The query dialog is modal: it is filled and closed from a timer while the click on the query button
// waits for it.
bool queryCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (args.isEmpty() || args.size() > 3) {
        error = QStringLiteral("usage: query FACTORY [RESOURCE|-] [SOURCEDOC|-]");
        return false;
    }
    const auto arg = [&args](int i) {
        const QString a = args.value(i);
        return a == QLatin1String("-") ? QString() : a;
    };
    const QString factory = arg(0), resource = arg(1), doc = arg(2);
    if (!wb->btnQuery->isEnabled()) {
        error = QStringLiteral("the query button is disabled");
        return false;
    }
    bool seen = false;
    QString refused;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        TfrmKrta07SQ* d = queryDialog();
        if (!d || seen) return;
        seen = true;
        driver.stop();
        // Each edit is left with Enter, as the planner does; a refused code keeps the focus there.
        const auto fill = [&](TKvEdit* edit, const QString& text, QWidget* next, const char* what) {
            if (!refused.isEmpty()) return;
            if (d->focusWidget() != edit) c.Click(edit);
            c.Key(edit, Qt::Key_End);
            c.Key(edit, Qt::Key_Home, Qt::ShiftModifier);
            c.Key(edit, Qt::Key_Delete);
            if (edit == d->edTB004)
                typeSourceDoc(c, edit, text);
            else
                c.Type(edit, text);
            c.Key(edit, Qt::Key_Return);
            if (d->focusWidget() != next && d->isVisible())
                refused = QStringLiteral("the query dialog refused the %1 %2").arg(QLatin1String(what), text);
        };
        d->activateWindow();
        fill(d->edMB001, factory, d->edTB036, "factory");
        fill(d->edTB036, resource, d->edTB004, "resource");
        fill(d->edTB004, doc, d->btnOK, "source document");
        if (refused.isEmpty()) c.Click(d->btnOK);
        if (refused.isEmpty() && d->isVisible()) refused = QStringLiteral("the query dialog stayed open");
        if (d->isVisible()) c.Click(d->btnCancel);
    });
    driver.start();
    c.Click(wb->btnQuery);
    driver.stop();
    if (!seen) {
        error = QStringLiteral("the query dialog did not open");
        return false;
    }
    if (!refused.isEmpty()) {
        error = refused;
        return false;
    }
    if (wb->edMB001->text().trimmed() != factory) {
        error = QStringLiteral("the workbench did not take the factory %1").arg(factory);
        return false;
    }
    c.Print(QStringLiteral("query\t%1\t%2 lines").arg(factory).arg(wb->RowKeys().size()));
    return true;
}

bool clickTab(TScriptContext& c, TfrmKrta07SM* wb, int index) {
    QTabBar* bar = wb->PageControl1->tabBar();
    if (wb->PageControl1->currentIndex() != index) c.Click(bar, bar->tabRect(index).center());
    return wb->PageControl1->currentIndex() == index;
}

bool tabCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    const QString name = args.value(0);
    const int index = name == QLatin1String("schedule") ? 0 : name == QLatin1String("capacity") ? 1 : -1;
    if (args.size() != 1 || index < 0) {
        error = QStringLiteral("usage: tab schedule|capacity");
        return false;
    }
    if (!clickTab(c, wb, index)) {
        error = QStringLiteral("the %1 tab did not open").arg(name);
        return false;
    }
    return true;
}

// Clicks the bar of a row: the tab is brought up and the chart scrolled to the bar first, as the
// planner would with the scroll bar and the scaler. While the chart takes no clicks (outside edit
// mode) the row of the line grid is clicked instead.
bool selectCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    bool ok = false;
    const int row = args.value(0).toInt(&ok);
    if (args.size() != 1 || !ok) {
        error = QStringLiteral("usage: select ROW");
        return false;
    }
    TMyGant* g = wb->mgMPSTC;
    TMyGantItem* item = c.RowBar(wb, row, error);
    if (!item) return false;
    if (!clickTab(c, wb, 0)) {
        error = QStringLiteral("the schedule tab did not open");
        return false;
    }
    QWidget* area = g->GantArea();
    if (!area->isEnabled()) {
        // Outside edit mode the chart takes no clicks: the planner picks the line in the line grid.
        TFDBGrid* grid = wb->dgMPSTB;
        int column = 0;
        while (column < grid->model()->columnCount() && grid->isColumnHidden(column))
            ++column;
        const QModelIndex index = grid->model()->index(row, column);
        grid->scrollTo(index);
        const QRect cell = grid->visualRect(index);
        if (!index.isValid() || cell.isEmpty()) {
            error = QStringLiteral("row %1 is not in the line grid").arg(row);
            return false;
        }
        c.Click(grid->viewport(), cell.center());
    } else {
        // Scrolled into view as for a drag: a bar that starts at the window's last pixel is not yet seen.
        QRect r;
        if (!c.ShowBar(wb, row, r, error)) return false;
        c.Click(area, r.intersected(area->rect()).center());
    }
    if (wb->CurrentRowIndex() != row) {
        error = QStringLiteral("the click on row %1 made row %2 current").arg(row).arg(wb->CurrentRowIndex());
        return false;
    }
    return true;
}

bool answerCommand(TScriptContext& c, const QStringList& args, QString& error) {
    if (args.isEmpty() || args.size() > 2 || !answerNamed(args[0].toLower())) {
        error = QStringLiteral("usage: answer ok|yes|no|cancel [FILE.png]");
        return false;
    }
    if (args.size() == 2) {
        const QString file = c.FilePath(args[1]);
        if (!QFileInfo(file).absoluteDir().exists()) {
            error = QStringLiteral("the folder of %1 does not exist").arg(args[1]);
            return false;
        }
        c.AnswerPicture = file;
    }
    c.Answer = args[0].toLower();
    return true;
}

bool shotCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (args.size() != 1) {
        error = QStringLiteral("usage: shot FILE.png");
        return false;
    }
    // Charts redraw when the loop is idle: let them.
    wb->FlushLoadChart();
    c.WaitFor([] { return false; }, 150);
    const QString file = c.FilePath(args[0]);
    const QFileInfo info(file);
    if (!info.absoluteDir().exists()) {
        error = QStringLiteral("the folder of %1 does not exist").arg(args[0]);
        return false;
    }
    if (!wb->grab().save(file, "PNG")) {
        error = QStringLiteral("cannot write %1").arg(args[0]);
        return false;
    }
    return true;
}

// One row per loaded line: the marker of the current line, the key parts, TB013, TB014 and the day
// quantities of its bar.
bool dumpCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (!args.isEmpty()) {
        error = QStringLiteral("usage: dump");
        return false;
    }
    // TB013 and TB014 of each line by key; the working set holds what a save would write.
    QHash<QString, QPair<QString, QString>> dates;
    const kv::TClientDataSet& lines = *wb->dmKrta07S->qryMPSTB;
    if (lines.Active()) {
        int key[6];
        const char* names[6] = {"TB001", "TB003", "TB051", "TB004", "TB005", "TB037"};
        for (int i = 0; i < 6; ++i)
            key[i] = lines.FieldByName(QString::fromLatin1(names[i])).Index();
        const int tb013 = lines.FieldByName(QStringLiteral("TB013")).Index();
        const int tb014 = lines.FieldByName(QStringLiteral("TB014")).Index();
        QStringList parts;
        for (int r = 0; r < lines.RecordCount(); ++r) {
            parts.clear();
            for (int k : key)
                parts << lines.valueAt(r, k).toString();
            dates.insert(TfrmKrta07SM::LineKeyOf(parts), {lines.valueAt(r, tb013).toString().trimmed(),
                                                          lines.valueAt(r, tb014).toString().trimmed()});
        }
    }
    const int current = wb->CurrentRowIndex();
    TMyGantList* list = wb->mgMPSTC->MyGantList();
    for (int i = 0; i < wb->RowKeys().size(); ++i) {
        QStringList row{i == current ? QStringLiteral("*") : QString()};
        row << wb->RowKeys()[i].split(Krta07KeySeparator);
        const auto d = dates.value(wb->RowKeys()[i]);
        row << d.first << d.second;
        if (TMyGantItem* item = list->Items(i)) {
            std::vector<std::pair<qint64, QString>> days;
            for (int k = 0; k < item->CellCount(); ++k) {
                const QString quantity = item->CellQuantity(k).trimmed();
                if (quantity.isEmpty()) continue;
                days.emplace_back(qint64(std::floor(item->CellStart(k) + 1e-9)), quantity);
            }
            std::sort(days.begin(), days.end());
            for (const auto& [day, qty] : days)
                row << Krta07DayText(kv::TDateTime(day)) + QLatin1Char('=') + qty;
        }
        c.Print(row.join(QLatin1Char('\t')));
    }
    return true;
}

bool closeCommand(TScriptContext& c, const QStringList& args, QString& error) {
    TfrmKrta07SM* wb = c.RequireWorkbench(error);
    if (!wb) return false;
    if (!args.isEmpty()) {
        error = QStringLiteral("usage: close");
        return false;
    }
    QPointer<TfrmKrta07SM> guard(wb);
    wb->close();
    if (!c.WaitFor([&guard] { return guard.isNull() || !guard->isVisible(); })) {
        error = QStringLiteral("the workbench did not close");
        return false;
    }
    return true;
}

QHash<QString, TScriptCommand>& commandTable() {
    static QHash<QString, TScriptCommand> table{
        {QStringLiteral("query"), queryCommand}, {QStringLiteral("select"), selectCommand},
        {QStringLiteral("tab"), tabCommand},     {QStringLiteral("answer"), answerCommand},
        {QStringLiteral("shot"), shotCommand},   {QStringLiteral("dump"), dumpCommand},
        {QStringLiteral("close"), closeCommand},
    };
    return table;
}

} // namespace

// ---- context

TfrmKrta07SM* TScriptContext::Workbench() const {
    return TfrmKrta07SM::Current;
}

TfrmKrta07SM* TScriptContext::RequireWorkbench(QString& error) const {
    TfrmKrta07SM* wb = Workbench();
    if (!wb || !wb->isVisible()) {
        error = QStringLiteral("the workbench is not open");
        return nullptr;
    }
    return wb;
}

bool TScriptContext::ValidRow(TfrmKrta07SM* workbench, int row, QString& error) const {
    if (row >= 0 && row < workbench->RowKeys().size()) return true;
    error = QStringLiteral("there is no row %1 (%2 lines loaded)").arg(row).arg(workbench->RowKeys().size());
    return false;
}

TMyGantItem* TScriptContext::RowBar(TfrmKrta07SM* workbench, int row, QString& error) const {
    if (!ValidRow(workbench, row, error)) return nullptr;
    TMyGantItem* item = workbench->mgMPSTC->MyGantList()->Items(row);
    if (!item || !item->Bar) {
        error = QStringLiteral("row %1 has no bar").arg(row);
        return nullptr;
    }
    return item;
}

QPoint TScriptContext::BarPoint(TfrmKrta07SM* wb, int row, const QRect& rect, int x) const {
    const TphDataEntity_GantTime* bar = wb->mgMPSTC->MyGantList()->Items(row)->Bar;
    const int y = rect.top() + 1;
    for (int d = 0; d < rect.width(); ++d)
        for (const int at : {x + d, x - d})
            if (at >= rect.left() && at < rect.left() + rect.width() && wb->mgMPSTC->TimeAt(at, y) == bar)
                return {at, y};
    return {x, y};
}

TMyGantItem* TScriptContext::ShowBar(TfrmKrta07SM* wb, int row, QRect& rect, QString& error) const {
    TMyGantItem* item = RowBar(wb, row, error);
    if (!item) return nullptr;
    TMyGant* g = wb->mgMPSTC;
    if (wb->PageControl1->currentIndex() != 0) {
        wb->PageControl1->setCurrentIndex(0);
        QApplication::processEvents();
    }
    if (!g->GantArea()->isEnabled()) {
        error = QStringLiteral("the chart takes no mouse outside edit mode");
        return nullptr;
    }
    // Days of at least a few pixels: on the chart of a long span a day is under a pixel, and neither a
    // drag of whole days nor a double click on the bar's days could be made, so the window narrows
    // first, as a planner zooms in before working a bar.
    constexpr double kMinDayPixels = 4, kDayPixels = 8;
    if (g->Scale() > 0 && 1 / g->Scale() < kMinDayPixels && g->GantArea()->width() > 0)
        g->SetStop(g->Start() + g->GantArea()->width() / kDayPixels);
    QScrollBar* sb = g->VertScrollBar();
    if (row < sb->value() || row >= sb->value() + sb->pageStep() - 1)
        sb->setValue(std::clamp(row - 2, sb->minimum(), sb->maximum()));
    TphDataEntity_GantTime* bar = item->Bar;
    // Room for the bar and a few days either side of it.
    const double days = g->Stop() - g->Start();
    if (bar->StartTime < g->Start() + 3 || bar->StopTime > g->Stop() - 3)
        g->SetStart(bar->StartTime - std::max(3.0, (days - (bar->StopTime - bar->StartTime)) / 2));
    QApplication::processEvents();
    g->UpdateAllGeometry();
    rect = g->ItemRect(bar);
    if (rect.isEmpty() || !g->GantArea()->rect().contains(rect.topLeft() + QPoint(1, 1))) {
        error = QStringLiteral("the bar of row %1 is not on screen").arg(row);
        return nullptr;
    }
    return item;
}

void TScriptContext::Print(const QString& line) const {
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString TScriptContext::FilePath(const QString& name) const {
    return QDir::current().absoluteFilePath(name);
}

void TScriptContext::Click(QWidget* widget, const QPoint& pos) const {
    if (!widget) return;
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QApplication::processEvents();
}

void TScriptContext::Click(QWidget* widget) const {
    if (widget) Click(widget, widget->rect().center());
}

void TScriptContext::DoubleClick(QWidget* widget, const QPoint& pos) const {
    if (!widget) return;
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, pos);
    QApplication::processEvents();
}

void TScriptContext::Key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers) const {
    if (!widget) return;
    QTest::keyClick(widget, Qt::Key(key), modifiers);
    QApplication::processEvents();
}

void TScriptContext::Type(QWidget* widget, const QString& text) const {
    if (!widget || text.isEmpty()) return;
    // QTest knows key codes for printable ASCII only and asserts on anything else (Chinese codes and
    // names, full-width digits): those characters go as key events that carry just their text, as an
    // input method delivers them. A surrogate pair is one character.
    QPointer<QWidget> target(widget);
    for (qsizetype i = 0; i < text.size() && target;) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QChar ch = text.at(i);
        if (n == 1 && ch.unicode() >= 0x20 && ch.unicode() < 0x7f)
            QTest::keyClick(widget, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, n), Qt::NoModifier);
        i += n;
    }
    QApplication::processEvents();
}

bool TScriptContext::WaitFor(const std::function<bool()>& condition, int timeoutMs) const {
    return QTest::qWaitFor(condition, timeoutMs);
}

// ---- table and runner

void RegisterScriptCommand(const QString& name, TScriptCommand command) {
    commandTable().insert(name.toLower(), std::move(command));
}

QStringList ScriptCommandNames() {
    QStringList names = commandTable().keys();
    names.sort();
    return names;
}

int TScriptContext::Fail(const QString& text) const {
    const QString where = LineNo > 0 ? QStringLiteral("%1:%2: ").arg(ScriptFile).arg(LineNo)
                                     : QStringLiteral("%1: ").arg(ScriptFile);
    std::fprintf(stderr, "tarnix-client: %s\n", oneLine(where + text).toLocal8Bit().constData());
    std::fflush(stderr);
    return 1;
}

// ---- the watch over boxes and modal windows

struct TScriptWatch::Private {
    TScriptContext& c;
    int limitMs;
    QTimer boxes;
    QTimer modals;
    QPointer<QWidget> modal; // the modal window being timed
    QElapsedTimer since;
    bool closing = false;

    Private(TScriptContext& context, int limit) : c(context), limitMs(limit) {}

    // A box of the module comes through KvMessageDlg; a plain QMessageBox is caught when it is up.
    std::optional<int> answerDialog(const QString& message, TMsgDlgType type, TMsgDlgButtons buttons) {
        // A box to be pictured shows for real; answerBox takes it when it is up.
        if (!c.AnswerPicture.isEmpty()) return std::nullopt;
        const TAnswer* a = answerNamed(c.Answer);
        c.Answer = QStringLiteral("ok");
        c.Print(QStringLiteral("message\t%1\t%2\t%3")
                    .arg(typeName(type), oneLine(message), QLatin1String(a->name)));
        if (type == mtError) c.LastError = oneLine(message);
        if (buttons & a->button) return a->result;
        if (c.PendingError.isEmpty())
            c.PendingError = QStringLiteral("the message box \"%1\" has no button %2")
                                 .arg(oneLine(message), QLatin1String(a->name));
        return (buttons & mbCancel) ? mrCancel : (buttons & mbNo) ? mrNo : mrOk;
    }

    void answerBox(QMessageBox* box) {
        if (box->property("scriptAnswered").toBool()) return;
        box->setProperty("scriptAnswered", true);
        const TAnswer* a = answerNamed(c.Answer);
        c.Answer = QStringLiteral("ok");
        if (!c.AnswerPicture.isEmpty()) {
            if (!savePicture(box, c.AnswerPicture) && c.PendingError.isEmpty())
                c.PendingError = QStringLiteral("cannot write %1").arg(c.AnswerPicture);
            c.AnswerPicture.clear();
        }
        c.Print(QStringLiteral("message\t%1\t%2\t%3")
                    .arg(typeName(box->icon()), oneLine(box->text()), QLatin1String(a->name)));
        if (box->icon() == QMessageBox::Critical) c.LastError = oneLine(box->text());
        QAbstractButton* button = box->button(a->standard);
        if (!button) {
            if (c.PendingError.isEmpty())
                c.PendingError = QStringLiteral("the message box \"%1\" has no button %2")
                                     .arg(oneLine(box->text()), QLatin1String(a->name));
            box->reject();
            return;
        }
        c.Click(button);
    }

    // Only `daily` opens the daily editor on purpose. Met by any other step, it is the editor of the
    // current line being left, whose days do not add up: no command fills it, so it is cancelled at
    // once (the planner stays on that line) and the step fails naming the line, instead of the run
    // waiting out the modal limit.
    void cancelForcedDailyEditor() {
        auto* d = qobject_cast<TfrmKrta07SC*>(QApplication::activeModalWidget());
        if (!d || c.Command == QLatin1String("daily") || d->property("scriptCancelled").toBool()) return;
        d->setProperty("scriptCancelled", true);
        TfrmKrta07SM* wb = c.Workbench();
        if (c.PendingError.isEmpty() && wb) c.PendingError = LeftLineEditorError(wb->CurrentRowIndex());
        c.Click(d->btnCancel);
    }

    // The box drawn over the middle of the workbench, as the planner sees it.
    bool savePicture(QMessageBox* box, const QString& file) const {
        const QPixmap boxPicture = box->grab();
        TfrmKrta07SM* wb = c.Workbench();
        if (!wb) return boxPicture.save(file, "PNG");
        QPixmap picture = wb->grab();
        QPainter painter(&picture);
        const QRect at(
            QPoint((picture.width() - boxPicture.width()) / 2, (picture.height() - boxPicture.height()) / 2),
            boxPicture.size());
        painter.drawPixmap(at.topLeft(), boxPicture);
        painter.setPen(QPen(box->palette().color(QPalette::Dark), 1));
        painter.drawRect(at.adjusted(-1, -1, 0, 0));
        painter.end();
        return picture.save(file, "PNG");
    }

    // A modal window other than a box or a progress dialog that outstays the limit: no command is
    // driving it, and waiting longer would wait for ever.
    void watchModal() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || qobject_cast<QMessageBox*>(w) || qobject_cast<QProgressDialog*>(w)) {
            modal = nullptr;
            return;
        }
        if (w != modal) {
            modal = w;
            closing = false;
            since.start();
            return;
        }
        if (closing) {
            // A window that will not close keeps the program from ending: end it here.
            if (since.elapsed() > 2000) {
                std::fflush(stdout);
                std::_Exit(1);
            }
            return;
        }
        if (since.elapsed() < limitMs) return;
        c.Fail(QStringLiteral("the window \"%1\" (%2) stayed open for %3 s, and no command of the script "
                              "drives it")
                   .arg(oneLine(w->windowTitle()), QString::fromLatin1(w->metaObject()->className()))
                   .arg(limitMs / 1000.0));
        c.Aborted = true;
        closing = true;
        since.start();
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }
};

TScriptWatch::TScriptWatch(TScriptContext& context, int modalLimitMs)
    : d(std::make_unique<Private>(context, modalLimitMs)) {
    Private* p = d.get();
    SetMessageDlgHook([p](const QString& message, TMsgDlgType type, TMsgDlgButtons buttons) {
        return p->answerDialog(message, type, buttons);
    });
    p->boxes.setInterval(30);
    QObject::connect(&p->boxes, &QTimer::timeout, [p] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) p->answerBox(box);
        p->cancelForcedDailyEditor();
    });
    p->boxes.start();
    p->modals.setInterval(100);
    QObject::connect(&p->modals, &QTimer::timeout, [p] { p->watchModal(); });
    p->modals.start();
}

TScriptWatch::~TScriptWatch() {
    SetMessageDlgHook(nullptr);
}

QString LeftLineEditorError(int row) {
    return QStringLiteral("leaving row %1 opened its daily editor: its day quantities do not add up to its "
                          "production quantity")
        .arg(row);
}

int RunScript(const QString& fileName, TScriptContext& c) {
    c.ScriptFile = fileName;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return c.Fail(QStringLiteral("cannot read the script"));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));

    const auto ended = [&c] { return c.SessionEnded ? c.SessionEnded() : QString(); };
    if (!c.WaitFor(
            [&] { return (c.Workbench() && c.Workbench()->isVisible()) || !ended().isEmpty() || c.Aborted; },
            20000))
        return c.Fail(QStringLiteral("the workbench did not open"));
    if (c.Aborted) return 1;
    if (const QString why = ended(); !why.isEmpty())
        return c.Fail(QStringLiteral("the workbench did not open: ") + why);
    // The first paint lays out the chart's rows; clicks need them.
    if (!QTest::qWaitForWindowExposed(c.Workbench()))
        return c.Fail(QStringLiteral("the workbench is not shown"));

    int status = 0;
    for (int i = 0; i < lines.size() && status == 0; ++i) {
        c.LineNo = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QStringList words = QProcess::splitCommand(line);
        if (words.isEmpty()) continue;
        const QString name = words[0].toLower();
        const auto found = commandTable().constFind(name);
        if (found == commandTable().cend()) {
            status = c.Fail(QStringLiteral("unknown command %1 (known: %2)")
                                .arg(words[0], ScriptCommandNames().join(QLatin1String(", "))));
            break;
        }
        QString error;
        c.PendingError.clear();
        c.Command = name;
        const bool ok = (*found)(c, words.mid(1), error);
        c.Command.clear();
        // A window no command drives was closed by the watch, which said so: the step's own failure
        // follows from it.
        if (c.Aborted) status = 1;
        // A box that could not be answered as asked is the cause of whatever the step did after it.
        else if (!c.PendingError.isEmpty())
            status = c.Fail(name + QLatin1String(": ") + c.PendingError);
        else if (!ok)
            status =
                c.Fail(name + QLatin1String(": ") + (error.isEmpty() ? QStringLiteral("failed") : error));
    }
    c.LineNo = 0;
    // A script that did not close the workbench ends the program all the same.
    if (TfrmKrta07SM* wb = c.Workbench(); wb && wb->isVisible()) {
        c.Answer = QStringLiteral("no"); // unsaved edits of a script that did not save are dropped
        wb->close();
    }
    return status;
}
