#pragma once
// TfrmKrta07SW: the factory window, a list of the company's factories to pick one from.
#include <QDialog>

class QPushButton;
class TFDBGrid;
class TfrmKrta07SM;

class TfrmKrta07SW : public QDialog {
    Q_OBJECT
public:
    explicit TfrmKrta07SW(TfrmKrta07SM* workbench);

    TFDBGrid* dgWin;
    QPushButton *btnOk, *btnCancel;

    // Reads the factories and shows the window; true with the chosen factory's code and name.
    bool Execute(QString& code, QString& name);

private:
    TfrmKrta07SM* FWorkbench;
};
