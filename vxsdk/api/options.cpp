// Device options and information: named options, the numbered option table
// with its conversions, the single-purpose getters and setters, and the PIN
// width.
#include "vxsdk/api/options.h"

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <limits>
#include <random>

#include "platform/export.h"
#include "platform/tick.h"
#include "vxsdk.h"
#include "wirecore/packet.h"

namespace vxsdk {
namespace {
constexpr int kPinWidthTries = 10;
constexpr std::int32_t kDefaultPinWidth = 5;
constexpr int kClearDataExtraMs = 3000;

// Names of the numbered options; an empty entry has no name.
constexpr std::array<const char*, 71> kNumberedOptions = {
    nullptr,          nullptr,           "DeviceID",       "NewLng",         "IdleMinute",
    "LockOn",         "AlarmAttLog",     "AlarmOpLog",     "AlarmReRec",     "RS232BaudRate",
    "RS232CRC",       "RS232Stop",       nullptr,          "NetworkOn",      "RS232On",
    "RS485On",        "VoiceOn",         "MSpeed",         "IdlePower",      "AutoPowerOff",
    "AutoPowerOn",    "AutoPowerSuspend", "AutoAlarm1",    "MThreshold",     "EThreshold",
    "VThreshold",     "ShowScore",       "UnlockPerson",   "OnlyPINCard",    "HiSpeedNet",
    "MustEnroll",     "TOState",         "TOPin",          "TOMenu",         "DtFmt",
    "Must1To1",       "AutoAlarm2",      "AutoAlarm3",     "AutoAlarm4",     "AutoAlarm5",
    "AutoAlarm6",     "AS1",             "AS2",            "AS3",            "AS4",
    "AS5",            "AS6",             "AS7",            "AS8",            "AS9",
    "AS10",           "AS11",            "AS12",           "AS13",           "AS14",
    "AS15",           "AS16",            "WGFailedID",     "WGDuressID",     "WGSiteCode",
    "WGPulseWidth",   "WGPulseInterval", "~RFSStart",      "~RFSLen",        "~RFFPC",
    "CardKey",        "~ShowState",      "ControlOn",      "ControlStartTime", "ControlMinute",
    "~ProductTime",
};

constexpr std::array<std::int32_t, 4> kLanguages = {69, 83, 84, 76};
constexpr std::array<std::int32_t, 8> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Special indexes of the numbered calls.
constexpr int kIndexByText = 8999;
constexpr int kIndexRawTable = -5;
constexpr int kIndexClearTable = -6;

bool isThreshold(int index) { return index >= 23 && index <= 25; }

// The length of a caller's text, or nullopt when it is longer than `limit`.
std::optional<std::size_t> boundedLength(const char* text, std::size_t limit) {
  const std::size_t n = strnlen(text, limit + 1);
  if (n > limit) return std::nullopt;
  return n;
}

// One CMD_OPTIONS_RRQ exchange; `buffer` ends up holding the reply text,
// always zero-terminated inside the reply area.
std::uint16_t exchangeRead(Connection& c, std::string_view name, std::array<unsigned char, VX_MAX_DATA + 1>& buffer) {
  buffer.fill(0);
  std::memcpy(buffer.data(), name.data(), name.size());
  std::uint16_t code = CMD_OPTIONS_RRQ;
  VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), kOptionReplyArea, static_cast<int>(name.size() + 1),
                   c.shortTimeout);
  buffer[kOptionReplyArea - 1] = 0;
  return code;
}

void copyText(const std::string& text, char* out) { std::memcpy(out, text.c_str(), text.size() + 1); }

std::string decimal(std::int32_t value) { return std::to_string(value); }
}  // namespace

OptionReply readOption(Connection& c, std::string_view name) {
  OptionReply reply;
  if (name.size() > kMaxOptionName) {
    reply.code = static_cast<std::uint16_t>(CMD_ACK_ERROR_CMD);
    return reply;
  }
  std::array<unsigned char, VX_MAX_DATA + 1> buffer;
  reply.code = exchangeRead(c, name, buffer);
  if (reply.code == CMD_ACK_OK) reply.value = reinterpret_cast<const char*>(buffer.data() + name.size() + 1);
  return reply;
}

int writeOptionText(Connection& c, std::string_view text, int replyArea) {
  if (text.size() + 1 > VX_MAX_DATA) return kRefused;
  std::array<unsigned char, VX_MAX_DATA> buffer{};
  std::memcpy(buffer.data(), text.data(), text.size());
  std::uint16_t code = CMD_OPTIONS_WRQ;
  VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), replyArea, static_cast<int>(text.size() + 1), c.shortTimeout);
  return code == CMD_ACK_OK ? 1 : -2;
}

int writeOption(Connection& c, std::string_view name, std::string_view value, ValueForm form, int replyArea) {
  std::string text(name);
  text += '=';
  const bool scrambled = form == ValueForm::Auto && !name.empty() && name.front() == '~' && c.hasOsOption == 0;
  if (scrambled) {
    if (value.size() > kMaxScrambledValue) return kRefused;
    text += scrambleValue(value, drawScrambleKey());
  } else {
    text += value;
  }
  return writeOptionText(c, text, replyArea);
}

std::string scrambleValue(std::string_view value, std::uint8_t key) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * (value.size() + 1));
  std::uint8_t k = key;
  auto put = [&](std::uint8_t b) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  };
  put(k);
  for (const char ch : value) {
    k = static_cast<std::uint8_t>(k ^ static_cast<std::uint8_t>(ch));
    put(k);
  }
  return out;
}

std::uint8_t drawScrambleKey() {
  std::uint32_t random = 0;
  try {
    std::random_device device;
    random = device();
  } catch (...) {
    // Without a random source the tick count alone varies the key.
  }
  return static_cast<std::uint8_t>((random + vxp::tickCount()) * 1000u);
}

std::int32_t parseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kLimit);
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min<std::int64_t>(value, kLimit - 1));
}

std::int32_t languageToDevice(std::int32_t value) {
  if (value < 0 || value >= static_cast<std::int32_t>(kLanguages.size())) return kLanguages[1];
  return kLanguages[static_cast<std::size_t>(value)];
}

std::int32_t languageFromDevice(std::int32_t value) {
  switch (value) {
    case 69: return 0;
    case 84: return 2;
    case 76: return 3;
    default: return 1;
  }
}

std::int32_t baudRateToDevice(std::int32_t value) {
  if (value < 0 || value >= static_cast<std::int32_t>(kBaudRates.size())) return kBaudRates.back();
  return kBaudRates[static_cast<std::size_t>(value)];
}

std::int32_t baudRateFromDevice(std::int32_t value) {
  for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
    if (kBaudRates[i] == value) return static_cast<std::int32_t>(i);
  }
  return static_cast<std::int32_t>(kBaudRates.size() - 1);
}

// Firmware from "Ver 5.04" on keeps matching thresholds on another scale:
// 0..9 are spread three apart, 10..50 sit 20 higher.
std::int32_t thresholdToDevice(const Connection& c, std::int32_t x) {
  if (versionBelow(c, "Ver 5.04")) return x + 20;
  if (x < 0) return 0;
  if (x <= 9) return 3 * x;
  if (x <= 50) return x + 20;
  return 70;
}

std::int32_t thresholdFromDevice(const Connection& c, std::int32_t v) {
  if (versionBelow(c, "Ver 5.04")) return v - 20;
  if (v < 0) return 0;
  if (v <= 29) return v / 3;
  if (v <= 70) return v - 20;
  return 50;
}

const char* numberedOptionName(std::int32_t index) {
  if (index < 0 || index >= static_cast<std::int32_t>(kNumberedOptions.size())) return nullptr;
  return kNumberedOptions[static_cast<std::size_t>(index)];
}

int readPinWidth(Connection& c, std::int32_t& width) {
  width = kDefaultPinWidth;
  std::uint16_t code = 0;
  for (int i = 0; i < kPinWidthTries; ++i) {
    std::array<unsigned char, VX_MAX_DATA> buffer{};
    code = CMD_PINWIDTH_RRQ;
    VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), 2, 2, c.shortTimeout);
    if (code == CMD_ACK_OK) {
      width = static_cast<std::int8_t>(buffer[0]);
      c.pinWidth = width;
      return 1;
    }
  }
  // A device without the command, or one that refuses it, has the classic width.
  return code == CMD_ACK_ERROR || code == CMD_ACK_UNKNOWN ? 1 : -2;
}

namespace {
// The module a function of it was loaded from, as a base address.
std::int32_t moduleOf(const void* function) {
  Dl_info info{};
  if (dladdr(function, &info) == 0) return 0;
  return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(info.dli_fbase));
}

// Numbered reads that hand out the low 32 bits of an internal handle; they
// always return 4, as none of them is an option.
int handOutHandle(Connection& c, int index, std::int32_t* value) {
  switch (index) {
    case -1: *value = moduleOf(reinterpret_cast<const void*>(&VX_GetDeviceInfo)); break;
    case -2: *value = moduleOf(reinterpret_cast<const void*>(&VXEMBPRO_SENDCMD)); break;
    case -3: *value = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(&c)); break;
    default: *value = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(c.engine)); break;
  }
  return kRefused;
}

// Index 8999: the caller's text names the option and receives the whole reply.
int readByText(Connection& c, char* text) {
  const auto length = boundedLength(text, kMaxOptionName);
  if (!length) return kRefused;
  std::array<unsigned char, VX_MAX_DATA + 1> buffer;
  if (exchangeRead(c, std::string_view(text, *length), buffer) != CMD_ACK_OK) return -2;
  const std::size_t n = std::strlen(reinterpret_cast<const char*>(buffer.data()));
  std::memcpy(text, buffer.data(), n + 1);
  return 1;
}

// Index -5: the raw table read into the caller's area, whose first byte names
// the data set and whose second 32-bit word gives the area's size (at least
// those 8 bytes).
int readRawTable(void* handle, unsigned char* area) {
  const auto size = static_cast<std::int32_t>(wire::readU32(area + 4));
  if (size < 8) return kRefused;
  return VX_ReadData(handle, area, size);
}

// Index -6: empties the data set named by the area's first byte.
int clearTable(Connection& c, const unsigned char* area) {
  std::array<unsigned char, VX_MAX_DATA> buffer{};
  buffer[0] = area[0];
  std::uint16_t code = CMD_CLEAR_DATA;
  VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), 4, 1, c.shortTimeout + kClearDataExtraMs);
  return code == CMD_ACK_OK ? 1 : -2;
}

std::int32_t fromDevice(const Connection& c, int index, std::int32_t v) {
  if (index == 3) return languageFromDevice(v);
  if (index == 9) return baudRateFromDevice(v);
  if (isThreshold(index)) return thresholdFromDevice(c, v);
  return v;
}

std::int32_t toDevice(const Connection& c, int index, std::int32_t x) {
  if (index == 3) return languageToDevice(x);
  if (index == 9) return baudRateToDevice(x);
  if (isThreshold(index)) return thresholdToDevice(c, x);
  return x;
}

// A named option read into the caller's text buffer. `fallback` is the text
// handed out, with result 1, when the device does not know the option.
int getText(void* handle, const char* name, char* out, const char* fallback) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || out == nullptr) return -1;
  const OptionReply reply = readOption(*c, name);
  if (reply.code == CMD_ACK_OK) {
    copyText(reply.value, out);
    return 1;
  }
  if (reply.code == CMD_ACK_ERROR && fallback != nullptr) {
    std::memcpy(out, fallback, std::strlen(fallback) + 1);
    return 1;
  }
  return -2;
}

// A named option read as a decimal number.
template <class T>
int getNumber(void* handle, const char* name, T* out) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || out == nullptr) return -1;
  const OptionReply reply = readOption(*c, name);
  if (reply.code != CMD_ACK_OK) return -2;
  *out = static_cast<T>(parseDecimal(reply.value));
  return 1;
}

// A named option written from a caller's text (plain or scrambled as the name asks).
int setText(void* handle, const char* name, const char* value, ValueForm form, int replyArea) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || value == nullptr) return -1;
  const auto length = boundedLength(value, VX_MAX_DATA);
  if (!length) return kRefused;
  return writeOption(*c, name, std::string_view(value, *length), form, replyArea);
}

int setNumber(void* handle, const char* name, std::int32_t value, int replyArea) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  return writeOption(*c, name, decimal(value), ValueForm::Auto, replyArea);
}
}  // namespace
}  // namespace vxsdk

using vxsdk::Connection;
using vxsdk::fromHandle;
using vxsdk::kOptionReplyArea;
using vxsdk::ValueForm;

VX_EXPORT int VX_GetSysOption(void* handle, const char* option, char* value) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || option == nullptr || value == nullptr) return -1;
  const auto length = vxsdk::boundedLength(option, vxsdk::kMaxOptionName);
  if (!length) return vxsdk::kRefused;
  const vxsdk::OptionReply reply = vxsdk::readOption(*c, std::string_view(option, *length));
  if (reply.code != CMD_ACK_OK) return -2;
  vxsdk::copyText(reply.value, value);
  return 1;
}

VX_EXPORT int VX_SetSysOption(void* handle, const char* option, const char* value) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || option == nullptr || value == nullptr) return -1;
  if (option[0] == '\0') return vxsdk::kRefused;
  const auto nameLength = vxsdk::boundedLength(option, VX_MAX_DATA);
  const auto valueLength = vxsdk::boundedLength(value, VX_MAX_DATA);
  if (!nameLength || !valueLength) return vxsdk::kRefused;
  return vxsdk::writeOption(*c, std::string_view(option, *nameLength), std::string_view(value, *valueLength),
                            ValueForm::Auto, 0);
}

VX_EXPORT int VX_GetDeviceInfo(void* handle, int index, int* value) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || value == nullptr) return -1;
  switch (index) {
    case 1: *value = 500; return 1;
    case 10:
    case 11: *value = 0; return 1;
    case 12: *value = 1; return 1;
    case 65: return vxsdk::kRefused;  // the card key is never read back
    case vxsdk::kIndexByText: return vxsdk::readByText(*c, reinterpret_cast<char*>(value));
    case vxsdk::kIndexRawTable: return vxsdk::readRawTable(handle, reinterpret_cast<unsigned char*>(value));
    case vxsdk::kIndexClearTable: return vxsdk::clearTable(*c, reinterpret_cast<const unsigned char*>(value));
    case -1:
    case -2:
    case -3:
    case -4: return vxsdk::handOutHandle(*c, index, value);
    default: break;
  }
  const char* name = vxsdk::numberedOptionName(index);
  if (name == nullptr) return vxsdk::kRefused;
  const vxsdk::OptionReply reply = vxsdk::readOption(*c, name);
  if (reply.code != CMD_ACK_OK) return -2;
  *value = vxsdk::fromDevice(*c, index, vxsdk::parseDecimal(reply.value));
  return 1;
}

VX_EXPORT int VX_SetDeviceInfo(void* handle, int index, intptr_t value) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  index %= 10000;
  const auto number = static_cast<std::int32_t>(value);
  switch (index) {
    case 1: return 1;
    case 10:
    case 11: return number == 0 ? 1 : -100;
    case 12: return number == 1 ? 1 : -100;
    case vxsdk::kIndexByText: {
      const auto* text = reinterpret_cast<const char*>(value);
      if (text == nullptr) return -1;
      const auto length = vxsdk::boundedLength(text, VX_MAX_DATA);
      if (!length) return vxsdk::kRefused;
      return vxsdk::writeOptionText(*c, std::string_view(text, *length), 0);
    }
    default: break;
  }
  const char* name = vxsdk::numberedOptionName(index);
  if (name == nullptr) return vxsdk::kRefused;
  return vxsdk::writeOption(*c, name, vxsdk::decimal(vxsdk::toDevice(*c, index, number)), ValueForm::Auto, 0);
}

VX_EXPORT int VX_GetDeviceStrInfo(void* handle, int index, char* value) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || value == nullptr) return -1;
  if (index != 1) return vxsdk::kRefused;
  return vxsdk::getText(handle, "~ProductTime", value, nullptr);
}

VX_EXPORT int VX_RefreshOptions(void* handle) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::simpleCommand(*c, CMD_REFRESH_OPTIONS, nullptr, 0, 0);
}

VX_EXPORT int VX_GetSerialNumber(void* handle, char* serialNumber) {
  return vxsdk::getText(handle, "~SerialNumber", serialNumber, "0");
}

VX_EXPORT int VX_GetProductName(void* handle, char* productName) {
  return vxsdk::getText(handle, "~DeviceName", productName, "Tavix I");
}

VX_EXPORT int VX_GetVendor(void* handle, char* vendor) {
  return vxsdk::getText(handle, "~OEMVendor", vendor, "Vextra Inc.");
}

VX_EXPORT int VX_GetSensorSN(void* handle, char* sensorSN) { return vxsdk::getText(handle, "GUID", sensorSN, ""); }

VX_EXPORT int VX_ReadCustData(void* handle, char* data) { return vxsdk::getText(handle, "~CustData", data, ""); }

VX_EXPORT int VX_WriteCustData(void* handle, const char* data) {
  return vxsdk::setText(handle, "~CustData", data, ValueForm::Plain, kOptionReplyArea);
}

VX_EXPORT int VX_GetLanguage(void* handle, int* language) { return vxsdk::getNumber(handle, "Language", language); }

VX_EXPORT int VX_SetLanguage(void* handle, int language) {
  return vxsdk::setNumber(handle, "Language", language, kOptionReplyArea);
}

VX_EXPORT int VX_GetIPAddress(void* handle, char* ipAddress) {
  return vxsdk::getText(handle, "IPAddress", ipAddress, nullptr);
}

VX_EXPORT int VX_SetIPAddress(void* handle, const char* ipAddress) {
  return vxsdk::setText(handle, "IPAddress", ipAddress, ValueForm::Auto, kOptionReplyArea);
}

VX_EXPORT int VX_GetDevicePort(void* handle, unsigned short* port) {
  return vxsdk::getNumber(handle, "UDPPort", port);
}

VX_EXPORT int VX_SetDevicePort(void* handle, int port) {
  return vxsdk::setNumber(handle, "UDPPort", static_cast<std::uint16_t>(port), 0);
}

VX_EXPORT int VX_GetDeviceNumber(void* handle, unsigned short* number) {
  return vxsdk::getNumber(handle, "DeviceID", number);
}

VX_EXPORT int VX_SetDeviceNumber(void* handle, int number) {
  return vxsdk::setNumber(handle, "DeviceID", static_cast<std::uint16_t>(number), 0);
}

VX_EXPORT int VX_GetCardFun(void* handle, int* cardFun) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || cardFun == nullptr) return -1;
  const vxsdk::OptionReply onlyCard = vxsdk::readOption(*c, "~IsOnlyRFMachine");
  if (onlyCard.code == CMD_ACK_OK && vxsdk::parseDecimal(onlyCard.value) == 1) {
    *cardFun = 1;
    return 1;
  }
  const vxsdk::OptionReply reader = vxsdk::readOption(*c, "~RFCardOn");
  if (reader.code != CMD_ACK_OK) return -2;
  *cardFun = vxsdk::parseDecimal(reader.value) == 1 ? 2 : 0;
  return 1;
}

VX_EXPORT int VX_GetACFun(void* handle, int* acFun) { return vxsdk::getNumber(handle, "~LockFunOn", acFun); }

VX_EXPORT int VX_GetPINWidth(void* handle, int* width) {
  Connection* c = fromHandle(handle);
  if (c == nullptr || width == nullptr) return -1;
  std::int32_t w = 0;
  const int result = vxsdk::readPinWidth(*c, w);
  *width = w;
  return result;
}

VX_EXPORT int VX_IsTFTMachine(void* handle, int* tft) {
  if (tft != nullptr) *tft = 0;
  Connection* c = fromHandle(handle);
  if (c == nullptr || tft == nullptr) return -1;
  *tft = c->tftMachine != 0 ? 1 : 0;
  return 1;
}

VX_EXPORT int VX_SetDeviceCommPwd(void* handle, int commKey) {
  return vxsdk::setNumber(handle, "COMKey", commKey, kOptionReplyArea);
}
