#pragma once
// TfrmBaseRpt: the report kind of option form, a batch form that can also run, design and publish a
// report. Its pages and report runs come later; here it fixes its header size and option layout.
#include "optionforms/BaseOpt.h"

class TfrmBaseRpt : public TfrmBaseOpt {
    Q_OBJECT

public:
    explicit TfrmBaseRpt(QWidget* Owner = nullptr);

    void ConfigureForm() override;

    // Kinds of output the report offers; 1 is the printed report.
    int FOutputKinds = 1;
};
