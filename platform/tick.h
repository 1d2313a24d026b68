#pragma once
#include <cstdint>
#include "platform/export.h"

namespace vxp {
// Milliseconds from a monotonic clock, wrapping at 2^32 like the system tick count.
VXP_API std::uint32_t tickCount();
// Pauses the calling thread.
VXP_API void sleepMs(std::uint32_t ms);
}  // namespace vxp
