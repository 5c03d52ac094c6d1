#pragma once

#include <thread>
#include <vector>

#include "catalogue/frame_state.h"
#include "save/save_run.h"

namespace brix {

class CAppState;
class CUiOperations;

// Runs saves one at a time on a worker thread, as the Save command does once
// the Save Database dialog returned OK: the counterpart of the scanner for
// saving. The objects come from the checked tree nodes (SaveObjectOfNode),
// the settings from the dialog (CSaveDialogModel::SaveSettings); the system
// tablespace and the Stop command's flag are the frame's.
class CSaver {
  public:
    CSaver(CAppState& app, CUiOperations& ui, CFrameState& frame)
        : app_(app), ui_(ui), frame_(frame) {}
    // Waits for a running worker.
    ~CSaver();
    CSaver(const CSaver&) = delete;
    CSaver& operator=(const CSaver&) = delete;

    // Refused with "Please wait for the running process." while busy is set
    // (false). Otherwise sets busy on the calling thread, so that no other
    // command starts in between, and saves the objects on a worker thread or,
    // with onWorkerThread false, before returning. A failure that ends the
    // whole run (out of memory) clears busy and the save state.
    bool StartSave(std::vector<CSaveObject> objects, CSaveSettings settings, bool onWorkerThread);

    // Waits until the worker, if any, has ended.
    void Wait();

    // How the last run went, once it has ended.
    const CSaveResult& lastResult() const { return result_; }

  private:
    CAppState& app_;
    CUiOperations& ui_;
    CFrameState& frame_;
    std::thread worker_;
    CSaveResult result_;
};

}  // namespace brix
