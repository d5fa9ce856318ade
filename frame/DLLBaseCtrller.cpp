#include "frame/DLLBaseCtrller.h"

TDLLBaseController::~TDLLBaseController() = default;

void TDLLBaseController::DoFormCreated() {
    Notify(dnFormCreated);
}

void TDLLBaseController::DoFormShow(QObject* Sender) {
    Q_UNUSED(Sender);
    Notify(dnFormShow);
}

void TDLLBaseController::DoFormHide(QObject* Sender) {
    Q_UNUSED(Sender);
    Notify(dnFormHide);
}

void TDLLBaseController::DoFormDestroy(QObject* Sender) {
    Q_UNUSED(Sender);
    Notify(dnFormDestroy);
}

void TDLLBaseController::DoCustomNotify() {
    Notify(dnCustomNotify);
}

void TDLLBaseController::Notify(int32_t Code) {
    if (OnNotify) OnNotify(Code, this);
}

void TDLLBaseController::Reserved() {}
