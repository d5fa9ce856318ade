#include "host/reportserver/Krta07SSvr.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "frame/KvADO.h"
#include "platform/KvError.h"
#include "platform/ole/Dispatch.h"
#include "support/LibStrs.h"
#include "support/StewardINI.h"

namespace {

const QString kKeySep(QChar(5));

QString text(const kv::Variant& array, int index) {
    if (!array.isArray() || index < array.lowBound() || index > array.highBound()) return {};
    const kv::Variant& v = array.at(index);
    return v.isArray() ? QString() : kv::varToStr(v).trimmed();
}

// Quantities as the workbench shows them: thousands grouped, up to seven decimals, no trailing zeros.
QString quantity(double value) {
    QString s = QLocale::c().toString(value, 'f', 7);
    if (s.contains('.')) {
        while (s.endsWith('0'))
            s.chop(1);
        if (s.endsWith('.')) s.chop(1);
    }
    return s;
}

QString shownDate(const QString& yyyymmdd, int order) {
    const kv::TDateTime d = TransDateIn(yyyymmdd);
    return d == 0 ? yyyymmdd : DateToString(d, order, QStringLiteral("/"));
}

// Parameters bind a null text as NULL, which no "IN (column, '')" condition matches.
QString notNull(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

QString esc(const QString& s) {
    return s.toHtmlEscaped();
}

QString html(const QString& title, const TScheduleReportOptions& o, const QList<TScheduleReportLine>& lines) {
    QString h;
    h += "<h2 align='center'>" + esc(title) + "</h2>";
    h += "<p>" + esc(QStringLiteral("工厂: ")) + esc(o.Factory) + "&nbsp;&nbsp;&nbsp;" +
         esc(QStringLiteral("主要资源: ")) + esc(o.Resource) + "&nbsp;&nbsp;&nbsp;" +
         esc(QStringLiteral("来源单号: ")) + esc(o.Document) + "&nbsp;&nbsp;&nbsp;" +
         esc(QStringLiteral("制表日期: ")) + esc(o.PrintDate) + "</p>";
    h += "<table border='1' cellspacing='0' cellpadding='3' width='100%'><thead><tr>";
    for (const QString& c :
         {QStringLiteral("优先顺序"), QStringLiteral("需求来源"), QStringLiteral("来源单据"),
          QStringLiteral("BOM节点"), QStringLiteral("品号"), QStringLiteral("生产数量"),
          QStringLiteral("排程开工"), QStringLiteral("排程完工"), QStringLiteral("主要资源"),
          QStringLiteral("每日数量")})
        h += "<th>" + esc(c) + "</th>";
    h += "</tr></thead>";
    for (const TScheduleReportLine& l : lines) {
        QStringList days;
        for (const auto& [day, qty] : l.Days)
            days << shownDate(day, o.DateOrder) + " " + quantity(qty);
        // Codes and dates stay on one line; only the days wrap.
        const auto cell = [](const QString& v, bool right = false) {
            return QString("<td style='white-space: nowrap'%1>").arg(right ? " align='right'" : "") + esc(v) +
                   "</td>";
        };
        h += "<tr>" + cell(l.Priority) + cell(l.Source) + cell(l.Document) + cell(l.Node) + cell(l.Item) +
             cell(quantity(l.Quantity), true) + cell(shownDate(l.Start, o.DateOrder)) +
             cell(shownDate(l.Finish, o.DateOrder)) + cell(l.Resource) + "<td>" +
             esc(days.join(QStringLiteral("; "))) + "</td></tr>";
    }
    h += "</table>";
    h += "<p>" + esc(QStringLiteral("共 %1 笔").arg(lines.size())) + "</p>";
    return h;
}

// Lines drawn at the foot of a page: the footer and sign-off texts that are not blank.
QStringList footLines(const TScheduleReportOptions& o, bool lastPage) {
    QStringList out;
    if (o.FooterEveryPage || lastPage)
        for (const QString& t : o.Footer)
            if (!t.trimmed().isEmpty()) out << t;
    if (o.SignOffEveryPage || lastPage) {
        QStringList signs;
        for (const QString& t : o.SignOff)
            if (!t.trimmed().isEmpty()) signs << t;
        if (!signs.isEmpty()) out << signs.join(QStringLiteral("        "));
    }
    return out;
}

} // namespace

TScheduleReportOptions TKrta07SvrController::ReadOptions(const kv::Variant& values) {
    TScheduleReportOptions o;
    if (!values.isArray()) return o;
    const int low = values.lowBound(), high = values.highBound();
    const int own = high - low + 1 - 4; // the module's options come before the report form's four
    if (own >= 1) o.Factory = text(values, low);
    if (own >= 2) o.Resource = text(values, low + 1);
    if (own >= 3) o.Document = text(values, low + 2).remove('-').remove(' ');
    if (high - low + 1 >= 4) {
        bool ok = false;
        const int order = text(values, high - 3).toInt(&ok);
        if (ok && order >= 1 && order <= 5) o.DateOrder = order;
        const auto group = [](const kv::Variant& v, QStringList& texts, bool& everyPage) {
            if (!v.isArray()) return;
            for (int i = v.lowBound() + 1; i <= v.lowBound() + 3 && i <= v.highBound(); ++i)
                texts << kv::varToStr(v.at(i));
            everyPage = v.highBound() >= v.lowBound() + 4 && kv::varToStr(v.at(v.lowBound() + 4)) == "Y";
        };
        group(values.at(high - 2), o.Footer, o.FooterEveryPage);
        group(values.at(high - 1), o.SignOff, o.SignOffEveryPage);
        o.PrintDate = text(values, high);
    }
    return o;
}

QList<TScheduleReportLine> TKrta07SvrController::LoadLines(TKvADOConnection& connection,
                                                           const QString& dbName,
                                                           const TScheduleReportOptions& options) {
    const auto expand = [&dbName](const QString& sql) { return SwapStr(sql, "$$", dbName + "..", true); };
    // The days first, keyed by line, so that each line finds its own without a search.
    QHash<QString, QList<QPair<QString, double>>> days;
    {
        TKvADOQuery q;
        q.SetConnection(&connection);
        q.SetSQL(expand(" SELECT TC002,TC009,TC003,TC004,TC005,TC006,TC007 FROM $$MPSTC WHERE TC001 = :TC001 "
                        "ORDER BY TC006 "));
        q.ParamByName("TC001").SetAsString(notNull(options.Factory));
        q.Open();
        for (q.First(); !q.Eof(); q.Next()) {
            const QString key = QStringList{q.FieldByName("TC002").AsString().trimmed(),
                                            q.FieldByName("TC009").AsString().trimmed(),
                                            q.FieldByName("TC003").AsString().trimmed(),
                                            q.FieldByName("TC004").AsString().trimmed(),
                                            q.FieldByName("TC005").AsString().trimmed()}
                                    .join(kKeySep);
            days[key].append({q.FieldByName("TC006").AsString().trimmed(), q.FieldByName("TC007").AsFloat()});
        }
    }
    QList<TScheduleReportLine> lines;
    TKvADOQuery q;
    q.SetConnection(&connection);
    q.SetSQL(expand(
        " SELECT TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB026,TB013,TB014,TB036 "
        "FROM $$MPSTB WHERE TB001 = :TB001 AND :TB036 in (TB036,'') "
        "AND :TB004 IN (TB051+TB004+TB005,'') ORDER BY TB001 , TB002 ,TB003 , TB004 , TB005 , TB037 "));
    q.ParamByName("TB001").SetAsString(notNull(options.Factory));
    q.ParamByName("TB036").SetAsString(notNull(options.Resource));
    q.ParamByName("TB004").SetAsString(notNull(options.Document));
    q.Open();
    for (q.First(); !q.Eof(); q.Next()) {
        TScheduleReportLine l;
        const auto f = [&q](const char* name) { return q.FieldByName(name).AsString().trimmed(); };
        l.Priority = f("TB002");
        l.Source = f("TB003");
        l.Document = f("TB051") + "-" + f("TB004") + "-" + f("TB005");
        l.Node = f("TB037");
        l.Item = f("TB006");
        l.Quantity = q.FieldByName("TB026").AsFloat();
        l.Start = f("TB013");
        l.Finish = f("TB014");
        l.Resource = f("TB036");
        l.Days =
            days.value(QStringList{f("TB003"), f("TB051"), f("TB004"), f("TB005"), f("TB037")}.join(kKeySep));
        lines << l;
    }
    return lines;
}

void TKrta07SvrController::WritePdf(const QString& fileName, const QString& title,
                                    const TScheduleReportOptions& options,
                                    const QList<TScheduleReportLine>& lines) {
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        throw EKvError(QString("Cannot create the report directory of %1").arg(fileName));
    QPdfWriter writer(fileName);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    writer.setResolution(96);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("KRTA07S"));
    QPainter painter;
    if (!painter.begin(&writer)) throw EKvError(QString("Cannot write the report %1").arg(fileName));

    const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
    QFont font = painter.font();
    font.setPointSize(9);
    const QFontMetrics metrics(font, &writer);
    // Room at the foot of every page: the page number and up to four footer and sign-off lines.
    const int footHeight = metrics.lineSpacing() * 6;
    const QSizeF body(page.width(), page.height() - footHeight);

    QTextDocument doc;
    doc.setDocumentMargin(0);
    doc.setDefaultFont(font);
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setHtml(html(title, options, lines));
    doc.setPageSize(body);
    const int pages = std::max(1, doc.pageCount());
    for (int p = 0; p < pages; ++p) {
        if (p > 0) writer.newPage();
        painter.save();
        painter.translate(0, -p * body.height());
        doc.drawContents(&painter, QRectF(0, p * body.height(), body.width(), body.height()));
        painter.restore();
        painter.setFont(font);
        int y = int(body.height()) + metrics.lineSpacing();
        for (const QString& line : footLines(options, p == pages - 1)) {
            painter.drawText(QRect(0, y, page.width(), metrics.lineSpacing()), Qt::AlignLeft, line);
            y += metrics.lineSpacing();
        }
        painter.drawText(QRect(0, page.height() - metrics.lineSpacing(), page.width(), metrics.lineSpacing()),
                         Qt::AlignRight, QString("%1/%2").arg(p + 1).arg(pages));
    }
    if (!painter.end()) throw EKvError(QString("Cannot finish the report %1").arg(fileName));
}

int TKrta07SvrController::Run(const kv::Variant& params) {
    FMessageText.clear();
    try {
        if (!params.isArray() || (params.elementCount() != 12 && params.elementCount() != 7))
            throw EKvError("A report run takes twelve elements (seven for a batch program)");
        const int l = params.lowBound();
        const bool batch = params.elementCount() == 7;
        QString id = text(params, l);
        const QString user = text(params, batch ? l + 2 : l + 3);
        const QString dbName = text(params, batch ? l + 4 : l + 4);
        const kv::Variant& values = params.at(batch ? l + 3 : l + 5);
        const int runKind = batch ? 0 : params.at(l + 6).toInt();
        const QString prefix = text(params, batch ? l + 5 : l + 8);
        const kv::Variant product = params.at(batch ? l + 6 : l + 9);
        const bool labelled = !batch && params.at(l + 10).toBool();

        const TScheduleReportOptions options = ReadOptions(values);
        if (options.Factory.isEmpty()) throw EKvError(QStringLiteral("工厂不可空白!"));
        // A run the job server does not know gets a local name of its own.
        if (id.isEmpty()) id = "L" + QDateTime::currentDateTime().toString("yyyyMMddhhmmsszzz");
        const QString file = ReportFileName(id);
        if (file.isEmpty()) throw EKvError(QString("No report file can be named for the job %1").arg(id));

        const TStewardIniS settings;
        if (const QString problem = settings.DatabaseSettingsProblem(); !problem.isEmpty())
            throw EKvError(problem);
        QList<TScheduleReportLine> lines;
        {
            TKvADOConnection connection;
            connection.SetConnectionString(settings.GetConnectString());
            connection.setOpenExistingOnly(true);
            connection.Open();
            lines = LoadLines(connection, dbName, options);
        }
        WritePdf(file, QStringLiteral("KRTA07 主生产排程明细表"), options, lines);

        // A direct query shows its report at once; a design run leaves that to the queue manager.
        if (runKind == 1 && labelled) {
            try {
                const kv::DispatchPtr queue = kv::CreateOleObject("QueueManagerC.Class1");
                const int shown = queue
                                      ->call("OpenReport", {kv::Variant::arrayOf({id, prefix, user, product}),
                                                            user, kv::Variant(true)})
                                      .toInt();
                if (shown != 0)
                    FMessageText = QString("The report %1 was written but cannot be shown").arg(file);
            } catch (const std::exception& e) {
                FMessageText =
                    QString("The report %1 was written but cannot be shown: %2").arg(file, e.what());
            }
        }
        return 0;
    } catch (const std::exception& e) {
        FMessageText = QString::fromUtf8(e.what());
        return -1;
    }
}

extern "C" __attribute__((visibility("default"))) TSvrController* GetSvrController() {
    return new TKrta07SvrController;
}
