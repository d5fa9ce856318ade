// Gantt population: rows from the loaded lines, the visible window and scroll bounds, parent
// links, scaler labels and the highlight that follows the current line.
#include <QCoreApplication>
#include <QDate>

#include "controls/ExtPage.h"
#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"

namespace {

constexpr TColor kLime = 0x0000FF00;

QString text(const kv::TClientDataSet& set, int row, int field) {
    return set.valueAt(row, field).toString();
}

} // namespace

TColor TfrmKrta07SM::BarColor(const QString& TB028, const QString& TB038) {
    if (TB028.trimmed() == QLatin1String("S")) return 0x00808080;
    if (TB038.trimmed() == QLatin1String("Y")) return 0x0000FFFF;
    return 0x00FF0000;
}

void TfrmKrta07SM::StartDayRead(const QString& factory) {
    TdmKrta07S& dm = *dmKrta07S;
    TKvADOQuery& days = *dm.qryMPSTC;
    days.Close();
    days.SetSQL(dm.ExpandSQL(QStringLiteral("SELECT TC001 , TC002 ,TC003 ,TC004 ,TC005 ,TC006 ,TC007 ,TC008 "
                                            ",TC009 ,FLAG FROM $$MPSTC AS MPSTC WHERE "
                                            "TC001 =:TC001")));
    FDayReader = std::make_unique<TKrta07DayReader>(*dm.dbKrta07, days.SQL(), factory);
}

void TfrmKrta07SM::BuildGantt(const QString& factory) {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& lines = *dm.qryMPSTB;
    TMyGantList* list = mgMPSTC->MyGantList();
    // The old rows go while the day rows may still be coming; the old days once the load is done.
    list->Clear();
    if (FStoredDays) {
        if (!FOldDays) FOldDays = std::make_unique<TKrta07DayRowsBin>();
        FOldDays->Keep(std::move(FStoredDays));
    }
    FRowKeys.clear();
    FRowOfKey.clear();
    FRowOfGantRow.clear();
    if (!FDayReader) StartDayRead(factory);
    {
        const std::unique_ptr<TKrta07DayReader> reader = std::move(FDayReader);
        FStoredDays = std::make_unique<TKrta07DayRows>(reader->Take());
    }
    const TKrta07DayRows& dayRows = *FStoredDays;

    QString minDay = QStringLiteral("30001230");
    QString maxDay = QStringLiteral("10000101");
    kv::TDateTime minDate = Krta07DayOf(minDay), maxDate = Krta07DayOf(maxDay);
    auto idx = [&lines](const char* n) { return lines.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tb001 = idx("TB001"), tb003 = idx("TB003"), tb051 = idx("TB051"), tb004 = idx("TB004"),
              tb005 = idx("TB005"), tb037 = idx("TB037"), tb013 = idx("TB013"), tb014 = idx("TB014"),
              tb010 = idx("TB010"), tb028 = idx("TB028"), tb038 = idx("TB038"), tb006 = idx("TB006");
    const int n = lines.RecordCount();
    FRowKeys.reserve(n);
    FRowOfKey.reserve(n);
    FRowOfGantRow.reserve(n);
    std::vector<TMyGantDayTexts> texts;
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0) progress(QStringLiteral("Building the chart"), r, n);
        TKrta07DayLine k{Krta07RTrim(text(lines, r, tb003)), Krta07RTrim(text(lines, r, tb051)),
                         Krta07RTrim(text(lines, r, tb004)), Krta07RTrim(text(lines, r, tb005)),
                         Krta07RTrim(text(lines, r, tb037))};
        const QString TB013 = text(lines, r, tb013).trimmed(), TB014 = text(lines, r, tb014).trimmed();
        const TKrta07LineDays rows = dayRows.find(k);

        QString S = rows.first();
        kv::TDateTime startDate = Krta07DayOf(S);
        const kv::TDateTime dateTB013 = Krta07DayOf(TB013);
        // A line without a scheduled start keeps its stored days: its bar starts at the first of
        // them. Cut to no length, its days would be lost and its factory never saved again.
        if (!S.isEmpty() && startDate > dateTB013 && dateTB013 > 0) {
            S = TB013;
            startDate = dateTB013;
        }
        if (S.isEmpty()) {
            S = TB013;
            startDate = dateTB013;
        }
        QString E = rows.last();
        kv::TDateTime endDate = Krta07DayOf(E);
        const kv::TDateTime dateTB014 = Krta07DayOf(TB014);
        if (!(endDate >= dateTB014)) {
            E = TB014;
            endDate = dateTB014;
        }
        const TColor color = BarColor(text(lines, r, tb028), text(lines, r, tb038));
        const kv::TDateTime need = Krta07DayOf(text(lines, r, tb010).trimmed());
        TMyGantItem* item;
        if (!S.isEmpty() && !E.isEmpty()) {
            item = list->AddItem(color, int(kv::roundHalfEven(endDate - startDate)) + 1, need, startDate);
        } else {
            // No dates at all: a bar of no length where the chart starts so far.
            S = minDay;
            startDate = minDate;
            item = list->AddItem(color, 0, need, startDate);
        }
        texts.resize(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            texts[i] = {rows.date(i), rows.quantityText(i), rows.remark(i)};
        item->SetDayTextsOf(texts);
        if (item->RowNode) {
            item->RowNode->SetCellText(0, text(lines, r, tb006).trimmed());
            item->RowNode->SetCellText(1, k.TB004);
        }
        if (minDate > startDate) {
            minDay = S;
            minDate = startDate;
        }
        if (!(maxDate >= endDate)) {
            maxDay = E;
            maxDate = endDate;
        }
        const QString key = LineKeyOf({text(lines, r, tb001), k.TB003, k.TB051, k.TB004, k.TB005, k.TB037});
        FRowOfKey.insert(key, int(FRowKeys.size()));
        FRowKeys.append(key);
        if (item->RowNode) FRowOfGantRow.insert(mgMPSTC->RowOfNode(item->RowNode), r);
    }
    progress(QStringLiteral("Building the chart"), n, n);
    dm.FHighlightRow = -1;
    if (n > 0 && list->Items(0)->Bar) {
        TMyGantItem* first = list->Items(0);
        dm.FHighlightColor = first->Bar->Color;
        dm.FHighlightRow = 0;
        first->Bar->Color = kLime;
    }
    const kv::TDateTime start = minDate, stop = maxDate;
    mgMPSTC->SetStart(start);
    mgMPSTC->SetStop(stop - start < 10 ? start + 10 : stop);
}

void TfrmKrta07SM::ComputeTimeSpan() {
    TdmKrta07S& dm = *dmKrta07S;
    TKvADOQuery q;
    q.SetConnection(dm.dbKrta07);
    q.SetSQL(dm.ExpandSQL(QStringLiteral("SELECT MIN(TB013) AS MyStart FROM $$MPSTB WHERE TB001 = :TB001 AND "
                                         "TB013 <>'' AND (NOT TB013 IS NULL )")));
    q.ParamByName(QStringLiteral("TB001")).SetAsString(edMB001->text());
    q.Open();
    // The minimum of no dates is null, which is no date: the span of the factory queried before
    // must not stand in for it.
    if (!q.IsEmpty()) FMinStartDate = q.FieldByName(QStringLiteral("MyStart")).AsString().trimmed();
    const QString today = Krta07DayText(kv::today());
    if (FMinStartDate > today) FMinStartDate = today;
    q.Close();
    q.SetSQL(dm.ExpandSQL(QStringLiteral(
        "SELECT MAX(TD002) AS MyEnd FROM $$MPSTD WHERE  TD002 <>'' AND (NOT TD002 IS NULL )")));
    q.Open();
    if (!q.IsEmpty()) FMaxEndDate = q.FieldByName(QStringLiteral("MyEnd")).AsString().trimmed();

    mgMPSTC->SetMinStart(TransDateIn(FMinStartDate));
    mgMPSTC->SetMaxStop(TransDateIn(FMaxEndDate));
    if (mgMPSTC->Start() < mgMPSTC->MinStart() + 5) mgMPSTC->SetMinStart(mgMPSTC->Start() - 5);
    FMinStartBound = mgMPSTC->MinStart();
    if (mgMPSTC->Stop() > mgMPSTC->MaxStop() - 5) mgMPSTC->SetMaxStop(mgMPSTC->Stop() + 5);
    FMaxStopBound = mgMPSTC->MaxStop();
    dm.FRangeStart = FMinStartDate;
    dm.FRangeEnd = FMaxEndDate;
}

void TfrmKrta07SM::LinkParentBars() {
    TMyGantList* list = mgMPSTC->MyGantList();
    for (int i = 0; i < FRowKeys.size(); ++i) {
        QStringList parts = FRowKeys[i].split(Krta07KeySeparator);
        if (parts.size() != 6 || parts[5].size() < 2) continue;
        parts[5].chop(2);
        const int j = FRowOfKey.value(LineKeyOf(parts), -1);
        if (j < 0 || j == i) continue;
        TMyGantItem *child = list->Items(i), *parent = list->Items(j);
        if (!child || !parent || !child->Bar || !parent->Bar) continue;
        if (TphDataEntity_Link* link = mgMPSTC->AddLink(child->Bar, parent->Bar)) {
            link->SetLinkKind(3);
            link->Visible = true;
        }
    }
}

void TfrmKrta07SM::ScalerLabelText(kv::TDateTime theDate, QString& label) {
    const double scale = mgMPSTC->Scale();
    if (scale >= 0.0028 && scale <= 0.008)
        label += QLatin1Char('(') +
                 kv::formatDateTime(QStringLiteral("c"), theDate) + // the time unless midnight
                 QLatin1Char(')');
    else if (scale > 0.008 && scale <= 0.067)
        label = kv::formatDateTime(QStringLiteral("mm/dd"), theDate);
}

int TfrmKrta07SM::CurrentRowIndex() const {
    const kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    if (!pre.Active() || pre.IsEmpty()) return -1;
    QStringList parts;
    for (const char* n : {"TB001", "TB003", "TB051", "TB004", "TB005", "TB037"})
        parts << pre.FieldByName(QString::fromLatin1(n)).AsString();
    return FRowOfKey.value(LineKeyOf(parts), -1);
}

void TfrmKrta07SM::currentLineChanged() {
    if (FLinking || FMouseBusy || FScrollBusy) return;
    HighlightCurrentLine();
}

void TfrmKrta07SM::HighlightCurrentLine() {
    const int a = CurrentRowIndex();
    if (a < 0) return;
    FScrollBusy = true;
    TdmKrta07S& dm = *dmKrta07S;
    TMyGantList* list = mgMPSTC->MyGantList();
    list->ClearSelection();
    if (TMyGantItem* old = list->Items(dm.FHighlightRow); old && old->Bar)
        old->Bar->Color = dm.FHighlightColor;
    TMyGantItem* item = list->Items(a);
    if (item && item->Bar) {
        dm.FHighlightColor = item->Bar->Color;
        dm.FHighlightRow = a;
        item->Bar->Color = kLime;
        mgMPSTC->InvalidateGantArea();
        item->Bar->SetSelected(true);

        mgMPSTC->SetStart(item->Bar->StartTime - mgMPSTC->Scale() * 300);
        if (mgMPSTC->Start() < mgMPSTC->MinStart() + 5)
            mgMPSTC->SetMinStart(mgMPSTC->Start() - 5);
        else
            mgMPSTC->SetMinStart(FMinStartBound);
        if (mgMPSTC->Stop() <= mgMPSTC->MaxStop() - 5)
            mgMPSTC->SetMaxStop(FMaxStopBound);
        else
            mgMPSTC->SetMaxStop(mgMPSTC->Stop() + 5);
    }
    TphGrid* grid = mgMPSTC->Grid();
    if (a < grid->DisplayRowCount()) grid->SetFocusedRow(a, false);
    FScrollBusy = false;
    if (PageControl1->currentIndex() == 1)
        BuildCapacityCharts();
    else
        RefreshLoadChart();
}

void TfrmKrta07SM::SelectRow(int row) {
    if (row < 0 || row >= FRowKeys.size()) return;
    const QStringList parts = FRowKeys[row].split(Krta07KeySeparator);
    dmKrta07S->qryMPSTBPre->Locate(QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037"),
                                   QVariantList(parts.begin(), parts.end()));
}

void TfrmKrta07SM::mgMPSTCGantAreaMouseDown(int row) {
    SelectRow(row);
}
