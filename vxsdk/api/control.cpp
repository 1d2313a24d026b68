// Device control and status: status counters, clock, restart, power-off and
// sleep, display, sounds, on-device enrolment and verification, the state,
// fingerprint capture with its bitmap file, Mifare cards and a raw table saved
// to a file.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "platform/export.h"
#include "platform/tick.h"
#include "vxsdk.h"
#include "vxsdk/api/connection.h"
#include "vxsdk/api/devicetime.h"
#include "vxsdk/api/lazybuffer.h"
#include "vxsdk/api/users.h"
#include "wirecore/packet.h"

namespace vxsdk {
namespace {
constexpr int kStatusReply = 200;
constexpr int kStatusIndexes = 20;
// Position in the status table of the counter each status index 1..20 selects.
constexpr std::array<int, kStatusIndexes> kStatusCounter = {12, 4, 6,  13, 10, 8, 14, 15, 16, 17,
                                                            18, 19, 0, 1,  2,  3, 5,  7,  9,  11};
constexpr int kTextReply = 100;
constexpr std::size_t kDisplayData = 100;  // row, column, 0 and at most 97 text bytes
constexpr std::uint8_t kBeepCommand = 3;
constexpr int kBeepStepMs = 20;

constexpr std::size_t kHeaderlessImage = 640 * 480;
constexpr std::size_t kImageHeader = 12;
constexpr std::size_t kCaptureBuffer = 307220;
constexpr std::uint32_t kCaptureParameter = 500;

constexpr std::size_t kCardHeader = 12;
constexpr std::size_t kCardTemplates = 4096;
constexpr int kCardUploadTimeoutMs = 2500;
constexpr int kCardWriteTimeoutMs = 1000;

constexpr std::size_t kTableBuffer = 8388608;
constexpr int kTableTimeoutMs = 2000;
constexpr std::uint32_t kTableSettleMs = 1000;

// One exchange with the caller's data; the reply code, with the engine's
// result (the reply's result word or its own failure value) in `result`.
std::uint16_t exchange(Connection& c, std::uint16_t command, std::span<const std::uint8_t> data, int replyCapacity,
                       int timeoutMs, int* result = nullptr, std::uint8_t* reply = nullptr) {
  std::array<unsigned char, VX_MAX_DATA> buffer{};
  std::copy_n(data.begin(), std::min(data.size(), buffer.size()), buffer.begin());
  std::uint16_t code = command;
  const int r = VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), replyCapacity, static_cast<int>(data.size()),
                                 timeoutMs);
  if (result != nullptr) *result = r;
  if (reply != nullptr) std::copy_n(buffer.begin(), replyCapacity, reply);
  return code;
}

// The four on-device operations: 1 on CMD_ACK_OK, else the engine's value.
int operation(void* handle, std::uint16_t command, std::span<const std::uint8_t> data, int replyCapacity) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  int result = 0;
  return exchange(*c, command, data, replyCapacity, c->shortTimeout, &result) == CMD_ACK_OK ? 1 : result;
}

// User number (16 bits, after the PIN2 look-up) and finger.
std::array<std::uint8_t, 3> userAndFinger(Connection& c, int number, int finger) {
  std::array<std::uint8_t, 3> data{};
  wire::writeU16(data.data(), static_cast<std::uint16_t>(fromPin2(c, number)));
  data[2] = static_cast<std::uint8_t>(finger);
  return data;
}

// The card calls share how a refusal is told apart by the result word.
int cardResult(std::uint16_t code, int result) {
  if (code == CMD_ACK_OK) return 1;
  switch (result) {
    case 2: return 0;
    case 1: return -4;
    case 4: return -5;
    default: return -2;
  }
}

// Restart, power-off and sleep end the connection once the device accepted.
int endingCommand(void* handle, std::uint16_t command) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  if (simpleCommand(*c, command, nullptr, 0, 0) != 1) return -2;
  VX_Close(handle);
  return 1;
}

// ---- 8-bit bitmap file -------------------------------------------------------
// File header (14), information header (40), 256 grey palette entries (1024).
constexpr std::size_t kBmpHeader = 1078;

std::size_t bmpRowSize(std::uint32_t width) { return (std::size_t{width} + 3) & ~std::size_t{3}; }

std::array<std::uint8_t, kBmpHeader> bmpHeader(std::uint32_t width, std::uint32_t height) {
  std::array<std::uint8_t, kBmpHeader> h{};
  const auto imageSize = static_cast<std::uint32_t>(bmpRowSize(width) * height);
  std::uint8_t* p = h.data();
  p[0] = 'B';
  p[1] = 'M';
  wire::writeU32(p + 2, static_cast<std::uint32_t>(kBmpHeader) + imageSize);
  wire::writeU32(p + 10, static_cast<std::uint32_t>(kBmpHeader));
  wire::writeU32(p + 14, 40);
  wire::writeU32(p + 18, width);
  wire::writeU32(p + 22, height);
  wire::writeU16(p + 26, 1);  // planes
  wire::writeU16(p + 28, 8);  // bits per pixel
  wire::writeU32(p + 34, imageSize);
  for (std::size_t i = 0; i < 256; ++i) {
    std::uint8_t* entry = p + 54 + 4 * i;
    entry[0] = entry[1] = entry[2] = static_cast<std::uint8_t>(i);
  }
  return h;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Rows in the order the device sent them, each padded to a multiple of 4 with
// the first bytes of that row. False when the file cannot be written.
bool writeBmp(const char* fileName, std::span<const std::uint8_t> pixels, std::uint32_t width,
              std::uint32_t height) {
  File file(std::fopen(fileName, "wb"));
  if (!file) return false;
  const auto header = bmpHeader(width, height);
  bool ok = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
  std::vector<std::uint8_t> row(bmpRowSize(width));
  for (std::uint32_t y = 0; ok && y < height; ++y) {
    const auto source = pixels.subspan(std::size_t{y} * width, width);
    std::copy(source.begin(), source.end(), row.begin());
    for (std::size_t i = width; i < row.size(); ++i) row[i] = source[(i - width) % width];
    ok = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
  }
  return std::fclose(file.release()) == 0 && ok;
}
}  // namespace
}  // namespace vxsdk

using vxsdk::Connection;
using vxsdk::fromHandle;

VX_EXPORT int VX_GetDeviceStatus(void* handle, int status, int* value) {
  if (status < 1 || status > vxsdk::kStatusIndexes) return 4;
  Connection* c = fromHandle(handle);
  if (c == nullptr || value == nullptr) return -1;
  std::array<std::uint8_t, vxsdk::kStatusReply> table{};
  if (vxsdk::exchange(*c, CMD_GET_FREE_SIZES, {}, vxsdk::kStatusReply, c->shortTimeout, nullptr, table.data()) !=
      CMD_ACK_OK) {
    return -2;
  }
  const auto position = static_cast<std::size_t>(vxsdk::kStatusCounter[static_cast<std::size_t>(status - 1)]);
  *value = static_cast<int>(wire::readU32(table.data() + 4 * position));
  return 1;
}

VX_EXPORT int VX_RebootDevice(void* handle) { return vxsdk::endingCommand(handle, CMD_RESTART); }
VX_EXPORT int VX_PowerOffDevice(void* handle) { return vxsdk::endingCommand(handle, CMD_POWEROFF); }
VX_EXPORT int VX_SleepDevice(void* handle) { return vxsdk::endingCommand(handle, CMD_SLEEP); }

VX_EXPORT int VX_ResumeDevice(void* handle) { return handle == nullptr ? -1 : -100; }
VX_EXPORT int VX_AutoPowerOff(void* handle, int) { return handle == nullptr ? -1 : -100; }
VX_EXPORT int VX_PowerOffTime(void* handle, int, int, int, int, int) { return handle == nullptr ? -1 : -100; }

VX_EXPORT int VX_SetTime(void* handle, int year, int month, int day, int hour, int minute, int second) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  std::array<std::uint8_t, 4> data{};
  wire::writeU32(data.data(),
                 static_cast<std::uint32_t>(vxsdk::encodeDeviceTime(year, month, day, hour, minute, second)));
  return vxsdk::simpleCommand(*c, CMD_TIME_WRQ, data.data(), 4, 4);
}

VX_EXPORT int VX_GetTime(void* handle, int* year, int* month, int* day, int* hour, int* minute, int* second) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || !year || !month || !day || !hour || !minute || !second) return -1;
  std::array<std::uint8_t, 4> reply{};
  if (vxsdk::exchange(*c, CMD_TIME_RRQ, {}, 4, c->shortTimeout, nullptr, reply.data()) != CMD_ACK_OK) return -2;
  const vxsdk::CalendarTime t = vxsdk::decodeDeviceTime(static_cast<std::int32_t>(wire::readU32(reply.data())));
  *year = t.year;
  *month = t.month;
  *day = t.day;
  *hour = t.hour;
  *minute = t.minute;
  *second = t.second;
  return 1;
}

VX_EXPORT int VX_WriteLCD(void* handle, int row, int column, const char* text) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || text == nullptr) return -1;
  std::array<std::uint8_t, vxsdk::kDisplayData> data{};
  data[0] = static_cast<std::uint8_t>(row);
  data[1] = static_cast<std::uint8_t>(column);
  // The text with its zero when it is shorter than 97 characters, else its first 97.
  const std::size_t room = vxsdk::kDisplayData - 3;
  const std::size_t textBytes = std::min(strnlen(text, room) + 1, room);
  std::memcpy(data.data() + 3, text, textBytes);
  return vxsdk::simpleCommand(*c, CMD_WRITE_LCD, data.data(), static_cast<int>(textBytes + 3), vxsdk::kTextReply);
}

VX_EXPORT int VX_ClearLCD(void* handle) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::simpleCommand(*c, CMD_CLEAR_LCD, nullptr, 0, 0);
}

VX_EXPORT int VX_Beep(void* handle, int durationMs) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  // One byte of 20 ms steps: longer beeps last the longest the device can sound.
  const int steps = std::clamp(durationMs / vxsdk::kBeepStepMs, 0, 255);
  const std::uint8_t data[] = {vxsdk::kBeepCommand, 1, 0, 0, static_cast<std::uint8_t>(steps)};
  return vxsdk::simpleCommand(*c, CMD_BEEP, data, sizeof data, vxsdk::kTextReply);
}

VX_EXPORT int VX_PlayVoice(void* handle, int first, int last) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  const std::uint8_t data[] = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(last)};
  return vxsdk::simpleCommand(*c, CMD_PLAY_VOICE, data, sizeof data, 2);
}

VX_EXPORT int VX_PlayVoiceByIndex(void* handle, int index) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  const std::uint8_t data[] = {static_cast<std::uint8_t>(index)};
  return vxsdk::simpleCommand(*c, CMD_PLAY_VOICE, data, sizeof data, 2);
}

VX_EXPORT int VX_EnableClock(void* handle, int flag) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  const std::uint8_t data[] = {static_cast<std::uint8_t>(flag)};
  return vxsdk::simpleCommand(*c, CMD_ENABLE_CLOCK, data, sizeof data, 2);
}

VX_EXPORT int VX_StartEnroll(void* handle, int number, int finger) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::operation(handle, CMD_START_ENROLL, vxsdk::userAndFinger(*c, number, finger), vxsdk::kTextReply);
}

VX_EXPORT int VX_StartVerify(void* handle, int number, int finger) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::operation(handle, CMD_START_VERIFY, vxsdk::userAndFinger(*c, number, finger), vxsdk::kTextReply);
}

VX_EXPORT int VX_StartIdentify(void* handle) { return vxsdk::operation(handle, CMD_START_VERIFY, {}, 0); }

VX_EXPORT int VX_CancelOperation(void* handle) { return vxsdk::operation(handle, CMD_CANCEL_OPERATION, {}, 0); }

VX_EXPORT int VX_QueryState(void* handle, int* state) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || state == nullptr) return -1;
  int result = 0;
  if (vxsdk::exchange(*c, CMD_STATE_RRQ, {}, vxsdk::kTextReply, c->shortTimeout, &result) != CMD_ACK_OK) return -2;
  *state = result;
  return 1;
}

VX_EXPORT int VX_CaptureImage(void* handle, int full, int* width, int* height, unsigned char* image,
                              const char* fileName) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || width == nullptr || height == nullptr) return -1;
  vxsdk::LazyBuffer buffer;
  if (!buffer.allocate(vxsdk::kCaptureBuffer)) return -100;
  std::uint8_t* request = buffer.data();
  int requestLength = 0;
  if (full == 0) {
    wire::writeU32(request, vxsdk::kCaptureParameter);
    requestLength = 4;
  }
  if (*width != 0) {
    wire::writeU32(request + requestLength, static_cast<std::uint32_t>(*width));
    requestLength += 4;
  }
  std::uint16_t code = full == 0 ? CMD_CAPTURE_IMAGE_PARAM : CMD_CAPTURE_IMAGE;
  const int count = VXEMBPRO_READDATA(c->engine, &code, buffer.data(), static_cast<int>(buffer.size()), requestLength,
                                      c->blockSize, c->shortTimeout * 2);
  if (code != CMD_ACK_OK || count < 0) return -2;

  // Exactly 640 x 480 bytes is an image without header; anything else starts
  // with (unused, width, height).
  const auto received = static_cast<std::size_t>(count);
  const bool headerless = received == vxsdk::kHeaderlessImage;
  std::uint32_t w = 640, h = 480;
  std::size_t offset = 0;
  if (!headerless) {
    if (received < vxsdk::kImageHeader) return -2;
    w = wire::readU32(buffer.data() + 4);
    h = wire::readU32(buffer.data() + 8);
    offset = vxsdk::kImageHeader;
  }
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  const std::uint64_t pixels = std::uint64_t{w} * h;
  if (received != pixels + offset) return -2;

  const auto picture = buffer.span().subspan(offset, static_cast<std::size_t>(pixels));
  if (image != nullptr) std::copy(picture.begin(), picture.end(), image);
  if (fileName != nullptr && !vxsdk::writeBmp(fileName, picture, w, h)) return -2;
  return 1;
}

VX_EXPORT int VX_MFWrite(void* handle, int number, const unsigned char* header, const unsigned char* templates) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || header == nullptr || templates == nullptr) return -1;
  std::size_t templateBytes = 0;
  for (std::size_t i = 0; i < 4; ++i) templateBytes += wire::readU16(header + 3 * i);
  // The lengths must stay inside the caller's 4096-byte template area.
  if (templateBytes > vxsdk::kCardTemplates) return 4;

  const std::size_t numberBytes = c->pinWidth > 5 ? 4 : 2;
  std::vector<std::uint8_t> card(numberBytes + vxsdk::kCardHeader + templateBytes);
  if (numberBytes == 4) {
    wire::writeU32(card.data(), static_cast<std::uint32_t>(number));
  } else {
    wire::writeU16(card.data(), static_cast<std::uint16_t>(number));
  }
  std::copy_n(header, vxsdk::kCardHeader, card.begin() + static_cast<std::ptrdiff_t>(numberBytes));
  std::copy_n(templates, templateBytes, card.begin() + static_cast<std::ptrdiff_t>(numberBytes + vxsdk::kCardHeader));
  if (VXEMBPRO_SENDDATA(c->engine, card.data(), static_cast<int>(card.size()), vxsdk::kCardUploadTimeoutMs) != 1) {
    return -2;
  }
  int result = 0;
  const std::uint16_t code = vxsdk::exchange(*c, CMD_MF_WRITE, {}, 0, vxsdk::kCardWriteTimeoutMs, &result);
  return vxsdk::cardResult(code, result);
}

VX_EXPORT int VX_MFEmpty(void* handle) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  int result = 0;
  const std::uint16_t code = vxsdk::exchange(*c, CMD_MF_EMPTY, {}, 0, c->shortTimeout, &result);
  return vxsdk::cardResult(code, result);
}

VX_EXPORT int VX_GetData(void* handle, int kind, const char* fileName) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || fileName == nullptr) return -1;
  vxsdk::LazyBuffer buffer;
  if (!buffer.allocate(vxsdk::kTableBuffer)) return -100;
  buffer.data()[0] = static_cast<std::uint8_t>(kind);
  std::uint16_t code = CMD_DB_RRQ;
  const int count = VXEMBPRO_READDATA(c->engine, &code, buffer.data(), static_cast<int>(buffer.size()), 1,
                                      c->blockSize, vxsdk::kTableTimeoutMs);
  // No data: nothing is written. A failed read, or an answer too short for
  // its own count, is a failure rather than an empty table.
  if (count == 0) return 0;
  if (code != CMD_ACK_OK || count < 4) return -2;
  vxp::sleepMs(vxsdk::kTableSettleMs);

  const auto data = buffer.span().subspan(4, static_cast<std::size_t>(count) - 4);
  vxsdk::File file(std::fopen(fileName, "wb+"));
  if (!file) return 4;
  const bool written = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
  return std::fclose(file.release()) == 0 && written ? 1 : 4;
}
