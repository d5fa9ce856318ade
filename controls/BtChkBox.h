#pragma once
// TBitCheckBox: a check box drawn with pictures for its three states.
#include <QAbstractButton>
#include <QPixmap>

enum TCheckBoxState { cbUnchecked = 0, cbChecked = 1, cbGrayed = 2 };

class TKvFieldDataLink;
namespace kv {
class TDataSource;
}

class TBitCheckBox : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QObject* DataSource READ DataSourceObject WRITE SetDataSourceObject)
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)
    Q_PROPERTY(QString ValueChecked MEMBER FValueChecked)
    Q_PROPERTY(QString ValueUnchecked MEMBER FValueUnchecked)
    Q_PROPERTY(int State READ State WRITE SetState)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(bool AllowGrayed READ AllowGrayed WRITE SetAllowGrayed)
    Q_PROPERTY(int Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QPixmap GlyphChecked READ GlyphChecked WRITE SetGlyphChecked)
    Q_PROPERTY(QPixmap GlyphGrayed READ GlyphGrayed WRITE SetGlyphGrayed)
    Q_PROPERTY(QPixmap GlyphUnchecked READ GlyphUnchecked WRITE SetGlyphUnchecked)
    Q_PROPERTY(int NumGlyphsChecked MEMBER FNumGlyphsChecked)
    Q_PROPERTY(int NumGlyphsGrayed MEMBER FNumGlyphsGrayed)
    Q_PROPERTY(int NumGlyphsUnchecked MEMBER FNumGlyphsUnchecked)

public:
    explicit TBitCheckBox(QWidget* parent = nullptr);

    int State() const { return FState; }
    void SetState(int value);
    bool Checked() const { return FState == cbChecked; }
    void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool value) { FAllowGrayed = value; }
    // 0 caption left of the box, 1 caption right of it.
    int Alignment() const { return FAlignment; }
    void SetAlignment(int value);

    // A null picture falls back to the module's "CHECKED", "GRAYED" or "UNCHECKED" picture.
    QPixmap GlyphChecked() const { return FGlyphChecked; }
    void SetGlyphChecked(const QPixmap& glyph);
    QPixmap GlyphGrayed() const { return FGlyphGrayed; }
    void SetGlyphGrayed(const QPixmap& glyph);
    QPixmap GlyphUnchecked() const { return FGlyphUnchecked; }
    void SetGlyphUnchecked(const QPixmap& glyph);

    QSize sizeHint() const override { return {97, 17}; }

    // Bound to a field: the field's text equal to ValueChecked shows checked, ValueUnchecked
    // unchecked, anything else grayed; a click writes the new state's value.
    kv::TDataSource* DataSource() const;
    void SetDataSource(kv::TDataSource* source);
    QObject* DataSourceObject() const;
    void SetDataSourceObject(QObject* source);
    QString DataField() const;
    void SetDataField(const QString& field);

signals:
    void StateChanged(int state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The whole control is the click target, not only the box.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    void Toggle();
    void DataChange();
    TKvFieldDataLink* FDataLink = nullptr;
    QString FValueChecked = QStringLiteral("Y");
    QString FValueUnchecked = QStringLiteral("N");
    bool FReading = false;

    int FState = cbUnchecked;
    bool FAllowGrayed = false;
    int FAlignment = 1;
    QPixmap FGlyphChecked, FGlyphGrayed, FGlyphUnchecked;
    int FNumGlyphsChecked = 1, FNumGlyphsGrayed = 1, FNumGlyphsUnchecked = 1;
};
