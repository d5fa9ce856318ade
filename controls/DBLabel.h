#pragma once
// TDBLabel: a label attached to a control: it takes the caption of the control's field and places
// itself beside the control.
#include <QEvent>
#include <QLabel>
#include <QPointer>

enum TDBLabelPos { psAbove, psLeft, psRight, psBelow };

class TDBLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QWidget* FocusControl READ FocusControl WRITE SetFocusControl)
    Q_PROPERTY(bool AutoAlign READ AutoAlign WRITE SetAutoAlign)
    Q_PROPERTY(bool AutoCaption READ AutoCaption WRITE SetAutoCaption)
    Q_PROPERTY(int Gap READ Gap WRITE SetGap)
    Q_PROPERTY(int Pos READ Pos WRITE SetPos)
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TDBLabel(QWidget* parent = nullptr);

    QWidget* FocusControl() const { return FFocusControl; }
    // Refused with an error box when another TDBLabel on the same parent points to the control.
    void SetFocusControl(QWidget* control);
    bool AutoAlign() const { return FAutoAlign; }
    void SetAutoAlign(bool value);
    bool AutoCaption() const { return FAutoCaption; }
    void SetAutoCaption(bool value);
    int Gap() const { return FGap; }
    void SetGap(int value);
    int Pos() const { return FPos; }
    void SetPos(int value);

    // Caption from the control's field, then placement.
    void Refresh();
    // The refresh message registered under a label's name.
    static QEvent::Type RefreshEventType(const QString& labelName);

protected:
    bool event(QEvent* event) override;

private:
    QPointer<QWidget> FFocusControl;
    bool FAutoAlign = true;
    bool FAutoCaption = true;
    quint8 FGap = 4;
    int FPos = psLeft;
};
