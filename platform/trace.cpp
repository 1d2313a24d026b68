#include "platform/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace vxp {
namespace {
std::mutex sinkMutex;
TraceSink& sinkSlot() {
  static TraceSink sink;
  return sink;
}
std::atomic<bool> sinkInstalled{false};

bool envEnabled() {
  static const bool on = [] {
    const char* v = std::getenv("VX_TRACE");
    return v != nullptr && std::strcmp(v, "1") == 0;
  }();
  return on;
}
}  // namespace

bool traceEnabled() { return sinkInstalled.load(std::memory_order_acquire) || envEnabled(); }

void trace(const char* format, ...) {
  if (!traceEnabled()) return;
  char line[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  std::string_view text(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1);
  std::lock_guard lock(sinkMutex);
  if (sinkSlot()) {
    sinkSlot()(text);
  } else if (envEnabled()) {
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
}

TraceSink setTraceSink(TraceSink sink) {
  std::lock_guard lock(sinkMutex);
  TraceSink old = std::move(sinkSlot());
  sinkSlot() = std::move(sink);
  sinkInstalled.store(static_cast<bool>(sinkSlot()), std::memory_order_release);
  return old;
}
}  // namespace vxp
