// Opening a connection over the network or a serial line, probing the
// firmware, closing, and the first commands built on it.
#include "vxsdk/api/connection.h"

#include <cstdio>
#include <memory>

#include "platform/export.h"
#include "vxsdk.h"
#include "wirecore/packet.h"

namespace vxsdk {
namespace {
constexpr char kInitialVersion[] = "Ver 5.04";
constexpr int kOptionTries = 5;
constexpr int kOptionTimeoutMs = 1000;
constexpr int kOptionReply = 200;
constexpr int kVersionReply = 50;
constexpr char kSdkVersion[] = "6.0.1.16";
}  // namespace

View& Connection::view(ViewKind kind) {
  switch (kind) {
    case ViewKind::Template: return templateView;
    case ViewKind::AttLog: return attLogView;
    case ViewKind::OpLog: return opLogView;
    case ViewKind::AttRule: return reportViews[0];
    case ViewKind::Department: return reportViews[1];
    case ViewKind::Shift: return reportViews[2];
  }
  return templateView;
}

int compareVersion(const Connection& c, const char* reference) {
  const std::size_t n = std::strlen(reference) + 1;
  return std::memcmp(c.firmwareVersion, reference, std::min(n, sizeof c.firmwareVersion));
}

void normaliseVersion(char (&v)[52]) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int month = 13;
  for (int i = 0; i < 12; ++i) {
    if (std::memcmp(v + 9, kMonths[i], 3) == 0) {
      month = i + 1;
      break;
    }
  }
  char year[4], day[2];
  std::memcpy(year, v + 16, 4);
  std::memcpy(day, v + 13, 2);
  std::memcpy(v + 9, year, 4);
  std::memcpy(v + 15, day, 2);
  v[17] = '\0';
  v[13] = month < 10 ? '0' : '1';
  v[14] = static_cast<char>('0' + (month < 10 ? month : month - 10));
}

std::optional<std::string> queryOption(Connection& c, const char* name, int timeoutMs) {
  const std::size_t nameLength = std::strlen(name);
  if (nameLength + 1 > VX_MAX_DATA) return std::nullopt;
  unsigned char buffer[VX_MAX_DATA] = {};
  std::memcpy(buffer, name, nameLength + 1);
  std::uint16_t code = CMD_OPTIONS_RRQ;
  VXEMBPRO_SENDCMD(c.engine, &code, buffer, kOptionReply, static_cast<int>(nameLength + 1), timeoutMs);
  if (code != CMD_ACK_OK) return std::nullopt;
  buffer[kOptionReply - 1] = 0;
  if (nameLength + 1 >= kOptionReply) return std::string();
  return std::string(reinterpret_cast<const char*>(buffer + nameLength + 1));
}

int simpleCommand(Connection& c, std::uint16_t command, const void* data, int dataLength, int replyCapacity) {
  unsigned char buffer[VX_MAX_DATA] = {};
  if (dataLength > 0) std::memcpy(buffer, data, static_cast<std::size_t>(dataLength));
  std::uint16_t code = command;
  VXEMBPRO_SENDCMD(c.engine, &code, buffer, replyCapacity, dataLength, c.shortTimeout);
  return code == CMD_ACK_OK ? 1 : -2;
}

namespace {
std::optional<std::string> probeOption(Connection& c, const char* name) {
  for (int i = 0; i < kOptionTries; ++i) {
    if (auto value = queryOption(c, name, kOptionTimeoutMs)) return value;
  }
  return std::nullopt;
}

int readFirmwareVersion(Connection& c, char* out, std::size_t outSize) {
  unsigned char reply[kVersionReply + 1] = {};
  std::uint16_t code = CMD_VERSION_RRQ;
  VXEMBPRO_SENDCMD(c.engine, &code, reply, kVersionReply, 0, c.shortTimeout);
  if (code != CMD_ACK_OK) return -2;
  // The device's text is at most 50 bytes; the copy is always terminated.
  const std::size_t n = std::min<std::size_t>(std::strlen(reinterpret_cast<char*>(reply)), outSize - 1);
  std::memcpy(out, reply, n);
  out[n] = '\0';
  return 1;
}

int registerEvents(Connection& c, std::int32_t mask) {
  unsigned char data[4];
  wire::writeU32(data, static_cast<std::uint32_t>(mask));
  return simpleCommand(c, CMD_EVENT, data, 4, 4);
}

void closeConnection(std::unique_ptr<Connection> c) {
  c->bulkBuffer.release();
  c->userBuffer.release();
  c->batchIndex.release();
  c->batchUsers.release();
  c->batchTemplates.release();
  c->batchUserCache.release();
  c->batchMode = 0;
  if (c->engine != nullptr) VXEMBPRO_CLOSE(c->engine);
  c->engine = nullptr;
}

// The probe both connect calls share; the handle, or null after closing.
void* probe(std::unique_ptr<Connection> c, bool network) {
  if (readFirmwareVersion(*c, c->firmwareVersion, 51) != 1) {
    closeConnection(std::move(c));
    return nullptr;
  }
  normaliseVersion(c->firmwareVersion);
  const auto os = probeOption(*c, "~OS");
  c->hasOsOption = os && *os != "NONE" && !(network && os->empty()) ? 1 : 0;
  const auto extend = probeOption(*c, "~ExtendFmt");
  c->extendFormat = extend ? std::atoi(extend->c_str()) : 0;
  if (versionBelow(*c, "Ver 6.01")) registerEvents(*c, 0x7FFF);
  c->rtLogCounter = 0;
  const auto platform = probeOption(*c, "~Platform");
  c->tftPlatform = platform && platform->find("TFT") != std::string::npos ? 1 : 0;
  c->tftMachine = c->tftPlatform;
  c->newRtLogFormat = compareVersion(*c, "Ver 6.18 20070807") > 0 && c->tftMachine == 0 ? 1 : 0;
  return c.release();
}

std::unique_ptr<Connection> newConnection() {
  auto c = std::make_unique<Connection>();
  std::memcpy(c->firmwareVersion, kInitialVersion, sizeof kInitialVersion);
  return c;
}
}  // namespace
}  // namespace vxsdk

using vxsdk::Connection;

VX_EXPORT void* VX_Connect_NET(const char* ipAddress, int port, VxEventCallback eventCallback, intptr_t userData,
                               int commKey) {
  if (ipAddress == nullptr) return nullptr;
  auto c = vxsdk::newConnection();
  c->engine = VXEMBPRO_INIT("comms.dll", reinterpret_cast<intptr_t>(ipAddress), static_cast<std::uint16_t>(port), 0,
                            eventCallback, userData, commKey);
  c->shortTimeout = 8000;
  c->longTimeout = 12000;
  c->blockSize = 16384;
  if (c->engine == nullptr) return nullptr;
  return vxsdk::probe(std::move(c), true);
}

VX_EXPORT void* VX_Connect_COM(int port, int machineNumber, int baudRate, VxEventCallback eventCallback,
                               intptr_t userData, int commKey, const char* phoneNumber) {
  auto c = vxsdk::newConnection();
  c->blockSize = 4096;
  if (phoneNumber != nullptr && phoneNumber[0] != '\0') {
    c->viaModem = 1;
    std::strncpy(c->phoneNumber, phoneNumber, sizeof c->phoneNumber - 1);
  }
  if (baudRate == 0) return nullptr;
  if (c->viaModem) {
    // The engine refuses a number it cannot keep whole, so pass it as given.
    c->engine = VXEMBPRO_INITEX("brokerlink.dll", port, static_cast<std::uint16_t>(machineNumber), baudRate,
                                eventCallback, userData, commKey, phoneNumber);
  } else {
    c->engine = VXEMBPRO_INIT("brokerlink.dll", port, static_cast<std::uint16_t>(machineNumber), baudRate,
                              eventCallback, userData, commKey);
  }
  const int unit = 115200000 / baudRate;
  c->shortTimeout = unit * 8;
  c->longTimeout = unit * 16;
  if (c->engine == nullptr) return nullptr;
  return vxsdk::probe(std::move(c), false);
}

VX_EXPORT int VX_Close(void* handle) {
  std::unique_ptr<Connection> c(vxsdk::fromHandle(handle));
  if (!c) return -1;
  vxsdk::closeConnection(std::move(c));
  return 1;
}

VX_EXPORT int VX_LastError(void) { return VXEMBPRO_LASTERROR(); }

VX_EXPORT int VX_RegEvent(void* handle, int eventMask) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::registerEvents(*c, eventMask);
}

VX_EXPORT int VX_GetFirmwareVersion(void* handle, char* version) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || version == nullptr) return -1;
  return vxsdk::readFirmwareVersion(*c, version, 50);
}

VX_EXPORT int VX_GetSDKVersion(char* version) {
  if (version == nullptr) return -1;
  std::memcpy(version, vxsdk::kSdkVersion, sizeof vxsdk::kSdkVersion);
  return 1;
}

VX_EXPORT int VX_EnableDevice(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::simpleCommand(*c, CMD_ENABLEDEVICE, nullptr, 0, 0);
}

VX_EXPORT int VX_DisableDevice(void* handle, int timeOut) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  unsigned char data[4];
  wire::writeU32(data, static_cast<std::uint32_t>(timeOut));
  return vxsdk::simpleCommand(*c, CMD_DISABLEDEVICE, data, 4, 4);
}
