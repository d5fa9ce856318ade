#pragma once
// A small report-kind main form that stands in until the module's own main form exists: it shows the
// session the host opened on its first page, takes a note, and closes itself on OK or Cancel with the
// matching outcome.
#include "optionforms/BaseRpt.h"

class QLabel;

class TfrmPluginTest : public TfrmBaseRpt {
    Q_OBJECT

public:
    explicit TfrmPluginTest(QWidget* Owner = nullptr);

    bool InitializeSession(const kv::Variant& Params) override;

protected:
    void btnOkClick() override;
    void btnCancelClick() override;

private:
    QLabel* lblSession;
    QLineEdit* edNote;
};
