#pragma once
// TfrmKrta07SQ: the query dialog of the workbench: factory, main resource and source document.
#include <QStringList>

#include "frame/KVForm.h"

class QLabel;
class QPushButton;
class QEventLoop;
class TF2Button;
class TKvEdit;
class TfrmKrta07SM;

class TfrmKrta07SQ : public TKVForm {
    Q_OBJECT
public:
    explicit TfrmKrta07SQ(TfrmKrta07SM* Workbench);
    ~TfrmKrta07SQ() override;

    TKvEdit *edMB001, *edTB036, *edTB004;
    QLabel *lblMB001C, *lblTB036C, *lblTB004;
    TF2Button *btnMB001, *btnTB036, *btnTB004;
    QPushButton *btnOK, *btnCancel;

    // Shows the dialog modally; true with factory, factory name, resource, resource name and
    // source document when closed with OK.
    bool Execute(QStringList& Result);
    // The exit checks; false after showing why (the focus is then on the edit).
    bool CheckFactory();
    bool CheckResource();
    void btnOKClick();
    // The source document without its dashes, each part padded to its width, then trimmed.
    QString SourceDocText() const;
    bool Accepted() const { return FAccepted; }

protected:
    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* Key, QWidget* Target) override;
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Lookup(QWidget* Edit);
    void ShowMessage(int Index);

    TfrmKrta07SM* FWorkbench;
    QEventLoop* FLoop = nullptr;
    bool FAccepted = false;
};
