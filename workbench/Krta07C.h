#pragma once
// TfrmKRTA07: the module's main form. It is never used as a window: its first timer tick hides it
// and opens the scheduling workbench, which closes it again when it closes.
#include "optionforms/BaseRpt.h"
#include "workbench/Krta07SMF.h"

class QTimer;
class QPlainTextEdit;
class QLineEdit;

class TfrmKRTA07 : public TfrmBaseRpt, public TKrta07DataCalls {
    Q_OBJECT
public:
    explicit TfrmKRTA07(QWidget* owner = nullptr);

    QTimer* Timer1;
    QPlainTextEdit* memLNG;
    QLineEdit* ed01;

    // The session, and with it the hand-over, waits for InitializeSession to finish and never follows
    // one that failed.
    bool InitializeSession(const kv::Variant& params) override;
    void Timer1Timer();
    TfrmKrta07SM* Workbench() const { return FWorkbench; }
    // The caption of the workbench: program name, edition suffix for product 5, version.
    QString WorkbenchCaption() const;

    // TKrta07DataCalls, through the frame's validator service and lookup window.
    bool CheckCode(const QString& table, const QString& queryNo, const QString& key,
                   QStringList& row) override;
    QStringList OpenLookup(const QString& table, const QString& windowNo, const QStringList& params) override;
    bool CheckCodeKeys(const QString& table, const QString& queryNo, const QStringList& keys,
                       QStringList& row) override;

private:
    // Creates the workbench and shows it; raises when it cannot work on the company database.
    void OpenWorkbench();
    // Ends a hand-over that failed: the message, then the session closes with result -1.
    void FailHandOver(const QString& code, const QString& reason);

    enum TSessionState { ssNone, ssStarting, ssOpen, ssFailed };
    TSessionState FSessionState = ssNone;
    TfrmKrta07SM* FWorkbench = nullptr;
};
