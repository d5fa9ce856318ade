#pragma once
// TStringAlignGrid: a text grid with display properties per cell, column and row, cells that edit as
// check boxes, buttons or pick lists, and a stored text format for all of it.
#include <QBrush>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <QTableWidget>
#include <functional>
#include <memory>
#include <optional>

enum TMyAlign { alRight = 0, alLeft = 1, alCenter = 2, alDefault = 3 };
enum T_Wordwrap { ww_none = 0, ww_wordwrap = 1, ww_ellipsis = 2, ww_default = 3 };
enum T_nextcell {
    nc_rightdown,
    nc_downright,
    nc_leftdown,
    nc_downleft,
    nc_leftup,
    nc_upleft,
    nc_rightup,
    nc_upright
};
enum T_lastcell { lc_newcolrow, lc_stop, lc_first, lc_exit };
enum TControlKind { ck_None = 0, ck_EditButton = 1, ck_CheckBox = 2, ck_PickList = 3, ck_Button = 4 };

// A brush as the forms store it: a colour (0x00BBGGRR) and a style (0 solid, 1 clear, ...).
struct TKvBrush {
    int Color = 0xFFFFFF;
    int Style = 0;
    bool operator==(const TKvBrush&) const = default;
};

// A font with its colour, as the forms store it.
struct TKvFont {
    int Color = 0;
    int Height = -12; // negative: pixel size of the characters
    QString Name = QStringLiteral("WenQuanYi Micro Hei");
    int Pitch = 0;
    int Style = 0; // 1 bold, 2 italic, 4 underline, 8 strike-out
    QFont toQFont(const QFont& base) const;
    static TKvFont fromQFont(const QFont& font, int color);
    bool operator==(const TKvFont&) const = default;
};

// A pick list, or the multi-line text of a cell, column or row.
struct TGridStrings {
    QStringList Lines;
    int Number = 0;
    bool Search = false;
    bool operator==(const TGridStrings&) const = default;
};

// The editor of a cell.
struct TControlInfo {
    int Kind = ck_None;
    QString Caption;       // kind 4
    QString CheckedText;   // kind 2
    QString UncheckedText; // kind 2
    TGridStrings Items;    // kind 3
    bool operator==(const TControlInfo&) const = default;
};

struct TCellProperties {
    quint8 Editable = 0; // 0 not set, 1 not editable, 2 editable
    QString Hint;
    int Wordwrap = ww_default;
    int Align = alDefault;
    std::optional<TKvBrush> Brush;
    std::optional<TKvBrush> SelectedBrush;
    std::optional<TKvFont> Font;
    std::optional<TKvFont> SelectedFont;
    std::optional<TControlInfo> Control;
    bool isEmpty() const;
    bool operator==(const TCellProperties&) const = default;
};

// The five levels a record may be kept at.
enum TPropLevel { plCell, plCol, plRow, plFixedCol, plFixedRow };

class TStringAlignGrid : public QTableWidget {
    Q_OBJECT
    Q_PROPERTY(int ColCount READ ColCount WRITE SetColCount)
    Q_PROPERTY(int RowCount READ RowCount WRITE SetRowCount)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE SetFixedCols)
    Q_PROPERTY(int FixedRows READ FixedRows WRITE SetFixedRows)
    Q_PROPERTY(QString EditMask MEMBER FEditMask)
    Q_PROPERTY(int Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(int Wordwrap READ Wordwrap WRITE SetWordwrap)
    Q_PROPERTY(bool Editable READ Editable WRITE SetEditable)
    Q_PROPERTY(bool AllowEditing MEMBER FAllowEditing)
    Q_PROPERTY(QColor FixedColor READ FixedColor WRITE SetFixedColor)
    Q_PROPERTY(QColor SelectedCellColor READ SelectedCellColor WRITE SetSelectedCellColor)
    Q_PROPERTY(QColor SelectedFontColor READ SelectedFontColor WRITE SetSelectedFontColor)
    Q_PROPERTY(bool ShowCellHints MEMBER FShowCellHints)
    Q_PROPERTY(bool SelectEditText MEMBER FSelectEditText)
    Q_PROPERTY(bool EditMultiline MEMBER FEditMultiline)
    Q_PROPERTY(bool AutoEditNextCell MEMBER FAutoEditNextCell)
    Q_PROPERTY(int NextCellEdit MEMBER FNextCellEdit)
    Q_PROPERTY(int NextCellTab MEMBER FNextCellTab)
    Q_PROPERTY(int AfterLastCellEdit MEMBER FAfterLastCellEdit)
    Q_PROPERTY(int AfterLastCellTab MEMBER FAfterLastCellTab)
    Q_PROPERTY(bool DrawSelection MEMBER FDrawSelection)
    Q_PROPERTY(bool AutoAdjustLastCol MEMBER FAutoAdjustLastCol)
    Q_PROPERTY(int GridLineWidth MEMBER FGridLineWidth)
    Q_PROPERTY(bool RedrawWhileScroll MEMBER FRedrawWhileScroll)
    Q_PROPERTY(QColor GridLineColor MEMBER FGridLineColor)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)

public:
    explicit TStringAlignGrid(QWidget* parent = nullptr);
    ~TStringAlignGrid() override;

    int ColCount() const { return columnCount(); }
    void SetColCount(int n) { setColumnCount(n); }
    int RowCount() const { return rowCount(); }
    void SetRowCount(int n) { setRowCount(n); }
    int FixedCols() const { return FFixedCols; }
    void SetFixedCols(int n);
    int FixedRows() const { return FFixedRows; }
    void SetFixedRows(int n);
    bool IsFixed(int col, int row) const { return col < FFixedCols || row < FFixedRows; }

    // Cell texts. A check-box cell reads as its checked text when it holds it, else its unchecked text.
    QString Cells(int col, int row) const;
    QString StoredCell(int col, int row) const;
    void SetCells(int col, int row, const QString& text);
    QString CellHint(int col, int row) const;
    void SetCellHint(int col, int row, const QString& hint);
    // Multi-line texts kept with a cell, a column or a row.
    QStringList CellLines(int col, int row) const;
    void SetCellLines(int col, int row, const QStringList& lines);
    QStringList ColLines(int col) const { return FColLines.value(col); }
    void SetColLines(int col, const QStringList& lines);
    QStringList RowLines(int row) const { return FRowLines.value(row); }
    void SetRowLines(int row, const QStringList& lines);

    // Grid defaults.
    int Alignment() const { return FAlignment; }
    void SetAlignment(int value);
    int Wordwrap() const { return FWordwrap; }
    void SetWordwrap(int value);
    bool Editable() const { return FEditable; }
    void SetEditable(bool value);
    QColor FixedColor() const { return FFixedColor; }
    void SetFixedColor(const QColor& c);
    QColor SelectedCellColor() const { return FSelectedCellColor; }
    void SetSelectedCellColor(const QColor& c);
    QColor SelectedFontColor() const { return FSelectedFontColor; }
    void SetSelectedFontColor(const QColor& c);

    // Records. plCell takes (col, row); a row level takes its row, a column level its column (the
    // other argument -1; an index passed as the only one of the two is taken too).
    const TCellProperties* Record(TPropLevel level, int col, int row = -1) const;
    // Creates the record on first use; the change is applied, empty records are dropped, the grid repaints.
    void ChangeRecord(TPropLevel level, int col, int row,
                      const std::function<void(TCellProperties&)>& change);
    void SetAlign(TPropLevel level, int col, int row, int align);
    void SetWordwrapAt(TPropLevel level, int col, int row, int wrap);
    void SetEditableAt(TPropLevel level, int col, int row, bool editable);
    void ResetEditableAt(TPropLevel level, int col, int row);
    void SetBrushAt(TPropLevel level, int col, int row, std::optional<TKvBrush> brush, bool selected = false);
    void SetFontAt(TPropLevel level, int col, int row, std::optional<TKvFont> font, bool selected = false);
    void SetHintAt(TPropLevel level, int col, int row, const QString& hint);
    // Records kept at each level (the stored form writes exactly these).
    QList<QPair<int, int>> RecordKeys(TPropLevel level) const;

    // Effective properties of a cell: the cell's record, then its column's, then its row's, then the grid.
    int EffectiveAlign(int col, int row) const;
    int EffectiveWordwrap(int col, int row) const;
    bool EffectiveEditable(int col, int row) const;
    std::optional<TKvBrush> EffectiveBrush(int col, int row, bool selected) const;
    std::optional<TKvFont> EffectiveFont(int col, int row, bool selected) const;
    // The editor of a cell: the cell's, else its column's, else its row's.
    const TControlInfo* EffectiveControl(int col, int row) const;

    // Gives a cell (both set), a column (row -1) or a row (col -1) an editor: kind 1 edit button,
    // 2 check box (text "checked;unchecked"), 3 pick list (lines of text, flag = search), 4 button
    // (caption = text), 0 none.
    void SetCellControl(int col, int row, bool flag, const QString& text, int kind);

    // Rows and columns; records, hints and multi-line texts move with them.
    void InsertRow(int row);
    void RemoveRow(int row);
    void InsertCol(int col);
    void RemoveCol(int col);
    // Merge sort of the non-fixed rows by a column (OnCompareRow, else text order) and likewise columns.
    void SortRows(int byCol, bool ascending = true);
    void SortCols(int byRow, bool ascending = true);

    // The stored form: "Name = (values)" lines.
    QString SaveToText() const;
    // Reads the stored form, including the older keys; false on a malformed text.
    bool LoadFromText(const QString& text);

    // Opens the in-place editor on the current cell if the rules allow it.
    bool OpenEditor();
    // Moves after an edit or Tab by the given rules; false when the grid is left or stays.
    bool MoveToNextCell(int direction, int afterLast);

    // Events.
    std::function<void(TStringAlignGrid*, int col, int row, QString& hint, bool& canShow)> OnShowHintCell;
    // May change the font, its colour and the brush before the cell is painted.
    std::function<void(TStringAlignGrid*, int col, int row, const QRect&, bool selected, QFont&,
                       QColor& fontColor, QBrush&)>
        OnCalcCellColors;
    std::function<int(TStringAlignGrid*, int col, int row1, int row2)> OnCompareRow;
    std::function<int(TStringAlignGrid*, int row, int col1, int col2)> OnCompareCol;
    std::function<void(TStringAlignGrid*, int col, int row, bool& allow)> OnValidateEdit;

signals:
    void OnAfterEdit(TStringAlignGrid* sender, int col, int row);
    void OnCancelEdit(TStringAlignGrid* sender, int col, int row);
    void OnBeforeEdit(TStringAlignGrid* sender, int col, int row);
    void OnColWidthsChanged(TStringAlignGrid* sender, int index);
    void OnRowHeightsChanged(TStringAlignGrid* sender, int index);
    void OnFixedColClick(TStringAlignGrid* sender, int index);
    void OnFixedRowClick(TStringAlignGrid* sender, int index);
    void OnEditButtonClick(TStringAlignGrid* sender, int col, int row);
    void OnComboBoxClick(TStringAlignGrid* sender, int col, int row);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class TAlignGridDelegate;
    using CellKey = QPair<int, int>;
    QMap<CellKey, TCellProperties>& Level(TPropLevel level);
    const QMap<CellKey, TCellProperties>& Level(TPropLevel level) const;
    const TCellProperties* ColRecord(int col, int row) const;
    const TCellProperties* RowRecord(int col, int row) const;
    // The editor is closed while rows or columns move and opened again afterwards.
    bool SuspendEditor();
    void ResumeEditor(bool wasEditing);
    void ShiftLines(bool rows, int from, int delta);
    void ShiftRows(int from, int delta);
    void ShiftCols(int from, int delta);
    void ApplyPermutation(bool rows, const QList<int>& order);
    void EditorClosed(QWidget* editor, int hint);
    // Pick-list search: a typed character; false when nothing matches and the key is dropped.
    bool PickListSearch(QWidget* combo, const QString& typed, int key);

    int FFixedCols = 1;
    int FFixedRows = 1;
    QString FEditMask;
    int FAlignment = alLeft;
    int FWordwrap = ww_none;
    bool FEditable = true;
    bool FAllowEditing = true;
    QColor FFixedColor;
    QColor FSelectedCellColor;
    QColor FSelectedFontColor = Qt::white;
    bool FShowCellHints = true;
    bool FSelectEditText = true;
    bool FEditMultiline = false;
    bool FAutoEditNextCell = false;
    int FNextCellEdit = nc_rightdown;
    int FNextCellTab = nc_rightdown;
    int FAfterLastCellEdit = lc_newcolrow;
    int FAfterLastCellTab = lc_first;
    bool FDrawSelection = true;
    bool FAutoAdjustLastCol = false;
    int FGridLineWidth = 1;
    bool FRedrawWhileScroll = false;
    QColor FGridLineColor;

    QMap<CellKey, TCellProperties> FLevels[5];
    QMap<CellKey, QString> FCellHints;
    QMap<CellKey, QStringList> FCellLines;
    QMap<int, QStringList> FColLines;
    QMap<int, QStringList> FRowLines;
    QPixmap FCheck, FUncheck;

    // In-place editing.
    QString FEditOldText;
    int FEditCol = -1, FEditRow = -1;
    bool FTabPressed = false;
    bool FBackTabPressed = false;
    bool FEnterPressed = false;
    QString FSearchText;
    QElapsedTimer FSearchClock;
};
