#include "controls/KvEdit.h"

#include <QEvent>
#include <QValidator>
#include <algorithm>

#include "platform/CodePage.h"

namespace {

// Refuses a text longer in bytes than its limit; an edit with an input mask has its length.
class TByteLimit : public QValidator {
public:
    TByteLimit(QLineEdit* edit, int bytes) : QValidator(edit), FMaxBytes(bytes), FEdit(edit) {
        setObjectName(kName);
    }
    State validate(QString& input, int&) const override {
        if (FMaxBytes <= 0 || !FEdit->inputMask().isEmpty()) return Acceptable;
        return kv::codepage::byteLength(input) <= FMaxBytes ? Acceptable : Invalid;
    }
    static constexpr const char* kName = "kvByteLimit";
    int FMaxBytes;

private:
    QLineEdit* FEdit;
};

} // namespace

void KvLimitBytes(QLineEdit* edit, int bytes) {
    bytes = std::max(0, bytes);
    // A text of n bytes has at most n characters.
    edit->QLineEdit::setMaxLength(bytes > 0 ? bytes : 32767);
    // Found by name: the class has no meta-object of its own to be told from other validators by.
    auto* limit = static_cast<TByteLimit*>(
        edit->findChild<QValidator*>(QLatin1String(TByteLimit::kName), Qt::FindDirectChildrenOnly));
    if (!limit) limit = new TByteLimit(edit, bytes);
    limit->FMaxBytes = bytes;
    // Another validator the edit was given keeps its place.
    if (!edit->validator() || edit->validator() == limit) edit->setValidator(bytes > 0 ? limit : nullptr);
}

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
    KvLimitBytes(this, FMaxBytes);
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
