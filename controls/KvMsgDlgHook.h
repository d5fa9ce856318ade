#pragma once
// A process-wide answerer of the standard message boxes, for scripted runs: it sees every box
// KvMessageDlg would show and returns the modal result to answer with, or nothing to let the box show.
#include <QString>
#include <functional>
#include <optional>

#include "controls/KvMsgDlg.h"

using TMessageDlgHook =
    std::function<std::optional<int>(const QString& message, TMsgDlgType type, TMsgDlgButtons buttons)>;
// Installs the answerer; null removes it.
void SetMessageDlgHook(TMessageDlgHook hook);
