#pragma once
// TF2Button: the lookup button beside an edit (the forms' F2 lookup).
#include <QPointer>

#include "controls/GSpdBtn.h"

class TF2Button : public TGSpeedButton {
    Q_OBJECT
    Q_PROPERTY(bool AutoAlign READ AutoAlign WRITE SetAutoAlign)
    Q_PROPERTY(QWidget* F2Control READ F2Control WRITE SetF2Control)
    Q_PROPERTY(int Gap READ Gap WRITE SetGap)

public:
    explicit TF2Button(QWidget* parent = nullptr);

    bool AutoAlign() const { return FAutoAlign; }
    void SetAutoAlign(bool value);
    QWidget* F2Control() const { return FF2Control; }
    // Refused with an error box when another F2 button on the same parent serves the edit.
    void SetF2Control(QWidget* edit);
    int Gap() const { return FGap; }
    void SetGap(int value);

    // Places the button beside its edit (AutoAlign).
    void AlignToControl();

private:
    void F2Click();

    bool FAutoAlign = true;
    QPointer<QWidget> FF2Control;
    quint8 FGap = 2;
};
