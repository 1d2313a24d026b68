// The shared download buffer and its views.
#include "vxsdk/api/devicetime.h"

#include <algorithm>

#include "wirecore/packet.h"

namespace vxsdk {
int ensureBulkBuffer(Connection& c, std::int32_t size) {
  if (c.bulkBuffer.allocated() && c.bulkCapacity > 0) return 1;
  if (!c.bulkBuffer.allocate(static_cast<std::size_t>(size))) return -100;
  c.bulkCapacity = size;
  return 1;
}

bool growBulkBuffer(Connection& c, std::int64_t size) {
  if (size <= c.bulkCapacity) return true;
  if (size > kMaxDataSet) return false;
  if (!c.bulkBuffer.grow(static_cast<std::size_t>(size))) return false;
  c.bulkCapacity = static_cast<std::int32_t>(size);
  return true;
}

void setView(Connection& c, ViewKind kind, std::size_t start, std::int32_t length) {
  for (ViewKind k : {ViewKind::Template, ViewKind::AttLog, ViewKind::OpLog, ViewKind::AttRule, ViewKind::Department,
                     ViewKind::Shift}) {
    c.view(k).reset();
  }
  View& v = c.view(kind);
  v.start = start;
  v.cursor = start;
  v.length = length;
}

// A download answer begins with its byte count; the view takes what the
// buffer really holds, so a count that claims more is cut to the data read.
std::int32_t leadingCount(const std::uint8_t* answer, int bytesRead) {
  if (bytesRead < 4) return 0;
  const auto count = static_cast<std::int32_t>(wire::readU32(answer));
  return std::clamp<std::int32_t>(count, 0, bytesRead - 4);
}

namespace {

// Whether the engine refused a set for lack of room, and the buffer could grow to it.
bool grewForRefusedSet(Connection& c) {
  const std::int64_t needed = VXEMBPRO_NEEDEDSIZE(c.engine);
  return needed > c.bulkCapacity && growBulkBuffer(c, needed);
}
}  // namespace

int downloadDataSet(Connection& c, std::uint8_t kind, std::uint16_t command, int requestLength, ViewKind view,
                    bool allowFallback, const AfterRead& afterRead) {
  if (ensureBulkBuffer(c, kBulkSize) != 1) return -100;
  std::uint16_t code = CMD_ACK_OK;
  int count = 0;
  // A set larger than the buffer is refused by the engine with its size; the
  // buffer then grows to it (up to the cap) and the read is made once more.
  for (int pass = 0; pass < 2; ++pass) {
    c.bulkBuffer.data()[0] = kind;
    code = command;
    count = VXEMBPRO_READDATA(c.engine, &code, c.bulkBuffer.data(), c.bulkCapacity, requestLength, c.blockSize,
                              c.longTimeout);
    if ((code == CMD_ACK_OK && count >= 0) || pass == 1 || !grewForRefusedSet(c)) break;
  }
  if (code == CMD_ACK_OK && count >= 0 && afterRead) afterRead(code);
  if (code == CMD_ACK_OK && count >= 0) {
    setView(c, view, 4, leadingCount(c.bulkBuffer.data(), count));
    return 1;
  }
  if (code == CMD_ACK_ERROR && count == 0) return 0;
  if (VXEMBPRO_NEEDEDSIZE(c.engine) > kMaxDataSet) return -100;
  if (!allowFallback) return -2;
  for (int pass = 0; pass < 2; ++pass) {
    int capacity = c.bulkCapacity;
    count = VXEMBPRO_READDB(c.engine, kind, c.blockSize, c.bulkBuffer.data(), &capacity);
    if (count >= 0 || pass == 1 || !grewForRefusedSet(c)) break;
  }
  if (count > 0) {
    setView(c, view, 0, std::min(count, c.bulkCapacity));
    return 1;
  }
  if (count == 0) return 0;
  return VXEMBPRO_NEEDEDSIZE(c.engine) > kMaxDataSet ? -100 : -2;
}
}  // namespace vxsdk
