#pragma once
// LZO1X-1 compression of data sets for the query read path.
#include <optional>
#include <span>

#include "sim/vxsim.h"

namespace vxsim::detail {
// The bytes compressed with lzo1x_1_compress; nullopt if the library fails.
std::optional<Bytes> lzoCompress(std::span<const std::uint8_t> bytes);
}  // namespace vxsim::detail
