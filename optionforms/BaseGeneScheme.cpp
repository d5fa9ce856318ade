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
#include <QTreeWidget>

#include "controls/KvMsgDlg.h"
#include "controls/KvRadio.h"
#include "controls/SelectPnl.h"
#include "lang/LangCommon.h"
#include "optionforms/BaseGene.h"
#include "platform/DateTime.h"
#include "platform/KvError.h"
#include "support/LibStrs.h"

namespace {

const QChar kSep(3);
const QString kCrLf = QStringLiteral("\r\n");

QString cls() {
    return QStringLiteral("TfrmBaseGene");
}

// Published property names are matched without regard to case, as the stored lists write them lower case.
QMetaProperty findProperty(const QObject* o, const QString& name) {
    const QMetaObject* mo = o->metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i)
        if (name.compare(QLatin1String(mo->property(i).name()), Qt::CaseInsensitive) == 0)
            return mo->property(i);
    return {};
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
    for (const QString& v : values)
        if (!panel->ListView()->AddItem({v})) throw EKvError("parse spSaveValue error");
}

bool nonZero(const QString& text) {
    return text.trimmed().toInt() != 0;
}

} // namespace

QString TfrmBaseGene::BuildOptionList() {
    QString list;
    const int system = pgOption->indexOf(tsOption2);
    for (int p = 0; p < pgOption->count(); ++p) {
        QWidget* page = pgOption->widget(p);
        if (p == system || page->objectName() == QLatin1String("tsPeriod")) continue;
        // Tab order: the focus chain restricted to this page.
        QList<QWidget*> controls;
        for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain())
            if (page->isAncestorOf(w) && !controls.contains(w)) controls << w;
        for (QWidget* w : page->findChildren<QWidget*>())
            if (!controls.contains(w)) controls << w;
        QList<QWidget*> panels;
        for (QWidget* w : std::as_const(controls)) {
            // Parts of a select panel belong to the panel.
            bool inPanel = false;
            for (QWidget* up = w->parentWidget(); up && up != page; up = up->parentWidget())
                if (qobject_cast<TSelectPanel*>(up) || qobject_cast<QComboBox*>(up)) inPanel = true;
            if (inPanel || w->objectName().isEmpty() || qobject_cast<QTextEdit*>(w)) continue;
            QString prop;
            if (qobject_cast<TSelectPanel*>(w))
                prop = "style";
            else if (qobject_cast<QLineEdit*>(w))
                prop = "text";
            else if (qobject_cast<QComboBox*>(w) || qobject_cast<TKvRadioGroup*>(w))
                prop = "itemindex";
            else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w))
                prop = "checked";
            if (prop.isEmpty() || list.contains(w->objectName() + "." + prop + ";")) continue;
            // Buttons of a radio group are stored through the group.
            if (qobject_cast<QRadioButton*>(w) && qobject_cast<TKvRadioGroup*>(w->parentWidget())) continue;
            list += w->objectName() + "." + prop + ";";
        }
    }
    return list;
}

QString TfrmBaseGene::SchemeValues(const QString& OptionList) {
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
    for (const QString& raw : OptionList.split(';', Qt::SkipEmptyParts)) {
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
                const QString choice = panel->UserChoice() != 0 ? "True" : "False";
                line +=
                    kSep + choice + kSep + (choice != "True" ? discreteValues(panel).join(kSep) : range());
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
                const QStringList n = v.toString().split(QRegularExpression("\\D+"), Qt::SkipEmptyParts);
                const bool yearFirst = FDateOrder == 1 || FDateOrder == 4;
                int year = n.value(yearFirst ? 0 : 1).toInt(), month = n.value(yearFirst ? 1 : 0).toInt();
                if (FDateOrder >= 4) year += 1911;
                line = n.size() == 2 && month >= 1 && month <= 12 && year > 0
                           ? QString("%1%2").arg(year).arg(month, 2, 10, QChar('0'))
                           : v.toString();
            } else
                line = v.toString();
        } else if (auto* combo = qobject_cast<QComboBox*>(w))
            line = QString::number(combo->currentIndex());
        out += line + kCrLf;
    }
    return out;
}

bool TfrmBaseGene::SaveScheme(const QString& OptionList, const QString& Name, bool Replace) {
    if (!FAppServer) return false;
    try {
        const QString values = SchemeValues(OptionList);
        const QString answer = kv::varToStr(FAppServer->call(
            "InsertConTable",
            {kv::Variant::arrayOf({FromDisplayText(Name), FUserID,
                                   QDateTime::currentDateTime().toString("yyyyMMdd HH:mm:ss"), FProgramCode,
                                   OptionList, FromDisplayText(values), Replace})}));
        if (!answer.isEmpty()) {
            RecordError(answer);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
        return false;
    }
}

bool TfrmBaseGene::ApplyScheme(const QString& OptionList, const QString& Values) {
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
    for (const QString& e : OptionList.split(';', Qt::SkipEmptyParts))
        if (!e.trimmed().isEmpty()) entries << e.trimmed();
    const QStringList lines = Values.split(kCrLf);
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
                    panel->SetUserChoice(f.value(1) == "True" ? 1 : 0);
                    if (f.value(1) != "True")
                        setDiscreteValues(panel, f.mid(2));
                    else
                        range(2);
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
                    int year = value.left(4).toInt();
                    const QString month = value.mid(4, 2);
                    if (FDateOrder >= 4) year -= 1911;
                    const bool yearFirst = FDateOrder == 1 || FDateOrder == 4;
                    v = yearFirst ? QString::number(year) + FDateSeparator + month
                                  : month + FDateSeparator + QString::number(year);
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

void TfrmBaseGene::LoadSchemes() {
    if (!FAppServer) return;
    kv::Variant rows;
    try {
        rows = FAppServer->call("LoadTable", {kv::Variant::arrayOf({FUserID, FProgramCode})});
    } catch (const std::exception& e) {
        throw EKvError(e.what());
    }
    FSchemes.clear();
    lstCondition->clear();
    if (!rows.isArray()) return;
    for (int i = rows.lowBound(); i <= rows.highBound(); ++i) {
        const kv::Variant& r = rows.at(i);
        const int l = r.lowBound();
        const QString name = kv::varToStr(r.at(l)).trimmed();
        FSchemes.insert(name, {kv::varToStr(r.at(l + 2)), kv::varToStr(r.at(l + 3))});
        auto* item = new QTreeWidgetItem(lstCondition);
        item->setText(0, ToDisplayText(name));
        item->setText(1, kv::varToStr(r.at(l + 1)).left(8));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    lstCondition->sortItems(0, Qt::AscendingOrder);
}

bool TfrmBaseGene::OpenScheme(const QString& Name) {
    const auto it = FSchemes.constFind(FromDisplayText(Name));
    if (it == FSchemes.constEnd()) return false;
    if (!ApplyScheme(it->value(0), ToDisplayText(it->value(1)))) {
        ShowMessageCode("R;200235");
        return false;
    }
    return AfterSchemeOpened();
}

bool TfrmBaseGene::DeleteScheme(const QString& Name) {
    if (!FAppServer) return false;
    const QString answer = kv::varToStr(FAppServer->call(
        "DeleteConTable", {kv::Variant::arrayOf({FromDisplayText(Name), FUserID, FProgramCode})}));
    if (!answer.isEmpty()) throw EKvError(answer.toStdString());
    LoadSchemes();
    return true;
}

bool TfrmBaseGene::RenameScheme(const QString& OldName, const QString& NewName) {
    const QString name = NewName.trimmed();
    if (name.isEmpty()) {
        MessageBox(LangText(cls(), "sProjNameEmpty", QStringLiteral("方案名不可空白!")), mtError, mbOK);
        return false;
    }
    if (name.size() > 20) {
        MessageBox(LangText(cls(), "sProjNameError", QStringLiteral("方案名长度不可大于20!")), mtError, mbOK);
        return false;
    }
    if (name == OldName) return true;
    if (!lstCondition->findItems(name, Qt::MatchExactly).isEmpty()) {
        MessageBox(LangText(cls(), "sProjNameExist", QStringLiteral("此方案名称已经存在！")), mtError, mbOK);
        return false;
    }
    if (!FAppServer) return false;
    const QString answer = kv::varToStr(FAppServer->call(
        "ChangeConName", {kv::Variant::arrayOf({FromDisplayText(OldName), FUserID, FProgramCode}),
                          kv::Variant::arrayOf({FromDisplayText(name), FUserID, FProgramCode})}));
    if (!answer.isEmpty()) {
        MessageBox(LangText(cls(), "sFailedRename", QStringLiteral("更改方案名失败!")), mtError, mbOK);
        throw EKvError(answer.toStdString());
    }
    FSchemes.insert(FromDisplayText(name), FSchemes.take(FromDisplayText(OldName)));
    for (QTreeWidgetItem* item : lstCondition->findItems(OldName, Qt::MatchExactly))
        item->setText(0, name);
    return true;
}
