#pragma once
// TFDBGrid: the record grid: a table over a data source with alternating record colours, check-box
// pictures for flag fields, and empty rows drawn (and clickable to append) below the last record.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QTableView>
#include <functional>

namespace kv {
class TDataSource;
}
class TFDBGridModel;

class TFDBGridColors : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor OddRecColor MEMBER OddRecColor)
    Q_PROPERTY(QColor EvenRecColor MEMBER EvenRecColor)
    Q_PROPERTY(QColor FocusRecColor MEMBER FocusRecColor)
public:
    using QObject::QObject;
    QColor OddRecColor{251, 255, 236};
    QColor EvenRecColor{206, 249, 231};
    QColor FocusRecColor{183, 220, 242};
};

// Accounting figures: kept with the grid; no form of the module turns them on, and cells draw as
// plain numbers.
class TCurrencyStyle : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool _Enabled MEMBER _Enabled)
    Q_PROPERTY(bool FixColWidth MEMBER FixColWidth)
    Q_PROPERTY(QFont CurrencyFont MEMBER CurrencyFont)
    Q_PROPERTY(int CHNWidth MEMBER CHNWidth)
    Q_PROPERTY(int ENGWidth MEMBER ENGWidth)
    Q_PROPERTY(int CHNHeight MEMBER CHNHeight)
    Q_PROPERTY(int ENGHeight MEMBER ENGHeight)
    Q_PROPERTY(QString CurrencySymbol MEMBER CurrencySymbol)
    Q_PROPERTY(bool CurrencySymbolAligned MEMBER CurrencySymbolAligned)
    Q_PROPERTY(int DecimalNumber MEMBER DecimalNumber)
    Q_PROPERTY(QColor DecimalSeparatorColor MEMBER DecimalSeparatorColor)
    Q_PROPERTY(int DigitalNumber MEMBER DigitalNumber)
    Q_PROPERTY(QColor GridLineColor MEMBER GridLineColor)
    Q_PROPERTY(int GridLineWidth MEMBER GridLineWidth)
    Q_PROPERTY(QColor KilobitSeparatorColor MEMBER KilobitSeparatorColor)
    Q_PROPERTY(int MaxLength MEMBER MaxLength)
    Q_PROPERTY(QColor NegativeColor MEMBER NegativeColor)
    Q_PROPERTY(QFont NegativeFont MEMBER NegativeFont)
    Q_PROPERTY(bool ShowNegativeColor MEMBER ShowNegativeColor)
    Q_PROPERTY(bool ShowNegativeFont MEMBER ShowNegativeFont)
    Q_PROPERTY(bool ShowNegativeSign MEMBER ShowNegativeSign)
    Q_PROPERTY(int TextLayout MEMBER TextLayout)
    Q_PROPERTY(QString Value MEMBER Value)
    Q_PROPERTY(QColor Color MEMBER Color)
    Q_PROPERTY(bool ColorUseGridCellColor MEMBER ColorUseGridCellColor)
    Q_PROPERTY(bool ZeroEmpty MEMBER ZeroEmpty)
    Q_PROPERTY(QString CurrencyNames MEMBER CurrencyNames)
public:
    using QObject::QObject;
    bool _Enabled = false;
    bool FixColWidth = true;
    QFont CurrencyFont;
    int CHNWidth = 0, ENGWidth = 0, CHNHeight = 0, ENGHeight = 0;
    QString CurrencySymbol;
    bool CurrencySymbolAligned = false;
    int DecimalNumber = 2;
    QColor DecimalSeparatorColor{Qt::red};
    int DigitalNumber = 12;
    QColor GridLineColor{Qt::lightGray};
    int GridLineWidth = 1;
    QColor KilobitSeparatorColor{Qt::blue};
    int MaxLength = 0;
    QColor NegativeColor{Qt::red};
    QFont NegativeFont;
    bool ShowNegativeColor = false, ShowNegativeFont = false, ShowNegativeSign = true;
    int TextLayout = 0;
    QString Value = QStringLiteral("0.00");
    QColor Color{Qt::white};
    bool ColorUseGridCellColor = true;
    bool ZeroEmpty = false;
    QString CurrencyNames = QStringLiteral(";;");
};

// One column of the record grid: the field it shows and the title above it (the field's display
// label unless a caption is set).
class TFDBGridColumn : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
public:
    TFDBGridColumn(class TFDBGrid* grid, const QString& fieldName);
    QString FieldName() const { return FFieldName; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    int Width() const;
    void SetWidth(int width);

private:
    TFDBGrid* FGrid;
    QString FFieldName;
    QString FCaption;
};

class TFDBGrid : public QTableView {
    Q_OBJECT
    Q_PROPERTY(QObject* DataSource READ DataSourceObject WRITE SetDataSourceObject)
    Q_PROPERTY(QObject* GridColors READ GridColorsObject)
    Q_PROPERTY(QObject* CHNCurrencyFields READ CurrencyObject)
    Q_PROPERTY(bool GrawGridInBlank READ GrawGridInBlank WRITE SetGrawGridInBlank)
    Q_PROPERTY(bool AllowInsert MEMBER FAllowInsert)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(QFont TitleFont READ TitleFont WRITE SetTitleFont)
    Q_PROPERTY(QList<QObject*> Columns READ Columns)

public:
    explicit TFDBGrid(QWidget* parent = nullptr);
    ~TFDBGrid() override;

    kv::TDataSource* DataSource() const;
    void SetDataSource(kv::TDataSource* source);
    QObject* DataSourceObject() const;
    void SetDataSourceObject(QObject* source);
    TFDBGridColors* GridColors() const { return FGridColors; }
    QObject* GridColorsObject() const { return FGridColors; }
    TCurrencyStyle* CHNCurrencyFields() const { return FCurrency; }
    QObject* CurrencyObject() const { return FCurrency; }
    bool GrawGridInBlank() const { return FGrawGridInBlank; }
    void SetGrawGridInBlank(bool value);
    QFont TitleFont() const;
    void SetTitleFont(const QFont& font);
    // Flag fields drawn as check boxes: the value equal to checkedValue shows "CHECKED".
    void SetCheckBoxField(const QString& fieldName, const QString& checkedValue = QStringLiteral("Y"));
    bool IsCheckBoxField(const QString& fieldName) const {
        return FCheckFields.contains(fieldName.toUpper());
    }
    QString CheckedValue(const QString& fieldName) const { return FCheckFields.value(fieldName.toUpper()); }

    // The columns, one per visible field, in order.
    QList<QObject*> Columns() const;
    TFDBGridColumn* Column(int index) const;

    // A field given a display width (in characters) shows in a column that wide; the planner's
    // resizing and moving of columns go back into the fields' widths and order.
    int ColumnWidthOf(int chars) const;
    int CharWidth() const;
    // Every column's width into its field, as characters: the layout as the planner sees it.
    void StoreColumnWidths();

    // How many values typed into a cell the data set has refused so far (its checks raised): the
    // editor closes on a refusal and the field keeps its value, so a caller that ends an edit to go
    // on with that value compares the count before and after.
    int RefusedEdits() const { return FRefusedEdits; }

    // Background of data row (0-based) when nothing overrides it.
    QColor RowColor(int row) const;
    // OnCalcCellColors: field name, row, highlighted; may change the font, its colour and the brush.
    std::function<void(TFDBGrid*, const QString& field, int row, bool highlight, QFont&, QColor& fontColor,
                       QBrush&)>
        OnCalcCellColors;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class TFDBGridDelegate;
    friend class TFDBGridModel;
    friend class TFDBGridColumn;
    QHash<QString, TFDBGridColumn*> FColumnObjects; // by upper-case field name, kept across reloads
    TFDBGridModel* FModel;
    TFDBGridColors* FGridColors;
    TCurrencyStyle* FCurrency;
    bool FGrawGridInBlank = true;
    bool FAllowInsert = true;
    QHash<QString, QString> FCheckFields;
    QPixmap FChecked, FUnchecked;
    bool FInsertedByGrid = false;
    bool FModifiedSinceInsert = false;
    int FRefusedEdits = 0;
    bool FSyncing = false;
    bool FApplyingWidths = false;
    bool FHeaderPressed = false; // the planner holds a column's title or border
    void ApplyColumnWidths();
    void FlushResized();
    int CharsOf(int pixels) const;
    void ColumnResized(int logical, int newSize);
    void ColumnMoved(int logical, int from, int to);
    QHash<QString, int> FResized; // field name → pixels, written to the fields once resizing rests
    class QTimer* FResizeRest = nullptr;
};
