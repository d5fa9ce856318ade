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
    TLookupWindow(const QString& Title, const QStringList& Captions, const QList<QStringList>& Rows,
                  bool MultiSelect, QWidget* Parent = nullptr);

    // The rows chosen when the window was accepted, in table order.
    QList<QStringList> chosenRows() const;
    QLineEdit* searchEdit() const { return FSearch; }
    QTableWidget* table() const { return FTable; }

private:
    void applyFilter(const QString& Text);

    QLineEdit* FSearch;
    QTableWidget* FTable;
    QList<QStringList> FRows;
};

class TDayPicker : public QDialog {
    Q_OBJECT

public:
    explicit TDayPicker(const QDate& Start, QWidget* Parent = nullptr);
    QDate chosenDate() const;
    QCalendarWidget* calendar() const { return FCalendar; }

private:
    QCalendarWidget* FCalendar;
};

} // namespace tarnix
