// The worker manager: runs its workers, and managers nested in it, one pass at a time.
#pragma once

#include "kest/Containers.h"
#include "kest/Worker.h"

namespace kest::win32 {

// Message posted to the system's message window to make its worker manager run.
inline constexpr unsigned kWorkMessage = 0x0400 + 333;  // WM_USER + 333 = 1357

class CWorkerManager : public CObject, public virtual IWorkerManager {
public:
    CWorkerManager() = default;
    ~CWorkerManager() override;
    CWorkerManager(const CWorkerManager&) = delete;
    CWorkerManager& operator=(const CWorkerManager&) = delete;

    void AddWorker(IWorker* worker) override;
    void RemoveWorker(IWorker* worker) override;
    void Run() override;
    void Work() override { Run(); }
    void AttachedTo(IWorkerManager* manager) override { m_attachedTo.Add(manager); }
    void DetachedFrom(IWorkerManager* manager) override { m_attachedTo.Remove(manager); }

    // The time of the last run, in the time manager's milliseconds (0 before the first).
    int64_t GetLastRunTime() const { return m_lastRun; }
    // A pass is under way on this thread: a worker of it is still working.
    bool IsRunning() const { return m_running; }

private:
    TFrailArray<IWorker> m_workers;
    TFrailArray<IWorkerManager> m_attachedTo;
    int64_t m_lastRun = 0;
    bool m_running = false;
};

}  // namespace kest::win32
