#include "platform/ole/Dispatch.h"

#include <QMutex>
#include <QMutexLocker>
#include <dlfcn.h>

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

}  // namespace

// One registry per process, as the platform's class registration is machine-wide: the host program
// exports this accessor, and a plug-in (which carries its own hidden copy of this unit) finds the host's
// through the global symbol scope. Without a host, each image uses its own.
extern "C" __attribute__((visibility("default"))) void* tarnix_ole_registry() {
    static Registry r;
    return &r;
}

namespace {

Registry& registry() {
    static Registry* const shared = [] {
        using Accessor = void* (*)();
        auto global = reinterpret_cast<Accessor>(dlsym(RTLD_DEFAULT, "tarnix_ole_registry"));
        return static_cast<Registry*>(global ? global() : tarnix_ole_registry());
    }();
    return *shared;
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
