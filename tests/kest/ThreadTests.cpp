#include "kest/Error.h"
#include "kest/MT19937.h"
#include "kest/Thread.h"
#include "kest/win32/Mutex.h"
#include "kest/win32/Thread.h"
#include "kest/win32/TimeManager.h"

#include <gtest/gtest.h>

namespace kest_test {

using namespace kest;
using namespace kest::win32;

// ------------------------------------------------------------------------------------ mutexes

class CCounter : public CObject, public IRunnable {
public:
    CCounter(P<IMutex> mutex, volatile long* shared, int rounds)
        : m_mutex(std::move(mutex)), m_shared(shared), m_rounds(rounds) {}
    void Run() override {
        for (int i = 0; i < m_rounds; ++i) {
            CMutexLock lock(m_mutex.Get());
            // A read-modify-write that only a held mutex keeps whole.
            long seen = *m_shared;
            ::SwitchToThread();
            *m_shared = seen + 1;
        }
    }

private:
    P<IMutex> m_mutex;
    volatile long* m_shared;
    int m_rounds;
};

TEST(Mutex, SerialisesThreadsAndIsReentrant) {
    P<IMutex> mutex = GetMutexFactory().CreateMutex();
    volatile long shared = 0;
    P<IThread> a = GetThreadManager()->CreateThread(New<CCounter>(mutex, &shared, 200).Get());
    P<IThread> b = GetThreadManager()->CreateThread(New<CCounter>(mutex, &shared, 200).Get());
    a->Join();
    b->Join();
    EXPECT_EQ(shared, 400);

    CMutexLock outer(mutex.Get());
    EXPECT_TRUE(mutex->TryLock());  // the owner may take it again
    mutex->Unlock();
}

class CFunctionRunnable : public CObject, public IRunnable {
public:
    explicit CFunctionRunnable(void (*f)(void*), void* arg) : m_f(f), m_arg(arg) {}
    void Run() override { m_f(m_arg); }

private:
    void (*m_f)(void*);
    void* m_arg;
};

P<IThread> RunOnThread(void (*f)(void*), void* arg) {
    return GetThreadManager()->CreateThread(New<CFunctionRunnable>(f, arg).Get());
}

TEST(GlobalMutex, ExcludesOtherHoldersAndSurvivesADeadOwner) {
    String name = String("Local\\kest_test_global_mutex_") + String::FromInt(int32_t(::GetCurrentProcessId()));
    P<IMutex> mine = GetMutexFactory().CreateGlobalMutex(name);
    mine->Lock();
    bool otherGotIt = true;
    struct Probe {
        String name;
        bool* got;
    } probe{name, &otherGotIt};
    RunOnThread([](void* p) {
        auto* probe = static_cast<Probe*>(p);
        P<IMutex> other = GetMutexFactory().CreateGlobalMutex(probe->name);
        *probe->got = other->TryLock();
        if (*probe->got) other->Unlock();
    }, &probe)->Join();
    EXPECT_FALSE(otherGotIt);
    mine->Unlock();

    // A thread that ends while holding it leaves it abandoned; the next Lock still succeeds.
    RunOnThread([](void* p) { GetMutexFactory().CreateGlobalMutex(*static_cast<String*>(p))->Lock(); },
                &name)->Join();
    mine->Lock();
    mine->Unlock();
}

// ------------------------------------------------------------------------------------ threads

uintptr_t FailingStart(unsigned code) {
    ::SetLastError(code);
    return 0;
}

TEST(Thread, StartFailureTexts) {
    struct Case {
        CThreadImpl::StartFunction start;
        const char* expected;
    } cases[] = {
        {[](void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*) { return FailingStart(0); },
         "Error creating thread."},
        {[](void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned, unsigned*) {
             return FailingStart(ERROR_NOT_ENOUGH_MEMORY);
         },
         "Error creating thread (Not enough memory"},
    };
    for (const Case& c : cases) {
        P<CFunctionRunnable> runnable = New<CFunctionRunnable>([](void*) {}, nullptr);
        long before = runnable->RefCount();
        try {
            New<CThreadImpl>(PFrail<IBase>(runnable.Get(), true), [](void*) {}, nullptr, c.start);
            ADD_FAILURE() << "no error for " << c.expected;
        } catch (const CError& e) {
            EXPECT_TRUE(e.GetDescription().StartsWith(String(c.expected))) << e.what();
        }
        EXPECT_EQ(runnable->RefCount(), before);  // the failed start kept no reference
    }
}

TEST(Thread, KeepsItsRunnableAndCannotJoinItself) {
    struct State {
        P<IThread> self;
        bool joinRaised = false;
        HANDLE go;
    };
    UniqueHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(go);
    State state;
    state.go = go.get();
    P<CFunctionRunnable> runnable = New<CFunctionRunnable>(
        [](void* p) {
            auto* s = static_cast<State*>(p);
            ::WaitForSingleObject(s->go, INFINITE);
            try {
                s->self->Join();
            } catch (const CInvalidObjectStateError&) {
                s->joinRaised = true;
            }
        },
        &state);
    state.self = GetThreadManager()->CreateThread(runnable.Get());
    EXPECT_EQ(runnable->RefCount(), 2);  // ours and the running thread's
    EXPECT_NE(state.self->GetId(), GetThreadManager()->GetCurrentThreadId());
    ::SetEvent(go.get());
    state.self->Join();
    EXPECT_TRUE(state.joinRaised);
    EXPECT_EQ(runnable->RefCount(), 1);
}

class CDeathFlag : public CObject {
public:
    explicit CDeathFlag(bool* dead) : m_dead(dead) {}
    ~CDeathFlag() override { *m_dead = true; }

private:
    bool* m_dead;
};

TEST(ThreadLocalStorage, ValuesArePerThreadAndClearedWhenALibraryThreadEnds) {
    struct State {
        P<IThreadLocalStorage> storage = CreateThreadLocalStorage();
        bool sawMainValue = true;
        bool dead = false;
        bool deadWhileRunning = true;
    } state;
    state.storage->SetValue(New<CObject>());
    RunOnThread([](void* p) {
        auto* s = static_cast<State*>(p);
        s->sawMainValue = !s->storage->GetValue().IsNull();
        s->storage->SetValue(New<CDeathFlag>(&s->dead));
        s->deadWhileRunning = s->dead;
    }, &state)->Join();
    EXPECT_FALSE(state.sawMainValue);
    EXPECT_FALSE(state.deadWhileRunning);
    EXPECT_TRUE(state.dead);
    EXPECT_FALSE(state.storage->GetValue().IsNull());
    state.storage->SetValue(nullptr);
    EXPECT_TRUE(state.storage->GetValue().IsNull());

    P<ISimpleThreadLocalStorage> raw = GetThreadLocalStorageFactory()->CreateStorage();
    int marker = 0;
    raw->SetValue(&marker);
    EXPECT_EQ(raw->GetValue(), &marker);
}

// --------------------------------------------------------------------------------------- time

TEST(TimeValue, FileTimeConversions) {
    EXPECT_EQ(FileTimeToTimeValue(0x014F373BFDE04000LL), 0);
    EXPECT_EQ(FileTimeToTimeValue(0x014F373BFDE04000LL + 10000000LL), 1000000);
    EXPECT_EQ(TimeValueToFileTime(1000000), 0x014F373BFDE04000LL + 10000000LL);
    EXPECT_EQ(FileTimeToTimeValue(0), -(0x014F373BFDE04000LL / 10));

    CTimeManager times;
    DateTime epoch = times.ToUTCDate(0);
    EXPECT_EQ(epoch.year, 1900);
    EXPECT_EQ(epoch.month, 1);
    EXPECT_EQ(epoch.day, 1);
    EXPECT_EQ(epoch.dayOfWeek, 1);  // a Monday
    DateTime later = times.ToUTCDate(1000000 + 250000);
    EXPECT_EQ(later.second, 1);
    EXPECT_EQ(later.millisecond, 250);

    DateTime date;
    date.year = 2010;
    date.month = 3;
    date.day = 28;
    date.hour = 1;
    date.minute = 2;
    date.second = 3;
    date.millisecond = 4;
    DateTime back = times.ToUTCDate(times.FromUTCDate(date));
    EXPECT_EQ(back.year, 2010);
    EXPECT_EQ(back.day, 28);
    EXPECT_EQ(back.millisecond, 4);
    EXPECT_EQ(back.dayOfWeek, 0);

    // Values the system cannot represent are refused, not wrapped.
    EXPECT_THROW(times.ToUTCDate(INT64_MAX), CInvalidArgError);
    EXPECT_THROW(times.ToUTCDate(INT64_MIN), CInvalidArgError);
    date.month = 13;
    EXPECT_THROW(times.FromUTCDate(date), CInvalidArgError);
}

TEST(TimeValue, LocalDateRoundTripAndOffsets) {
    CTimeManager times;
    TimeValue now = times.NowMicroseconds();
    now -= now % 1000;  // dates hold milliseconds
    DateTime local = times.ToLocalDate(now);
    EXPECT_EQ(local.zoneOffset, times.TimeZoneOffset());
    EXPECT_EQ(times.FromLocalDate(local), now);
    EXPECT_FALSE(times.FormatDate(now, false).IsEmpty());
    EXPECT_FALSE(times.FormatTime(now).IsEmpty());
}

// Daylight-saving rules: the n-th weekday of a month, 5 meaning the last.
TEST(TimeZoneRules, TransitionDates) {
    struct Case {
        WORD month, dayOfWeek, week, hour;
        int year;
        WORD expectMonth, expectDay, expectHour;
    } cases[] = {
        {3, 0, 5, 2, 2010, 3, 28, 2},    // last Sunday of March 2010
        {10, 0, 5, 3, 2010, 10, 31, 3},  // last Sunday of October 2010
        {3, 0, 2, 2, 2010, 3, 14, 2},    // second Sunday of March 2010
        {11, 0, 1, 2, 2010, 11, 7, 2},   // first Sunday of November 2010
        {2, 1, 5, 0, 2012, 2, 27, 0},    // last Monday of a leap February
        {3, 0, 5, 24, 2010, 3, 29, 0},   // "24:00" carries into the next day
    };
    for (const Case& c : cases) {
        SYSTEMTIME rule = {};
        rule.wMonth = c.month;
        rule.wDayOfWeek = c.dayOfWeek;
        rule.wDay = c.week;
        rule.wHour = c.hour;
        SYSTEMTIME at = RuleTransition(c.year, rule);
        EXPECT_EQ(at.wMonth, c.expectMonth);
        EXPECT_EQ(at.wDay, c.expectDay) << c.month << "/" << c.week;
        EXPECT_EQ(at.wHour, c.expectHour);
    }
}

TEST(TimeZoneRules, ConversionsAroundTheSwitch) {
    // Central Europe: UTC+1, UTC+2 from the last Sunday of March 02:00 to the last Sunday of
    // October 03:00.
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = -60;
    zone.DaylightBias = -60;
    zone.StandardDate.wMonth = 10;
    zone.StandardDate.wDay = 5;
    zone.StandardDate.wHour = 3;
    zone.DaylightDate.wMonth = 3;
    zone.DaylightDate.wDay = 5;
    zone.DaylightDate.wHour = 2;
    struct Case {
        WORD month, day, hour, minute;
        WORD localHour;
        bool daylight;
    } cases[] = {
        {3, 28, 0, 59, 1, false},  // 00:59 UTC is 01:59 standard time
        {3, 28, 1, 0, 3, true},    // 01:00 UTC: clocks jumped to 03:00
        {7, 1, 12, 0, 14, true},
        {10, 31, 0, 59, 2, true},
        {10, 31, 1, 0, 2, false},  // back to standard time: 02:00 again
        {12, 24, 18, 0, 19, false},
    };
    for (const Case& c : cases) {
        SYSTEMTIME utc = {};
        utc.wYear = 2010;
        utc.wMonth = c.month;
        utc.wDay = c.day;
        utc.wHour = c.hour;
        utc.wMinute = c.minute;
        bool daylight = !c.daylight;
        SYSTEMTIME local = CTimeManager::UTCToLocalByRules(zone, utc, daylight);
        EXPECT_EQ(local.wHour, c.localHour) << c.month << "/" << c.day << " " << c.hour;
        EXPECT_EQ(daylight, c.daylight) << c.month << "/" << c.day << " " << c.hour;
        if (c.month == 7 || c.month == 12) {
            SYSTEMTIME back = CTimeManager::LocalToUTCByRules(zone, local);
            EXPECT_EQ(back.wHour, c.hour);
        }
    }
}

// A tick counter and a clock that the test moves by hand.
DWORD g_tick = 0;
int64_t g_clock = 0;
DWORD TestTick() { return g_tick; }
int64_t TestClock() { return g_clock; }

TEST(TimeManager, NowNeverGoesBackwards) {
    g_tick = 0xFFFFF000u;  // close to the 49-day wrap of the tick counter
    g_clock = 0x01CAEB0000000000LL;
    CTimeManager times(&TestTick, &TestClock);
    int64_t first = times.NowMilliseconds();
    g_clock -= 3600LL * 10000000LL;  // the user sets the clock back an hour
    g_tick += 10;
    int64_t second = times.NowMilliseconds();
    EXPECT_EQ(second, first + 10);
    g_tick += 0x2000;  // the counter wraps
    int64_t third = times.NowMilliseconds();
    EXPECT_EQ(third, second + 0x2000);
    EXPECT_EQ(times.NowMicroseconds(), third * 1000);

    P<ITimeManager> real = GetTimeManager();
    int64_t previous = real->NowMilliseconds();
    for (int i = 0; i < 1000; ++i) {
        int64_t now = real->NowMilliseconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

// --------------------------------------------------------------------------------- random numbers

TEST(MersenneTwister, ReferenceOutputs) {
    CMersenneTwisterRandomNumberGenerator seeded(5489u);
    EXPECT_EQ(seeded.Next(), 3499211612u);
    CMersenneTwisterRandomNumberGenerator unseeded;
    EXPECT_EQ(unseeded.Next(), 3499211612u);
    // The 10000th output of the reference seed, a check value widely published for MT19937.
    CMersenneTwisterRandomNumberGenerator again(5489u);
    uint32_t value = 0;
    for (int i = 0; i < 10000; ++i) value = again.Next();
    EXPECT_EQ(value, 4123659995u);

    P<IRandomNumberGenerator> shared = GetRandomNumberGenerator();
    EXPECT_NE(shared->Next(), shared->Next());
}

}  // namespace kest_test
