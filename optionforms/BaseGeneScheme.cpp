// Condition schemes of the general option form: the option list, the values text, and saving, opening,
// deleting and renaming schemes through the application server.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QMetaProperty>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "controls/BtChkBox.h"
#include "controls/KvBitmaps.h"
#include "controls/KvMsgDlg.h"
#include "controls/KvRadio.h"
#include "controls/KvSpinEdit.h"
#include "controls/SelectPnl.h"
#include "lang/LangCommon.h"
#include "optionforms/BaseGene.h"
#include "optionforms/GeneCondition.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/KvError.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"

namespace {

const QChar kSep(3);
const QString kCrLf = QStringLiteral("\r\n");

QString cls() {
    return QStringLiteral("TfrmBaseGene");
}

// Published property names are matched without regard to case, as the stored lists write them lower
// case; of several matches the writable one of the most derived class wins (a spin edit's "Text" over
// Qt's read-only "text", a check box's own "Checked" over its base button's).
QMetaProperty findProperty(const QObject* o, const QString& name) {
    const QMetaObject* mo = o->metaObject();
    QMetaProperty found;
    for (int i = mo->propertyCount() - 1; i >= 0; --i)
        if (name.compare(QLatin1String(mo->property(i).name()), Qt::CaseInsensitive) == 0) {
            if (mo->property(i).isWritable()) return mo->property(i);
            if (!found.isValid()) found = mo->property(i);
        }
    return found;
}

// The user's choice of a switching panel as its enumeration name. Older schemes wrote "True" for the
// range, which is still read as such.
QString choiceName(int choice) {
    return choice == sp_Discrete ? QStringLiteral("sp_Discrete") : QStringLiteral("sp_Range");
}

bool choiceIsRange(const QString& name) {
    return name == QLatin1String("sp_Range") || name == QLatin1String("True");
}

const char* styleName(int style) {
    switch (style) {
    case sp_Range:
        return "sp_Range";
    case sp_Discrete:
        return "sp_Discrete";
    default:
        return "sp_UserChoice";
    }
}

QStringList discreteValues(TSelectPanel* panel) {
    QStringList list;
    QTreeWidget* view = panel->ListView();
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        list << view->topLevelItem(i)->text(0);
    return list;
}

void setDiscreteValues(TSelectPanel* panel, const QStringList& values) {
    panel->ListView()->clear();
    // An empty list is stored as its mode and a separator with nothing after it: no blank entry.
    if (values.size() == 1 && values.first().isEmpty()) return;
    for (const QString& v : values)
        if (!panel->ListView()->AddItem({v})) throw EKvError("parse spSaveValue error");
}

bool nonZero(const QString& text) {
    return text.trimmed().toInt() != 0;
}

} // namespace

QList<QWidget*> TfrmBaseGene::TabOrder(QWidget* container) {
    // The focus chain restricted to the container, then whatever is outside the chain in creation order.
    QList<QWidget*> controls;
    for (QWidget* w = container->nextInFocusChain(); w && w != container; w = w->nextInFocusChain())
        if (container->isAncestorOf(w) && !controls.contains(w)) controls << w;
    for (QWidget* w : container->findChildren<QWidget*>())
        if (!controls.contains(w)) controls << w;
    return controls;
}

void TfrmBaseGene::AppendOptions(QWidget* container, QString& list) {
    for (QWidget* w : TabOrder(container)) {
        // Parts of a select panel, a combo box or a spin box belong to it.
        bool inPanel = false;
        for (QWidget* up = w->parentWidget(); up && up != container; up = up->parentWidget())
            if (qobject_cast<TSelectPanel*>(up) || qobject_cast<QComboBox*>(up) ||
                qobject_cast<QAbstractSpinBox*>(up))
                inPanel = true;
        if (inPanel || w->objectName().isEmpty() || qobject_cast<QTextEdit*>(w)) continue;
        QString prop;
        if (qobject_cast<TSelectPanel*>(w))
            prop = "style";
        else if (qobject_cast<QLineEdit*>(w) || qobject_cast<TKvSpinEdit*>(w))
            prop = "text";
        else if (qobject_cast<QComboBox*>(w) || qobject_cast<TKvRadioGroup*>(w))
            prop = "itemindex";
        else if (qobject_cast<QCheckBox*>(w) || qobject_cast<TBitCheckBox*>(w) ||
                 qobject_cast<QRadioButton*>(w) || qobject_cast<TKvRadioButton*>(w))
            prop = "checked";
        if (prop.isEmpty() || list.contains(w->objectName() + "." + prop + ";")) continue;
        // Buttons of a radio group are stored through the group.
        if (qobject_cast<QAbstractButton*>(w) && qobject_cast<TKvRadioGroup*>(w->parentWidget())) continue;
        list += w->objectName() + "." + prop + ";";
    }
}

QString TfrmBaseGene::BuildOptionList() {
    QString list;
    const int system = pgOption->indexOf(tsOption2);
    for (int p = 0; p < pgOption->count(); ++p) {
        QWidget* page = pgOption->widget(p);
        if (p == system || page->objectName().startsWith(QLatin1String("tsPeriod"))) continue;
        AppendOptions(page, list);
    }
    return list;
}

QString TfrmBaseGene::SchemeValues(const QString& optionList) {
    const QStringList dateFields = FDateFields.split(',', Qt::SkipEmptyParts);
    const QStringList monthFields = FYearMonthFields.split(',', Qt::SkipEmptyParts);
    // A date as YYYYMMDD, moved by its variable setting (fields counted from 1 as stored).
    const auto dateValue = [this](const QString& text, const QStringList& s, int first) {
        const kv::TDateTime d = StringToDate(text.trimmed(), FDateOrder, FDateSeparator);
        const QString value = d != 0 ? kv::formatDateTime("yyyymmdd", d) : text.trimmed();
        if (s.value(first - 1) != "Y" ||
            !(nonZero(s.value(first)) || nonZero(s.value(first + 2)) || nonZero(s.value(first + 3))))
            return value;
        const QString moved =
            UpdateDate(value, s.value(first), s.value(first + 1), s.value(first + 3), s.value(first + 2));
        return moved.isEmpty() ? value : moved;
    };
    const auto settingOf = [this](const QString& name) {
        for (const QString& entry : std::as_const(FDateSettings)) {
            const QStringList s = entry.split(kSep);
            if (s.value(1) == name) return s;
        }
        return QStringList();
    };

    QString out;
    for (const QString& raw : optionList.split(';', Qt::SkipEmptyParts)) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty()) continue;
        const QStringList parts = entry.split('.');
        QWidget* w = parts.size() == 2 ? findChild<QWidget*>(parts[0]) : nullptr;
        QString line;
        if (!w) {
            out += kCrLf;
            continue;
        }
        const bool isDate = dateFields.contains(w->objectName());
        if (auto* panel = qobject_cast<TSelectPanel*>(w)) {
            line = styleName(panel->Style());
            const auto range = [&] {
                if (!isDate) return panel->StartText() + kSep + panel->EndText();
                const QStringList s = settingOf(w->objectName());
                return dateValue(panel->StartText(), s, 3) + kSep + dateValue(panel->EndText(), s, 8);
            };
            if (panel->Style() == sp_Range)
                line += kSep + range();
            else if (panel->Style() == sp_Discrete)
                line += kSep + discreteValues(panel).join(kSep);
            else {
                const QString choice = choiceName(panel->UserChoice());
                line += kSep + choice + kSep +
                        (choiceIsRange(choice) ? range() : discreteValues(panel).join(kSep));
            }
        } else if (const QMetaProperty p = findProperty(w, parts[1]); p.isValid()) {
            const QVariant v = p.read(w);
            if (p.isEnumType())
                line = QString::fromLatin1(p.enumerator().valueToKey(v.toInt()));
            else if (v.typeId() == QMetaType::Bool)
                line = v.toBool() ? "True" : "False";
            else if (v.typeId() == QMetaType::Double)
                line = QString::number(v.toDouble(), 'g', 15);
            else if (v.typeId() == QMetaType::QString && isDate)
                line = dateValue(v.toString(), settingOf(w->objectName()), 3);
            else if (v.typeId() == QMetaType::QString && monthFields.contains(w->objectName())) {
                const kv::TDateTime month = YearMonthOf(v.toString());
                line = month != 0 ? kv::formatDateTime("yyyymm", month) : v.toString();
            } else
                line = v.toString();
        } else if (auto* combo = qobject_cast<QComboBox*>(w))
            line = QString::number(combo->currentIndex());
        out += line + kCrLf;
    }
    return out;
}

bool TfrmBaseGene::SaveScheme(const QString& optionList, const QString& name, bool replace) {
    if (!FAppServer) return false;
    try {
        const QString values = SchemeValues(optionList);
        const QString answer = kv::varToStr(FAppServer->call(
            "InsertConTable",
            {kv::Variant::arrayOf({FromDisplayText(name), FUserID,
                                   QDateTime::currentDateTime().toString("yyyyMMdd HH:mm:ss"), FProgramCode,
                                   optionList, FromDisplayText(values), replace})}));
        if (!answer.isEmpty()) {
            FSchemeError = answer;
            RecordError(answer);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        FSchemeError = QString::fromUtf8(e.what());
        RecordError(FSchemeError);
        return false;
    }
}

bool TfrmBaseGene::ApplyScheme(const QString& optionList, const QString& values) {
    const QStringList dateFields = FDateFields.split(',', Qt::SkipEmptyParts);
    const QStringList monthFields = FYearMonthFields.split(',', Qt::SkipEmptyParts);
    const auto showDate = [this](const QString& yyyymmdd) {
        kv::TDateTime d = 0;
        if (yyyymmdd.size() < 8 || !kv::tryEncodeDate(yyyymmdd.left(4).toInt(), yyyymmdd.mid(4, 2).toInt(),
                                                      yyyymmdd.mid(6, 2).toInt(), d))
            return yyyymmdd;
        return DateToString(d, FDateOrder, FDateSeparator);
    };
    QStringList entries;
    for (const QString& e : optionList.split(';', Qt::SkipEmptyParts))
        if (!e.trimmed().isEmpty()) entries << e.trimmed();
    const QStringList lines = values.split(kCrLf);
    try {
        for (int i = 0; i < entries.size(); ++i) {
            const QStringList parts = entries[i].split('.');
            QWidget* w = parts.size() == 2 ? findChild<QWidget*>(parts[0]) : nullptr;
            if (!w) continue;
            const QString value = lines.value(i);
            BeforeApplyValue(w, value);
            const bool isDate = dateFields.contains(w->objectName());
            if (auto* panel = qobject_cast<TSelectPanel*>(w)) {
                const QStringList f = value.split(kSep);
                const auto range = [&](int at) {
                    panel->SetStartText(isDate ? showDate(f.value(at)) : f.value(at));
                    panel->SetEndText(isDate ? showDate(f.value(at + 1)) : f.value(at + 1));
                };
                if (f[0] == "sp_Range") {
                    panel->SetStyle(sp_Range);
                    range(1);
                } else if (f[0] == "sp_Discrete") {
                    panel->SetStyle(sp_Discrete);
                    setDiscreteValues(panel, f.mid(1));
                } else if (f[0] == "sp_UserChoice") {
                    panel->SetStyle(sp_UserChoice);
                    panel->SetUserChoice(choiceIsRange(f.value(1)) ? sp_Range : sp_Discrete);
                    if (choiceIsRange(f.value(1)))
                        range(2);
                    else
                        setDiscreteValues(panel, f.mid(2));
                } else
                    continue;
                AfterApplyValue(w, value);
                continue;
            }
            const QMetaProperty p = findProperty(w, parts[1]);
            if (!p.isValid()) {
                if (auto* combo = qobject_cast<QComboBox*>(w)) {
                    combo->setCurrentIndex(value.toInt());
                    AfterApplyValue(w, value);
                }
                continue;
            }
            QVariant v;
            if (p.isEnumType())
                v = p.enumerator().keyToValue(value.toLatin1().constData());
            else if (p.typeId() == QMetaType::Bool)
                v = value == "True";
            else if (p.typeId() == QMetaType::Int || p.typeId() == QMetaType::UInt ||
                     p.typeId() == QMetaType::LongLong)
                v = value.toLongLong();
            else if (p.typeId() == QMetaType::Double)
                v = value.toDouble();
            else if (p.typeId() == QMetaType::QString) {
                if (isDate)
                    v = showDate(value);
                else if (monthFields.contains(w->objectName()) && value.size() == 6) {
                    // Shown as a typed year-month is shown after leaving its field.
                    const kv::TDateTime first = TransDateIn(value + "01");
                    v = first != 0 ? MonthToString(first, FDateOrder, FDateSeparator) : value;
                } else
                    v = value;
            } else
                // A kind a scheme cannot hold ends the application; what was applied stays.
                return true;
            p.write(w, v);
            AfterApplyValue(w, value);
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

namespace {

const QString kSchemeKey = QStringLiteral("NCONDITION;CREATOR;PROGRAMME");

// The creation time text ("yyyymmdd ..."), shown as a date in the form's order.
QString createDateText(const QString& text, int order, const QString& sep) {
    kv::TDateTime d = 0;
    const QString day = text.trimmed().left(8);
    if (day.size() == 8 &&
        kv::tryEncodeDate(day.left(4).toInt(), day.mid(4, 2).toInt(), day.mid(6, 2).toInt(), d))
        return DateToString(d, order, sep);
    return text.trimmed();
}

// Image 0 of the scheme list: the picture library's first picture.
QIcon schemeIcon() {
    static const QIcon icon = [] {
        QPixmap picture;
        return LoadBmp(1, picture) ? QIcon(picture) : QIcon();
    }();
    return icon;
}

} // namespace

void TfrmBaseGene::LoadSchemes() {
    if (!FAppServer) return;
    kv::Variant rows;
    try {
        rows = FAppServer->call("LoadTable", {kv::Variant::arrayOf({FUserID, FProgramCode})});
    } catch (const std::exception& e) {
        throw EKvError(e.what());
    }
    kv::TClientDataSet& set = *ClientDataSet1;
    set.Close();
    if (set.FieldCount() == 0) {
        set.AddField("NCONDITION", kv::TFieldType::ftString, SchemeNameBytes);
        set.AddField("CREATOR", kv::TFieldType::ftString, 10);
        set.AddField("PROGRAMME", kv::TFieldType::ftString, 10);
        set.AddField("CREATE_DATE", kv::TFieldType::ftString, 20);
        set.AddField("SCONDITION", kv::TFieldType::ftMemo);
        set.AddField("VCONDITION", kv::TFieldType::ftMemo);
    }
    set.CreateDataSet();
    set.SetIndexFieldNames(kSchemeKey);
    if (rows.isArray())
        for (int i = rows.lowBound(); i <= rows.highBound(); ++i) {
            const kv::Variant& r = rows.at(i);
            const int l = r.lowBound();
            set.Append();
            set.FieldByName("NCONDITION").SetAsString(kv::varToStr(r.at(l)).trimmed());
            set.FieldByName("CREATOR").SetAsString(FUserID);
            set.FieldByName("PROGRAMME").SetAsString(FProgramCode);
            set.FieldByName("CREATE_DATE").SetAsString(kv::varToStr(r.at(l + 1)));
            set.FieldByName("SCONDITION").SetAsString(kv::varToStr(r.at(l + 2)));
            set.FieldByName("VCONDITION").SetAsString(kv::varToStr(r.at(l + 3)));
            set.Post();
        }
    // Filled in the list style, which lays out fastest, then shown in the user's style again.
    const int style = FViewStyle;
    FFillingList = true;
    SetViewStyle(2);
    lstCondition->clear();
    for (set.First(); !set.Eof(); set.Next()) {
        const QString name = ToDisplayText(set.FieldByName("NCONDITION").AsString());
        auto* item = new QTreeWidgetItem(lstCondition);
        item->setText(0, name);
        item->setData(0, Qt::UserRole, name);
        item->setIcon(0, schemeIcon());
        item->setText(1,
                      createDateText(set.FieldByName("CREATE_DATE").AsString(), FDateOrder, FDateSeparator));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    lstCondition->sortItems(0, Qt::AscendingOrder);
    SetViewStyle(style);
    FFillingList = false;
}

bool TfrmBaseGene::LocateScheme(const QString& name) {
    kv::TClientDataSet& set = *ClientDataSet1;
    if (!set.Active()) return false;
    return set.Locate(kSchemeKey, {FromDisplayText(name), FUserID, FProgramCode});
}

QString TfrmBaseGene::SelectedScheme() const {
    QTreeWidgetItem* item = lstCondition->currentItem();
    if (!item || !item->isSelected()) return {};
    return item->data(0, Qt::UserRole).toString();
}

bool TfrmBaseGene::OpenScheme(const QString& name) {
    if (!LocateScheme(name)) return false;
    const QString options = ClientDataSet1->FieldByName("SCONDITION").AsString();
    const QString values = ToDisplayText(ClientDataSet1->FieldByName("VCONDITION").AsString());
    // The form kind hears of the scheme even when some of its values could not be applied.
    const bool applied = ApplyScheme(options, values);
    if (!applied) ShowMessageCode("R;200235");
    return AfterSchemeOpened() && applied;
}

bool TfrmBaseGene::DeleteScheme(const QString& name) {
    if (!FAppServer) return false;
    const QString answer = kv::varToStr(FAppServer->call(
        "DeleteConTable", {kv::Variant::arrayOf({FromDisplayText(name), FUserID, FProgramCode})}));
    if (!answer.isEmpty()) throw EKvError(answer.toStdString());
    LoadSchemes();
    return true;
}

bool TfrmBaseGene::RenameScheme(const QString& oldName, const QString& newName) {
    const QString name = newName.trimmed();
    if (name.isEmpty()) {
        MessageBox(LangText(cls(), "sProjNameEmpty", QStringLiteral("方案名不可空白!")), mtError, mbOK);
        return false;
    }
    // Counted as the scheme list keeps it, in bytes of the system code page.
    if (kv::codepage::byteLength(name) > SchemeNameBytes) {
        MessageBox(LangText(cls(), "sProjNameError", QStringLiteral("方案名长度不可大于20!")), mtError, mbOK);
        return false;
    }
    if (name == oldName) return true;
    for (int i = 0; i < lstCondition->topLevelItemCount(); ++i)
        if (lstCondition->topLevelItem(i)->data(0, Qt::UserRole).toString() == name) {
            MessageBox(LangText(cls(), "sProjNameExist", QStringLiteral("此方案名称已经存在！")), mtError,
                       mbOK);
            return false;
        }
    if (!FAppServer) return false;
    const QString answer = kv::varToStr(FAppServer->call(
        "ChangeConName", {kv::Variant::arrayOf({FromDisplayText(oldName), FUserID, FProgramCode}),
                          kv::Variant::arrayOf({FromDisplayText(name), FUserID, FProgramCode})}));
    if (!answer.isEmpty()) {
        MessageBox(LangText(cls(), "sFailedRename", QStringLiteral("更改方案名失败!")), mtError, mbOK);
        throw EKvError(answer.toStdString());
    }
    if (LocateScheme(oldName)) {
        ClientDataSet1->Edit();
        ClientDataSet1->FieldByName("NCONDITION").SetAsString(FromDisplayText(name));
        ClientDataSet1->Post();
    }
    FFillingList = true;
    for (int i = 0; i < lstCondition->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstCondition->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toString() != oldName) continue;
        item->setText(0, name);
        item->setData(0, Qt::UserRole, name);
    }
    FFillingList = false;
    return true;
}

void TfrmBaseGene::lstConditionEdited(QTreeWidgetItem* item, int column) {
    if (FFillingList || column != 0 || !item) return;
    const QString oldName = item->data(0, Qt::UserRole).toString();
    const QString newName = item->text(0);
    if (newName == oldName) return;
    bool renamed = false;
    try {
        renamed = RenameScheme(oldName, newName);
    } catch (const std::exception& e) {
        // The server's reason follows the refusal, as for a failed save or delete.
        RecordError(QString::fromUtf8(e.what()));
        ShowMessageCode("E;000013;" + MessageCodeArgument(QString::fromUtf8(e.what())));
    }
    if (!renamed) {
        // Refused: the item keeps its old caption.
        FFillingList = true;
        item->setText(0, oldName);
        FFillingList = false;
    }
}

void TfrmBaseGene::btnInsertClick() {
    // Leaving the option control validates what is being typed; a date that failed stops the save.
    pnlCondition->setFocus(Qt::OtherFocusReason);
    lstCondition->setFocus(Qt::OtherFocusReason);
    if (FPendingFailure) return;
    if (FOptionList.isEmpty()) FOptionList = BuildOptionList();
    if (FOptionList.isEmpty() || !FAppServer) return;
    const TfrmGeneCondition::TResult answer = TfrmGeneCondition::Execute(this);
    if (answer.Name.isEmpty()) return;
    FDateSettings = answer.Settings.split("\r\n", Qt::SkipEmptyParts);
    FSchemeError.clear();
    if (!SaveScheme(FOptionList, answer.Name, answer.Replace)) {
        // A form kind's own SaveScheme may only have recorded its error.
        QString reason = FSchemeError;
        const QStringList recorded = FErrorTexts.split("; ", Qt::SkipEmptyParts);
        if (reason.isEmpty() && !recorded.isEmpty()) reason = recorded.last();
        if (!reason.isEmpty()) ShowMessageCode("E;000013;" + MessageCodeArgument(reason));
    }
    try {
        LoadSchemes();
    } catch (const std::exception& e) {
        ShowMessageCode("E;000013;" + MessageCodeArgument(QString::fromUtf8(e.what())));
    }
}

void TfrmBaseGene::btnOpenClick() {
    const QString name = SelectedScheme();
    if (name.isEmpty()) return;
    // A form kind's hook that fails must not leave through the event loop.
    try {
        OpenScheme(name);
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
    }
}

void TfrmBaseGene::btnDeleteClick() {
    const QString name = SelectedScheme();
    if (name.isEmpty()) return;
    const QString ask = LangText(cls(), "sDeleteProj", QStringLiteral("确实要删除此方案吗？")) + name;
    if (MessageBox(ask, mtConfirmation, TMsgDlgButtons(mbYes | mbNo)) != mrYes) return;
    try {
        DeleteScheme(name);
    } catch (const std::exception& e) {
        ShowMessageCode("E;000013;" + MessageCodeArgument(QString::fromUtf8(e.what())));
    }
}

void TfrmBaseGene::SetViewStyle(int style) {
    FViewStyle = style;
    const int side = style == 0 ? 32 : 16;
    lstCondition->setIconSize(QSize(side, side));
    // Only the details show the column headers and the creation time.
    lstCondition->setHeaderHidden(style != 3);
    lstCondition->setColumnHidden(1, style != 3);
    lstCondition->setProperty("ViewStyle", style);
    const QList<QAction*> items{N7, N8, N9, N10};
    for (int i = 0; i < items.size(); ++i)
        items[i]->setChecked(i == style);
}

void TfrmBaseGene::ViewIconExecute() {
    SetViewStyle(0);
}

void TfrmBaseGene::ViewSmallIconExecute() {
    SetViewStyle(1);
}

void TfrmBaseGene::ViewListExecute() {
    SetViewStyle(2);
}

void TfrmBaseGene::ViewReportExecute() {
    SetViewStyle(3);
}

void TfrmBaseGene::ToolButton1Click() {
    static const char* const names[] = {"ViewIcon", "ViewSmallIcon", "ViewList", "ViewReport"};
    FViewStep = (FViewStep + 1) % 4;
    const QByteArray handler = QByteArray(names[FViewStep]) + "Execute";
    QMetaObject::invokeMethod(this, handler.constData());
}
