#pragma once
// TKvSpinEdit: an integer spin edit that drops a sign typed after the first position.
#include <QAbstractSpinBox>

class TKvSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE SetValue)
    Q_PROPERTY(int MinValue MEMBER FMinValue)
    Q_PROPERTY(int MaxValue MEMBER FMaxValue)
    Q_PROPERTY(int Increment MEMBER FIncrement)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TKvSpinEdit(QWidget* parent = nullptr);

    // The text read as a number; a text that is no number counts as MinValue.
    int Value() const;
    void SetValue(int value);
    QString Text() const;
    void SetText(const QString& text);

    void stepBy(int steps) override;

signals:
    // OnChange: the text changed and is not blank.
    void Change();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;

private:
    void TextChanged(const QString& text);

    int FMinValue = 0;
    int FMaxValue = 0; // both 0: no limits
    int FIncrement = 1;
    bool FChanging = false;
};
