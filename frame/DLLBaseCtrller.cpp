#include "frame/DLLBaseCtrller.h"

TDLLBaseController::~TDLLBaseController() = default;

void TDLLBaseController::DoFormCreated() {
    Notify(dnFormCreated);
}

void TDLLBaseController::DoFormShow(QObject* sender) {
    Q_UNUSED(sender);
    Notify(dnFormShow);
}

void TDLLBaseController::DoFormHide(QObject* sender) {
    Q_UNUSED(sender);
    Notify(dnFormHide);
}

void TDLLBaseController::DoFormDestroy(QObject* sender) {
    Q_UNUSED(sender);
    Notify(dnFormDestroy);
}

void TDLLBaseController::DoCustomNotify() {
    Notify(dnCustomNotify);
}

void TDLLBaseController::Notify(int32_t code) {
    if (OnNotify) OnNotify(code, this);
}

void TDLLBaseController::Reserved() {}
