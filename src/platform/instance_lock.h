// Single-instance detection and advisory file locks.
#pragma once

#include <string>

namespace kyd::platform {

// A lock file that every instance of a program holds shared. An instance
// that cannot take it exclusively when it starts knows another one runs.
// The lock dies with its holder, so a killed instance leaves none behind.
class InstanceLock {
public:
    // name: the lock's name, usually the executable's file name. The file
    // lies in $XDG_RUNTIME_DIR, else in the temporary folder with the user
    // id in its name.
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool anotherInstance() const { return another_; }
    // False when the lock file could not be opened (then no instance is seen).
    bool held() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // The first instance listens for later ones asking it to come forward:
    // a descriptor that turns readable on a request (-1 in later instances,
    // or when it could not be made).
    int wakeDescriptor() const { return wakeFd_; }
    // Reads the pending requests; true when there was at least one.
    bool takeWakeRequests();
    // Asks the first instance to come forward; false when none listens.
    bool wakeFirstInstance() const;

private:
    int fd_ = -1;
    int wakeFd_ = -1;
    bool another_ = false;
    std::string path_;
};

// An advisory lock for the scope on the folder that holds path, serialising
// read-modify-replace cycles of the files in it among the processes and
// threads that use it: exclusive for those cycles, shared for readers, who
// then only wait for a writer. Blocks until the lock is free. held() is
// false when the folder could not be opened (the caller then goes on
// unlocked). A thread that already holds the lock of a folder takes it
// again at once (the inner lock does nothing), so a locked writer may call
// one that locks for itself; a thread holding a shared lock must not write.
class FileLock {
public:
    enum class Mode { Exclusive, Shared };
    explicit FileLock(const std::string& path, Mode mode = Mode::Exclusive);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0 || nested_; }

private:
    int fd_ = -1;
    bool nested_ = false;
    std::string path_;
};

} // namespace kyd::platform
