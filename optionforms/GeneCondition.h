#pragma once
// TfrmGeneCondition: the dialog that saves the option form's values as a condition scheme. It asks for
// the scheme name and, for each date option of the form, whether the date is kept as it is or moves
// with the day the job runs (so many weeks or months on, then plus or minus days, or the first or last
// day of that week or month).
#include <QPointer>
#include <QStringList>

#include "frame/KVForm.h"

class QCheckBox;
class QComboBox;
class QEventLoop;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TfrmBaseGene;

class TfrmGeneCondition : public TKVForm {
    Q_OBJECT

public:
    // The editors of one date: the variable flag and how the date moves.
    struct TDateSide {
        QCheckBox* chkVariable;
        QSpinBox* speCount;
        QComboBox* cboUnit;
        QComboBox* cboKind;
        QSpinBox* speDays;
    };

    // What the dialog answers: on Cancel every part is empty.
    struct TResult {
        QString Name;
        QString Settings; // one date-settings entry per line, lines ended by CR LF
        bool Replace = false;
    };

    explicit TfrmGeneCondition(TfrmBaseGene* form);
    ~TfrmGeneCondition() override;

    // One dialog at a time: a dialog still open from an earlier call is freed first.
    static TResult Execute(TfrmBaseGene* form);
    static TfrmGeneCondition* Current() { return FCurrent; }

    int ShowModal();
    int ModalResult() const { return FModalResult; }
    // The date settings of every date field, as the form keeps them.
    QStringList DateSettings() const { return FSettings; }
    // Names of the date fields in the order of cbodatecondition.
    QStringList DateFieldNames() const { return FNames; }
    bool Replace() const { return FReplace; }

    QLabel* lblConName;
    QLineEdit* edConName;
    QGroupBox* grpDate;
    QComboBox* cbodatecondition;
    QFrame* pnlSingle;
    QGroupBox* grpBegin;
    QGroupBox* grpEnd;
    QFrame* pnlRange;
    TDateSide Single, Begin, End;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void btnOKClick();
    void cbodateconditionChange(int index);
    // Writes the editors of the shown date field back into its settings entry.
    void StoreSettings();
    void LoadSide(const TDateSide& side, const QStringList& entry, int first);
    void StoreSide(const TDateSide& side, QStringList& entry, int first) const;
    TDateSide MakeSide(QWidget* parent, const QString& prefix);
    void Finish(int result);
    QString Text(const char* ident, const QString& fallback) const;

    TfrmBaseGene* FForm;
    QStringList FNames;
    QStringList FSettings;
    int FShown = -1;
    bool FLoading = false;
    bool FReplace = false;
    int FModalResult = 0;
    QEventLoop* FModalLoop = nullptr;
    static inline QPointer<TfrmGeneCondition> FCurrent;
};
