// Workers: small pieces of work run on the user-interface thread when the worker manager is
// asked to run, from that thread or (through the system's wake-up message) from any other.
#pragma once

#include "kest/Object.h"
#include "kest/win32/UndefWin32Names.h"

#include <cstdint>

namespace kest {

class IWorker : public virtual IBase {
public:
    virtual void Work() = 0;
};

class IWorkerManager : public virtual IWorker {
public:
    // Workers are not owned: each removes itself before it dies.
    virtual void AddWorker(IWorker* worker) = 0;
    virtual void RemoveWorker(IWorker* worker) = 0;
    // One pass over all workers, the last added first.
    virtual void Run() = 0;
    // Told by a manager that this one was added to it or removed from it, so that dying it can
    // leave every manager it is in.
    virtual void AttachedTo(IWorkerManager* manager) = 0;
    virtual void DetachedFrom(IWorkerManager* manager) = 0;
};

}  // namespace kest
