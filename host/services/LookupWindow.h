#pragma once
// The host's lookup windows: a searchable table of rows to choose from, and a calendar date picker.
#include <QDialog>
#include <QList>
#include <QStringList>

class QCalendarWidget;
class QLineEdit;
class QTableWidget;

namespace tarnix {

class TLookupWindow : public QDialog {
    Q_OBJECT

public:
    TLookupWindow(const QString& title, const QStringList& captions, const QList<QStringList>& rows,
                  bool multiSelect, QWidget* parent = nullptr);

    // The rows chosen when the window was accepted, in table order.
    QList<QStringList> chosenRows() const;
    QLineEdit* searchEdit() const { return FSearch; }
    QTableWidget* table() const { return FTable; }

private:
    void applyFilter(const QString& text);

    QLineEdit* FSearch;
    QTableWidget* FTable;
    QList<QStringList> FRows;
};

class TDayPicker : public QDialog {
    Q_OBJECT

public:
    explicit TDayPicker(const QDate& start, QWidget* parent = nullptr);
    QDate chosenDate() const;
    QCalendarWidget* calendar() const { return FCalendar; }

private:
    QCalendarWidget* FCalendar;
};

} // namespace tarnix
