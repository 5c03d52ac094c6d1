#include "save/save_worker.h"

#include "app/app_state.h"
#include "app/ui_operations.h"

namespace brix {

CSaver::~CSaver() {
    Wait();
}

void CSaver::Wait() {
    if (worker_.joinable()) worker_.join();
}

bool CSaver::StartSave(std::vector<CSaveObject> objects, CSaveSettings settings,
                       bool onWorkerThread) {
    CBusyGuard busy(app_.busy);
    if (!busy) {
        ui_.ShowMessage(kBusyRefusal);
        return false;
    }
    Wait();
    frame_.stopRequested = false;
    auto run = [this, objects = std::move(objects), settings = std::move(settings),
                held = std::move(busy)]() mutable {
        try {
            const CInnoDictionary* dictionary =
                frame_.dictionary.IsOpen() ? &frame_.dictionary : nullptr;
            result_ = RunSaveHoldingBusy(objects, settings, app_, dictionary, ui_, std::move(held),
                                         &frame_.stopRequested);
        } catch (...) {
            // The run's own scope has put the save state back and released
            // busy; the program stays usable.
            held.Release();
            ui_.ShowProgress(false);
        }
    };
    if (onWorkerThread) {
        worker_ = std::thread(std::move(run));
    } else {
        run();
    }
    return true;
}

}  // namespace brix
