#include "optionforms/BaseRpt.h"

TfrmBaseRpt::TfrmBaseRpt(QWidget* Owner) : TfrmBaseOpt(Owner) {
    setObjectName("frmBaseRpt");
}

void TfrmBaseRpt::ConfigureForm() {
    TfrmBaseOpt::ConfigureForm();
    FHeaderSize = 14;
    FFormType = "R";
    FSystemOptionCount = 4;
    SetOptionCount(0);
    FOutputKinds = 1;
}
