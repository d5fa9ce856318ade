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
    explicit TfrmKrta07SQ(TfrmKrta07SM* workbench);
    ~TfrmKrta07SQ() override;

    TKvEdit *edMB001 = nullptr, *edTB036 = nullptr, *edTB004 = nullptr;
    QLabel *lblMB001C, *lblTB036C, *lblTB004;
    TF2Button *btnMB001, *btnTB036, *btnTB004;
    QPushButton *btnOK, *btnCancel;

    // Shows the dialog modally; true with factory, factory name, resource, resource name and
    // source document when closed with OK.
    bool Execute(QStringList& result);
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
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Lookup(QWidget* edit);
    void ShowMessage(int index);
    // The exit check of a field the planner left.
    void FieldLeft(TKvEdit* edit, Qt::FocusReason reason);
    // Focus moved by the dialog itself, which is no leaving to check.
    void MoveFocus(QWidget* to);

    TfrmKrta07SM* FWorkbench;
    QEventLoop* FLoop = nullptr;
    bool FAccepted = false;
    bool FMovingFocus = false;
    // Counts of the checks run, so that a check queued on leaving is dropped once one ran since.
    int FFactoryChecks = 0, FResourceChecks = 0;
};
