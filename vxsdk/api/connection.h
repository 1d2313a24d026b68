#pragma once
// The record behind every connection handle, and the helpers that the API
// calls share: version thresholds and the option query used while opening.
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "vxsdk/api/lazybuffer.h"
#include "wirecore.h"

namespace vxsdk {
// A view on downloaded records: offsets into its buffer and a length in bytes.
struct View {
  std::size_t start = 0;
  std::size_t cursor = 0;
  std::int32_t length = 0;
  void reset() { *this = View{}; }
};

enum class ViewKind { Template, AttLog, OpLog, AttRule, Department, Shift };

struct Connection {
  EngineHandle engine = nullptr;
  LazyBuffer bulkBuffer;  // shared download buffer of logs, templates, report data
  std::int32_t bulkCapacity = 0;
  View userView;  // inside userBuffer
  View templateView, attLogView, opLogView;
  LazyBuffer userBuffer;
  std::int32_t userCapacity = 0;
  View reportViews[3];  // attendance rules, departments, shifts
  std::int32_t shortTimeout = 0;
  std::int32_t longTimeout = 0;
  std::int32_t lastLogTime = 0;
  std::int32_t pinWidth = 0;
  char firmwareVersion[52] = {};
  std::int32_t hasOsOption = 0;
  std::int32_t batchMode = 0;
  std::int32_t batchOverwrite = 0;
  std::int32_t scheduleUploadMode = 0;
  LazyBuffer batchIndex, batchUsers, batchTemplates;
  std::int32_t batchIndexLength = 0, batchUsersLength = 0, batchTemplatesLength = 0;
  LazyBuffer batchUserCache;
  std::int32_t batchUserCacheLength = 0;
  std::int32_t extendFormat = 0;
  std::int32_t blockSize = 0;
  std::int32_t rtLogCounter = 0;
  std::int32_t tftPlatform = 0;
  std::int32_t viaModem = 0;
  char phoneNumber[20] = {};
  std::int32_t newRtLogFormat = 0;
  std::int32_t tftMachine = 0;
  std::int32_t lastUserNumber = 0;
  std::array<std::uint8_t, 65536> usedUserNumbers = {};

  View& view(ViewKind kind);
};

// Version thresholds: byte comparison over the reference and its terminator.
int compareVersion(const Connection& c, const char* reference);
inline bool versionAtLeast(const Connection& c, const char* reference) { return compareVersion(c, reference) >= 0; }
inline bool versionBelow(const Connection& c, const char* reference) { return compareVersion(c, reference) < 0; }

// Rewrites "Ver 6.18 Aug 07 2007" in place as "Ver 6.18 20070807".
void normaliseVersion(char (&version)[52]);

// One option read: CMD_OPTIONS_RRQ with the name; the value after "name=",
// or nothing when the device did not answer CMD_ACK_OK.
std::optional<std::string> queryOption(Connection& c, const char* name, int timeoutMs);

// One command exchange that is 1 on CMD_ACK_OK and -2 otherwise.
int simpleCommand(Connection& c, std::uint16_t command, const void* data, int dataLength, int replyCapacity);

inline Connection* fromHandle(void* handle) { return static_cast<Connection*>(handle); }
}  // namespace vxsdk
