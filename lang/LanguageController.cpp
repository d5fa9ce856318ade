#include "lang/LanguageController.h"

#include <QComboBox>
#include <QCursor>
#include <QFileInfo>
#include <QFont>
#include <QListWidget>
#include <QMetaEnum>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWidget>

#include "controls/KvColor.h"

namespace {

// Where the walk of a property path stands: an object, or a column, item or node of a list or tree.
struct Target {
    QObject* object = nullptr;
    QTreeWidget* view = nullptr;
    int column = -1;
    QTreeWidgetItem* item = nullptr;
    bool isNode = false; // item of a tree view rather than of a list view
    bool isObject() const { return object && !view; }
};

bool splitIndex(const QString& segment, QString& name, int& index) {
    const int us = segment.lastIndexOf('_');
    if (us <= 0) return false;
    bool ok = false;
    const int n = segment.mid(us + 1).toInt(&ok);
    if (!ok) return false;
    name = segment.left(us);
    index = n;
    return true;
}

// Tree nodes are numbered in display order, as the tree's node list counts them.
QTreeWidgetItem* treeNode(QTreeWidget* view, int index) {
    QList<QTreeWidgetItem*> stack;
    for (int i = view->topLevelItemCount() - 1; i >= 0; --i)
        stack << view->topLevelItem(i);
    int n = 0;
    while (!stack.isEmpty()) {
        QTreeWidgetItem* node = stack.takeLast();
        if (n++ == index) return node;
        for (int i = node->childCount() - 1; i >= 0; --i)
            stack << node->child(i);
    }
    return nullptr;
}

// String lists: a QStringList property, or the items of Qt's own combo and list boxes, or the lines of
// a text edit.
bool readLines(QObject* object, const QString& name, QStringList& lines) {
    const QMetaProperty p = FindProperty(object, name);
    if (p.isValid() && p.typeId() == QMetaType::QStringList) {
        lines = p.read(object).toStringList();
        return true;
    }
    if (name.compare("Items", Qt::CaseInsensitive) == 0) {
        if (auto* combo = qobject_cast<QComboBox*>(object)) {
            lines.clear();
            for (int i = 0; i < combo->count(); ++i)
                lines << combo->itemText(i);
            return true;
        }
        if (auto* list = qobject_cast<QListWidget*>(object)) {
            lines.clear();
            for (int i = 0; i < list->count(); ++i)
                lines << list->item(i)->text();
            return true;
        }
    }
    if (name.compare("Lines", Qt::CaseInsensitive) == 0) {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) {
            lines = edit->toPlainText().split('\n');
            return true;
        }
        if (auto* edit = qobject_cast<QTextEdit*>(object)) {
            lines = edit->toPlainText().split('\n');
            return true;
        }
    }
    return false;
}

void writeLines(QObject* object, const QString& name, const QStringList& lines) {
    const QMetaProperty p = FindProperty(object, name);
    if (p.isValid() && p.typeId() == QMetaType::QStringList) {
        p.write(object, lines);
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        while (combo->count() < lines.size())
            combo->addItem(QString());
        for (int i = 0; i < lines.size(); ++i)
            combo->setItemText(i, lines[i]);
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        while (list->count() < lines.size())
            list->addItem(QString());
        for (int i = 0; i < lines.size(); ++i)
            list->item(i)->setText(lines[i]);
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) {
        edit->setPlainText(lines.join('\n'));
    } else if (auto* edit = qobject_cast<QTextEdit*>(object)) {
        edit->setPlainText(lines.join('\n'));
    }
}

// A collection published as a list of objects.
QObject* collectionItem(QObject* object, const QString& name, int index) {
    const QMetaProperty p = FindProperty(object, name);
    if (!p.isValid()) return nullptr;
    const QVariant v = p.read(object);
    if (v.canConvert<QList<QObject*>>()) {
        const QList<QObject*> items = v.value<QList<QObject*>>();
        return index >= 0 && index < items.size() ? items[index] : nullptr;
    }
    return nullptr;
}

struct NamedValue {
    const char* name;
    int value;
};

constexpr NamedValue kCursors[] = {
    {"crDefault", 0},   {"crNone", -1},       {"crArrow", -2},    {"crCross", -3},    {"crIBeam", -4},
    {"crSize", -22},    {"crSizeNESW", -6},   {"crSizeNS", -7},   {"crSizeNWSE", -8}, {"crSizeWE", -9},
    {"crUpArrow", -10}, {"crHourGlass", -11}, {"crDrag", -12},    {"crNoDrop", -13},  {"crHSplit", -14},
    {"crVSplit", -15},  {"crMultiDrag", -16}, {"crSQLWait", -17}, {"crNo", -18},      {"crAppStart", -19},
    {"crHelp", -20},    {"crHandPoint", -21}, {"crSizeAll", -22},
};

bool identToCursor(const QString& text, Qt::CursorShape& shape) {
    int value = 0;
    bool found = false;
    for (const NamedValue& c : kCursors)
        if (text.trimmed().compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            value = c.value, found = true;
    if (!found) {
        bool ok = false;
        value = text.trimmed().toInt(&ok);
        if (!ok) return false;
    }
    switch (value) {
    case -1:
        shape = Qt::BlankCursor;
        break;
    case -3:
        shape = Qt::CrossCursor;
        break;
    case -4:
        shape = Qt::IBeamCursor;
        break;
    case -6:
        shape = Qt::SizeBDiagCursor;
        break;
    case -7:
    case -15:
        shape = Qt::SizeVerCursor;
        break;
    case -8:
        shape = Qt::SizeFDiagCursor;
        break;
    case -9:
    case -14:
        shape = Qt::SizeHorCursor;
        break;
    case -10:
        shape = Qt::UpArrowCursor;
        break;
    case -11:
    case -17:
        shape = Qt::WaitCursor;
        break;
    case -12:
    case -16:
        shape = Qt::DragMoveCursor;
        break;
    case -13:
    case -18:
        shape = Qt::ForbiddenCursor;
        break;
    case -19:
        shape = Qt::BusyCursor;
        break;
    case -20:
        shape = Qt::WhatsThisCursor;
        break;
    case -21:
        shape = Qt::PointingHandCursor;
        break;
    case -22:
        shape = Qt::SizeAllCursor;
        break;
    default:
        shape = Qt::ArrowCursor;
        break;
    }
    return true;
}

// Font "sub-properties" of the original's font object, on Qt's font value.
bool setFontField(QObject* object, const QMetaProperty& fontProperty, const QString& field,
                  const QVariant& value) {
    QFont font = fontProperty.read(object).value<QFont>();
    const QString text = value.toString().trimmed();
    bool ok = true;
    if (field.compare("Name", Qt::CaseInsensitive) == 0) {
        font.setFamily(text);
    } else if (field.compare("Size", Qt::CaseInsensitive) == 0) {
        const int size = text.toInt(&ok);
        if (ok && size > 0) font.setPointSize(size);
    } else if (field.compare("Height", Qt::CaseInsensitive) == 0) {
        const int height = text.toInt(&ok);
        if (ok && height != 0) font.setPixelSize(qAbs(height));
    } else if (field.compare("Style", Qt::CaseInsensitive) == 0) {
        const QString styles = text.toLower();
        font.setBold(styles.contains("fsbold"));
        font.setItalic(styles.contains("fsitalic"));
        font.setUnderline(styles.contains("fsunderline"));
        font.setStrikeOut(styles.contains("fsstrikeout"));
    } else if (field.compare("Pitch", Qt::CaseInsensitive) == 0) {
        font.setFixedPitch(text.compare("fpFixed", Qt::CaseInsensitive) == 0);
    } else if (field.compare("Charset", Qt::CaseInsensitive) == 0) {
        int charset = text.toInt(&ok);
        if (!ok) {
            static const QHash<QString, int> names{{"ANSI_CHARSET", 0},       {"DEFAULT_CHARSET", 1},
                                                   {"GB2312_CHARSET", 134},   {"CHINESEBIG5_CHARSET", 136},
                                                   {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129}};
            ok = names.contains(text.toUpper());
            charset = names.value(text.toUpper());
        }
        if (ok) object->setProperty((QByteArray(fontProperty.name()) + "Charset").constData(), charset);
        return ok;
    } else if (field.compare("Color", Qt::CaseInsensitive) == 0) {
        int color = 0;
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget || !IdentToColor(text, color)) return false;
        QPalette pal = widget->palette();
        pal.setColor(QPalette::WindowText, TColorToQColor(color));
        pal.setColor(QPalette::Text, TColorToQColor(color));
        pal.setColor(QPalette::ButtonText, TColorToQColor(color));
        widget->setPalette(pal);
        return true;
    } else {
        return false;
    }
    return ok && fontProperty.write(object, font);
}

// A property a language file names. Files name a control's caption and hint as the suite's own
// controls call them; the standard widgets of the forms carry them as text, title or window title,
// and tool tip.
QMetaProperty languageProperty(const QObject* object, const QString& name) {
    const QMetaProperty own = FindProperty(object, name);
    if (own.isValid()) return own;
    static const struct {
        const char* name;
        std::initializer_list<const char*> standard;
    } aliases[] = {{"Caption", {"text", "title", "windowTitle"}}, {"Hint", {"toolTip"}}};
    for (const auto& alias : aliases) {
        if (name.compare(QLatin1String(alias.name), Qt::CaseInsensitive) != 0) continue;
        for (const char* standard : alias.standard) {
            const QMetaProperty p = FindProperty(object, QLatin1String(standard));
            if (p.isValid() && p.isWritable() && p.typeId() == QMetaType::QString) return p;
        }
    }
    return {};
}

} // namespace

bool SetPropValueIncludeSub(QObject* object, const QString& propertyPath, const QVariant& value) {
    if (!object) return false;
    const int dot = propertyPath.indexOf('.');
    if (dot >= 0) {
        const QString head = propertyPath.left(dot).trimmed();
        const QString rest = propertyPath.mid(dot + 1);
        const QMetaProperty p = FindProperty(object, head);
        if (!p.isValid()) return false;
        if (p.typeId() == QMetaType::QFont) return setFontField(object, p, rest.trimmed(), value);
        QObject* sub = p.read(object).value<QObject*>();
        return sub && SetPropValueIncludeSub(sub, rest, value);
    }
    const QMetaProperty p = languageProperty(object, propertyPath.trimmed());
    if (!p.isValid() || !p.isWritable()) return false;
    const QString text = value.toString();
    if (p.typeId() == QMetaType::QColor) {
        int color = 0;
        if (IdentToColor(text, color)) return p.write(object, TColorToQColor(color));
        const QColor named = QColor::fromString(text.trimmed());
        return named.isValid() && p.write(object, named);
    }
    if (p.typeId() == QMetaType::QCursor) {
        Qt::CursorShape shape = Qt::ArrowCursor;
        return identToCursor(text, shape) && p.write(object, QCursor(shape));
    }
    if (p.isEnumType()) {
        bool isNumber = false;
        const int number = text.trimmed().toInt(&isNumber);
        if (isNumber) return p.write(object, number);
        const QMetaEnum e = p.enumerator();
        bool ok = false;
        QString names = text.trimmed();
        int v = 0;
        if (e.isFlag()) {
            names.remove('[').remove(']');
            v = e.keysToValue(names.replace(',', '|').remove(' ').toLatin1().constData(), &ok);
        } else {
            v = e.keyToValue(names.toLatin1().constData(), &ok);
        }
        return ok && p.write(object, v);
    }
    if (p.typeId() == QMetaType::Int) {
        // Integer properties that hold colours or cursors take their names too.
        int color = 0;
        bool isNumber = false;
        text.trimmed().toInt(&isNumber);
        if (!isNumber && IdentToColor(text, color)) return p.write(object, color);
    }
    if (p.typeId() == QMetaType::Bool) {
        const QString t = text.trimmed();
        if (t.compare("True", Qt::CaseInsensitive) == 0 || t == "1" || t == "-1")
            return p.write(object, true);
        if (t.compare("False", Qt::CaseInsensitive) == 0 || t == "0") return p.write(object, false);
        return false;
    }
    if (p.typeId() == QMetaType::QStringList) {
        // A string list takes a text as its lines.
        QString lines = text;
        return p.write(object, lines.remove('\r').split('\n'));
    }
    QVariant converted = value;
    if (!converted.convert(p.metaType())) return false;
    return p.write(object, converted);
}

// ---------------------------------------------------------------------------------------------------

void TComponentRead::ReadAttribute(int index) {
    const TDOMNode attribute = FNode.attributes().item(index);
    if (!attribute.isNull()) HandleAttribute(attribute);
}

void TComponentRead::ReadAttribute(const QString& name) {
    const TDOMNode attribute = FNode.attributes().getNamedItem(name);
    if (!attribute.isNull()) HandleAttribute(attribute);
}

void TComponentRead::ReadAllAttributes() {
    const int count = FNode.attributes().length();
    for (int i = 0; i < count; ++i)
        ReadAttribute(i);
}

void TComponentRead::HandleAttribute(const TDOMNode& attribute) {
    if (FReader && FReader->OnReadProperty)
        FReader->OnReadProperty(*this, attribute);
    else
        ApplyAttribute(attribute);
}

void TComponentRead::ApplyAttribute(const TDOMNode& attribute) {
    const QString value = attribute.nodeType() == NODE_ATTRIBUTE ? attribute.text() : QString();
    QString path = attribute.nodeName();
    Target target{FComponent};
    QString last = path;
    // Walk the object-valued segments before the final one.
    while (path.contains('.')) {
        const int dot = path.indexOf('.');
        const QString segment = path.left(dot).trimmed();
        const QString rest = path.mid(dot + 1);
        if (rest.trimmed().isEmpty()) {
            path = segment;
            break;
        }
        QString name;
        int index = -1;
        if (!segment.contains('_')) {
            if (!target.isObject()) break;
            const QMetaProperty p = FindProperty(target.object, segment);
            if (p.isValid() && p.typeId() == QMetaType::QFont) {
                // Fonts are values in Qt: the rest of the path is a field of the font.
                if (SetPropValueIncludeSub(target.object, segment + '.' + rest.trimmed(), value)) return;
                return;
            }
            QObject* sub = p.isValid() ? p.read(target.object).value<QObject*>() : nullptr;
            if (!sub) break;
            target = Target{sub};
        } else {
            if (!splitIndex(segment, name, index) || (name.compare("Items", Qt::CaseInsensitive) != 0 &&
                                                      name.compare("Columns", Qt::CaseInsensitive) != 0))
                break;
            const bool columns = name.compare("Columns", Qt::CaseInsensitive) == 0;
            if (auto* view = qobject_cast<QTreeWidget*>(target.object); view && target.isObject()) {
                if (view->rootIsDecorated()) {
                    // A tree view: its nodes.
                    if (!columns)
                        if (QTreeWidgetItem* node = treeNode(view, index))
                            target = Target{view, view, -1, node, true};
                } else if (columns) {
                    if (index >= 0 && index < view->columnCount()) target = Target{view, view, index};
                } else if (index >= 0 && index < view->topLevelItemCount()) {
                    target = Target{view, view, -1, view->topLevelItem(index)};
                }
            } else if (target.isObject()) {
                if (QObject* element = collectionItem(target.object, name, index)) target = Target{element};
            }
        }
        path = rest;
    }
    last = path.trimmed();
    if (last.contains('.')) last = last.mid(last.lastIndexOf('.') + 1).trimmed();

    // Final segment: "Lines_3" names line 3 of a string list.
    QString name = last;
    int index = -1;
    const bool hasIndex = splitIndex(last, name, index);
    if (target.view) {
        if (target.column >= 0 && name.compare("Caption", Qt::CaseInsensitive) == 0)
            target.view->headerItem()->setText(target.column, value);
        else if (target.item && !target.isNode && name.compare("Caption", Qt::CaseInsensitive) == 0)
            target.item->setText(0, value);
        else if (target.item && target.isNode && name.compare("Text", Qt::CaseInsensitive) == 0)
            target.item->setText(0, value);
        return;
    }
    if (hasIndex && index >= 0) {
        // A text list of a form holds a few dozen lines; an index far beyond is a damaged attribute,
        // which would otherwise make the list grow until memory runs out. It is ignored as a wrong
        // value is: the file's other texts still apply.
        constexpr int kMostLines = 10000;
        if (index >= kMostLines) return;
        QStringList lines;
        if (readLines(target.object, name, lines)) {
            while (lines.size() < index + 1)
                lines << QString();
            lines[index] = value;
            writeLines(target.object, name, lines);
            return;
        }
    }
    QStringList lines;
    if (!hasIndex && readLines(target.object, name, lines) &&
        FindProperty(target.object, name).typeId() != QMetaType::QStringList) {
        // A whole list for Qt's own combo and list boxes: one line per text line.
        writeLines(target.object, name, value.split('\n'));
        return;
    }
    SetPropValueIncludeSub(target.object, last, value); // a failure is ignored
}

void TCustomComboBoxRead::ReadAllAttributes() {
    const QMetaProperty itemIndex = FindProperty(FComponent, "ItemIndex");
    auto* combo = qobject_cast<QComboBox*>(FComponent);
    const int saved = combo                 ? combo->currentIndex()
                      : itemIndex.isValid() ? itemIndex.read(FComponent).toInt()
                                            : -1;
    TComponentRead::ReadAllAttributes();
    if (combo)
        combo->setCurrentIndex(saved);
    else if (itemIndex.isValid())
        itemIndex.write(FComponent, saved);
}

std::shared_ptr<TComponentRead> TReaderFactory::CreateReader(TLangReader* reader, QObject* component,
                                                             const TDOMNode& node) {
    if (component->inherits("TwwDBComboBox") || component->inherits("TwwDBComboDlg"))
        return std::make_shared<TwwDBCustomComboBoxRead>(reader, component, node);
    if (qobject_cast<QComboBox*>(component))
        return std::make_shared<TCustomComboBoxRead>(reader, component, node);
    return std::make_shared<TComponentRead>(reader, component, node);
}

bool IsFormOrDataModule(const QObject* component) {
    if (auto* w = qobject_cast<const QWidget*>(component)) return w->isWindow();
    return component->inherits("TDataModule") || component->property("DataModule").toBool();
}

bool TLangReader::IsExcluded(const QString& name) const {
    const QString key = name.trimmed();
    for (const QString& excluded : ExcludeControls)
        if (excluded.trimmed().compare(key, Qt::CaseInsensitive) == 0) return true;
    return false;
}

void TLangReader::ReadFrom(QObject* component, const TDOMNode& node) {
    if (BeforeLoadComponent) BeforeLoadComponent(component, node);
    TReaderFactory::CreateReader(this, component, node)->ReadAllAttributes();
    if (AfterLoadComponent) AfterLoadComponent(component, node);
}

void TLangReader::ReadComponent(QObject* component) {
    if (!component || !FDocument) return;
    const TDOMNode root = FDocument->documentElement();
    if (IsFormOrDataModule(component) && !root.isNull()) ReadFrom(component, root);
    const QString name = component->objectName();
    static const QRegularExpression xmlName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.\\-]*$"));
    // Only plain names go into the XPath expression; Qt's own parts and odd names select nothing.
    if (!name.isEmpty() && !IsExcluded(name) && xmlName.match(name).hasMatch()) {
        try {
            const TDOMNode node = FDocument->selectSingleNode(QStringLiteral("//%1").arg(name));
            if (!node.isNull() && node.nodeType() == NODE_ELEMENT) ReadFrom(component, node);
        } catch (const EXMLError&) {
        }
    }
    const QObjectList children = component->children();
    for (QObject* child : children)
        ReadComponent(child);
}

// ---------------------------------------------------------------------------------------------------

TLanguageController::TLanguageController(QObject* owner) : QObject(owner) {
    setObjectName("LangController");
}

TLanguageController::~TLanguageController() = default;

bool TLanguageController::GetActive() const {
    return FDocument && !FDocument->documentElement().isNull();
}

void TLanguageController::SetActive(bool value) {
    if (FLoading) {
        FStreamedActive = value;
        return;
    }
    if (value == GetActive()) return;
    if (value)
        Open();
    else
        Close();
}

void TLanguageController::Loaded() {
    FLoading = false;
    if (FStreamedActive) SetActive(true);
}

void TLanguageController::Open() {
    if (BeforeOpen) BeforeOpen(this);
    FReader.reset();
    FDocument.reset();
    IXMLDOMDocument doc = CreateDOMDocument();
    if (!FXMLText.isEmpty()) {
        doc->loadXML(FXMLText.join('\n'));
    } else if (FFileName.isEmpty()) {
        throw LanguageControllerError(QStringLiteral("Cannot Find File %1!").arg(FFileName));
    } else {
        doc->load(FFileName);
    }
    if (doc->parseError().errorCode != 0) throw LanguageControllerError(doc->parseError().reason);
    FDocument = doc;
    FReader = std::make_unique<TLangReader>(FDocument);
    FReader->ExcludeControls = FExcludeControls;
    FReader->AfterLoadComponent = AfterLoadComponent;
    FReader->BeforeLoadComponent = BeforeLoadComponent;
    if (AfterOpen) AfterOpen(this);
}

void TLanguageController::Close() {
    if (BeforeClose) BeforeClose(this);
    FReader.reset();
    FDocument.reset();
    if (AfterClose) AfterClose(this);
}

void TLanguageController::SetExcludeControls(const QStringList& names) {
    FExcludeControls = names;
    if (FReader) FReader->ExcludeControls = names;
}

void TLanguageController::SetFileName(const QString& fileName) {
    if (fileName == FFileName) return;
    FFileName = fileName;
    FXMLText.clear();
    SetActive(false);
}

void TLanguageController::SetXMLText(const QStringList& lines) {
    FXMLText = lines;
    if (FLoading) return;
    if (!lines.isEmpty()) FFileName.clear();
    SetActive(false);
}

TLangReader& TLanguageController::GetLangReader() {
    if (!GetActive() || !FReader) throw LanguageControllerError("No active LanguageController!");
    return *FReader;
}

TKvLangController::TKvLangController(QObject* owner) : TLanguageController(owner) {}

void TKvLangController::SetLangPackageName(const QString& name) {
    if (name == FLangPackageName) return;
    FLangPackageName = name;
    SetFileName(LanguageFileName(GetLangDir(static_cast<TDesignType>(FDesignType)), name));
}

bool ReadLanguageFile(TKvLangController& controller, QObject* object) {
    if (!QFileInfo::exists(controller.FileName())) return false;
    try {
        controller.SetActive(true);
        controller.GetLangReader().ReadComponent(object);
        return true;
    } catch (const std::exception& e) {
        SkipLanguageFile(controller.FileName(), QString::fromUtf8(e.what()));
        return false;
    }
}
