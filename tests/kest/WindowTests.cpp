#include "MessagePump.h"

#include "kest/Error.h"
#include "kest/Thread.h"
#include "kest/win32/MessageWindow.h"
#include "kest/win32/WorkerManager.h"

#include <gtest/gtest.h>

#include <string>

namespace kest_test {

using namespace kest;
using namespace kest::win32;

// ------------------------------------------------------------------------------ message window

class CRecordingListener : public CObject, public IMessageListener {
public:
    CRecordingListener(char name, std::string* log, bool answers) : m_name(name), m_log(log), m_answers(answers) {}
    bool OnMessage(CMessageWindow*, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message != WM_APP + 1) return false;
        *m_log += m_name;
        result = LRESULT(wParam + lParam);
        return m_answers;
    }

private:
    char m_name;
    std::string* m_log;
    bool m_answers;
};

TEST(MessageWindow, ListenersSeeMessagesLastAddedFirstUntilOneAnswers) {
    std::string log;
    P<CMessageWindow> window = New<CMessageWindow>();
    P<CRecordingListener> a = New<CRecordingListener>('a', &log, true);
    P<CRecordingListener> b = New<CRecordingListener>('b', &log, false);
    window->AddListener(a.Get());
    window->AddListener(b.Get());
    EXPECT_EQ(::SendMessageW(window->GetWindow(), WM_APP + 1, 40, 2), 42);
    EXPECT_EQ(log, "ba");

    // Posted messages arrive through the thread's message loop.
    log.clear();
    ASSERT_TRUE(::PostMessageW(window->GetWindow(), WM_APP + 1, 0, 0));
    EXPECT_TRUE(PumpUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log, "ba");
    window->RemoveListener(a.Get());
    window->RemoveListener(b.Get());

    // The window goes with its object.
    HWND handle = window->GetWindow();
    window = nullptr;
    EXPECT_FALSE(::IsWindow(handle));
}

// -------------------------------------------------------------------------------- window timer

class CTickLog : public CObject, public ITimerListener {
public:
    CTickLog(char name, std::string* log, bool removeSelf = false) : m_name(name), m_log(log), m_removeSelf(removeSelf) {}
    void OnTimer(CWindowTimer* timer) override {
        *m_log += m_name;
        ++ticks;
        if (m_removeSelf) timer->RemoveListener(this);
    }
    int ticks = 0;

private:
    char m_name;
    std::string* m_log;
    bool m_removeSelf;
};

TEST(WindowTimer, IntervalMustBePositive) {
    P<CWindowTimer> timer = New<CWindowTimer>(50);
    for (int32_t bad : {0, -5}) {
        try {
            timer->SetInterval(bad);
            ADD_FAILURE() << bad;
        } catch (const CInvalidArgError& e) {
            EXPECT_EQ(e.GetArgument(), String("window timer intervals have to be >=0"));
        }
    }
    EXPECT_EQ(timer->GetInterval(), 50);
    timer->SetInterval(1);
    EXPECT_EQ(timer->GetInterval(), 1);
    EXPECT_THROW(New<CWindowTimer>(0), CInvalidArgError);
}

TEST(WindowTimer, NotifiesLastToFirstAndSurvivesASelfRemovingListener) {
    std::string log;
    P<CWindowTimer> timer = New<CWindowTimer>(10);
    P<CTickLog> a = New<CTickLog>('a', &log);
    P<CTickLog> b = New<CTickLog>('b', &log, true);
    P<CTickLog> c = New<CTickLog>('c', &log);
    timer->AddListener(a.Get());
    timer->AddListener(b.Get());
    timer->AddListener(c.Get());
    timer->Start();
    EXPECT_TRUE(timer->IsRunning());
    ASSERT_TRUE(PumpUntil([&] { return a->ticks >= 2; }));
    timer->Stop();
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_EQ(log.substr(0, 5), "cbaca");
    EXPECT_EQ(b->ticks, 1);

    // Stopped means silent, also for a message that was already on its way.
    int before = a->ticks;
    ::PostMessageW(timer->GetWindow(), WM_TIMER, CWindowTimer::kTimerId, 0);
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(a->ticks, before);
    timer->RemoveListener(a.Get());
    timer->RemoveListener(c.Get());
}

TEST(WindowTimer, RestartsWithANewIntervalAndDrainsPendingTicks) {
    std::string log;
    P<CWindowTimer> timer = New<CWindowTimer>(100000);
    P<CTickLog> a = New<CTickLog>('a', &log);
    timer->AddListener(a.Get());
    timer->Start();
    // Ticks already queued count once, not once each.
    ::PostMessageW(timer->GetWindow(), WM_TIMER, CWindowTimer::kTimerId, 0);
    ::PostMessageW(timer->GetWindow(), WM_TIMER, CWindowTimer::kTimerId, 0);
    ::PostMessageW(timer->GetWindow(), WM_TIMER, CWindowTimer::kTimerId, 0);
    ASSERT_TRUE(PumpUntil([&] { return a->ticks >= 1; }));
    PumpUntil([] { return false; }, 30);
    EXPECT_EQ(a->ticks, 1);
    timer->SetInterval(5);  // running: restarts at once with the short interval
    EXPECT_TRUE(PumpUntil([&] { return a->ticks >= 3; }));
    timer->RemoveListener(a.Get());
}

// ------------------------------------------------------------------------------ worker manager

class CLogWorker : public CObject, public IWorker {
public:
    CLogWorker(char name, std::string* log, IWorkerManager* removeFrom = nullptr)
        : m_name(name), m_log(log), m_removeFrom(removeFrom) {}
    void Work() override {
        *m_log += m_name;
        if (m_removeFrom) m_removeFrom->RemoveWorker(this);
    }

private:
    char m_name;
    std::string* m_log;
    IWorkerManager* m_removeFrom;
};

TEST(WorkerManager, RunsLastToFirstAndNests) {
    std::string log;
    P<CWorkerManager> outer = New<CWorkerManager>();
    P<CWorkerManager> inner = New<CWorkerManager>();
    P<CLogWorker> a = New<CLogWorker>('a', &log);
    P<CLogWorker> b = New<CLogWorker>('b', &log, outer.Get());
    P<CLogWorker> i = New<CLogWorker>('i', &log);
    inner->AddWorker(i.Get());
    outer->AddWorker(a.Get());
    outer->AddWorker(inner.Get());
    outer->AddWorker(b.Get());
    outer->Run();
    EXPECT_EQ(log, "bia");
    EXPECT_GT(outer->GetLastRunTime(), 0);
    log.clear();
    outer->Run();
    EXPECT_EQ(log, "ia");

    // A manager nested in itself runs its pass once instead of for ever.
    inner->AddWorker(outer.Get());
    log.clear();
    outer->Run();
    EXPECT_EQ(log, "ia");
    inner->RemoveWorker(outer.Get());

    // A dying manager leaves the managers it was added to.
    inner = nullptr;
    log.clear();
    outer->Run();
    EXPECT_EQ(log, "a");
    outer->RemoveWorker(a.Get());
}

}  // namespace kest_test
