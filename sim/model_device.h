#pragma once
// The terminal as a machine: status counters, clock, display, sounds, the
// on-device operation, the sensor's capture image, the card on the reader and
// the PIN width. The worker thread changes it and tests read it, so every
// access goes through one lock.
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/vxsim.h"

namespace vxsim::detail {

struct MachineState {
  std::vector<std::uint32_t> statusTable = std::vector<std::uint32_t>(kStatusCounters, 0);
  std::uint32_t clock = kInitialClock;
  std::vector<DisplayWrite> display;
  std::optional<std::uint8_t> lastBeep;
  std::vector<VoicePrompt> voicePrompts;
  bool clockShown = true;
  Operation operation;
  std::optional<CaptureImage> captureImage;
  std::optional<Bytes> card;
  std::int8_t pinWidth = 5;

  static constexpr std::size_t kStatusCounters = 50;  // the 200 bytes a host reads
  // 2010-04-28 12:00:00 as a device time.
  static constexpr std::uint32_t kInitialClock = ((((10u * 12 + 3) * 31 + 27) * 24 + 12) * 60) * 60;
};

class MachineModel {
 public:
  // Runs f on the state under the lock and returns what f returns.
  template <class F>
  auto access(F&& f) {
    std::lock_guard lock(mutex_);
    return f(state_);
  }
  template <class F>
  auto access(F&& f) const {
    std::lock_guard lock(mutex_);
    return f(static_cast<const MachineState&>(state_));
  }

 private:
  mutable std::mutex mutex_;
  MachineState state_;
};

// (Both in family_control.cpp.) The consumer of CMD_MF_WRITE: takes the uploaded card image (the user
// number in 2 bytes, or 4 when the PIN width is above 5; a 12-byte header of
// four 16-bit template lengths each followed by one byte; the templates) and
// keeps it as the card's content. An image whose size does not match its
// header is refused with CMD_ACK_ERROR.
UploadConsumer cardWriter(MachineModel& machine);

// The answer to CMD_CAPTURE_IMAGE and CMD_CAPTURE_IMAGE_PARAM: the 12-byte
// header (0, width, height) and the pixels, or the pixels alone.
Bytes captureAnswer(const CaptureImage& image);

}  // namespace vxsim::detail
