#pragma once
// A small main form that stands in until the module's own main form exists: it shows the session the
// host opened, takes a note, and closes itself on OK or Cancel with the matching outcome.
#include "frame/DLLForm.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TfrmPluginTest : public TDLLForm {
    Q_OBJECT

public:
    explicit TfrmPluginTest(QWidget* Owner = nullptr);

    bool InitializeSession(const kv::Variant& Params) override;
    void RunRequest(const kv::Variant& Request) override;

private:
    void btnOkClick();
    void btnCancelClick();
    bool ApplyValuesByName(const kv::Variant& V);

    QLabel* lblSession;
    QLineEdit* edNote;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    QString FDbName;
    int FHostWindow = 0;
    kv::Variant FHostExtra;
    kv::Variant FLastRequest;
};
