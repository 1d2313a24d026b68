#pragma once
// Symbol visibility: every library is built with hidden visibility; only what is
// marked here is exported.
#define VXP_API __attribute__((visibility("default")))
#define VX_EXPORT extern "C" __attribute__((visibility("default")))
