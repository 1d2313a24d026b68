#pragma once
// Optimal token encoding of a run of grid values (internal to the codec).
#include <cstdint>
#include <span>

#include "bytes.h"

namespace vxcodec {

// Writes the shortest token sequence for `values` (each below 120) given the
// running value `last` before the run.
void writeRun(std::span<const std::uint8_t> values, int last, ByteWriter& out);

}  // namespace vxcodec
