#pragma once
#include <functional>
#include "platform/export.h"

namespace vxp {
// Message boxes: there is no windowing system, so a box goes to a replaceable
// handler. The default writes caption and text to stderr and returns at once.
constexpr int kIdOk = 1;
using MessageBoxHandler = std::function<int(const char* text, const char* caption)>;

VXP_API int messageBox(const char* text, const char* caption);
VXP_API MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
}  // namespace vxp
