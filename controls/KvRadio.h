#pragma once
// TKvRadioButton and TKvRadioGroup: radio controls that paint their own circle and caption.
#include <QAbstractButton>
#include <QGroupBox>
#include <QStringList>

class TKvRadioButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool Checked READ isChecked WRITE setChecked)
    Q_PROPERTY(int Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TKvRadioButton(QWidget* parent = nullptr);

    // 0 caption left of the circle, 1 caption right of it.
    int Alignment() const { return FAlignment; }
    void SetAlignment(int value);
    QSize sizeHint() const override { return {113, 17}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    int FAlignment = 1;
};

class TKvGroupButton : public TKvRadioButton {
    Q_OBJECT
public:
    using TKvRadioButton::TKvRadioButton;
};

class TKvRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int Columns READ Columns WRITE SetColumns)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex NOTIFY ItemIndexChanged)
    Q_PROPERTY(QString Caption READ title WRITE setTitle)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TKvRadioGroup(QWidget* parent = nullptr);

    QStringList Items() const { return FItems; }
    void SetItems(const QStringList& items);
    int Columns() const { return FColumns; }
    void SetColumns(int value);
    int ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int value);
    TKvGroupButton* Button(int index) const;
    int ButtonCount() const { return int(FButtons.size()); }

signals:
    void ItemIndexChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Rebuild();
    void ArrangeButtons();
    void ButtonToggled();

    QStringList FItems;
    int FColumns = 1;
    int FItemIndex = -1;
    QList<TKvGroupButton*> FButtons;
};
