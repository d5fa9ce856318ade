#include "platform/ole/Dispatch.h"

#include <QMutex>
#include <QMutexLocker>

namespace kv {

void Dispatch::setProperty(const QString& name, const Variant& value) {
    VariantArgs args{value};
    invoke(name, args);
}

Variant DispatchObject::invoke(const QString& name, VariantArgs& args) {
    const auto it = FMembers.constFind(name.toLower());
    if (it == FMembers.constEnd())
        throw EOleError(QString("Unknown name: %1").arg(name));
    return it.value()(args);
}

void DispatchObject::setProperty(const QString& name, const Variant& value) {
    const auto it = FSetters.constFind(name.toLower());
    if (it == FSetters.constEnd())
        throw EOleError(QString("Unknown name: %1").arg(name));
    it.value()(value);
}

bool DispatchObject::hasMember(const QString& name) const {
    const QString key = name.toLower();
    return FMembers.contains(key) || FSetters.contains(key);
}

void DispatchObject::addMember(const QString& name, Member member) { FMembers.insert(name.toLower(), std::move(member)); }

void DispatchObject::addSetter(const QString& name, Setter setter) { FSetters.insert(name.toLower(), std::move(setter)); }

namespace {

struct Registry {
    QMutex lock;
    QHash<QString, ObjectRegistry::Factory> factories;  // keyed by lower-case programme identifier
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

void ObjectRegistry::registerClass(const QString& progId, Factory factory) {
    QMutexLocker guard(&registry().lock);
    registry().factories.insert(progId.toLower(), std::move(factory));
}

void ObjectRegistry::unregisterClass(const QString& progId) {
    QMutexLocker guard(&registry().lock);
    registry().factories.remove(progId.toLower());
}

bool ObjectRegistry::isRegistered(const QString& progId) {
    QMutexLocker guard(&registry().lock);
    return registry().factories.contains(progId.toLower());
}

DispatchPtr ObjectRegistry::create(const QString& progId) {
    Factory factory;
    {
        QMutexLocker guard(&registry().lock);
        const auto it = registry().factories.constFind(progId.toLower());
        if (it == registry().factories.constEnd())
            throw EOleError(QString("Invalid class string: %1").arg(progId));
        factory = it.value();
    }
    DispatchPtr object = factory();
    if (!object)
        throw EOleError(QString("Class %1 could not create an object").arg(progId));
    return object;
}

}  // namespace kv
