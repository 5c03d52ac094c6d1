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
    int idle = 0;
    if (!app_.busy.compare_exchange_strong(idle, 1)) {
        ui_.ShowMessage(kBusyRefusal);
        return false;
    }
    Wait();
    frame_.stopRequested = false;
    auto run = [this, objects = std::move(objects), settings = std::move(settings)] {
        try {
            const CInnoDictionary* dictionary =
                frame_.dictionary.IsOpen() ? &frame_.dictionary : nullptr;
            result_ =
                RunSaveHoldingBusy(objects, settings, app_, dictionary, ui_, &frame_.stopRequested);
        } catch (...) {
            // The run's own scope has put the save state back; the program
            // stays usable.
            app_.busy = 0;
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
