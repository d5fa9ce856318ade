#pragma once
// Component properties by name, the way language files, schemes and run requests address them.
// A component's published properties are its Q_PROPERTYs; names match without regard to case, as the
// original's run-time type information did. A missing object or property is never an error: readers
// answer "", 0 or an empty method and writers do nothing (and return false).
//
// Event properties ("OnClick", "OnChange", ...) are named handlers kept on the object itself, in a
// table stored under the dynamic property "kvEventHandlers". SetObjectMethod assigns or (with an empty
// method) clears a handler; the component raises the event with CallObjectMethod, which does nothing
// for an unassigned event. A handler receives the component that raises it and the event's arguments,
// which it may change (a key handler clearing the key).
#include <QString>
#include <QVariantList>
#include <functional>

class QObject;
class QWidget;

using TObjectMethod = std::function<void(QObject* sender, QVariantList& args)>;

bool CheckPropertyExist(const QObject* object, const QString& propertyName);

QString GetStringProperty(const QObject* object, const QString& propertyName);
bool SetStringProperty(QObject* object, const QString& propertyName, const QString& value);

// Integers, enumerations (their value), booleans (1 or 0) and characters (their code).
int GetOrdinalProperty(const QObject* object, const QString& propertyName);
bool SetOrdinalProperty(QObject* object, const QString& propertyName, int value);

TObjectMethod GetObjectMethod(const QObject* object, const QString& eventName);
bool SetObjectMethod(QObject* object, const QString& eventName, TObjectMethod method);
// Raises an event: true when a handler was assigned and called.
bool CallObjectMethod(QObject* object, const QString& eventName, QVariantList& args);

// Sends a left-button press and release to the control, synchronously, as the click of a user:
// wParam carries the key state (MK_SHIFT 4, MK_CONTROL 8), lParam the position (x low word, y high word).
void SendClickMessage(QWidget* control, int wParam, int lParam);
