#include "browse/window_pipeline.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "browse/table_rows.h"

namespace brix {

namespace {

// Writes windows on a thread of its own while the reader fills the next one.
class CBackgroundWriter {
  public:
    explicit CBackgroundWriter(const std::function<bool(const CRowWindow&)>& write)
        : write_(write), thread_([this] { Run(); }) {}
    ~CBackgroundWriter() { Finish(); }
    CBackgroundWriter(const CBackgroundWriter&) = delete;
    CBackgroundWriter& operator=(const CBackgroundWriter&) = delete;

    // Hands a read window over for writing and gives back, in its place, the
    // one written before it, for the reader to fill again. A window handed
    // over after the writer refused one is not written.
    void Submit(CRowWindow& window) {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return !full_; });
        std::swap(window, slot_);
        full_ = true;
        work_.notify_one();
    }

    // False once write refused a window.
    bool writing() const { return !refused_.load(std::memory_order_acquire); }

    // Waits until every window handed over is written.
    void Finish() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        work_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return full_ || done_; });
            if (!full_) return;
            lock.unlock();
            if (writing() && !write_(slot_)) refused_.store(true, std::memory_order_release);
            lock.lock();
            full_ = false;
            idle_.notify_one();
        }
    }

    const std::function<bool(const CRowWindow&)>& write_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable idle_;
    CRowWindow slot_;
    bool full_ = false;
    bool done_ = false;
    std::atomic<bool> refused_{false};
    std::thread thread_;
};

}  // namespace

int64_t ReadWindowsAlongside(CTableRows& rows, CAppState& app,
                             const std::function<bool(const CRowWindow&)>& write,
                             const std::function<bool()>& keepReading) {
    int64_t rowsRead = static_cast<int64_t>(rows.rows().rowCount());
    CBackgroundWriter writer(write);
    writer.Submit(rows.rows());
    while (writer.writing() && keepReading() && rows.ReadNextWindow(app)) {
        rowsRead += static_cast<int64_t>(rows.rows().rowCount());
        writer.Submit(rows.rows());
    }
    writer.Finish();
    return rowsRead;
}

}  // namespace brix
