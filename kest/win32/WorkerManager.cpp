#include "kest/win32/WorkerManager.h"

#include "kest/Error.h"
#include "kest/Time.h"

namespace kest::win32 {

CWorkerManager::~CWorkerManager() {
    for (int32_t i = m_attachedTo.Count() - 1; i >= 0; --i) {
        if (i >= m_attachedTo.Count()) continue;
        IWorkerManager* manager = m_attachedTo.Get(i);
        try {
            manager->RemoveWorker(this);
        } catch (...) {
        }
    }
    // Nested managers must not point back at a dead one either.
    for (int32_t i = m_workers.Count() - 1; i >= 0; --i) {
        if (auto* nested = Cast<IWorkerManager>(m_workers.Get(i))) nested->DetachedFrom(this);
    }
}

void CWorkerManager::AddWorker(IWorker* worker) {
    if (!worker) throw CInvalidArgError(String("worker"), String("AddWorker"), this);
    m_workers.Add(worker);
    if (auto* nested = Cast<IWorkerManager>(worker)) nested->AttachedTo(this);
}

void CWorkerManager::RemoveWorker(IWorker* worker) {
    if (!m_workers.Remove(worker)) return;
    if (auto* nested = Cast<IWorkerManager>(worker)) nested->DetachedFrom(this);
}

void CWorkerManager::Run() {
    // A manager reached again through its own workers (nested in itself, directly or not)
    // has its pass under way already.
    if (m_running) return;
    m_running = true;
    try {
        m_lastRun = GetTimeManager()->NowMilliseconds();
        for (int32_t i = m_workers.Count() - 1; i >= 0; --i) {
            if (i >= m_workers.Count()) continue;  // workers removed themselves meanwhile
            m_workers.Get(i)->Work();
        }
    } catch (...) {
        m_running = false;
        throw;
    }
    m_running = false;
}

}  // namespace kest::win32
