#include "controls/KvEdit.h"

#include <QEvent>

TKvEdit::TKvEdit(QWidget* parent) : QLineEdit(parent) {
    // The label is the edit's, but sits beside it: a child of the same parent.
    FEditLabel = new QLabel(parent);
    FEditLabel->setObjectName("EditLabel");
    FEditLabel->setProperty("kvSubComponent", true); // its text is the edit's Caption
    FEditLabel->setBuddy(this);
    FEditLabel->setVisible(parent && !isHidden());
    SetupLabel();
}

TKvEdit::~TKvEdit() {
    delete FEditLabel.data();
}

QString TKvEdit::Caption() const {
    return FEditLabel ? FEditLabel->text() : QString();
}

void TKvEdit::SetCaption(const QString& caption) {
    if (!FEditLabel) return;
    FEditLabel->setText(caption);
    FEditLabel->adjustSize();
    SetupLabel();
}

void TKvEdit::SetLabelPosition(int value) {
    FLabelPosition = value;
    SetupLabel();
}

void TKvEdit::SetLabelSpacing(int value) {
    if (value < 0) return;
    FLabelSpacing = value;
    SetupLabel();
}

void TKvEdit::SetupLabel() {
    if (!FEditLabel) return;
    FEditLabel->adjustSize();
    const QRect e = geometry();
    const QSize l = FEditLabel->size();
    QPoint at;
    switch (FLabelPosition) {
    case lpAbove:
        at = QPoint(e.left(), e.top() - l.height() - FLabelSpacing);
        break;
    case lpBelow:
        at = QPoint(e.left(), e.bottom() + 1 + FLabelSpacing);
        break;
    case lpRight:
        at = QPoint(e.right() + 1 + FLabelSpacing, e.top() + (e.height() - l.height()) / 2);
        break;
    default:
        at = QPoint(e.left() - l.width() - FLabelSpacing, e.top() + (e.height() - l.height()) / 2);
        break;
    }
    FEditLabel->move(at);
}

void TKvEdit::moveEvent(QMoveEvent* event) {
    QLineEdit::moveEvent(event);
    SetupLabel();
}

void TKvEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    SetupLabel();
}

bool TKvEdit::event(QEvent* event) {
    const bool result = QLineEdit::event(event);
    if (!FEditLabel) return result;
    switch (event->type()) {
    case QEvent::ParentChange:
        FEditLabel->setParent(parentWidget());
        FEditLabel->setVisible(!isHidden());
        SetupLabel();
        break;
    case QEvent::ShowToParent:
        FEditLabel->show();
        break;
    case QEvent::HideToParent:
        FEditLabel->hide();
        break;
    case QEvent::EnabledChange:
        FEditLabel->setEnabled(isEnabled());
        break;
    default:
        break;
    }
    return result;
}
