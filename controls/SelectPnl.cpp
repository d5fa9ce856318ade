#include "controls/SelectPnl.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include "controls/F2Button.h"
#include "controls/KvBitmaps.h"
#include "platform/CodePage.h"

namespace {

const QStringList kDefaultHints{QStringLiteral("区间选择-起始信息"), QStringLiteral("区间选择-起始信息开窗"),
                                QStringLiteral("区间选择-截止信息"), QStringLiteral("区间选择-截止信息开窗"),
                                QStringLiteral("多选-己选择的信息"), QStringLiteral("多选-信息开窗"),
                                QStringLiteral("多选-删除一笔信息"), QStringLiteral("多选-删除己选信息")};
const QStringList kDefaultChoices{QStringLiteral("区间选择"), QStringLiteral("用户自定输入方式")};

// A date text of the panel; the earliest date when it is none.
QDate readDate(const QString& raw, int dateType, const QString& sign) {
    const QString text = raw.trimmed();
    const QStringList parts = sign.isEmpty() ? QStringList{text} : text.split(sign);
    QStringList p = parts;
    if (parts.size() == 2) {
        // A month: the first day is added in the order of the date type.
        if (dateType == dt_MMDDYYYY)
            p = {parts[0], QStringLiteral("01"), parts[1]};
        else if (dateType == dt_DDMMYYYY)
            p = {QStringLiteral("01"), parts[0], parts[1]};
        else
            p = {parts[0], parts[1], QStringLiteral("01")};
    } else if (parts.size() != 3) {
        return QDate(1, 1, 1);
    }
    bool ok1 = false, ok2 = false, ok3 = false;
    const int a = p[0].trimmed().toInt(&ok1), b = p[1].trimmed().toInt(&ok2), c = p[2].trimmed().toInt(&ok3);
    if (!ok1 || !ok2 || !ok3) return QDate(1, 1, 1);
    int y = a, m = b, d = c;
    switch (dateType) {
    case dt_MMDDYYYY:
        m = a, d = b, y = c;
        break;
    case dt_DDMMYYYY:
        d = a, m = b, y = c;
        break;
    case dt_YYMMDD:
    case dt_YYYMMDD:
        y = a + 1911; // years of the Republic era
        break;
    default:
        break;
    }
    const QDate date(y, m, d);
    return date.isValid() ? date : QDate(1, 1, 1);
}

} // namespace

TYenMaskEdit::TYenMaskEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!FFilling) emit Change();
    });
}

void TYenMaskEdit::SetTextSilently(const QString& text) {
    FFilling = true;
    setText(text);
    FFilling = false;
}

void TYenMaskEdit::SetMaskSilently(const QString& mask) {
    FFilling = true;
    setInputMask(mask);
    FFilling = false;
}

TYenListView::TYenListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Data1")});
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

bool TYenListView::AddItem(const QStringList& texts) {
    if (texts.isEmpty()) return false;
    try {
        while (columnCount() < texts.size()) {
            const int n = columnCount();
            setColumnCount(n + 1);
            headerItem()->setText(n, QStringLiteral("Data%1").arg(n + 1));
        }
        auto* item = new QTreeWidgetItem(this, texts);
        Q_UNUSED(item);
        // Every row carries as many sub-items as there are columns.
        for (int i = 0; i < topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = topLevelItem(i);
            for (int c = 0; c < columnCount(); ++c)
                if (row->text(c).isNull()) row->setText(c, QString(""));
        }
        emit ListChanged();
        for (int c = 0; c < columnCount(); ++c)
            resizeColumnToContents(c);
        return true;
    } catch (...) {
        return false;
    }
}

void TYenListView::Clear() {
    clear();
    emit ListChanged();
}

QStringList TYenListView::Row(int index) const {
    QStringList texts;
    if (const QTreeWidgetItem* row = topLevelItem(index))
        for (int c = 0; c < columnCount(); ++c)
            texts << row->text(c);
    return texts;
}

void TYenListView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QTreeWidget::mousePressEvent(event);
}

TSelectPanel::TSelectPanel(QWidget* parent)
    : QFrame(parent), FChildHints(kDefaultHints), FItems(kDefaultChoices) {
    setFrameShape(QFrame::NoFrame);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    FStyleBox = new QComboBox(this);
    FStyleBox->setObjectName("cboStyle");
    FStyleBox->addItems(FItems);
    FStartLabel = new QLabel(this);
    FStartEdit = new TYenMaskEdit(this);
    FStartEdit->setObjectName("edStart");
    FStartButton = new TF2Button(this);
    FStartButton->setObjectName("btnStart");
    FEndLabel = new QLabel(this);
    FEndEdit = new TYenMaskEdit(this);
    FEndEdit->setObjectName("edEnd");
    FEndButton = new TF2Button(this);
    FEndButton->setObjectName("btnEnd");
    FListLabel = new QLabel(this);
    FListView = new TYenListView(this);
    FListView->setObjectName("lvList");
    FListEndLabel = new QLabel(this);
    FOpenButton = new QToolButton(this);
    FDeleteButton = new QToolButton(this);
    FClearButton = new QToolButton(this);
    QPixmap pic;
    if (LoadBmp(6, pic)) FDeleteButton->setIcon(pic);
    if (LoadBmp(4, pic)) FClearButton->setIcon(pic);
    for (QWidget* w : std::initializer_list<QWidget*>{
             FStyleBox, FStartLabel, FStartEdit, FStartButton, FEndLabel, FEndEdit, FEndButton, FListLabel,
             FListView, FListEndLabel, FOpenButton, FDeleteButton, FClearButton})
        layout->addWidget(w);
    layout->setStretch(layout->indexOf(FStartEdit), 1);
    layout->setStretch(layout->indexOf(FEndEdit), 1);
    layout->setStretch(layout->indexOf(FListView), 1);
    SetGlyphIndex(8);
    FStartButton->SetF2Control(FStartEdit);
    FEndButton->SetF2Control(FEndEdit);
    FStartButton->SetAutoAlign(false);
    FEndButton->SetAutoAlign(false);

    // The parts show the panel's words, hints and choices: they are translated through the panel.
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        w->setProperty("kvSubComponent", true);
    for (QWidget* w : std::initializer_list<QWidget*>{FStartEdit, FEndEdit, FListView})
        w->installEventFilter(this);
    connect(FStartButton, &QAbstractButton::clicked, this, [this] { emit OnOpenWinClick(this, FStartEdit); });
    connect(FEndButton, &QAbstractButton::clicked, this, [this] { emit OnOpenWinClick(this, FEndEdit); });
    connect(FOpenButton, &QAbstractButton::clicked, this, [this] { emit OnOpenWinClick(this, FListView); });
    connect(FDeleteButton, &QAbstractButton::clicked, this, &TSelectPanel::DeleteOne);
    connect(FClearButton, &QAbstractButton::clicked, this, &TSelectPanel::DeleteAll);
    connect(FStyleBox, &QComboBox::activated, this, [this](int index) {
        emit OnTypeClick(this);
        SetUserChoice(index == 0 ? sp_Range : sp_Discrete);
    });
    connect(FListView, &TYenListView::ListChanged, this, [this] { emit OnItemChange(this); });
    connect(FListView, &QTreeWidget::itemSelectionChanged, this, [this] {
        QTreeWidgetItem* item = FListView->currentItem();
        emit OnItemSelect(this, item, item ? FListView->indexOfTopLevelItem(item) : -1,
                          item && item->isSelected());
    });
    connect(FListView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* now, QTreeWidgetItem* old) {
                if (!OnItemChanging || !old) return;
                bool allow = true;
                OnItemChanging(this, now, allow);
                if (!allow) {
                    const QSignalBlocker block(FListView);
                    FListView->setCurrentItem(old);
                }
            });
    connect(qApp, &QApplication::focusChanged, this, &TSelectPanel::FocusChanged);
    ApplyHints();
    ApplyWords();
    Relayout();
}

TSelectPanel::~TSelectPanel() {
    // The parts go before the panel's QObject does: no exit rule on a half-destroyed panel.
    disconnect(qApp, &QApplication::focusChanged, this, &TSelectPanel::FocusChanged);
}

void TSelectPanel::SetBeginWords(const QStringList& words) {
    FBeginWords = words;
    ApplyWords();
}

void TSelectPanel::SetFinalWords(const QStringList& words) {
    FFinalWords = words;
    ApplyWords();
}

void TSelectPanel::ApplyWords() {
    FStartLabel->setText(FBeginWords.value(0));
    FEndLabel->setText(FFinalWords.value(0));
    // The second words, when present, frame the list of the discrete style.
    const bool list = FListView->isVisibleTo(this);
    FListLabel->setText(FBeginWords.value(1));
    FListLabel->setVisible(list && !FListLabel->text().isEmpty());
    FListEndLabel->setText(FFinalWords.value(1));
    FListEndLabel->setVisible(list && !FListEndLabel->text().isEmpty());
}

void TSelectPanel::SetCanOpenWin(bool value) {
    FCanOpenWin = value;
    Relayout();
}

void TSelectPanel::SetChildHints(const QStringList& hints) {
    FChildHints = hints;
    ApplyHints();
}

void TSelectPanel::ApplyHints() {
    QWidget* targets[] = {FStartEdit, FStartButton, FEndEdit,      FEndButton,
                          FListView,  FOpenButton,  FDeleteButton, FClearButton};
    for (int i = 0; i < 8; ++i)
        targets[i]->setToolTip(FChildHints.value(i));
}

void TSelectPanel::SetColumnCaptions(const QStringList& captions) {
    FColumnCaptions = captions;
    for (int c = 0; c < captions.size(); ++c) {
        if (FListView->columnCount() <= c) FListView->setColumnCount(c + 1);
        FListView->headerItem()->setText(c, captions[c]);
    }
}

void TSelectPanel::SetColumns(int value) {
    FColumns = qMax(1, value);
    if (FListView->columnCount() < FColumns) FListView->setColumnCount(FColumns);
}

void TSelectPanel::SetEditMask(const QString& mask) {
    FEditMask = mask;
    const QString keep = FStartEdit->text();
    FStartEdit->SetMaskSilently(mask);
    FEndEdit->SetMaskSilently(mask);
    FStartEdit->SetTextSilently(QString());
    FEmptyMaskText = FStartEdit->text();
    FStartEdit->SetTextSilently(keep);
}

void TSelectPanel::SetGlyphIndex(int value) {
    FGlyphIndex = value;
    FStartButton->SetGlyphIndex(value);
    FEndButton->SetGlyphIndex(value);
    QPixmap pic;
    if (LoadBmp(value, pic)) FOpenButton->setIcon(pic);
}

void TSelectPanel::SetHintWord(const QString& word) {
    FHintWord = word;
    setToolTip(word);
}

void TSelectPanel::SetItems(const QStringList& items) {
    FItems = items;
    const int index = FStyleBox->currentIndex();
    FStyleBox->clear();
    FStyleBox->addItems(items);
    FStyleBox->setCurrentIndex(qMin(index, int(items.size()) - 1));
}

bool TSelectPanel::ShowColumnHeader() const {
    return !FListView->isHeaderHidden();
}
void TSelectPanel::SetShowColumnHeader(bool value) {
    FListView->setHeaderHidden(!value);
}

void TSelectPanel::SetStyle(int value) {
    if (value == FStyle) return;
    if (OnStyleChanging) {
        bool accept = true;
        OnStyleChanging(this, FStyle, value, accept);
        if (!accept) return;
    }
    // The handlers of the change still read the old style: it is stored last.
    const int old = FStyle;
    Relayout(value);
    emit OnStyleChange(this, old, value);
    FStyle = value;
    Relayout(); // a handler that changed other properties laid the panel out for the old style
}

void TSelectPanel::SetUserChoice(int value) {
    FUserChoice = value == sp_Discrete ? sp_Discrete : sp_Range;
    FStyleBox->setCurrentIndex(FUserChoice == sp_Range ? 0 : qMin(1, FStyleBox->count() - 1));
    Relayout();
}

void TSelectPanel::Relayout() {
    Relayout(FStyle);
}

void TSelectPanel::Relayout(int style) {
    const int shown = style == sp_UserChoice ? FUserChoice : style;
    const bool range = shown == sp_Range;
    FStyleBox->setVisible(style == sp_UserChoice);
    for (QWidget* w : std::initializer_list<QWidget*>{FStartLabel, FStartEdit, FEndLabel, FEndEdit})
        w->setVisible(range);
    FStartButton->setVisible(range && FCanOpenWin);
    FEndButton->setVisible(range && FCanOpenWin);
    FListView->setVisible(!range);
    FOpenButton->setVisible(!range && FCanOpenWin);
    FDeleteButton->setVisible(!range);
    FClearButton->setVisible(!range);
    ApplyWords();
}

QString TSelectPanel::StartText() const {
    return FStartEdit->text();
}
void TSelectPanel::SetStartText(const QString& text) {
    FStartEdit->SetTextSilently(text);
}
QString TSelectPanel::EndText() const {
    return FEndEdit->text();
}
void TSelectPanel::SetEndText(const QString& text) {
    FEndEdit->SetTextSilently(text);
}

bool TSelectPanel::AddValue(const QStringList& texts) {
    if (FCheckDuplicate != cd_None && !texts.isEmpty()) {
        const Qt::CaseSensitivity cs =
            FCheckDuplicate == cd_CheckCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
        for (int i = 0; i < FListView->topLevelItemCount(); ++i)
            if (FListView->topLevelItem(i)->text(0).compare(texts[0], cs) == 0) return false;
    }
    const bool ok = FListView->AddItem(texts);
    if (ok && FSortListBox) FListView->sortItems(0, Qt::AscendingOrder);
    return ok;
}

void TSelectPanel::DeleteOne() {
    bool accept = true;
    if (OnDeleteClick) OnDeleteClick(this, accept);
    if (!accept) return;
    qDeleteAll(FListView->selectedItems());
    emit FListView->ListChanged();
}

void TSelectPanel::DeleteAll() {
    emit OnClearClick(this);
    FListView->Clear();
}

bool TSelectPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        emit OnKeyDown(this, key->key(), int(key->modifiers()));
        if (!key->text().isEmpty()) emit OnKeyPress(this, key->text());
    } else if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        emit OnKeyUp(this, key->key(), int(key->modifiers()));
    }
    return QFrame::eventFilter(watched, event);
}

void TSelectPanel::FocusChanged(QWidget*, QWidget* now) {
    // Only another widget of the panel's own window leaves it: while another window is active (the
    // lookup window, the style list, another program) the user is still entering the range.
    if (!now) return;
    if (isAncestorOf(now)) {
        FInside = true;
    } else if (FInside && now->window() == window()) {
        FInside = false;
        DoExit();
    }
}

bool TSelectPanel::IsPlaceholder(const QString& text) const {
    return (!FEditMask.isEmpty() && text == FEmptyMaskText) || (FUseDiscard && text == FDiscard);
}

bool TSelectPanel::StartIsGreater(const QString& start, const QString& end) const {
    switch (FValueType) {
    case vt_Number:
        return start.toInt() > end.toInt(); // a non-number reads as 0
    case vt_Float:
        return start.toDouble() > end.toDouble();
    case vt_String:
    case vt_Time:
        // In the order of the module's code page, as the server that gets the range compares texts:
        // Chinese by pinyin rather than by the code points of Unicode.
        return !IsPlaceholder(start) && !IsPlaceholder(end) &&
               kv::codepage::encode(start, kv::codepage::GBK) > kv::codepage::encode(end, kv::codepage::GBK);
    case vt_Date:
        if (!FAutoChangeDateSite || IsPlaceholder(start) || IsPlaceholder(end)) return false;
        if (FDateType == dt_NoneCare) return start > end;
        return readDate(start, FDateType, FDateSign) > readDate(end, FDateType, FDateSign);
    default:
        return false;
    }
}

void TSelectPanel::DoExit() {
    QString start = FStartEdit->text();
    QString end = FEndEdit->text();
    if (!FEditMask.startsWith('!')) {
        start = start.trimmed();
        end = end.trimmed();
        FStartEdit->SetTextSilently(start);
        FEndEdit->SetTextSilently(end);
    }
    if (!start.isEmpty() && !end.isEmpty() && StartIsGreater(start, end)) {
        FStartEdit->SetTextSilently(end);
        FEndEdit->SetTextSilently(start);
    }
    emit OnExit(this);
}
