// Where the line grid sits (beside the bars, or beside the capacity charts) and its per-user
// layout file: column order, widths and number formats.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTextStream>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "platform/IniFile.h"
#include "platform/data/ClientDataSet.h"
#include "support/StewardINI.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

namespace {

QString sectionName(const kv::TClientDataSet* set, int row) {
    return set->objectName() + (row >= 0 ? QString::number(row) : QString());
}

// A user code names a folder below the layout directory: nothing that leaves it.
bool safeName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace

QString TfrmKrta07SM::GridViewDataPath() const {
    const TStewardIniC settings;
    const kv::IniFile ini(settings.IniFileName);
    const QString standard = settings.InstallPath + QStringLiteral("c_Data/");
    QString path =
        ini.readString(QStringLiteral("Client Components"), QStringLiteral("GridViewDataPath"), standard)
            .trimmed();
    // A key left empty is no folder: the files would land in the file system's root.
    if (path.isEmpty()) path = standard;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

QString TfrmKrta07SM::GridLayoutFile(const QString& user, const QString& programCode, bool forUser) const {
    // The configured folder may be written with or without its closing separator.
    QString common = GridViewDataPath();
    if (!common.endsWith(QLatin1Char('/'))) common += QLatin1Char('/');
    const QString name = programCode + QStringLiteral(".ugs");
    if (!forUser) return common + name;
    if (!safeName(user)) return QString();
    return common + user + QLatin1Char('/') + name;
}

bool TfrmKrta07SM::LoadGridLayout(const QString& user, const QString& programCode, kv::TClientDataSet* set,
                                  int row) {
    if (!set || !set->Active()) return false;
    QString file = user.trimmed().isEmpty() ? QString() : GridLayoutFile(user.trimmed(), programCode, true);
    if (file.isEmpty() || !QFileInfo::exists(file)) file = GridLayoutFile(QString(), programCode, false);
    const kv::IniFile ini(file);
    if (!ini.exists()) return false;
    for (const auto& [key, value] : ini.sectionValues(sectionName(set, row))) {
        kv::TField* field = set->FindField(key);
        if (!field || value.trimmed().isEmpty()) continue;
        const QStringList parts = value.split(QLatin1Char(';'));
        bool okIndex = false, okWidth = false;
        const int index = parts.value(0).trimmed().toInt(&okIndex);
        const int width = parts.value(1).trimmed().toInt(&okWidth);
        if (!okIndex || !okWidth) continue;
        field->SetDisplayWidth(width);
        const QString format = parts.mid(2).join(QLatin1Char(';')).trimmed();
        if (field->isNumeric() && !format.isEmpty()) field->SetDisplayFormat(format);
        field->SetIndex(index);
    }
    return true;
}

bool TfrmKrta07SM::SaveGridLayout(const QString& user, const QString& programCode, kv::TClientDataSet* set,
                                  int row) {
    if (!set) return false;
    const QString file = GridLayoutFile(user.trimmed(), programCode, true);
    if (file.isEmpty() || !QDir().mkpath(QFileInfo(file).absolutePath())) return false;
    const QString section = sectionName(set, row);

    // Every other section of the file stays as it is.
    QStringList lines;
    if (QFile in(file); in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QStringList old = kv::decodeSettingsText(in.readAll()).split(QLatin1Char('\n'));
        bool inSection = false;
        for (QString line : old) {
            if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
            const QString t = line.trimmed();
            if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
                inSection = t.mid(1, t.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            if (!inSection) lines << line;
        }
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
    }
    if (!lines.isEmpty()) lines << QString();
    lines << QLatin1Char('[') + section + QLatin1Char(']');
    for (int i = 0; i < set->FieldCount(); ++i) {
        const kv::TField& f = set->Fields(i);
        QString value = QString::number(i) + QLatin1Char(';') + QString::number(f.DisplayWidth());
        if (f.isNumeric()) value += QLatin1Char(';') + f.DisplayFormat();
        lines << f.FieldName() + QLatin1Char('=') + value;
    }
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
    QTextStream stream(&out);
    stream << lines.join(QLatin1Char('\n')) << '\n';
    return stream.status() == QTextStream::Ok;
}

void TfrmKrta07SM::InitLineGridPlaces() {
    if (Panel5) return;
    // The capacity tab gets a left panel for the grid beside its charts.
    auto* sheet = qobject_cast<QBoxLayout*>(TabSheet2->layout());
    auto* split = new QSplitter(Qt::Horizontal, TabSheet2);
    split->setObjectName(QStringLiteral("Splitter2"));
    Panel5 = new QWidget(split);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    auto* panel = new QVBoxLayout(Panel5);
    panel->setContentsMargins(0, 0, 0, 0);
    split->addWidget(Panel5);
    if (sheet) sheet->removeWidget(ScrollBox1);
    split->addWidget(ScrollBox1);
    split->setStretchFactor(1, 1);
    if (sheet) sheet->addWidget(split);

    // Rows of the grid beside the bars have the Gantt's rows' height and scroll with them.
    dgMPSTB->verticalHeader()->setMinimumSectionSize(1);
    dgMPSTB->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    dgMPSTB->verticalHeader()->setDefaultSectionSize(TphGant::DefaultRowHeight);
    dgMPSTB->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    auto sync = std::make_shared<bool>(false);
    connect(dgMPSTB->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, sync](int v) {
        if (*sync || dgMPSTB->parentWidget() == Panel5) return;
        *sync = true;
        mgMPSTC->VertScrollBar()->setValue(v);
        *sync = false;
    });
    connect(mgMPSTC->VertScrollBar(), &QScrollBar::valueChanged, this, [this, sync](int v) {
        if (*sync || dgMPSTB->parentWidget() == Panel5) return;
        *sync = true;
        dgMPSTB->verticalScrollBar()->setValue(v);
        *sync = false;
    });
    // Back beside the bars from the taller place beside the charts, the grid could scroll less far
    // until its new height arrived, and kept the rows it was clamped to: it follows the bars again.
    connect(dgMPSTB->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this, sync](int, int) {
        if (*sync || dgMPSTB->parentWidget() == Panel5) return;
        dgMPSTB->verticalScrollBar()->setValue(mgMPSTC->VertScrollBar()->value());
    });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int) { PlaceLineGrid(); });
}

// Made with the form, so that the texts of the workstation's language reach the menu with the rest.
void TfrmKrta07SM::InitLineGridMenu() {
    dgMPSTB->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* menu = new QMenu(dgMPSTB);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* n1 = menu->addAction(QString::fromUtf8("保存检视"));
    n1->setObjectName(QStringLiteral("N1"));
    connect(n1, &QAction::triggered, this, [this] { N1Click(); });
    // The view is the line set's fields: there is none before the first query.
    connect(menu, &QMenu::aboutToShow, n1, [this, n1] { n1->setEnabled(dmKrta07S->qryMPSTBPre->Active()); });
    InitExportMenu(menu);
    connect(dgMPSTB, &QWidget::customContextMenuRequested, menu,
            [this, menu](const QPoint& p) { menu->popup(dgMPSTB->viewport()->mapToGlobal(p)); });
}

void TfrmKrta07SM::N1Click() {
    // What is saved is what the planner sees: the widths of the columns he did not touch as well.
    dgMPSTB->StoreColumnWidths();
    if (SaveGridLayout(FUserID, QStringLiteral("KRTA07"), dmKrta07S->qryMPSTBPre, -1)) return;
    const QString file = GridLayoutFile(FUserID.trimmed(), QStringLiteral("KRTA07"), true);
    KvMessageDlg(file.isEmpty()
                     ? OwnText("sViewNoFolder", "检视无法保存: 用户代号%1不能作为文件夹名称.").arg(FUserID)
                     : OwnText("sViewNotSaved", "检视无法保存到%1.").arg(QDir::toNativeSeparators(file)),
                 mtError, mbOK);
}

void TfrmKrta07SM::PlaceLineGrid() {
    InitLineGridPlaces();
    TphGrid* ganttGrid = mgMPSTC->Grid();
    QWidget* holder = ganttGrid->parentWidget();
    auto* side = holder ? qobject_cast<QVBoxLayout*>(holder->layout()) : nullptr;
    if (PageControl1->currentIndex() == 0 && side) {
        if (dgMPSTB->parentWidget() != holder) {
            dgMPSTB->setParent(holder);
            side->addWidget(dgMPSTB, 1);
        }
        // The grid takes the Gantt grid's place, its title row as high as the scaler.
        for (int i = 0; i < side->count(); ++i)
            if (QWidget* w = side->itemAt(i)->widget(); w && w != dgMPSTB) w->hide();
        dgMPSTB->horizontalHeader()->setFixedHeight(mgMPSTC->ScalerHeight());
        dgMPSTB->setFrameShape(QFrame::NoFrame);
        if (mgMPSTC->TreeWidth() < 400) mgMPSTC->SetTreeWidth(400);
        if (dgMPSTBIButton) dgMPSTBIButton->show();
        dgMPSTB->verticalScrollBar()->setValue(mgMPSTC->VertScrollBar()->value());
    } else {
        if (dgMPSTB->parentWidget() != Panel5) {
            dgMPSTB->setParent(Panel5);
            Panel5->layout()->addWidget(dgMPSTB);
        }
        // The splitter gave the panel, empty when it was laid out, a sliver: the grid gets a third of
        // the tab once, and the charts what a wider window adds; after that the split is the planner's.
        if (!FLineGridSplitSet) {
            FLineGridSplitSet = true;
            if (auto* split = qobject_cast<QSplitter*>(Panel5->parentWidget())) {
                const int total = std::max(TabSheet2->contentsRect().width(), 300);
                split->setSizes({total / 3, total - total / 3});
            }
        }
        dgMPSTB->setFrameShape(QFrame::StyledPanel);
        dgMPSTB->horizontalHeader()->setMinimumHeight(0);
        dgMPSTB->horizontalHeader()->setMaximumHeight(QWIDGETSIZE_MAX);
        if (dgMPSTBIButton) dgMPSTBIButton->hide();
    }
    dgMPSTB->show();
    if (dmKrta07S && dmKrta07S->qryMPSTBPre->Active())
        LoadGridLayout(FUserID, QStringLiteral("KRTA07"), dmKrta07S->qryMPSTBPre, -1);
}
