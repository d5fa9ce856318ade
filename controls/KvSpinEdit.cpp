#include "controls/KvSpinEdit.h"

#include <QLineEdit>

TKvSpinEdit::TKvSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText("0");
    connect(lineEdit(), &QLineEdit::textChanged, this, &TKvSpinEdit::TextChanged);
}

QString TKvSpinEdit::Text() const {
    return lineEdit()->text();
}

void TKvSpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

int TKvSpinEdit::Value() const {
    bool ok = false;
    const int v = Text().trimmed().toInt(&ok);
    return ok ? v : FMinValue;
}

void TKvSpinEdit::SetValue(int value) {
    if (FMinValue != 0 || FMaxValue != 0) value = qBound(FMinValue, value, FMaxValue);
    SetText(QString::number(value));
}

void TKvSpinEdit::stepBy(int steps) {
    SetValue(Value() + steps * FIncrement);
}

QAbstractSpinBox::StepEnabled TKvSpinEdit::stepEnabled() const {
    return StepUpEnabled | StepDownEnabled;
}

QValidator::State TKvSpinEdit::validate(QString& input, int&) const {
    // Signs anywhere are let through: the change handler removes a misplaced one.
    for (const QChar c : input)
        if (!c.isDigit() && c != '+' && c != '-' && c != ' ') return QValidator::Invalid;
    return QValidator::Acceptable;
}

void TKvSpinEdit::TextChanged(const QString& text) {
    if (FChanging) return;
    if (text.indexOf('+', 1) >= 0 || text.indexOf('-', 1) >= 0) {
        // The sign was just typed at the end or in the middle; the last character goes.
        FChanging = true;
        lineEdit()->setText(text.left(text.size() - 1));
        FChanging = false;
        return;
    }
    if (!text.trimmed().isEmpty()) emit Change();
}
