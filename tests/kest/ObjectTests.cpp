#include "kest/Containers.h"
#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/String.h"
#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <process.h>
#include <windows.h>

#include <vector>

namespace kest_test {

using namespace kest;

class IShape : public virtual IBase {
public:
    virtual int Corners() const = 0;
};
class IColour : public virtual IBase {
public:
    virtual int Rgb() const = 0;
};

class CSquare : public CObject, public IShape {
public:
    int Corners() const override { return 4; }
};

class CRed : public CObject, public IColour {
public:
    int Rgb() const override { return 0xFF0000; }
};

// Answers casts through another object.
class CForwarder : public CObject {
public:
    explicit CForwarder(IBase* target) : m_target(target) {}
    bool GetCastInfo(const std::type_info&, IBase*& delegate, CastCandidates& more) const override {
        delegate = m_target.Get();
        more = CastCandidates();
        return true;
    }

private:
    P<IBase> m_target;
};

// Implements nothing itself but names candidates.
class CComposite : public CObject {
public:
    CComposite() : m_shape(New<CSquare>()), m_colour(New<CRed>()) {
        m_items[0] = static_cast<IShape*>(m_shape.Get());
        m_items[1] = static_cast<IColour*>(m_colour.Get());
    }
    bool GetCastInfo(const std::type_info&, IBase*& delegate, CastCandidates& more) const override {
        delegate = nullptr;
        more.items = m_items;
        more.count = 2;
        return true;
    }

private:
    P<CSquare> m_shape;
    P<CRed> m_colour;
    IBase* m_items[2];
};

// Refuses every cast.
class CHermit : public CObject, public IShape {
public:
    int Corners() const override { return 0; }
    bool GetCastInfo(const std::type_info&, IBase*&, CastCandidates&) const override { return false; }
};

// Points its delegate at itself.
class CLoop : public CObject {
public:
    bool GetCastInfo(const std::type_info&, IBase*& delegate, CastCandidates&) const override {
        delegate = const_cast<CLoop*>(this);
        return true;
    }
};

int g_destroyed = 0;

void TakesReference(P<IBase> object) { (void)object; }

// Its destructor hands itself to a function that takes and drops a reference.
class CSelfReferencing : public CObject {
public:
    ~CSelfReferencing() override {
        TakesReference(P<IBase>(static_cast<IBase*>(this)));
        ++g_destroyed;
    }
};

class CCounted : public CObject {
public:
    explicit CCounted(int* deaths) : m_deaths(deaths) {}
    ~CCounted() override { ++*m_deaths; }

private:
    int* m_deaths;
};

TEST(References, NewObjectIsAdoptedWithoutAnotherReference) {
    P<CSquare> square = New<CSquare>();
    EXPECT_EQ(square->RefCount(), 1);
    {
        P<IShape> shape = square;
        PC<CSquare> constant = square;
        EXPECT_EQ(square->RefCount(), 3);
    }
    EXPECT_EQ(square->RefCount(), 1);
}

TEST(References, LastReleaseDestroysOnceEvenWhenTheDestructorReferencesItself) {
    g_destroyed = 0;
    {
        P<CSelfReferencing> object = New<CSelfReferencing>();
    }
    EXPECT_EQ(g_destroyed, 1);
}

TEST(References, FrailPointersHoldAReferenceOnlyWhenStrong) {
    int deaths = 0;
    P<CCounted> owner = New<CCounted>(&deaths);
    {
        PFrail<CCounted> weak(owner.Get(), false);
        PFrail<CCounted> copy = weak;
        EXPECT_FALSE(copy.IsStrong());
        EXPECT_EQ(owner->RefCount(), 1);
        PFrail<CCounted> strong(owner.Get(), true);
        EXPECT_EQ(owner->RefCount(), 2);
        strong = weak;  // drops the strong reference, keeps observing
        EXPECT_EQ(owner->RefCount(), 1);
        EXPECT_EQ(strong.Get(), owner.Get());
    }
    PFrail<CCounted> none;
    EXPECT_TRUE(none.IsNull());
    EXPECT_TRUE(none.IsStrong());
    owner.Reset();
    EXPECT_EQ(deaths, 1);
}

TEST(Objects, ToStringNamesTheClass) {
    P<CSquare> square = New<CSquare>();
    String text;
    square->ToString(text);
    EXPECT_TRUE(text.EndsWith("CSquare object")) << static_cast<const char*>(text.ConvertTo(Latin1Encoding()).Data());
    EXPECT_TRUE(text.Equals(TypeName(typeid(CSquare)) + " object"));
}

TEST(Casts, RulesForNullDirectDelegatesCandidatesAndRefusal) {
    P<CSquare> square = New<CSquare>();
    EXPECT_EQ(Cast<IShape>(static_cast<IBase*>(nullptr)), nullptr);
    EXPECT_EQ(CastRequired<IShape>(static_cast<IBase*>(nullptr)), nullptr);
    EXPECT_EQ(Cast<IShape>(static_cast<IBase*>(square.Get()))->Corners(), 4);
    EXPECT_EQ(Cast<IColour>(static_cast<IBase*>(square.Get())), nullptr);

    P<CForwarder> forwarder = New<CForwarder>(static_cast<IShape*>(square.Get()));
    EXPECT_EQ(Cast<IShape>(static_cast<IBase*>(forwarder.Get())), square.Get());

    P<CComposite> composite = New<CComposite>();
    IBase* asBase = composite.Get();
    ASSERT_NE(Cast<IShape>(asBase), nullptr);
    EXPECT_EQ(Cast<IShape>(asBase)->Corners(), 4);
    EXPECT_EQ(Cast<IColour>(asBase)->Rgb(), 0xFF0000);

    P<CHermit> hermit = New<CHermit>();
    EXPECT_EQ(Cast<IShape>(static_cast<IBase*>(hermit.Get())), nullptr);

    P<CLoop> loop = New<CLoop>();
    EXPECT_EQ(Cast<IShape>(static_cast<IBase*>(loop.Get())), nullptr);
}

TEST(Casts, RequiredCastOfAWrongObjectRaisesCastError) {
    P<CSquare> square = New<CSquare>();
    try {
        CastRequired<IColour>(static_cast<IBase*>(square.Get()));
        FAIL() << "no error";
    } catch (const CCastError& e) {
        EXPECT_TRUE(e.GetTitle().Equals("Cast error"));
        EXPECT_TRUE(e.GetDescription().Equals(String("Error casting a '") + TypeName(typeid(CSquare)) +
                                              "' object to '" + TypeName(typeid(IColour)) + "'."));
    }
}

TEST(SimpleArray, GrowthRule) {
    struct Case {
        int32_t growBy;
        int32_t reserve;
        int32_t capacityAfterFirstAdd;
        int32_t capacityAfterReserve;
    } cases[] = {
        {0, 0, 10, 10},     // 0 means 10
        {-3, 15, 10, 20},   // capacity + growBy when that is more
        {0, 35, 10, 35},    // more than capacity + growBy: exactly that many
        {4, 6, 4, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.growBy);
        TSimpleArray<P<CSquare>> array(c.growBy);
        array.Add(New<CSquare>());
        EXPECT_EQ(array.Capacity(), c.capacityAfterFirstAdd);
        array.Reserve(c.reserve);
        EXPECT_EQ(array.Capacity(), c.capacityAfterReserve);
    }
}

TEST(SimpleArray, ElementMovesKeepCountsExact) {
    int deaths = 0;
    P<CCounted> a = New<CCounted>(&deaths), b = New<CCounted>(&deaths), c = New<CCounted>(&deaths);
    {
        TSimpleArray<P<CCounted>> array(1);
        array.Add(a);
        array.Add(c);
        array.Insert(1, b);  // a b c, after two growths
        ASSERT_EQ(array.Count(), 3);
        EXPECT_EQ(array.Get(1), b);
        EXPECT_EQ(a->RefCount(), 2);
        EXPECT_EQ(b->RefCount(), 2);
        array.Remove(0);
        EXPECT_EQ(a->RefCount(), 1);
        EXPECT_EQ(array.Get(0), b);
        array.Set(0, c);
        EXPECT_EQ(b->RefCount(), 1);
        EXPECT_EQ(c->RefCount(), 3);
        EXPECT_THROW(array.Get(2), CInvalidArgError);
        EXPECT_THROW(array.Insert(5, a), CInvalidArgError);
    }
    EXPECT_EQ(c->RefCount(), 1);
    EXPECT_EQ(deaths, 0);
}

TEST(SimpleArray, CleaningArrayReleasesItsElementsWhenItDies) {
    int deaths = 0;
    {
        P<TCleaningSimpleArray<P<CCounted>>> array = New<TCleaningSimpleArray<P<CCounted>>>();
        array->Add(New<CCounted>(&deaths));
        array->Add(New<CCounted>(&deaths));
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 2);
}

TEST(SimpleArray, FrailArrayObservesListeners) {
    P<CSquare> listener = New<CSquare>();
    TFrailArray<CSquare> listeners;
    listeners.Add(listener.Get());
    EXPECT_EQ(listener->RefCount(), 1);
    EXPECT_TRUE(listeners.Contains(listener.Get()));
    EXPECT_TRUE(listeners.Remove(listener.Get()));
    EXPECT_FALSE(listeners.Remove(listener.Get()));
}

TEST(HashTable, StringTableRehashesTo20BucketsAtTheEighthInsertion) {
    TSimpleHashTable<String, int> table(0, 0.8, 2.0);
    EXPECT_EQ(table.BucketCount(), 0);
    const char* keys[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
    for (int i = 0; i < 9; ++i) {
        table.Set(String(keys[i]), i);
        EXPECT_EQ(table.BucketCount(), i < 7 ? 10 : 20) << "after insertion " << i + 1;
    }
    table.Set(String("a"), 100);  // replacing does not insert
    EXPECT_EQ(table.Count(), 9);
    EXPECT_EQ(*table.Get(String(L"a")), 100);
    EXPECT_EQ(*table.Get(String("i")), 8);
    EXPECT_EQ(table.Get(String("A")), nullptr);
    EXPECT_TRUE(table.Remove(String("c")));
    EXPECT_FALSE(table.Remove(String("c")));
    int sum = 0, entries = 0;
    table.ForEach([&](const String&, int v) {
        sum += v;
        ++entries;
    });
    EXPECT_EQ(entries, 8);
    EXPECT_EQ(sum, 100 + 1 + 3 + 4 + 5 + 6 + 7 + 8);
}

TEST(HashTable, ManyEqualHashesStayFindableAndClearWithoutRecursion) {
    // Keys that all hash alike put every entry into one chain.
    struct Key {
        int id;
        int32_t HashCode() const { return 7; }
        bool operator==(const Key& o) const { return id == o.id; }
    };
    TSimpleHashTable<Key, int> table;
    for (int i = 0; i < 50000; ++i) table.Set(Key{i}, i);
    EXPECT_EQ(*table.Get(Key{49999}), 49999);
    EXPECT_EQ(*table.Get(Key{0}), 0);
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
}

// ---- service slots

class IService : public virtual IBase {};
class CService : public CObject, public IService {};

volatile LONG g_factoryRuns = 0;

P<IService> SlowFactory() {
    ::InterlockedIncrement(&g_factoryRuns);
    ::Sleep(100);  // widens the window in which the other thread arrives
    return New<CService>();
}

P<IService>& TestSlot() {
    static TServiceSlot<IService> slot;
    return slot.Get(&SlowFactory);
}

struct SlotVisit {
    HANDLE start;
    IService* seen;
};

unsigned __stdcall VisitSlot(void* arg) {
    auto* visit = static_cast<SlotVisit*>(arg);
    if (::WaitForSingleObject(visit->start, 10000) != WAIT_OBJECT_0) return 1;
    visit->seen = TestSlot().Get();
    return 0;
}

TEST(ServiceSlots, TwoThreadsReachingANewSlotGetOneObjectFromOneFactoryRun) {
    win32::UniqueHandle start(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(start);
    SlotVisit visits[2] = {{start.get(), nullptr}, {start.get(), nullptr}};
    win32::UniqueHandle threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i].reset(reinterpret_cast<HANDLE>(
            ::_beginthreadex(nullptr, 0, &VisitSlot, &visits[i], 0, nullptr)));
        ASSERT_TRUE(threads[i]);
    }
    ASSERT_TRUE(::SetEvent(start.get()));
    HANDLE both[2] = {threads[0].get(), threads[1].get()};
    ASSERT_EQ(::WaitForMultipleObjects(2, both, TRUE, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(g_factoryRuns, 1);
    ASSERT_NE(visits[0].seen, nullptr);
    EXPECT_EQ(visits[0].seen, visits[1].seen);
    EXPECT_EQ(TestSlot().Get(), visits[0].seen);
}

int g_failingRuns = 0;
P<IService> FailsOnce() {
    if (++g_failingRuns == 1) throw CError(String("not yet"));
    return New<CService>();
}

TEST(ServiceSlots, AFactoryThatRaisesLeavesTheSlotToBeFilledLater) {
    static TServiceSlot<IService> slot;
    EXPECT_THROW(slot.Get(&FailsOnce), CError);
    EXPECT_NE(slot.Get(&FailsOnce).Get(), nullptr);
    EXPECT_EQ(g_failingRuns, 2);
}

TServiceSlot<IService> g_selfAskingSlot;
int g_selfAskingRuns = 0;

P<IService> AsksForItsOwnSlot() {
    ++g_selfAskingRuns;
    g_selfAskingSlot.Get(&AsksForItsOwnSlot);  // would wait for itself for ever
    return New<CService>();
}

P<IService> MakeService() { return New<CService>(); }

TEST(ServiceSlots, AFactoryThatAsksForItsOwnSlotRaisesInsteadOfWaitingForItself) {
    EXPECT_THROW(g_selfAskingSlot.Get(&AsksForItsOwnSlot), CInvalidObjectStateError);
    EXPECT_EQ(g_selfAskingRuns, 1);
    EXPECT_FALSE(g_selfAskingSlot.IsReady());
    // The slot is left empty, to be filled by the next request.
    EXPECT_NE(g_selfAskingSlot.Get(&MakeService).Get(), nullptr);
    EXPECT_TRUE(g_selfAskingSlot.IsReady());
}

}  // namespace kest_test
