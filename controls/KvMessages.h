#pragma once
// Window messages of the suite as posted Qt events. Forms catch them in event().
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace kv {

// Event type of a window message number; stays well inside Qt's user range.
constexpr QEvent::Type messageEventType(int message) {
    return static_cast<QEvent::Type>(QEvent::User + message);
}

// The lookup request (message 1034): posted to the owner form of an edit whose lookup button was
// pressed; the form opens the lookup window for that edit.
constexpr int WM_KVLOOKUP = 1034;
constexpr QEvent::Type LookupRequestEvent = messageEventType(WM_KVLOOKUP);

class TLookupRequestEvent : public QEvent {
public:
    explicit TLookupRequestEvent(QWidget* edit) : QEvent(LookupRequestEvent), FEdit(edit) {}
    QWidget* edit() const { return FEdit; }

private:
    QPointer<QWidget> FEdit;
};

// Posts the lookup request for the edit to the form that holds it.
void postLookupRequest(QWidget* edit);

} // namespace kv
