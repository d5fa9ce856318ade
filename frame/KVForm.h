#pragma once
// TKVForm: the form every module form derives from. It carries the code converter and the language
// controller, converts its texts into the interface script once, reads its language packages when it is
// shown, gives single-picture buttons a disabled picture, and offers language texts and message boxes.
#include <QImage>
#include <QWidget>

#include "controls/KvMsgDlg.h"

class TCodeConverter;
class TKvLangController;

class TKVForm : public QWidget {
    Q_OBJECT
    // The names language files and run requests use for the form's own texts.
    Q_PROPERTY(QString Caption READ windowTitle WRITE setWindowTitle)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)

public:
    explicit TKVForm(QWidget* owner = nullptr);
    ~TKVForm() override;

    // Runs the creation steps once, after the most derived constructor has built every component; the
    // class references call it, and a form created with plain new gets it when it is first polished.
    void AfterConstruction();

    void ConvertOnce();
    bool Converted() const { return FConverted; }
    QString GetSystemCodePage() const;
    QString GetUICodePage() const;
    int GetUIChangeType() const;
    int GetDataChangeType() const;
    int KvMessageDlg(const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons);
    // The language text of a class and identifier; the fallback (converted for the interface when
    // convert is set) when no language package has it.
    void GetLangText(const QString& className, const QString& ident, QString& text, bool convert,
                     const QString& fallback) const;
    QString LangText(const QString& className, const QString& ident, const QString& fallback) const;

    // Reads the language packages of the target's class, and with ancestors those of its base classes
    // first, so that the most derived package wins.
    virtual void TranslateForm(QObject* target, bool withAncestors);
    // The same without the package of TKVForm itself.
    virtual void TranslateFormBelowBase(QObject* target, bool withAncestors);

    TCodeConverter* KvConverter;
    TKvLangController* LangController;
    bool TranslateOnShow = true;

protected:
    virtual void FormCreate();
    virtual void FormShow();
    // Key preview: the form sees every key of its controls first, with the control it was sent to; true
    // when the key was used.
    virtual bool FormKeyDown(QKeyEvent* key, QWidget* target) {
        Q_UNUSED(key);
        Q_UNUSED(target);
        return false;
    }

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

    bool FConverted = false;

private:
    void TranslateClasses(QObject* target, bool withAncestors, bool belowBase);
    bool FCreated = false;
};

// The disabled picture of a glyph: pixels darker than mid-grey, or lighter ones that touch the
// transparent colour, drawn in the highlight colour one pixel down and right and then in the shadow
// colour, on the button face.
QImage KvDisabledGlyph(const QImage& source, QRgb transparent, QRgb face, QRgb highlight, QRgb shadow);
// The glyph strip of two pictures: the source on the left, its disabled picture on the right, on the
// transparent colour.
QImage KvDoubleGlyph(const QImage& source, QRgb transparent, QRgb face, QRgb highlight, QRgb shadow);
// Gives a button whose picture is a single glyph its disabled picture; false when it has none or
// already has two.
bool KvPrepareGlyph(QWidget* widget);
