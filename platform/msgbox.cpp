#include "platform/msgbox.h"

#include <cstdio>
#include <mutex>

namespace vxp {
namespace {
std::mutex handlerMutex;
MessageBoxHandler& handlerSlot() {
  static MessageBoxHandler handler;
  return handler;
}
}  // namespace

int messageBox(const char* text, const char* caption) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = handlerSlot();
  }
  if (handler) return handler(text ? text : "", caption ? caption : "");
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
  return kIdOk;
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(handlerMutex);
  MessageBoxHandler old = std::move(handlerSlot());
  handlerSlot() = std::move(handler);
  return old;
}
}  // namespace vxp
