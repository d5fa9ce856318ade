#include <gtest/gtest.h>

#include "platform/ole/Dispatch.h"

using namespace kv;

namespace {

class Counter : public DispatchObject {
public:
    Counter() {
        addMember("Next", [this](VariantArgs& args) {
            // The first argument is passed by reference and receives the new value.
            ++FValue;
            if (!args.empty())
                args[0] = FValue;
            return Variant(FValue);
        });
        addMember("Value", [this](VariantArgs&) { return Variant(FValue); });
        addSetter("Value", [this](const Variant& v) { FValue = v.toInt(); });
    }

private:
    int FValue = 0;
};

}  // namespace

TEST(Dispatch, MembersAreLateBoundAndWriteBackByReference) {
    auto counter = std::make_shared<Counter>();
    VariantArgs args{Variant()};
    EXPECT_EQ(counter->invoke("NEXT", args).toInt(), 1);
    EXPECT_EQ(args[0].toInt(), 1);
    counter->setProperty("value", 41);
    EXPECT_EQ(counter->call("next").toInt(), 42);
    EXPECT_EQ(counter->property("Value").toInt(), 42);
    EXPECT_TRUE(counter->hasMember("vAlUe"));
    EXPECT_THROW(counter->call("Missing"), EOleError);
    EXPECT_THROW(counter->setProperty("Next", 1), EOleError);
}

TEST(Dispatch, RegistryCreatesByProgrammeIdentifier) {
    ObjectRegistry::registerClass("Test.Counter", [] { return std::make_shared<Counter>(); });
    const DispatchPtr a = CreateOleObject("test.counter");
    const DispatchPtr b = CreateOleObject("Test.Counter");
    a->call("Next");
    EXPECT_EQ(a->property("Value").toInt(), 1);
    EXPECT_EQ(b->property("Value").toInt(), 0);  // a new object each time
    ObjectRegistry::unregisterClass("Test.Counter");
    EXPECT_FALSE(ObjectRegistry::isRegistered("Test.Counter"));
    try {
        CreateOleObject("No.Such.Class");
        FAIL();
    } catch (const EOleError& e) {
        EXPECT_EQ(e.message(), "Invalid class string: No.Such.Class");
    }
    // A dispatch reference travels in a variant.
    const Variant v(a);
    EXPECT_EQ(v.toDispatch(), a);
    EXPECT_THROW(Variant(1).toDispatch(), EVariantError);
}
