#include "lang/CodeConverter.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolTip>
#include <QTreeWidget>

#include "controls/Aligrid.h"
#include "controls/SelectPnl.h"
#include "lang/TranslatorU.h"

namespace {

// Components that belong to another one (an edit's label, a radio group's buttons, the parts of a
// select panel) carry this flag; their texts are converted through their owner, exactly once.
constexpr const char* kSubComponent = "kvSubComponent";

bool isSubComponent(const QObject* o) {
    for (; o; o = o->parent())
        if (o->property(kSubComponent).toBool()) return true;
    return false;
}

// Property groups of the generic step and the names a Qt widget gives them.
struct Group {
    const char* name;
    std::initializer_list<const char*> aliases;
    int type;
};

const Group kGroups[] = {
    {"Font", {"Font", "font"}, QMetaType::QFont},
    {"TitleFont", {"TitleFont"}, QMetaType::QFont},
    {"Caption", {"Caption", "title"}, QMetaType::QString},
    {"Hint", {"Hint", "toolTip"}, QMetaType::QString},
    {"ButtonHint", {"ButtonHint"}, QMetaType::QString},
    {"Items", {"Items"}, QMetaType::QStringList},
    {"Lines", {"Lines"}, QMetaType::QStringList},
    {"Text", {"Text", "text"}, QMetaType::QString},
    {"Style", {"Style"}, QMetaType::Int},
    {"Panels", {"Panels"}, QMetaType::QStringList},
};

QMetaProperty groupProperty(const QObject* o, const Group& g) {
    for (const char* alias : g.aliases) {
        const QMetaProperty p = FindProperty(o, QLatin1String(alias));
        if (p.isValid() && p.isWritable() &&
            (p.typeId() == g.type || (g.type == QMetaType::Int && p.isEnumType())))
            return p;
    }
    return {};
}

// Depth of nesting of a variant array: its dimensions plus the deepest nesting of its elements.
int arrayDepth(const kv::Variant& v) {
    if (!v.isArray()) return 0;
    int inner = 0;
    if (v.dimCount() == 1) {
        for (int i = v.lowBound(); i <= v.highBound(); ++i)
            inner = qMax(inner, arrayDepth(v.at(i)));
    } else {
        for (int i = v.lowBound(1); i <= v.highBound(1); ++i)
            for (int j = v.lowBound(2); j <= v.highBound(2); ++j)
                inner = qMax(inner, arrayDepth(v.at(i, j)));
    }
    return v.dimCount() + inner;
}

struct ButtonCaption {
    TMsgDlgBtn button;
    const char* text;
};
const ButtonCaption kButtonCaptions[] = {
    {mbYes, "是"},       {mbNo, "否"},         {mbOK, "确定"},     {mbCancel, "取消"},
    {mbAbort, "中止"},   {mbRetry, "重试"},    {mbIgnore, "忽略"}, {mbAll, "全部"},
    {mbNoToAll, "全否"}, {mbYesToAll, "全是"}, {mbHelp, "帮助"},
};

} // namespace

TCodeConverter::TCodeConverter(QObject* owner) : QObject(owner) {
    setObjectName("KvConverter");
    const TCodePages pages = ReadCodePages(static_cast<TDesignType>(FDesignType));
    SystemCodePage = pages.SystemCodePage;
    UICodePage = pages.UICodePage;
    DBCodePage = pages.DBCodePage;
    UIChangeType = pages.UIChangeType;
    DataChangeType = pages.DataChangeType;
    if (UIChangeType != 0) FTranslator = std::make_unique<TTranslator>();
}

TCodeConverter::~TCodeConverter() = default;

QString TCodeConverter::GBToBig5(const QString& text) const {
    if (text.isEmpty() || !FTranslator) return text;
    return FTranslator->GBtoBIG5(text);
}

QString TCodeConverter::Big5ToGB(const QString& text) const {
    if (text.isEmpty() || !FTranslator) return text;
    return FTranslator->BIG5toGB(text);
}

kv::Variant TCodeConverter::Convert(int kind, const kv::Variant& value) const {
    if (kind == 0 || !FTranslator || value.isEmptyOrNull()) return value;
    if (value.isArray()) return ConvertArray(kind, value);
    if (kind == cpBig5ToGB) return kv::Variant(Big5ToGB(value.toString()));
    if (kind == cpGBToBig5) return kv::Variant(GBToBig5(value.toString()));
    return value;
}

kv::Variant TCodeConverter::ConvertArray(int kind, const kv::Variant& value) const {
    // Arrays carry at most two dimensions; elements that are arrays themselves add theirs, and three
    // or more in all are left as they are.
    if (arrayDepth(value) >= 3) return value;
    kv::Variant result = value;
    if (value.dimCount() == 1) {
        for (int i = value.lowBound(); i <= value.highBound(); ++i) {
            const kv::Variant& element = value.at(i);
            if (element.isArray())
                result.set(i, ConvertArray(kind, element));
            else if (element.isText())
                result.set(i, Convert(kind, element));
        }
    } else {
        for (int i = value.lowBound(1); i <= value.highBound(1); ++i)
            for (int j = value.lowBound(2); j <= value.highBound(2); ++j)
                result.set(i, j, Convert(kind, value.at(i, j)));
    }
    return result;
}

kv::Variant TCodeConverter::Recover(int kind, const kv::Variant& value) const {
    try {
        if (kind == cpBig5ToGB) return Convert(cpGBToBig5, value);
        if (kind == cpGBToBig5) return Convert(cpBig5ToGB, value);
    } catch (...) {
    }
    return value;
}

QString TCodeConverter::ConvertText(const QString& text) const {
    if (text.isEmpty()) return text;
    try {
        if (UIChangeType == cpBig5ToGB) return Big5ToGB(text);
        if (UIChangeType == cpGBToBig5) return GBToBig5(text);
    } catch (const EKvError&) {
        // A text with characters the code pages lack is shown as it is rather than failing the form.
    }
    return text;
}

int TCodeConverter::SetUIFont(int kind, QFont& font) const {
    int charset = 0;
    switch (kind) {
    case 0:
    case 1:
    case 4:
        charset = GB2312_CHARSET;
        break;
    case 2:
    case 3:
        charset = CHINESEBIG5_CHARSET;
        break;
    default:
        return 0;
    }
    font.setFamilies({QString::fromLatin1(kUIFontFace), charset == GB2312_CHARSET
                                                            ? QStringLiteral("Noto Sans CJK SC")
                                                            : QStringLiteral("Noto Sans CJK TC")});
    return charset;
}

void TCodeConverter::SetUIFont(int kind, QObject* object, const char* fontProperty) const {
    const QMetaProperty p = FindProperty(object, QLatin1String(fontProperty));
    if (!p.isValid() || p.typeId() != QMetaType::QFont) return;
    QFont font = p.read(object).value<QFont>();
    const int charset = SetUIFont(kind, font);
    if (charset == 0) return;
    p.write(object, font);
    object->setProperty((QByteArray(p.name()) + "Charset").constData(), charset);
}

int TCodeConverter::KvCodeMessageDlg(const QString& message, TMsgDlgType type, TMsgDlgButtons buttons) const {
    if (message.isEmpty()) return 0;
    QString text = message;
    if (UICodePage == QLatin1String("936") || SystemCodePage == QLatin1String("936"))
        text += QStringLiteral("      "); // room for the wider GB font
    QWidget* form = nullptr;
    if (auto* w = qobject_cast<QWidget*>(parent())) form = w->window();
    if (form && form->isMinimized()) form->showNormal();
    QFont font = QApplication::font();
    SetUIFont(UIChangeType, font);
    // Buttons speak the interface's language: Chinese, in its script, unless the interface is English.
    TMsgDlgButtonCaption caption;
    if (UICodePage != QLatin1String("437"))
        caption = [this](TMsgDlgBtn button) {
            for (const ButtonCaption& c : kButtonCaptions)
                if (c.button == button)
                    return ConvertUIString(kv::Variant(QString::fromUtf8(c.text))).toString();
            return QString();
        };
    return KvMessageDlg(text, type, buttons, form, form ? form->windowTitle() : QString(), &font, caption);
}

void TCodeConverter::DoTranslate(QWidget* form, const QString& exceptText, bool includeGrids) {
    if (!FTranslator || !form) return;
    // The title bar is drawn in the system code page.
    if (SystemCodePage == QLatin1String("950")) try {
            form->setWindowTitle(GBToBig5(form->windowTitle()));
        } catch (const EKvError&) {
        }
    // The form's own hints (a plain Qt window keeps its hint as the tool tip).
    for (const Group& g : kGroups) {
        if (qstrcmp(g.name, "Hint") != 0 && qstrcmp(g.name, "ButtonHint") != 0) continue;
        const QMetaProperty p = groupProperty(form, g);
        if (p.isValid()) p.write(form, ConvertText(p.read(form).toString()));
    }
    // Screen fonts: hints and menus.
    QFont hintFont = QToolTip::font();
    SetUIFont(UIChangeType, hintFont);
    QToolTip::setFont(hintFont);
    QFont menuFont = QApplication::font("QMenu");
    SetUIFont(UIChangeType, menuFont);
    QApplication::setFont(menuFont, "QMenu");
    QApplication::setFont(menuFont, "QMenuBar");
    if (UIChangeType == 0) return;
    // Guarded: converting a memo's text replaces the objects its document holds.
    const QList<QObject*> found = form->findChildren<QObject*>();
    const QList<QPointer<QObject>> components(found.begin(), found.end());
    for (const QPointer<QObject>& component : components)
        if (component && !isSubComponent(component)) TranslateComponent(component, exceptText, includeGrids);
}

void TCodeConverter::TranslateComponent(QObject* component, const QString& exceptText, bool includeGrids) {
    QString excluded; // upper-case property names of the matching exception entry
    bool matched = false;
    if (!exceptText.isEmpty()) {
        for (const QString& entry : ExceptList) {
            const QStringList tokens = entry.split(QChar(3));
            if (tokens.value(0).trimmed().compare(component->objectName(), Qt::CaseInsensitive) == 0) {
                matched = !tokens.value(1).isEmpty();
                excluded = entry.toUpper();
                break;
            }
        }
    }
    // A control may publish one text under two group names (its caption as Qt's text): a text this
    // step wrote is not converted again.
    QStringList written;
    for (const Group& g : kGroups) {
        if (matched && excluded.contains(QLatin1String(g.name).toString().toUpper())) continue;
        // A memo keeps its lines as its text, not as a list property.
        if (qstrcmp(g.name, "Lines") == 0 && ConvertMemo(component)) continue;
        const QMetaProperty p = groupProperty(component, g);
        if (!p.isValid()) continue;
        switch (g.type) {
        case QMetaType::QFont:
            SetUIFont(UIChangeType, component, p.name());
            break;
        case QMetaType::QString: {
            const QString text = p.read(component).toString();
            if (text.isEmpty() || written.contains(text)) break;
            written << ConvertText(text);
            p.write(component, written.last());
            break;
        }
        case QMetaType::QStringList: {
            const QStringList lines = p.read(component).toStringList();
            if (!lines.isEmpty()) p.write(component, ConvertLines(lines));
            break;
        }
        default: {
            // Combo and list box styles switch to owner drawing so that they paint with the chosen
            // character set; Qt widgets draw with their font anyway, so only the stored value changes.
            const QByteArray type = p.isEnumType() ? QByteArray(p.enumerator().name()) : QByteArray();
            const int style = p.read(component).toInt();
            if (type.compare("TComboBoxStyle", Qt::CaseInsensitive) == 0 && (style == 0 || style == 2))
                p.write(component, style == 0 ? 4 : 3);
            else if (type.compare("TListBoxStyle", Qt::CaseInsensitive) == 0 && style == 0)
                p.write(component, 1);
            break;
        }
        }
    }
    if (!matched) TranslateClass(component, includeGrids);
}

QStringList TCodeConverter::ConvertLines(const QStringList& lines) const {
    // One text, so that the library sees whole phrases; blank lines stay where they were.
    if (lines.isEmpty()) return lines;
    return ConvertText(lines.join(QLatin1Char('\n'))).split(QLatin1Char('\n'));
}

bool TCodeConverter::ConvertMemo(QObject* component) const {
    const auto convert = [this](auto* memo) {
        const QString text = memo->toPlainText();
        if (!text.isEmpty())
            memo->setPlainText(ConvertLines(text.split(QLatin1Char('\n'))).join(QLatin1Char('\n')));
        return true;
    };
    if (auto* memo = qobject_cast<QPlainTextEdit*>(component)) return convert(memo);
    if (auto* memo = qobject_cast<QTextEdit*>(component)) return convert(memo);
    return false;
}

void TCodeConverter::TranslateClass(QObject* component, bool includeGrids) {
    auto convertListView = [this](QTreeWidget* view) {
        QTreeWidgetItem* header = view->headerItem();
        for (int c = 0; c < view->columnCount(); ++c)
            header->setText(c, ConvertText(header->text(c)));
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = view->topLevelItem(i);
            for (int c = 0; c < view->columnCount(); ++c)
                item->setText(c, ConvertText(item->text(c)));
        }
    };
    if (auto* panel = qobject_cast<TSelectPanel*>(component)) {
        auto convertList = [this](const QStringList& list) { return ConvertLines(list); };
        if (!panel->BeginWords().isEmpty()) panel->SetBeginWords(convertList(panel->BeginWords()));
        if (!panel->FinalWords().isEmpty()) panel->SetFinalWords(convertList(panel->FinalWords()));
        panel->SetHintWord(ConvertText(panel->HintWord()));
        if (!panel->ChildHints().isEmpty()) panel->SetChildHints(convertList(panel->ChildHints()));
        if (!panel->ColumnCaptions().isEmpty())
            panel->SetColumnCaptions(convertList(panel->ColumnCaptions()));
        convertListView(panel->ListView());
        return;
    }
    if (auto* tabs = qobject_cast<QTabBar*>(component)) {
        const int index = tabs->currentIndex();
        auto* pages = qobject_cast<QTabWidget*>(tabs->parent());
        for (int i = 0; i < tabs->count(); ++i) {
            // A page that has its own caption is converted as a component.
            if (pages && pages->widget(i) && FindProperty(pages->widget(i), "Caption").isValid()) continue;
            tabs->setTabText(i, ConvertText(tabs->tabText(i)));
        }
        tabs->setCurrentIndex(index);
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(component)) {
        const int index = combo->currentIndex();
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemText(i, ConvertText(combo->itemText(i)));
        combo->setCurrentIndex(index < 0 && combo->count() > 0 ? 0 : index);
        return;
    }
    if (auto* list = qobject_cast<QListWidget*>(component)) {
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setText(ConvertText(list->item(i)->text()));
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(component)) {
        // Menu items are actions: their texts are converted as components of their own.
        Q_UNUSED(menu);
        return;
    }
    if (auto* view = qobject_cast<QTreeWidget*>(component)) {
        if (!view->rootIsDecorated()) {
            convertListView(view); // a list view: columns, captions and sub-items
            return;
        }
        if (!includeGrids) return;
        // A tree view: every node's text, and the header Qt gives it.
        for (int c = 0; c < view->columnCount(); ++c)
            view->headerItem()->setText(c, ConvertText(view->headerItem()->text(c)));
        QList<QTreeWidgetItem*> pending;
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            pending << view->topLevelItem(i);
        while (!pending.isEmpty()) {
            QTreeWidgetItem* node = pending.takeFirst();
            node->setText(0, ConvertText(node->text(0)));
            for (int i = 0; i < node->childCount(); ++i)
                pending << node->child(i);
        }
        return;
    }
    if (!includeGrids) return;
    if (auto* grid = qobject_cast<TStringAlignGrid*>(component)) {
        for (int r = 0; r < grid->RowCount(); ++r) {
            for (int c = 0; c < grid->ColCount(); ++c) {
                grid->SetCells(c, r, ConvertText(grid->StoredCell(c, r)));
                grid->SetCellHint(c, r, ConvertText(grid->CellHint(c, r)));
                grid->SetCellLines(c, r, ConvertLines(grid->CellLines(c, r)));
            }
        }
        for (int c = 0; c < grid->ColCount(); ++c)
            grid->SetColLines(c, ConvertLines(grid->ColLines(c)));
        for (int r = 0; r < grid->RowCount(); ++r)
            grid->SetRowLines(r, ConvertLines(grid->RowLines(r)));
        // Records: fonts of every level, hints and the texts of the cells' editors.
        for (TPropLevel level : {plCell, plCol, plRow, plFixedCol, plFixedRow}) {
            for (const auto& key : grid->RecordKeys(level)) {
                grid->ChangeRecord(level, key.first, key.second, [this](TCellProperties& p) {
                    for (std::optional<TKvFont>* f : {&p.Font, &p.SelectedFont}) {
                        if (!*f) continue;
                        QFont font;
                        SetUIFont(UIChangeType, font);
                        (*f)->Name = font.families().value(0);
                    }
                    p.Hint = ConvertText(p.Hint);
                    if (p.Control) {
                        p.Control->Caption = ConvertText(p.Control->Caption);
                        p.Control->CheckedText = ConvertText(p.Control->CheckedText);
                        p.Control->UncheckedText = ConvertText(p.Control->UncheckedText);
                        for (QString& line : p.Control->Items.Lines)
                            line = ConvertText(line);
                    }
                });
            }
        }
        return;
    }
    if (auto* table = qobject_cast<QTableWidget*>(component)) {
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c)
                if (QTableWidgetItem* item = table->item(r, c)) item->setText(ConvertText(item->text()));
        return;
    }
}
