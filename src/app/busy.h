#pragma once

#include <atomic>

namespace brix {

// Set while a scan, a table selection, a paging command or a save runs; the
// commands of the window are refused while it is set. The user-interface
// thread and the workers share it. Only a CBusyGuard takes and releases it,
// so that no way out of a command (an exception included) leaves it set.
class CBusyFlag {
  public:
    CBusyFlag() = default;
    CBusyFlag(const CBusyFlag&) = delete;
    CBusyFlag& operator=(const CBusyFlag&) = delete;

    bool IsSet() const { return held_.load() != 0; }
    // 1 while set, 0 while not.
    int load() const { return held_.load(); }
    operator int() const { return held_.load(); }

  private:
    friend class CBusyGuard;
    std::atomic<int> held_{0};
};

// The one owner of the busy flag: takes it when it is free and releases it
// when destroyed, or earlier by Release. It moves from the thread that took
// the flag to the worker that finishes the command.
class CBusyGuard {
  public:
    CBusyGuard() = default;
    // Takes the flag when it is free; test with operator bool.
    explicit CBusyGuard(CBusyFlag& flag) {
        int idle = 0;
        if (flag.held_.compare_exchange_strong(idle, 1)) flag_ = &flag;
    }
    CBusyGuard(CBusyGuard&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }
    CBusyGuard& operator=(CBusyGuard&& other) noexcept {
        if (this != &other) {
            Release();
            flag_ = other.flag_;
            other.flag_ = nullptr;
        }
        return *this;
    }
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;
    ~CBusyGuard() { Release(); }

    // Whether this guard holds the flag.
    explicit operator bool() const { return flag_ != nullptr; }
    // Releases the flag now; nothing when not held.
    void Release() {
        if (flag_) flag_->held_.store(0);
        flag_ = nullptr;
    }

  private:
    CBusyFlag* flag_ = nullptr;
};

}  // namespace brix
