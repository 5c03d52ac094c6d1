#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "app/byte_reader.h"
#include "innodb/tablespace.h"

namespace brix {

class CAppState;

// Bytes of the reference to off-page data at the end of a column's local bytes.
inline constexpr size_t kExternalReferenceLength = 20;

// Calls sink with the parts of an off-page value in order: the local prefix,
// then the data of each BLOB page of the chain its reference names. The chain
// ends at the end-of-chain page number, at a page number not below the page
// count, at a part of length 0 or one that passes its page's end, at a page
// the chain took before, and once the length the reference gives is reached:
// no more than that length is passed on.
// A column shorter than a reference gives its local bytes only.
// True when the whole length the reference gives was passed on; false when
// the chain broke off before.
bool ReadExternalValue(CTablespace& space, ByteSpan columnBytes,
                       const std::function<void(ByteSpan)>& sink);

// Copies an off-page value into a new spill file in folder (created when
// missing), named by the next number of the application's spill counter, and
// returns the file's path; an empty path when the file cannot be created.
// whole, when given, says whether the chain gave the value's whole length.
std::filesystem::path SpillExternalColumn(CTablespace& space, ByteSpan columnBytes,
                                          const std::filesystem::path& folder, CAppState& app,
                                          bool* whole = nullptr);

}  // namespace brix
