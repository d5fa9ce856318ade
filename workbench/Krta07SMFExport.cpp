// Export of the schedule chart with the line grid beside it: the visible window as a picture or a
// PDF page, or the whole loaded span on as many PDF pages as it needs. Pages are drawn by the chart's
// own painting routines into the file's painter, so a PDF keeps its texts as text.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QImageWriter>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvEdit.h"
#include "controls/KvMsgDlgHook.h"
#include "gantt/MyGant.h"
#include "gantt/phGant.h"
#include "gantt/phScaler.h"
#include "workbench/Krta07SMF.h"

namespace {

// The fields of a line's key: the exported grid always reaches the last of them, so every page
// names the lines it shows.
const QStringList& keyFields() {
    static const QStringList fields{QStringLiteral("TB001"), QStringLiteral("TB003"),
                                    QStringLiteral("TB051"), QStringLiteral("TB004"),
                                    QStringLiteral("TB005"), QStringLiteral("TB037")};
    return fields;
}

struct TExportColumn {
    int Column = 0;
    int Width = 0;
};

// One page: a run of rows and a window of days.
struct TExportPage {
    int FirstRow = 0;
    int RowCount = 0;
    double Start = 0;
};

class TChartExporter {
public:
    explicit TChartExporter(TfrmKrta07SM* wb)
        : FWb(wb), FGant(wb->mgMPSTC), FGrid(wb->dgMPSTB), FRowHeight(TphGant::DefaultRowHeight) {
        FSavedRow = FGant->VertScrollBar()->value();
        FSavedStart = FGant->Start();
        FSavedStop = FGant->Stop();
        FRowsFit = std::max(1, FGant->GantArea()->height() / FRowHeight);
        FHeaderHeight = FGant->Scaler()->height();
        FTitleHeight = QFontMetrics(FWb->font()).height() + 8;
        ChooseColumns();
    }
    ~TChartExporter() {
        // The planner's window comes back as it was.
        FGant->SetStart(FSavedStart);
        if (FGant->Stop() != FSavedStop) FGant->SetStop(FSavedStop);
        FGant->VertScrollBar()->setValue(FSavedRow);
        FGant->UpdateAllGeometry();
        FGant->InvalidateGantArea();
    }
    TChartExporter(const TChartExporter&) = delete;
    TChartExporter& operator=(const TChartExporter&) = delete;

    std::vector<TExportPage> WindowPage() const {
        const int rows = int(FWb->RowKeys().size());
        const int first = std::clamp(FSavedRow, 0, std::max(0, rows - 1));
        return {{first, std::min(FRowsFit, rows - first), FSavedStart}};
    }

    // Rows first, then the next window of days: a page covers what one screen of the chart shows.
    std::vector<TExportPage> SpanPages() const {
        std::vector<TExportPage> pages;
        const int rows = int(FWb->RowKeys().size());
        const double days = std::max(1.0, FSavedStop - FSavedStart);
        const double from = std::min(FGant->MinStart(), FSavedStart);
        const double to = std::max(FGant->MaxStop(), FSavedStop);
        for (double start = from; start < to - 1e-6; start += days)
            for (int first = 0; first < rows; first += FRowsFit)
                pages.push_back({first, std::min(FRowsFit, rows - first), start});
        return pages;
    }

    QSize PageSize() const {
        return {FGridWidth + FGant->GantArea()->width(),
                FTitleHeight + FHeaderHeight + FRowsFit * FRowHeight};
    }

    void Draw(QPainter& p, const TExportPage& page, int number, int count) {
        // The chart paints the rows it has on screen: bring the page's rows and days there.
        QScrollBar* sb = FGant->VertScrollBar();
        sb->setValue(page.FirstRow);
        FGant->SetStart(page.Start);
        QApplication::processEvents();
        FGant->UpdateAllGeometry();
        // The last rows cannot be scrolled to the top: they sit lower on screen.
        const int shift = (page.FirstRow - sb->value()) * FRowHeight;
        const int height = page.RowCount * FRowHeight;

        p.fillRect(QRect(QPoint(0, 0), PageSize()), Qt::white);
        DrawTitle(p, number, count);
        p.save();
        p.translate(FGridWidth, FTitleHeight);
        FGant->Scaler()->PaintTo(p);
        p.restore();
        p.save();
        p.translate(FGridWidth, FTitleHeight + FHeaderHeight - shift);
        p.setClipRect(QRect(0, shift, FGant->GantArea()->width(), height));
        FGant->GantArea()->PaintTo(p);
        p.restore();
        DrawGrid(p, page);
    }

private:
    // The columns the planner sees beside the chart, then the key fields that lie further right.
    void ChooseColumns() {
        QHeaderView* header = FGrid->horizontalHeader();
        // The grid sits in the chart's left part, which shows only its first columns.
        const QWidget* holder = FGrid->parentWidget();
        const int seen = holder ? holder->width() - FGrid->viewport()->x() : FGrid->viewport()->width();
        int left = 0;
        for (int v = 0; v < header->count(); ++v) {
            const int c = header->logicalIndex(v);
            if (FGrid->isColumnHidden(c) || header->sectionSize(c) <= 0) continue;
            const TFDBGridColumn* column = FGrid->Column(c);
            const bool key = column && keyFields().contains(column->FieldName(), Qt::CaseInsensitive);
            if (left < seen || key)
                FColumns.push_back(
                    {c, key ? std::max(header->sectionSize(c), WidestText(c)) : header->sectionSize(c)});
            left += header->sectionSize(c);
        }
        FGridWidth = 0;
        for (const TExportColumn& c : FColumns)
            FGridWidth += c.Width;
    }

    // A key column is as wide as its longest text, so no key is cut.
    int WidestText(int column) const {
        const QFontMetrics fm(FGrid->font());
        const QAbstractItemModel* model = FGrid->model();
        int widest = fm.horizontalAdvance(model->headerData(column, Qt::Horizontal).toString());
        for (int r = 0; r < model->rowCount(); ++r)
            widest = std::max(widest, fm.horizontalAdvance(model->index(r, column).data().toString()));
        return widest + 8;
    }

    void DrawTitle(QPainter& p, int number, int count) {
        const QString title = QStringLiteral("%1 %2    %3 - %4    %5/%6")
                                  .arg(FWb->edMB001->text().trimmed(), FWb->lblMB001C->text().trimmed(),
                                       Krta07DayText(kv::TDateTime(FGant->Start())),
                                       Krta07DayText(kv::TDateTime(FGant->Stop())))
                                  .arg(number)
                                  .arg(count);
        p.setPen(Qt::black);
        p.setFont(FWb->font());
        p.drawText(QRect(4, 0, PageSize().width() - 8, FTitleHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   title);
    }

    void DrawGrid(QPainter& p, const TExportPage& page) {
        const QAbstractItemModel* model = FGrid->model();
        const QColor lines(0xC0, 0xC0, 0xC0);
        const QFontMetrics fm(FGrid->font());
        p.save();
        p.setFont(FGrid->font());
        p.translate(0, FTitleHeight);
        p.fillRect(QRect(0, 0, FGridWidth, FHeaderHeight), FGrid->palette().button());
        int x = 0;
        for (const TExportColumn& c : FColumns) {
            const QRect cell(x, 0, c.Width, FHeaderHeight);
            p.setPen(Qt::black);
            p.drawText(cell.adjusted(3, 0, -2, 0), Qt::AlignCenter,
                       fm.elidedText(model->headerData(c.Column, Qt::Horizontal).toString(), Qt::ElideRight,
                                     c.Width - 5));
            p.setPen(lines.darker(130));
            p.drawRect(cell.adjusted(0, 0, -1, -1));
            x += c.Width;
        }
        for (int i = 0; i < page.RowCount; ++i) {
            const int row = page.FirstRow + i;
            const int y = FHeaderHeight + i * FRowHeight;
            p.fillRect(QRect(0, y, FGridWidth, FRowHeight), FGrid->RowColor(row));
            x = 0;
            for (const TExportColumn& c : FColumns) {
                const QRect cell(x, y, c.Width, FRowHeight);
                p.setPen(Qt::black);
                p.drawText(cell.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                           fm.elidedText(model->index(row, c.Column).data().toString(), Qt::ElideRight,
                                         c.Width - 5));
                p.setPen(lines);
                p.drawLine(cell.topRight(), cell.bottomRight());
                x += c.Width;
            }
            p.drawLine(0, y + FRowHeight - 1, FGridWidth, y + FRowHeight - 1);
        }
        p.restore();
    }

    TfrmKrta07SM* FWb;
    TMyGant* FGant;
    TFDBGrid* FGrid;
    int FRowHeight;
    int FSavedRow = 0;
    double FSavedStart = 0, FSavedStop = 0;
    int FRowsFit = 1;
    int FHeaderHeight = 0;
    int FTitleHeight = 0;
    int FGridWidth = 0;
    std::vector<TExportColumn> FColumns;
};

} // namespace

bool TfrmKrta07SM::ExportChart(const QString& fileName, bool wholeSpan, QString& error, int* pageCount) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("pdf")) {
        error = OwnText("sExportKind", "%1: 图表只能导出为 .png 或 .pdf 文件").arg(fileName);
        return false;
    }
    if (wholeSpan && suffix == QLatin1String("png")) {
        error = OwnText("sExportSpanKind", "%1: 全部期间只能导出为 PDF 页面").arg(fileName);
        return false;
    }
    if (FRowKeys.isEmpty()) {
        error = OwnText("sExportNoLines", "%1: 没有载入的排程明细").arg(fileName);
        return false;
    }
    // The chart and the line grid beside it are the schedule tab's.
    if (PageControl1->currentIndex() != 0) PageControl1->setCurrentIndex(0);
    QApplication::processEvents();

    TChartExporter exporter(this);
    const std::vector<TExportPage> pages = wholeSpan ? exporter.SpanPages() : exporter.WindowPage();
    const QSize size = exporter.PageSize();
    if (suffix == QLatin1String("png")) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        {
            QPainter p(&image);
            exporter.Draw(p, pages.front(), 1, 1);
        }
        QImageWriter writer(fileName, "PNG");
        if (!writer.write(image)) {
            error = QStringLiteral("%1: %2").arg(fileName, writer.errorString());
            return false;
        }
    } else {
        QPdfWriter writer(fileName);
        writer.setCreator(QStringLiteral("KRTA07"));
        writer.setTitle(edMB001->text().trimmed());
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        QPainter p;
        if (!p.begin(&writer)) {
            error = OwnText("sExportNotWritten", "%1: 无法写入此文件").arg(fileName);
            return false;
        }
        // Each page keeps the screen's proportions, as large as the paper allows.
        const double scale =
            std::min(double(writer.width()) / size.width(), double(writer.height()) / size.height());
        // The whole span of a large factory is thousands of pages: they are counted as they are drawn.
        const bool timed = !FQueryClock.isValid();
        if (timed) FQueryClock.start();
        FProgressCancellable = true;
        const auto untimed = qScopeGuard([this, timed] {
            FProgressCancellable = false;
            if (!timed) return;
            FProgress.reset();
            FQueryClock.invalidate();
        });
        const int count = int(pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            progress(QStringLiteral("Exporting pages"), int(i), count);
            if (ProgressCanceled()) {
                // Stopped by the planner: no half-written file stays behind, and nothing to tell.
                p.end();
                QFile::remove(fileName);
                return false;
            }
            if (i > 0) writer.newPage();
            p.save();
            p.scale(scale, scale);
            exporter.Draw(p, pages[i], int(i) + 1, int(pages.size()));
            p.restore();
        }
        progress(QStringLiteral("Exporting pages"), count, count);
        if (!p.end()) {
            error = OwnText("sExportNotWritten", "%1: 无法写入此文件").arg(fileName);
            return false;
        }
    }
    if (pageCount) *pageCount = int(pages.size());
    return true;
}

void TfrmKrta07SM::ExportChartClick(bool wholeSpan) {
    QFileDialog dialog(this, wholeSpan ? actExportSpan->text() : actExportWindow->text());
    dialog.setObjectName(QStringLiteral("dlgExport"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(wholeSpan
                              ? QStringList{QStringLiteral("PDF (*.pdf)")}
                              : QStringList{QStringLiteral("PNG (*.png)"), QStringLiteral("PDF (*.pdf)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    QString file = dialog.selectedFiles().constFirst();
    // A name without its kind takes the one of the chosen filter.
    if (QFileInfo(file).suffix().isEmpty())
        file += dialog.selectedNameFilter().contains(QLatin1String("pdf")) ? QStringLiteral(".pdf")
                                                                           : QStringLiteral(".png");
    QString error;
    try {
        if (ExportChart(file, wholeSpan, error) || error.isEmpty()) return;
    } catch (const std::exception& e) {
        error = QStringLiteral("%1: %2").arg(file, QString::fromUtf8(e.what()));
    }
    KvMessageDlg(error, mtError, mbOK);
}

void TfrmKrta07SM::InitExportMenu(QMenu* menu) {
    actExportWindow = menu->addAction(QString::fromUtf8("导出图表(可见窗口)..."));
    actExportWindow->setObjectName(QStringLiteral("actExportWindow"));
    actExportSpan = menu->addAction(QString::fromUtf8("导出图表(全部期间)..."));
    actExportSpan->setObjectName(QStringLiteral("actExportSpan"));
    connect(actExportWindow, &QAction::triggered, this, [this] { ExportChartClick(false); });
    connect(actExportSpan, &QAction::triggered, this, [this] { ExportChartClick(true); });
    // Only the schedule tab shows the chart, and only a query gives it lines.
    const auto enable = [this] {
        const bool can = !FRowKeys.isEmpty() && PageControl1->currentIndex() == 0;
        actExportWindow->setEnabled(can);
        actExportSpan->setEnabled(can);
    };
    connect(menu, &QMenu::aboutToShow, this, enable);
    // The chart offers the same entries where it takes the mouse.
    QWidget* area = mgMPSTC->GantArea();
    auto* chartMenu = new QMenu(area);
    chartMenu->setObjectName(QStringLiteral("PopupMenuChart"));
    chartMenu->addAction(actExportWindow);
    chartMenu->addAction(actExportSpan);
    area->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(area, &QWidget::customContextMenuRequested, chartMenu,
            [area, chartMenu](const QPoint& p) { chartMenu->popup(area->mapToGlobal(p)); });
    connect(chartMenu, &QMenu::aboutToShow, this, enable);
}
