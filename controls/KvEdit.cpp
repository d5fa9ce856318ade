#include "controls/KvEdit.h"

#include <QEvent>
#include <QValidator>

#include "platform/CodePage.h"

namespace {

// Refuses a text longer in bytes than its edit's limit; an edit with an input mask has its length.
class TByteLimit : public QValidator {
public:
    explicit TByteLimit(TKvEdit* edit) : QValidator(edit), FEdit(edit) {}
    State validate(QString& input, int&) const override {
        const int max = FEdit->MaxLength();
        if (max <= 0 || !FEdit->inputMask().isEmpty()) return Acceptable;
        return kv::codepage::byteLength(input) <= max ? Acceptable : Invalid;
    }

private:
    TKvEdit* FEdit;
};

} // namespace

TKvEdit::TKvEdit(QWidget* parent) : QLineEdit(parent) {
    // The label is the edit's, but sits beside it: a child of the same parent.
    FEditLabel = new QLabel(parent);
    FEditLabel->setObjectName("EditLabel");
    FEditLabel->setProperty("kvSubComponent", true); // its text is the edit's Caption
    FEditLabel->setBuddy(this);
    FEditLabel->setVisible(parent && !isHidden());
    SetupLabel();
}

void TKvEdit::setMaxLength(int bytes) {
    FMaxBytes = std::max(0, bytes);
    // A text of n bytes has at most n characters.
    QLineEdit::setMaxLength(FMaxBytes > 0 ? FMaxBytes : 32767);
    if (!FByteLimit) FByteLimit = new TByteLimit(this);
    // Another validator the edit was given keeps its place.
    if (!validator() || validator() == FByteLimit) setValidator(FMaxBytes > 0 ? FByteLimit : nullptr);
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
