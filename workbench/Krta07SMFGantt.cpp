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

namespace {

constexpr TColor kLime = 0x0000FF00;

QString text(const kv::TClientDataSet& set, int row, int field) {
    return set.valueAt(row, field).toString();
}

// TransDateIn for the hundreds of thousands of day texts of a load: eight digits are one byte each
// in every code page, so the byte count needs no conversion.
kv::TDateTime dayOf(const QString& text) {
    if (text.size() != 8) return 0;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return 0;
        v[i] = c - u'0';
    }
    kv::TDateTime result = 0;
    if (!kv::tryEncodeDate(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7],
                           result))
        return 0;
    return result;
}

// A line's key parts as the day rows name them.
struct LineOfDays {
    QString TB003, TB051, TB004, TB005, TB037;
    bool operator==(const LineOfDays& o) const {
        return TB003 == o.TB003 && TB051 == o.TB051 && TB004 == o.TB004 && TB005 == o.TB005 &&
               TB037 == o.TB037;
    }
};
size_t qHash(const LineOfDays& k, size_t seed = 0) {
    return qHashMulti(seed, k.TB003, k.TB051, k.TB004, k.TB005, k.TB037);
}

// The day rows of one line in the database's order.
struct DaysOfLine {
    QString first, last; // "yyyymmdd" of the first and the last row
    std::vector<TMyGantDayTexts> texts;
};

} // namespace

TColor TfrmKrta07SM::BarColor(const QString& TB028, const QString& TB038) {
    if (TB028.trimmed() == QLatin1String("S")) return 0x00808080;
    if (TB038.trimmed() == QLatin1String("Y")) return 0x0000FFFF;
    return 0x00FF0000;
}

void TfrmKrta07SM::BuildGantt(const QString& Factory) {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& lines = *dm.qryMPSTB;
    TKvADOQuery& days = *dm.qryMPSTC;
    days.Close();
    days.SetSQL(dm.ExpandSQL(QStringLiteral("SELECT TC001 , TC002 ,TC003 ,TC004 ,TC005 ,TC006 ,TC007 ,TC008 "
                                            ",TC009 ,FLAG FROM $$MPSTC AS MPSTC WHERE "
                                            "TC001 =:TC001")));
    days.ParamByName(QStringLiteral("TC001")).SetAsString(Factory);
    days.Open();

    // The day rows of each line, in the database's order: one pass instead of a filter per line.
    QHash<LineOfDays, DaysOfLine> dayRows;
    {
        const int tc002 = days.FieldByName(QStringLiteral("TC002")).Index(),
                  tc009 = days.FieldByName(QStringLiteral("TC009")).Index(),
                  tc003 = days.FieldByName(QStringLiteral("TC003")).Index(),
                  tc004 = days.FieldByName(QStringLiteral("TC004")).Index(),
                  tc005 = days.FieldByName(QStringLiteral("TC005")).Index();
        const int tc006 = days.FieldByName(QStringLiteral("TC006")).Index();
        const int tc007 = days.FieldByName(QStringLiteral("TC007")).Index();
        const int tc008 = days.FieldByName(QStringLiteral("TC008")).Index();
        const int n = days.RecordCount();
        dayRows.reserve(lines.RecordCount());
        LineOfDays key;
        DaysOfLine* group = nullptr;
        for (int r = 0; r < n; ++r) {
            LineOfDays k{text(days, r, tc002).trimmed(), text(days, r, tc009).trimmed(),
                         text(days, r, tc003).trimmed(), text(days, r, tc004).trimmed(),
                         text(days, r, tc005).trimmed()};
            // A line's rows mostly come one after the other.
            if (!group || !(k == key)) {
                key = std::move(k);
                group = &dayRows[key];
            }
            QString day = text(days, r, tc006).trimmed();
            if (group->texts.empty()) group->first = day;
            group->texts.push_back({dayOf(day), text(days, r, tc007), text(days, r, tc008)});
            group->last = std::move(day);
        }
    }

    QString minDay = QStringLiteral("30001230");
    QString maxDay = QStringLiteral("10000101");
    kv::TDateTime minDate = dayOf(minDay), maxDate = dayOf(maxDay);
    TMyGantList* list = mgMPSTC->MyGantList();
    list->Clear();
    FRowKeys.clear();
    FRowOfKey.clear();
    FRowOfGantRow.clear();

    auto idx = [&lines](const char* n) { return lines.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tb001 = idx("TB001"), tb003 = idx("TB003"), tb051 = idx("TB051"), tb004 = idx("TB004"),
              tb005 = idx("TB005"), tb037 = idx("TB037"), tb013 = idx("TB013"), tb014 = idx("TB014"),
              tb010 = idx("TB010"), tb028 = idx("TB028"), tb038 = idx("TB038"), tb006 = idx("TB006");
    const int n = lines.RecordCount();
    FRowKeys.reserve(n);
    FRowOfKey.reserve(n);
    FRowOfGantRow.reserve(n);
    static const DaysOfLine none;
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0) progress(tr("Building the chart"), r, n);
        LineOfDays k{text(lines, r, tb003).trimmed(), text(lines, r, tb051).trimmed(),
                     text(lines, r, tb004).trimmed(), text(lines, r, tb005).trimmed(),
                     text(lines, r, tb037).trimmed()};
        const QString TB013 = text(lines, r, tb013).trimmed(), TB014 = text(lines, r, tb014).trimmed();
        auto found = dayRows.constFind(k);
        const DaysOfLine& rows = found == dayRows.cend() ? none : *found;

        QString S = rows.first;
        kv::TDateTime startDate = dayOf(S);
        const kv::TDateTime dateTB013 = dayOf(TB013);
        if (!S.isEmpty() && startDate > dateTB013) {
            S = TB013;
            startDate = dateTB013;
        }
        if (S.isEmpty()) {
            S = TB013;
            startDate = dateTB013;
        }
        QString E = rows.last;
        kv::TDateTime endDate = dayOf(E);
        const kv::TDateTime dateTB014 = dayOf(TB014);
        if (!(endDate >= dateTB014)) {
            E = TB014;
            endDate = dateTB014;
        }
        const TColor color = BarColor(text(lines, r, tb028), text(lines, r, tb038));
        const kv::TDateTime need = dayOf(text(lines, r, tb010).trimmed());
        TMyGantItem* item;
        if (!S.isEmpty() && !E.isEmpty()) {
            item = list->AddItem(color, int(kv::roundHalfEven(endDate - startDate)) + 1, need, startDate);
        } else {
            // No dates at all: a bar of no length where the chart starts so far.
            S = minDay;
            startDate = minDate;
            item = list->AddItem(color, 0, need, startDate);
        }
        item->SetDayTextsOf(rows.texts);
        item->SaveDayTexts();
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
        const QString key =
            LineKeyOf({text(lines, r, tb001).trimmed(), k.TB003, k.TB051, k.TB004, k.TB005, k.TB037});
        FRowOfKey.insert(key, int(FRowKeys.size()));
        FRowKeys.append(key);
        if (item->RowNode) FRowOfGantRow.insert(mgMPSTC->RowOfNode(item->RowNode), r);
    }
    progress(tr("Building the chart"), n, n);
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
    if (!q.IsEmpty() && !q.FieldByName(QStringLiteral("MyStart")).IsNull())
        FMinStartDate = q.FieldByName(QStringLiteral("MyStart")).AsString().trimmed();
    const QString today = Krta07DayText(kv::today());
    if (FMinStartDate > today) FMinStartDate = today;
    q.Close();
    q.SetSQL(dm.ExpandSQL(QStringLiteral(
        "SELECT MAX(TD002) AS MyEnd FROM $$MPSTD WHERE  TD002 <>'' AND (NOT TD002 IS NULL )")));
    q.Open();
    if (!q.IsEmpty() && !q.FieldByName(QStringLiteral("MyEnd")).IsNull())
        FMaxEndDate = q.FieldByName(QStringLiteral("MyEnd")).AsString().trimmed();

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
        QStringList parts = FRowKeys[i].split(QChar(5));
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

void TfrmKrta07SM::ScalerLabelText(kv::TDateTime TheDate, QString& Label) {
    const double scale = mgMPSTC->Scale();
    if (scale >= 0.0028 && scale <= 0.008)
        Label += QLatin1Char('(') + kv::formatDateTime(QStringLiteral("yyyy/mm/dd hh:nn:ss"), TheDate) +
                 QLatin1Char(')');
    else if (scale > 0.008 && scale <= 0.067)
        Label = kv::formatDateTime(QStringLiteral("mm/dd"), TheDate);
}

int TfrmKrta07SM::CurrentRowIndex() const {
    const kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    if (!pre.Active() || pre.IsEmpty()) return -1;
    QStringList parts;
    for (const char* n : {"TB001", "TB003", "TB051", "TB004", "TB005", "TB037"})
        parts << pre.FieldByName(QString::fromLatin1(n)).AsString().trimmed();
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

void TfrmKrta07SM::SelectRow(int Row) {
    if (Row < 0 || Row >= FRowKeys.size()) return;
    const QStringList parts = FRowKeys[Row].split(QChar(5));
    dmKrta07S->qryMPSTBPre->Locate(QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037"),
                                   QVariantList(parts.begin(), parts.end()));
}

void TfrmKrta07SM::mgMPSTCGantAreaMouseDown(int Row) {
    SelectRow(Row);
}
