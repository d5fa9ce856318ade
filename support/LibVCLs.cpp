#include "support/LibVCLs.h"

#include <QCoreApplication>
#include <QHash>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QObject>
#include <QVariant>
#include <QWidget>
#include <memory>

namespace {

struct EventTable {
    QHash<QString, TObjectMethod> handlers; // keyed by lower-case event name
};
using EventTablePtr = std::shared_ptr<EventTable>;

} // namespace

Q_DECLARE_METATYPE(EventTablePtr)

namespace {

constexpr const char* kEventTableProperty = "kvEventHandlers";

QMetaProperty findProperty(const QObject* object, const QString& name) {
    if (!object || name.isEmpty()) return {};
    const QMetaObject* meta = object->metaObject();
    const int exact = meta->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0) return meta->property(exact);
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (name.compare(QLatin1String(p.name()), Qt::CaseInsensitive) == 0) return p;
    }
    return {};
}

bool isStringType(const QMetaProperty& p) {
    const int id = p.metaType().id();
    return id == QMetaType::QString || id == QMetaType::QByteArray;
}

bool isOrdinalType(const QMetaProperty& p) {
    if (p.isEnumType()) return true;
    switch (p.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Bool:
    case QMetaType::QChar:
        return true;
    default:
        return false;
    }
}

EventTablePtr eventTable(const QObject* object) {
    const QVariant v = object->property(kEventTableProperty);
    return v.canConvert<EventTablePtr>() ? v.value<EventTablePtr>() : nullptr;
}

} // namespace

bool CheckPropertyExist(const QObject* object, const QString& propertyName) {
    return findProperty(object, propertyName).isValid();
}

QString GetStringProperty(const QObject* object, const QString& propertyName) {
    const QMetaProperty p = findProperty(object, propertyName);
    if (!p.isValid() || !isStringType(p)) return {};
    return p.read(object).toString();
}

bool SetStringProperty(QObject* object, const QString& propertyName, const QString& value) {
    const QMetaProperty p = findProperty(object, propertyName);
    if (!p.isValid() || !p.isWritable() || !isStringType(p)) return false;
    return p.write(object,
                   p.metaType().id() == QMetaType::QByteArray ? QVariant(value.toUtf8()) : QVariant(value));
}

int GetOrdinalProperty(const QObject* object, const QString& propertyName) {
    const QMetaProperty p = findProperty(object, propertyName);
    if (!p.isValid() || !isOrdinalType(p)) return 0;
    const QVariant v = p.read(object);
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    case QMetaType::QChar:
        return v.toChar().unicode();
    default:
        return v.toInt();
    }
}

bool SetOrdinalProperty(QObject* object, const QString& propertyName, int value) {
    const QMetaProperty p = findProperty(object, propertyName);
    if (!p.isValid() || !p.isWritable() || !isOrdinalType(p)) return false;
    switch (p.metaType().id()) {
    case QMetaType::Bool:
        return p.write(object, QVariant(value != 0));
    case QMetaType::QChar:
        return p.write(object, QVariant(QChar(static_cast<char16_t>(value))));
    default:
        return p.write(object, QVariant(value));
    }
}

TObjectMethod GetObjectMethod(const QObject* object, const QString& eventName) {
    if (!object) return {};
    const EventTablePtr table = eventTable(object);
    return table ? table->handlers.value(eventName.toLower()) : TObjectMethod();
}

bool SetObjectMethod(QObject* object, const QString& eventName, TObjectMethod method) {
    if (!object || eventName.isEmpty()) return false;
    EventTablePtr table = eventTable(object);
    if (!table) {
        if (!method) return true;
        table = std::make_shared<EventTable>();
        object->setProperty(kEventTableProperty, QVariant::fromValue(table));
    }
    if (method)
        table->handlers.insert(eventName.toLower(), std::move(method));
    else
        table->handlers.remove(eventName.toLower());
    return true;
}

bool CallObjectMethod(QObject* object, const QString& eventName, QVariantList& args) {
    // A copy: the handler may replace or clear itself while it runs.
    const TObjectMethod method = GetObjectMethod(object, eventName);
    if (!method) return false;
    method(object, args);
    return true;
}

void SendClickMessage(QWidget* control, int wParam, int lParam) {
    if (!control) return;
    const QPointF pos(static_cast<int16_t>(lParam & 0xFFFF), static_cast<int16_t>((lParam >> 16) & 0xFFFF));
    Qt::KeyboardModifiers modifiers;
    if (wParam & 0x0004) modifiers |= Qt::ShiftModifier;
    if (wParam & 0x0008) modifiers |= Qt::ControlModifier;
    const QPointF global = control->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(control, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton, modifiers);
    QCoreApplication::sendEvent(control, &release);
}
