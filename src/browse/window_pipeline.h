#pragma once

#include <cstdint>
#include <functional>

namespace brix {

class CRowWindow;
class CTableRows;
struct CAppState;

// Hands the table's current window and every window after it, in order, to
// write, which runs on a thread of its own while the reader fills the next
// window: reading and writing a big table share the work between two cores.
// At most two windows are held, the one being written and the one being
// read. Reading ends at the table's end, when write returns false (after the
// window it was given; the windows read past it are not written), or when
// keepReading returns false before a window is read. Returns the rows read.
int64_t ReadWindowsAlongside(CTableRows& rows, CAppState& app,
                             const std::function<bool(const CRowWindow&)>& write,
                             const std::function<bool()>& keepReading);

}  // namespace brix
