// Named single-instance lock: held by one process at a time, released when the
// holder lets go or dies.
#pragma once
#include <memory>
#include <string>

#include "Platform/Status.h"

namespace Platform {

// Ownership of a held lock; destroying it releases the lock.
// Thread rule: destroy it on any thread, once.
class IHeldLock {
public:
    virtual ~IHeldLock() = default;
};

// Thread rule: safe to call from several threads at once.
class IInstanceLock {
public:
    virtual ~IInstanceLock() = default;

    // Takes the lock called `name`. Success: 0 and *held owns it.
    // Another process holds it: 183 (ERROR_ALREADY_EXISTS) and *held is null.
    // The lock cannot be made: the translated system status, *held null.
    // REQUIRES: held is not null; `name` is not empty and holds no path
    // separator.
    virtual Status Acquire(const std::string& name, std::unique_ptr<IHeldLock>* held) = 0;
};

}  // namespace Platform
