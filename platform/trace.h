#pragma once
#include <functional>
#include <string_view>
#include "platform/export.h"

namespace vxp {
// Diagnostic trace lines of the protocol engine. Off by default; VX_TRACE=1 in
// the environment sends them to stderr; a test can install its own sink.
using TraceSink = std::function<void(std::string_view)>;

VXP_API bool traceEnabled();
VXP_API void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Installs a sink (an empty function restores the default); returns the old one.
VXP_API TraceSink setTraceSink(TraceSink sink);
}  // namespace vxp
