// Device control and information: the firmware version, enabling, event
// registration, power commands, status counters, clock, display, sounds,
// on-device operations and their state, the PIN width, fingerprint capture and
// the card. A request whose data is too short for its command is refused with
// CMD_ACK_ERROR and changes nothing.
#include <algorithm>

#include "sim/families.h"
#include "wirecore/packet.h"

namespace vxsim::detail {
namespace {
constexpr std::uint8_t kBeepCommand = 3;
constexpr std::uint8_t kLastFinger = 9;
constexpr std::size_t kMaxBlocks = 65536;  // the block index is a 16-bit header field
constexpr std::size_t kCardHeader = 12;    // four entries: 16-bit template length, one more byte
constexpr std::size_t kCardEntries = 4;
constexpr std::size_t kCardEntrySize = 3;

Replies ok(const Request& request, std::uint16_t result = 0, Bytes data = {}) {
  return Replies{request.reply(CMD_ACK_OK, result, std::move(data))};
}
Replies refuse(const Request& request) { return Replies{request.reply(CMD_ACK_ERROR)}; }

Replies versionText(const Request& request, Device& device) {
  std::string text = device.model.personality().firmwareVersion;
  if (text.size() > VX_MAX_DATA - 1) text.resize(VX_MAX_DATA - 1);
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  return ok(request, 0, std::move(data));
}

Replies statusTable(const Request& request, Device& device) {
  Bytes data;
  device.machine.access([&](const MachineState& s) {
    const std::size_t n = std::min(s.statusTable.size(), std::size_t{VX_MAX_DATA / 4});
    for (std::size_t i = 0; i < n; ++i) appendU32(data, s.statusTable[i]);
  });
  return ok(request, 0, std::move(data));
}

// CMD_WRITE_LCD: row, column, a zero byte, then the text up to its zero.
Replies writeDisplay(const Request& request, Device& device) {
  const Bytes& d = request.data;
  if (d.size() < 3) return refuse(request);
  const auto end = std::find(d.begin() + 3, d.end(), std::uint8_t{0});
  DisplayWrite line{d[0], d[1], std::string(d.begin() + 3, end)};
  device.machine.access([&](MachineState& s) { s.display.push_back(std::move(line)); });
  return ok(request);
}

// CMD_BEEP: sub-command 3, three more bytes, the duration in 20 ms steps.
Replies beep(const Request& request, Device& device) {
  const Bytes& d = request.data;
  if (d.size() < 5 || d[0] != kBeepCommand) return refuse(request);
  device.machine.access([&](MachineState& s) { s.lastBeep = d[4]; });
  return ok(request);
}

// CMD_PLAY_VOICE: one index, or the first and the last of a range.
Replies playVoice(const Request& request, Device& device) {
  const Bytes& d = request.data;
  if (d.empty()) return refuse(request);
  const VoicePrompt prompt{d[0], d.size() > 1 ? d[1] : d[0]};
  device.machine.access([&](MachineState& s) { s.voicePrompts.push_back(prompt); });
  return ok(request);
}

// CMD_START_ENROLL and CMD_START_VERIFY: user number (16 bits) and finger;
// CMD_START_VERIFY without data identifies whoever puts a finger on.
Replies startOperation(const Request& request, Device& device, OperationKind kind) {
  const Bytes& d = request.data;
  Operation operation{OperationKind::Identify, 0, 0};
  if (!(kind == OperationKind::Verify && d.empty())) {
    if (d.size() < 3 || d[2] > kLastFinger) return refuse(request);
    operation = Operation{kind, wire::readU16(d.data()), d[2]};
  }
  device.machine.access([&](MachineState& s) { s.operation = operation; });
  return ok(request);
}

// The capture answer goes out as a block stream: CMD_PREPARE_DATA (total,
// block size), the numbered CMD_DATA blocks, a closing CMD_ACK_OK.
Replies capture(const Request& request, Device& device) {
  const auto image = device.machine.access([](const MachineState& s) { return s.captureImage; });
  if (!image) return refuse(request);  // no finger on the sensor
  const Bytes answer = captureAnswer(*image);
  const std::size_t blockSize = std::clamp<std::uint32_t>(device.model.personality().packetSize, 1, VX_MAX_DATA);
  const std::size_t blocks = (answer.size() + blockSize - 1) / blockSize;
  if (blocks > kMaxBlocks) return refuse(request);
  Replies replies;
  Bytes announcement;
  appendU32(announcement, static_cast<std::uint32_t>(answer.size()));
  appendU32(announcement, static_cast<std::uint32_t>(blockSize));
  replies.push_back(request.reply(CMD_PREPARE_DATA, 0, std::move(announcement)));
  for (std::size_t i = 0; i < blocks; ++i) {
    const auto first = answer.begin() + static_cast<std::ptrdiff_t>(i * blockSize);
    const auto last = answer.begin() + static_cast<std::ptrdiff_t>(std::min(answer.size(), (i + 1) * blockSize));
    replies.push_back(request.reply(CMD_DATA, static_cast<std::uint16_t>(i), Bytes(first, last)));
  }
  replies.push_back(request.reply(CMD_ACK_OK));
  return replies;
}
}  // namespace

// ---- The card reader and the sensor's answer ---------------------------------

UploadConsumer cardWriter(MachineModel& machine) {
  return [&machine](std::span<const std::uint8_t> upload, const Request& request) -> std::optional<Replies> {
    const std::size_t numberWidth = machine.access([](const MachineState& s) { return s.pinWidth; }) > 5 ? 4 : 2;
    std::size_t expected = numberWidth + kCardHeader;
    if (upload.size() >= expected) {
      for (std::size_t i = 0; i < kCardEntries; ++i) {
        expected += wire::readU16(&upload[numberWidth + i * kCardEntrySize]);
      }
    }
    if (upload.size() != expected) return Replies{request.reply(CMD_ACK_ERROR)};
    machine.access([&](MachineState& s) { s.card = Bytes(upload.begin(), upload.end()); });
    return std::nullopt;
  };
}

Bytes captureAnswer(const CaptureImage& image) {
  Bytes answer;
  if (image.header) {
    appendU32(answer, 0);
    appendU32(answer, image.width);
    appendU32(answer, image.height);
  }
  answer.insert(answer.end(), image.pixels.begin(), image.pixels.end());
  return answer;
}

std::optional<Replies> ControlFamily::handle(const Request& request, Device& device) {
  const Bytes& d = request.data;
  MachineModel& machine = device.machine;
  switch (request.code) {
    case CMD_VERSION_RRQ:
      return versionText(request, device);
    case CMD_ENABLEDEVICE:
    case CMD_DISABLEDEVICE:
    case CMD_EVENT:
      return ok(request);
    case CMD_RESTART:
    case CMD_POWEROFF:
    case CMD_SLEEP:
      // The terminal goes down: whatever it was doing ends, its display is blank.
      machine.access([](MachineState& s) {
        s.operation = Operation{};
        s.display.clear();
      });
      return ok(request);
    case CMD_GET_FREE_SIZES:
      return statusTable(request, device);
    case CMD_TIME_RRQ: {
      Bytes data;
      appendU32(data, machine.access([](const MachineState& s) { return s.clock; }));
      return ok(request, 0, std::move(data));
    }
    case CMD_TIME_WRQ:
      if (d.size() < 4) return refuse(request);
      machine.access([&](MachineState& s) { s.clock = wire::readU32(d.data()); });
      return ok(request);
    case CMD_WRITE_LCD:
      return writeDisplay(request, device);
    case CMD_CLEAR_LCD:
      machine.access([](MachineState& s) { s.display.clear(); });
      return ok(request);
    case CMD_BEEP:
      return beep(request, device);
    case CMD_PLAY_VOICE:
      return playVoice(request, device);
    case CMD_ENABLE_CLOCK:
      if (d.empty()) return refuse(request);
      machine.access([&](MachineState& s) { s.clockShown = d[0] != 0; });
      return ok(request);
    case CMD_START_ENROLL:
      return startOperation(request, device, OperationKind::Enroll);
    case CMD_START_VERIFY:
      return startOperation(request, device, OperationKind::Verify);
    case CMD_CANCEL_OPERATION:
      machine.access([](MachineState& s) { s.operation = Operation{}; });
      return ok(request);
    case CMD_STATE_RRQ: {
      const auto kind = machine.access([](const MachineState& s) { return s.operation.kind; });
      return ok(request, static_cast<std::uint16_t>(kind));
    }
    case CMD_PINWIDTH_RRQ: {
      const auto width = machine.access([](const MachineState& s) { return s.pinWidth; });
      return ok(request, 0, Bytes{static_cast<std::uint8_t>(width), 0});
    }
    case CMD_CAPTURE_IMAGE:
    case CMD_CAPTURE_IMAGE_PARAM:
      return capture(request, device);
    case CMD_MF_EMPTY:
      machine.access([](MachineState& s) { s.card.reset(); });
      return ok(request);
    default:
      return std::nullopt;
  }
}

}  // namespace vxsim::detail
