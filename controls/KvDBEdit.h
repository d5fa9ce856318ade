#pragma once
// TKvDBEdit: a labelled edit bound to a field; TKvBtnDBEdit adds the F2 lookup button beside it.
#include <functional>

#include "controls/KvEdit.h"

namespace kv {
class TDataSource;
}
class TGSpeedButton;
class TKvFieldDataLink;

class TKvDBEdit : public TKvEdit {
    Q_OBJECT
    Q_PROPERTY(QObject* DataSource READ DataSourceObject WRITE SetDataSourceObject)
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)

public:
    explicit TKvDBEdit(QWidget* parent = nullptr);

    kv::TDataSource* DataSource() const;
    void SetDataSource(kv::TDataSource* source);
    QObject* DataSourceObject() const;
    void SetDataSourceObject(QObject* source);
    QString DataField() const;
    // While the form is designed, the field's display label becomes the caption.
    void SetDataField(const QString& field);
    bool Designing() const { return FDesigning; }
    void SetDesigning(bool value) { FDesigning = value; }

    // Writes the typed text to the field; a refused value shows the field's text again.
    void UpdateRecord();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void DataChange();
    TKvFieldDataLink* FDataLink;
    bool FDesigning = false;
    bool FModified = false;
};

class TKvBtnDBEdit : public TKvDBEdit {
    Q_OBJECT
    Q_PROPERTY(int ButtonSpacing READ ButtonSpacing WRITE SetButtonSpacing)
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(QString ButtonHint READ ButtonHint WRITE SetButtonHint)

public:
    explicit TKvBtnDBEdit(QWidget* parent = nullptr);
    ~TKvBtnDBEdit() override;

    int ButtonSpacing() const { return FButtonSpacing; }
    void SetButtonSpacing(int value);
    int GlyphIndex() const;
    void SetGlyphIndex(int value);
    QString ButtonHint() const;
    void SetButtonHint(const QString& hint);
    TGSpeedButton* F2Button() const;

    // OnDialog: called instead of the lookup request when assigned (the edit and a key).
    std::function<void(TKvBtnDBEdit*, int& key)> OnDialog;

    void PlaceButton();

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ButtonClick();
    QPointer<QWidget> FButtonWidget; // the TGSpeedButton, gone if its parent freed it first
    TGSpeedButton* FButton = nullptr;
    int FButtonSpacing = 2;
};
