#pragma once
// TKvEdit: an edit with an attached label that follows it.
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

enum TLabelPosition { lpAbove = 0, lpBelow = 1, lpLeft = 2, lpRight = 3 };

// Limits an edit's text to the bytes it takes in the system code page, as the company's columns
// count them (a Chinese character two on a Chinese system); 0: no limit. Typing beyond is refused.
// An edit with an input mask keeps the mask's length.
void KvLimitBytes(QLineEdit* edit, int bytes);

class TKvEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int LabelPosition READ LabelPosition WRITE SetLabelPosition)
    Q_PROPERTY(int LabelSpacing READ LabelSpacing WRITE SetLabelSpacing)
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE setMaxLength)
    Q_PROPERTY(bool ReadOnly READ isReadOnly WRITE setReadOnly)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QObject* EditLabel READ EditLabel)

public:
    explicit TKvEdit(QWidget* parent = nullptr);
    ~TKvEdit() override;

    QString Caption() const;
    void SetCaption(const QString& caption);
    int LabelPosition() const { return FLabelPosition; }
    void SetLabelPosition(int value);
    int LabelSpacing() const { return FLabelSpacing; }
    // Negative spacings are ignored.
    void SetLabelSpacing(int value);
    QLabel* EditLabel() const { return FEditLabel; }

    void SetupLabel();

    // The most bytes the text may take in the system code page, as the suite's edits count (a
    // Chinese character two on a Chinese system); 0: no limit. Typing beyond it is refused.
    int MaxLength() const { return FMaxBytes; }
    void setMaxLength(int bytes);

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<QLabel> FEditLabel;
    int FLabelPosition = lpLeft;
    int FLabelSpacing = 4;
    int FMaxBytes = 0;
};
