#include "controls/DBLabel.h"

#include <QHash>

#include "controls/KvMsgDlg.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"

TDBLabel::TDBLabel(QWidget* parent) : QLabel(parent) {
    setText(QStringLiteral("挂靠标签"));
    adjustSize();
}

QEvent::Type TDBLabel::RefreshEventType(const QString& labelName) {
    static QHash<QString, QEvent::Type> types; // UI thread only
    auto it = types.find(labelName);
    if (it == types.end())
        it = types.insert(labelName, static_cast<QEvent::Type>(QEvent::registerEventType()));
    return it.value();
}

void TDBLabel::SetFocusControl(QWidget* control) {
    if (control && control != FFocusControl && parentWidget()) {
        for (TDBLabel* other : parentWidget()->findChildren<TDBLabel*>(Qt::FindDirectChildrenOnly)) {
            if (other != this && other->FocusControl() == control) {
                KvMessageDlg(QStringLiteral("不能同时有两个 DBLabel 指到同一个 Control."), mtError, mbOK,
                             this);
                return;
            }
        }
    }
    FFocusControl = control;
    setBuddy(control);
    Refresh();
}

void TDBLabel::SetAutoAlign(bool value) {
    FAutoAlign = value;
    Refresh();
}

void TDBLabel::SetAutoCaption(bool value) {
    FAutoCaption = value;
    Refresh();
}

void TDBLabel::SetGap(int value) {
    FGap = static_cast<quint8>(value);
    Refresh();
}

void TDBLabel::SetPos(int value) {
    FPos = value;
    Refresh();
}

void TDBLabel::Refresh() {
    QWidget* control = FFocusControl;
    if (!control) return;
    if (FAutoCaption) {
        auto* source = qobject_cast<kv::TDataSource*>(control->property("DataSource").value<QObject*>());
        const QString fieldName = control->property("DataField").toString();
        if (source && source->DataSet() && !fieldName.isEmpty())
            if (const kv::TField* field = source->DataSet()->FindField(fieldName))
                setText(field->DisplayLabel());
    }
    if (FAutoAlign) {
        adjustSize();
        const QRect c = control->geometry();
        QPoint at;
        switch (FPos) {
        case psAbove:
            at = QPoint(c.left(), c.top() - height() - FGap);
            break;
        case psRight:
            at = QPoint(c.right() + 1 + FGap, c.top());
            break;
        case psBelow:
            at = QPoint(c.left(), c.bottom() + 1 + FGap);
            break;
        default:
            at = QPoint(c.left() - width() - FGap, c.top());
            break;
        }
        move(qMax(0, at.x()), qMax(0, at.y()));
    }
}

bool TDBLabel::event(QEvent* event) {
    if (event->type() >= QEvent::User && event->type() == RefreshEventType(objectName())) {
        Refresh();
        return true;
    }
    return QLabel::event(event);
}
