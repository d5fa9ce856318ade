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
        // A sign typed after the first position goes again. It is the sign that is removed, not the
        // last character: a sign typed between digits would otherwise cost a digit and stay.
        QString kept = text.left(1);
        for (int i = 1; i < text.size(); ++i)
            if (text[i] != '+' && text[i] != '-') kept += text[i];
        const int cursor = lineEdit()->cursorPosition();
        FChanging = true;
        lineEdit()->setText(kept);
        lineEdit()->setCursorPosition(qMin(int(kept.size()), qMax(0, cursor - 1)));
        FChanging = false;
        return;
    }
    if (!text.trimmed().isEmpty()) emit Change();
}
