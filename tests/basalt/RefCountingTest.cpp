#include "support/OutputCapture.h"

#include <basalt/DebugOutput.h>
#include <basalt/Errors.h>
#include <basalt/RefCounting.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

using namespace norv::basalt;

namespace probes {

// Records its life in a log the test owns; optionally acts during preDestroy.
class Probe : public RefCountableBase {
public:
    explicit Probe(std::vector<std::string>* log = nullptr) : m_log(log) {}
    ~Probe() override { note("destroyed"); }

    void preDestroy() override {
        RefCountableBase::preDestroy();
        note("preDestroy state " + std::to_string(getLifeCycle()));
        if (onPreDestroy)
            onPreDestroy(this);
    }

    std::function<void(Probe*)> onPreDestroy;
    WeakRef<Probe> self;

private:
    void note(std::string const& event) {
        if (m_log)
            m_log->push_back(event);
    }
    std::vector<std::string>* m_log;
};

class Derived : public Probe {};
class Other : public Probe {};

} // namespace probes

using probes::Derived;
using probes::Other;
using probes::Probe;

TEST(RefCounting, LastStrongReferenceRunsPreDestroyThenDeletes) {
    std::vector<std::string> log;
    auto* raw = new Probe(&log);
    EXPECT_EQ(raw->getLifeCycle(), LC_CREATED);

    Ref<Probe> first(raw);
    RefCounter const* counter = raw->getRefCounter();
    EXPECT_EQ(raw->getLifeCycle(), LC_REFERENCED);
    {
        Ref<Probe> second = first;
        EXPECT_EQ(counter->getStrongCount(), 2);
    }
    EXPECT_EQ(counter->getStrongCount(), 1);
    EXPECT_TRUE(log.empty());

    // The releasing reference is already null when preDestroy runs.
    bool clearedFirst = false;
    raw->onPreDestroy = [&](Probe*) { clearedFirst = !first; };
    first.reset();
    EXPECT_TRUE(clearedFirst);
    EXPECT_EQ(log, (std::vector<std::string>{"preDestroy state 2", "destroyed"}));
}

TEST(RefCounting, ReferencingAnObjectBeingDestroyedOrNeverReferencedThrows) {
    std::vector<std::string> messages;
    std::vector<std::uint64_t> codes;
    auto record = [&](auto&& attempt) {
        try {
            attempt();
        } catch (internal_error const& e) {
            messages.push_back(e.what());
            codes.push_back(e.code());
        }
    };
    Ref<Probe> holder(new Probe);
    holder->onPreDestroy = [&](Probe* self) {
        record([&] { Ref<Probe> again(self); });
        record([&] { ConstRef<Probe> again(self); });
        record([&] { WeakRef<Probe> watch(self); });
    };
    holder.reset();
    // A weak reference also needs a target that was ever referenced.
    auto* const never = new Probe;
    record([&] { WeakRef<Probe> watch(never); });
    delete never;

    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(codes, (std::vector<std::uint64_t>{5001, 5001, 5001, 5001}));
    EXPECT_THAT(messages[0], testing::MatchesRegex("norv::basalt::Ref<probes::Probe>::setElement "
                                                   "\\(in .*RefCounting\\.h:[0-9]+\\) "
                                                   "invalid operation \\(5001\\)"));
    EXPECT_THAT(messages[1], testing::StartsWith("norv::basalt::ConstRef<probes::Probe>::"));
    EXPECT_THAT(messages[2], testing::StartsWith("norv::basalt::WeakRef<probes::Probe>::"));

    // The message buffer is bounded, however long the function name.
    std::string const longName(5000, 'x');
    EXPECT_EQ(formatErrorMessage(longName.c_str(), "f.cpp", 1, "invalid operation", 5001).size(),
              2047u);
    EXPECT_EQ(formatErrorMessage(nullptr, nullptr, 7, nullptr, 1), " (in :7)  (1)");
}

// The object is deleted even when preDestroy throws; where the exception
// cannot propagate it is reported.
TEST(RefCounting, PreDestroyExceptionsThatCannotPropagateAreReported) {
    support::CapturedOutput output;
    std::vector<std::u16string> const& reports = output.texts;
    auto throwing = [](std::vector<std::string>* log) {
        Ref<Probe> probe(new Probe(log));
        probe->onPreDestroy = [](Probe*) { throw std::runtime_error("subscriber failed"); };
        return probe;
    };
    std::vector<std::string> log;
    Ref<Probe> passed = throwing(&log);
    EXPECT_THROW(passed.reset(), std::runtime_error);
    EXPECT_FALSE(passed);
    EXPECT_EQ(log.back(), "destroyed");
    { Ref<Probe> const scoped = throwing(&log); }
    Ref<Probe> assigned = throwing(&log);
    assigned = nullptr;
    ConstRef<Probe> readOnly = throwing(&log);
    readOnly = ConstRef<Probe>();
    std::vector<Ref<Probe>> list{throwing(&log)};
    list.clear();
    EXPECT_EQ(std::count(log.begin(), log.end(), "destroyed"), 5);
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_NE(reports[0].find(u"preDestroy of probes::Probe threw"), std::u16string::npos);
    EXPECT_NE(reports[0].find(u"(subscriber failed)"), std::u16string::npos);

    // A describer names the object; reset(object) passes the exception on.
    ReleaseDescriber const before =
        setReleaseDescriber([](RefCountable const&) { return std::u16string(u"probe 7"); });
    Ref<Probe> replaced = throwing(&log);
    EXPECT_THROW(replaced.reset(new Probe), std::runtime_error);
    { Ref<Probe> const scoped = throwing(&log); }
    setReleaseDescriber(before);
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_NE(reports[4].find(u"preDestroy of probe 7 threw"), std::u16string::npos);
    EXPECT_EQ(std::count(log.begin(), log.end(), "destroyed"), 7);
}

TEST(WeakRefs, OutliveTheirTargetAndThenLockToNull) {
    std::vector<std::string> log;
    Ref<Probe> strong(new Probe(&log));
    WeakRef<Probe> watch(strong);
    WeakRef<Probe> copy = watch;
    EXPECT_EQ(strong->getRefCounter()->getWeakCount(), 2);
    EXPECT_EQ(copy.lock(), strong);
    EXPECT_EQ(strong->getRefCounter()->getStrongCount(), 1);

    bool lockedDuringDestruction = true;
    strong->onPreDestroy = [&](Probe*) { lockedDuringDestruction = bool(watch.lock()); };
    strong.reset();
    EXPECT_FALSE(lockedDuringDestruction);
    EXPECT_EQ(log.back(), "destroyed");
    EXPECT_FALSE(watch.lock());
    EXPECT_TRUE(copy.expired());

    // Copies of an expired reference are fine; the last one frees the counter (ASan checks).
    WeakRef<Probe> late = copy;
    watch.reset();
    copy = WeakRef<Probe>();
    EXPECT_FALSE(late.lock());
}

// A weak reference the object holds to itself dies with it; ASan checks the counter.
TEST(WeakRefs, WatchersGoneBeforeTheTargetLeaveNothingBehind) {
    Ref<Probe> strong(new Probe);
    strong->self = WeakRef<Probe>(strong);
    { WeakRef<Probe> brief(strong); }
    EXPECT_EQ(strong->getRefCounter()->getWeakCount(), 1);
}

TEST(RefCounting, ConversionsCastsAndComparisons) {
    Ref<Derived> derived(new Derived);
    Ref<Probe> base = derived;
    EXPECT_EQ(base, derived);
    EXPECT_EQ(base->getRefCounter()->getStrongCount(), 2);
    EXPECT_EQ(static_ref_cast<Derived>(base), derived);
    EXPECT_EQ(dynamic_ref_cast<Derived>(base), derived);
    EXPECT_EQ(dynamic_ref_cast<Other>(base), nullptr);

    ConstRef<Probe> readOnly = derived;
    EXPECT_EQ(readOnly, base);
    EXPECT_EQ(readOnly->getLifeCycle(), LC_REFERENCED);
    EXPECT_EQ(base->getRefCounter()->getStrongCount(), 3);

    Ref<Probe> moved = std::move(base);
    EXPECT_EQ(base, nullptr);
    EXPECT_EQ(moved->getRefCounter()->getStrongCount(), 3);

    Ref<Probe> other(new Other);
    EXPECT_EQ((std::set<Ref<Probe>>{moved, other, moved}.size()), 2u);
    EXPECT_EQ((std::unordered_set<Ref<Probe>>{moved, other, moved}.size()), 2u);
}

TEST(RefCountableBase, CopyingNeverCopiesTheCount) {
    Ref<Probe> original(new Probe);
    Probe copy(*original);
    EXPECT_NE(copy.getRefCounter(), original->getRefCounter());
    EXPECT_EQ(copy.getLifeCycle(), LC_CREATED);
    EXPECT_EQ(copy.getRefCounter()->getStrongCount(), 0);

    Probe source;
    *original = source;
    EXPECT_EQ(original->getRefCounter()->getStrongCount(), 1);
    EXPECT_EQ(original->getLifeCycle(), LC_REFERENCED);
}

namespace probes {

// A counted part made before the object's own counted base: the part lies in the object's
// block and is the first to look for its count record.
struct WithPart {
    Probe part;
};
class PartFirst : public WithPart, public Probe {
public:
    explicit PartFirst(Ref<Probe> argument = Ref<Probe>()) : argument(std::move(argument)) {}
    Ref<Probe> argument;
};

struct Refuses {
    Refuses() { throw std::runtime_error("refused"); }
};
class FailsEarly : public Refuses, public RefCountableBase {};
class FailsLate : public RefCountableBase, public Refuses {};

} // namespace probes

// An object made with `new` shares its block with a count record; the block must last
// while the record is watched and go exactly once in every other case (ASan checks).
TEST(RefCountableBase, EveryWayOfMakingAnObjectKeepsItsRecordSound) {
    WeakRef<Probe> watchPart;
    WeakRef<Probe> watchArgument;
    {
        // The argument is made after the object's block and before its constructor runs.
        Ref<probes::PartFirst> object(new probes::PartFirst(Ref<Probe>(new Probe)));
        EXPECT_NE(object->getRefCounter(), object->part.getRefCounter());
        EXPECT_NE(object->getRefCounter(), object->argument->getRefCounter());
        object->part.getRefCounter()->markReferenced();
        watchPart = WeakRef<Probe>(&object->part);
        watchArgument = WeakRef<Probe>(object->argument);
    }
    EXPECT_TRUE(watchPart.expired());
    EXPECT_TRUE(watchArgument.expired());
    watchPart.reset();
    watchArgument.reset();

    EXPECT_THROW(new probes::FailsEarly, std::runtime_error);
    EXPECT_THROW(new probes::FailsLate, std::runtime_error);
    Probe onStack;
    alignas(Probe) unsigned char buffer[sizeof(Probe)];
    Probe* const placed = new (buffer) Probe;
    Ref<Probe> const afterwards(new Probe);
    EXPECT_NE(placed->getRefCounter(), afterwards->getRefCounter());
    // Made without throwing, deleted as any other.
    Ref<Probe> const nothrow(new (std::nothrow) Probe);
    EXPECT_EQ(nothrow->getRefCounter()->getStrongCount(), 1);
    EXPECT_EQ(onStack.getRefCounter()->getStrongCount(), 0);
    placed->~Probe();
}
