#pragma once
// TfrmKrta07SC: the daily quantity editor. All days of a line's bar, one grid row per day, or a single
// day; in edit mode days can be typed, inserted and deleted, and OK needs distinct days whose
// quantities add up to the line's production quantity.
#include <QHash>
#include <QStringList>
#include <functional>

#include "frame/KVForm.h"
#include "platform/DateTime.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class TKvEdit;
class TKrta07DayModel;

// The edit mask of a date in the company format ("9999/99/99;1; " for code 1 with "/").
QString Krta07DateEditMask(int code, const QString& sep);
// A date typed in the company format as "yyyymmdd"; empty for an empty text, the text unchanged
// when a part is not a whole number, empty for an unknown code.
QString Krta07DisplayDateToText(const QString& typed, int code, const QString& sep);
// The sum of a line's day quantities, for the sum rule: equal to the line's quantity up to the
// rounding of the typed decimals and of the additions, and no further (a typed shortfall is short
// however large the quantity).
class TKrta07QuantitySum {
public:
    void Add(double value);
    double Sum() const { return FSum; }
    bool Equals(double quantity) const;

private:
    double FSum = 0, FMagnitude = 0;
    int FTerms = 0;
};

class TfrmKrta07SC : public TKVForm {
    Q_OBJECT
public:
    // Code and Sep: the company date format; Quantity: TB026 of the line; Editable: edit mode.
    TfrmKrta07SC(QWidget* owner, int code, const QString& sep, double quantity, bool editable);
    ~TfrmKrta07SC() override;

    // A view on the dialog's own rows: a bar of centuries has millions of days, too many for a
    // cell object each.
    QTableView* sgTime;
    QPlainTextEdit* MeoTime;
    TKvEdit* edSum;
    QPushButton *btnOk, *btnCancel;
    QMenu* PopupMenu1;
    QAction *N1, *N2;

    // Whole-bar mode (one row per day) or a single day (its day cannot be changed).
    void SetWholeBar(bool value);
    bool WholeBar() const { return FWholeBar; }
    // Rows as the grid counts them: row 0 is the header, days from row 1.
    int RowCount() const;
    void SetRowCount(int count);
    QString Cells(int col, int row) const;
    // The remark of a row as the database is to hold it (Cells gives it as shown).
    QString StoredRemark(int row) const;
    void SetCells(int col, int row, const QString& text);
    // Fills a row with a day (shown in the company format) and its texts.
    void SetDay(int row, kv::TDateTime day, const QString& quantity, const QString& remark);
    // A day as its row shows it and the planner types it: in the company's date format.
    QString DayText(kv::TDateTime day) const;
    // The date the day text of a row reads as (0 when it reads as none).
    kv::TDateTime DateOfRow(int row) const;
    // The first row other than Except whose day reads as Day; 0 when there is none.
    int RowOfDate(kv::TDateTime day, int except = 0) const;
    // Shows the dialog modally; true when closed with OK.
    bool Execute();

    void sgTimeSelectCell(int col, int row);
    QString sgTimeGetEditMask(int col, int row) const;
    bool DateExistsElsewhere(int row) const;
    void SortRows();
    bool ValidateRows();
    double QuantitySum() const;
    TKrta07QuantitySum DaySum() const;
    void InsertDay();
    void DeleteDay();
    // OK: sorted and checked; false keeps the dialog open.
    bool FormCloseQuery();
    // "yyyymmdd" of a row's day, empty when it is no date.
    QString DayOfRow(int row) const;
    // Whole-bar mode: asked at OK with the first and the last day of the sorted rows; false keeps the
    // dialog open (the check says why).
    std::function<bool(kv::TDateTime first, kv::TDateTime last)> OnCheckDays;
    QString FormatDay(const QString& yyyymmdd) const;

protected:
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    friend class TKrta07DayModel;
    QString Message(int index) const;
    // A day text as its row keeps it: its date, and the text itself only when the date does not
    // show as it (typed, or no date).
    void StoreDayText(int index, const QString& text);
    void StoreDay(int index, kv::TDateTime day);
    // The day shown as a company date reads back as the same day: such rows keep the date alone.
    bool FDatesRoundTrip = false;
    // A quantity that is no number ("1.2.3", more digits than a number holds) is refused with a
    // message and the cell gets back the last quantity it held; false then.
    bool CheckQuantity(int row);
    void ShowSum();
    int CurrentRow() const;

    int FCode;
    QString FSep;
    double FQuantity;
    bool FEditable;
    bool FWholeBar = true;
    int FPrevCol = -1, FPrevRow = -1;
    bool FSelecting = false;
    // Rows are being rewritten in date order: the sum is shown once they all are.
    bool FSorting = false;
    bool FRefused = false;
    bool FAccepted = false;
    class QEventLoop* FLoop = nullptr;
    TKrta07DayModel* FDays;
    // The last readable quantity of a row whose quantity is no number, by row index: what the row
    // gets back when the typed one is refused.
    QHash<int, QString> FQuantityBefore;
    // Rows from First on moved By rows: their quantities to go back to move with them.
    void ShiftQuantitiesBefore(int first, int by);
};
