#pragma once
// TfrmKRTA07ST: the plan consumption rows of one resource, of all days or of one day, in day order.
#include <QDialog>

class QPushButton;
class TFDBGrid;
class TfrmKrta07SM;

class TfrmKRTA07ST : public QDialog {
    Q_OBJECT
public:
    explicit TfrmKRTA07ST(TfrmKrta07SM* workbench);

    TFDBGrid* dgWin;
    QPushButton *btnOk, *btnCancel;

    // Shows the plan rows of the resource (of that day when Day, "yyyymmdd", is not empty);
    // the rows' filter and order are taken off again when the window closes.
    void Execute(const QString& resource, const QString& day);

private:
    TfrmKrta07SM* FWorkbench;
};

// Display texts of the consumption and demand sources of a plan row.
QString Krta07TF003Text(const QString& value);
QString Krta07TF004Text(const QString& value);
