#pragma once

#include <atomic>
#include <ctime>
#include <thread>

#include "app/busy.h"
#include "app/ui_operations.h"
#include "catalogue/frame_state.h"

namespace brix {

class CAppState;

// Texts the scan shows.
inline constexpr char16_t kWaitForRunningProcess[] = u"Please wait for the running process.";
inline constexpr char16_t kAskBrowseIbdata[] =
    u"Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?";
inline constexpr char16_t kScanCompletedMessage[] =
    u"Scanning completed for selected database file(s)";
inline constexpr char16_t kAskStop[] = u"Are you sure to stop the running process?";

// The first step of a scan: empties the log list, the catalogue lists and
// the tree, the table context's window, bookmarks and schema lists and the
// grid, and closes the table's storage files and the system tablespace.
void ResetCatalogue(CUiOperations& ui, CFrameState& frame);

// The scan of app.databasePath: resets the catalogue, builds the tree (root,
// data path, one database node with a "Tables" node per folder, or the path
// itself as the only database when it has no folders), catalogues every
// database folder, opens the system tablespace (asking whether to choose one
// by hand when there is none), then releases busy (the caller's hold on the
// busy flag) and reports the end.
// A stop request is honoured between database folders: the scan then skips
// the rest and the system tablespace and ends as usual. Reads no table rows.
// Returns 1.
int ScanWorker(CAppState& app, CUiOperations& ui, CFrameState& frame, CBusyGuard busy = {});

// Runs scans one at a time: what the Open and Stop commands do once the data
// path is chosen, with the worker thread.
class CScanner {
  public:
    CScanner(CAppState& app, CUiOperations& ui, CFrameState& frame)
        : app_(app), ui_(ui), frame_(frame) {}
    // Waits for a running worker.
    ~CScanner();
    CScanner(const CScanner&) = delete;
    CScanner& operator=(const CScanner&) = delete;

    // Starts a scan of app.databasePath, with its log file named after now.
    // Refused with a message while busy is set (false). Otherwise sets busy,
    // waits until an earlier worker has ended (so that two never run at once),
    // clears the tree and the record panel, shows the path in the caption and
    // the busy indicator, starts the log file and runs ScanWorker, on a worker
    // thread or, with onWorkerThread false, before returning.
    bool StartScan(const std::tm& now, bool onWorkerThread);
    bool StartScan(bool onWorkerThread);

    // The Stop command: while busy, asks whether to stop and on Yes asks the
    // running scan to stop. The busy flag stays set until the scan has ended,
    // so that nothing reads the catalogue while the worker still writes it.
    void StopCommand();

    // Waits until the worker, if any, has ended.
    void Wait();

    // True from the start of a scan on a worker thread until that worker has
    // made its last user-interface call. A front end whose realisation carries
    // the worker's calls to its own thread must keep serving them while it
    // waits for this to turn false, instead of blocking in Wait.
    bool Running() const { return running_; }

  private:
    CAppState& app_;
    CUiOperations& ui_;
    CFrameState& frame_;
    std::thread worker_;
    std::atomic<bool> running_{false};
};

}  // namespace brix
