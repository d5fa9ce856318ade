#pragma once
// Standard message boxes: dialog types, button sets and modal results with the platform's values.
#include <QString>
#include <functional>

class QFont;
class QWidget;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = unsigned;

enum TModalResult {
    mrNone = 0,
    mrOk,
    mrCancel,
    mrAbort,
    mrRetry,
    mrIgnore,
    mrYes,
    mrNo,
    mrAll,
    mrNoToAll,
    mrYesToAll
};

// The caption of a button of a message box; an empty text keeps the platform's.
using TMsgDlgButtonCaption = std::function<QString(TMsgDlgBtn button)>;

// Shows a modal message box and returns its modal result. caption empty: the application's name;
// font null: the default font.
int KvMessageDlg(const QString& message, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent = nullptr,
                 const QString& caption = {}, const QFont* font = nullptr,
                 const TMsgDlgButtonCaption& buttonCaption = {});
