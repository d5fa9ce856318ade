#pragma once
// TKrta07SvrController: the report of program KRTA07 run on the workstation. It lists the schedule
// source lines of a factory (optionally of one main resource and one source document) with their daily
// quantities, and writes them as a PDF file into the report directory.
#include <QList>
#include <QStringList>

#include "optionforms/BaseRptServer.h"

class TKvADOConnection;

// One line of the report with its days.
struct TScheduleReportLine {
    QString Priority, Source, Document, Node, Item, Resource, Start, Finish;
    double Quantity = 0;
    QList<QPair<QString, double>> Days; // "yyyymmdd", quantity
};

// What a report run shows, read from its option values.
struct TScheduleReportOptions {
    QString Factory, Resource, Document, PrintDate;
    int DateOrder = 1;
    QStringList Footer, SignOff; // three texts each
    bool FooterEveryPage = false, SignOffEveryPage = false;
};

class TKrta07SvrController : public TSvrController {
public:
    int Run(const kv::Variant& params) override;
    QString MessageText() const override { return FMessageText; }

    // The report's options from the values of the job request: the module's three options first, the
    // report form's own four last (date type, footer, sign-off, print date).
    static TScheduleReportOptions ReadOptions(const kv::Variant& values);
    // The factory's lines, in the workbench's order, each with its days.
    static QList<TScheduleReportLine> LoadLines(TKvADOConnection& connection, const QString& dbName,
                                                const TScheduleReportOptions& options);
    // Writes the PDF; raises EKvError when the file cannot be written.
    static void WritePdf(const QString& fileName, const QString& title, const TScheduleReportOptions& options,
                         const QList<TScheduleReportLine>& lines);

private:
    QString FMessageText;
};
