#pragma once
// Late-bound automation objects: invoke a member by name with variant arguments. Arguments are passed
// by reference; a member that writes to an argument writes back to the caller's vector.
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ole/Variant.h"

namespace kv {

// Raised when an object lacks a member, a class is not registered, or a member fails.
class EOleError : public EKvError {
public:
    using EKvError::EKvError;
};

using VariantArgs = std::vector<Variant>;

class Dispatch : public std::enable_shared_from_this<Dispatch> {
public:
    virtual ~Dispatch() = default;
    // Calls a method or reads a property; names match without regard to case.
    virtual Variant invoke(const QString& name, VariantArgs& args) = 0;
    // Writes a property; by default invokes "name" with the value as last argument after "put".
    virtual void setProperty(const QString& name, const Variant& value);
    virtual bool hasMember(const QString& name) const = 0;

    // By-value convenience for calls whose arguments need not come back.
    Variant call(const QString& name, VariantArgs args = {}) { return invoke(name, args); }
    Variant property(const QString& name) { return call(name); }
};

// A dispatch object built from a table of members: each member is a function of the argument vector.
class DispatchObject : public Dispatch {
public:
    using Member = std::function<Variant(VariantArgs& args)>;
    using Setter = std::function<void(const Variant& value)>;

    Variant invoke(const QString& name, VariantArgs& args) override;
    void setProperty(const QString& name, const Variant& value) override;
    bool hasMember(const QString& name) const override;

protected:
    void addMember(const QString& name, Member member);
    void addSetter(const QString& name, Setter setter);

private:
    QHash<QString, Member> FMembers;  // keyed by lower-case name
    QHash<QString, Setter> FSetters;
};

// The stand-in for creating automation objects by programme identifier.
class ObjectRegistry {
public:
    using Factory = std::function<DispatchPtr()>;
    static void registerClass(const QString& progId, Factory factory);
    static void unregisterClass(const QString& progId);
    static bool isRegistered(const QString& progId);
    // Raises EOleError "Invalid class string" for an unknown identifier.
    static DispatchPtr create(const QString& progId);
};

inline DispatchPtr CreateOleObject(const QString& progId) { return ObjectRegistry::create(progId); }

}  // namespace kv
