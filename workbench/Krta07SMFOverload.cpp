// Overloaded resource days: a day whose load (used and planned, main and non-main) exceeds its daily
// capacity. The header counts them over the loaded range, and the chart frames the current line's day
// cells that fall on one of its main resource.
#include <QLabel>
#include <QPainter>
#include <cmath>

#include "gantt/MyGant.h"
#include "gantt/phGant.h"
#include "gantt/phScaler.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SMFPlan.h"

namespace {

QString dayKey(const QString& resource, const QString& day) {
    return resource + Krta07KeySeparator + day;
}

// The load row's fields in the order Krta07Overloaded takes them.
struct TLoadFields {
    int Resource, Day, Capacity, Main, PlannedMain, NonMain, PlannedNonMain;
    explicit TLoadFields(const kv::TClientDataSet& load) {
        const auto at = [&load](const char* name) { return load.FieldByName(QString::fromLatin1(name)).Index(); };
        Resource = at("TD001");
        Day = at("TD002");
        Capacity = at("TD003");
        Main = at("TD004");
        PlannedMain = at("TD005");
        NonMain = at("TD006");
        PlannedNonMain = at("TD007");
    }
    bool Overloaded(const kv::TClientDataSet& load, int row) const {
        const auto v = [&load, row](int f) { return load.valueAt(row, f).toDouble(); };
        return Krta07Overloaded(v(Capacity), v(Main), v(PlannedMain), v(NonMain), v(PlannedNonMain));
    }
};

} // namespace

void TfrmKrta07SM::CountOverloads() {
    FOverloaded.clear();
    const kv::TClientDataSet& load = *dmKrta07S->qryMPSTD;
    if (load.Active()) {
        const TLoadFields f(load);
        for (int r = 0; r < load.RecordCount(); ++r)
            if (f.Overloaded(load, r))
                FOverloaded.insert(dayKey(load.valueAt(r, f.Resource).toString().trimmed(),
                                          load.valueAt(r, f.Day).toString().trimmed()));
    }
    UpdateOverloadText();
}

void TfrmKrta07SM::RecheckOverloads(const std::vector<TKrta07LoadKey>& days) {
    kv::TClientDataSet& load = *dmKrta07S->qryMPSTD;
    if (!load.Active()) return;
    const TLoadFields f(load);
    const int bookmark = load.IsEmpty() ? -1 : load.Bookmark();
    for (const TKrta07LoadKey& k : days) {
        const QString key = dayKey(k.resource, k.day);
        if (load.Locate(QStringLiteral("TD001;TD002"), QVariantList{k.resource, k.day}) &&
            f.Overloaded(load, load.RecNo() - 1))
            FOverloaded.insert(key);
        else
            FOverloaded.remove(key);
    }
    if (bookmark >= 0) load.GotoBookmark(bookmark);
    UpdateOverloadText();
}

bool TfrmKrta07SM::IsOverloaded(const QString& resource, const QString& day) const {
    return FOverloaded.contains(dayKey(resource, day));
}

void TfrmKrta07SM::UpdateOverloadText() {
    const QString text = FRowKeys.isEmpty() && FOverloaded.isEmpty()
                             ? QString()
                             : OwnText("sOverload", "超负荷资源日: %1").arg(FOverloaded.size());
    if (lblOverload->text() != text) {
        lblOverload->setText(text);
        lblOverload->setStyleSheet(FOverloaded.isEmpty() ? QString() : QStringLiteral("color: red;"));
    }
    // The current line's marks follow.
    mgMPSTC->InvalidateGantArea();
}

void TfrmKrta07SM::DrawOverloadMarks(QPainter* canvas) {
    if (FOverloaded.isEmpty() || !dmKrta07S) return;
    const kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    const int row = CurrentRowIndex();
    TMyGantItem* item = row >= 0 ? mgMPSTC->MyGantList()->Items(row) : nullptr;
    int top = 0, bottom = 0;
    if (!item || !item->Bar || !mgMPSTC->BandOf(item->Bar, top, bottom)) return;
    const QString resource = pre.FieldByName(QStringLiteral("TB036")).AsString().trimmed();
    std::vector<double> values;
    item->DayCellValues(values);
    TphDateScaler* scaler = mgMPSTC->Scaler();
    canvas->save();
    canvas->setPen(QPen(Qt::red, 2));
    canvas->setBrush(Qt::NoBrush);
    for (size_t c = 0; c < values.size(); ++c) {
        if (values[c] == 0) continue;
        const double day = std::floor(item->CellStart(int(c)) + 1e-9);
        if (!IsOverloaded(resource, Krta07DayText(day))) continue;
        const int left = scaler->PixelAtDate(day), right = scaler->PixelAtDate(day + 1);
        canvas->drawRect(QRect(left + 1, top + 1, std::max(2, right - left - 2), std::max(2, bottom - top - 2)));
    }
    canvas->restore();
}
