// Bulk data transfer: uploads into the device's transfer buffer in paced
// chunks, downloads by announcement (numbered CMD_DATA blocks) and by query
// (hash-checked ranges, LZO1X decompressed when the device compressed them).
//
// Every size, index and length here comes from the device and is checked
// before it is used: a lying device can make a read fail, never make it write
// outside the caller's buffer or allocate without bound.
#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/export.h"
#include "platform/tick.h"
#include "platform/trace.h"
#include "wirecore/engine.h"

namespace wire {
using vxp::trace;
namespace {
constexpr int kChunk = 1024;
constexpr int kChunkExchanges = 5;
constexpr int kDelayStep = 500;
constexpr int kDelayLimit = 5000;
constexpr int kDelayFloor = 150;
constexpr int kStrictAttempts = 6;
constexpr int kMemoryTries = 10;
constexpr int kMinBlock = 1024;
constexpr int kRangeTimeoutMs = 32000;
constexpr int kHashFetches = 5;
constexpr int kQueryReply = 1048;
// A drain stops after this long even if a device keeps sending.
constexpr std::uint32_t kDrainLimitMs = 10000;
// Packets with a foreign reply id tolerated per expected block before a
// stream is given up as hostile.
constexpr int kStrayPerBlock = 4;
constexpr int kStrayFloor = 1024;

void drainLink(Engine& e, int waitMs, int pauseMs) {
  std::uint8_t packet[kMaxPacket];
  const std::uint32_t start = vxp::tickCount();
  while (e.read(e.link, packet, static_cast<int>(kMaxPacket), waitMs) != 0) {
    if (pauseMs > 0) vxp::sleepMs(static_cast<std::uint32_t>(pauseMs));
    if (static_cast<std::uint32_t>(vxp::tickCount() - start) > kDrainLimitMs) break;
  }
}

struct Request {
  std::uint8_t bytes[kMaxPacket] = {};
  int length = 0;
};

// State one strict read keeps across its attempts.
struct BlockMap {
  std::vector<std::uint8_t> received;  // one byte per block, sized to the announcement
  std::int64_t pendingTotal = 0;
  bool complete(std::size_t blocks, const std::vector<std::uint8_t>& seen) const {
    for (std::size_t i = 0; i < blocks; ++i) {
      if (!received[i] && !seen[i]) return false;
    }
    return true;
  }
};

// One attempt of an announcement-path read. `capacity` is the caller's
// stated capacity (the inline-answer rule depends on it); `out` is the space
// that may really be written, never more than the capacity.
int ReadTransfer(Engine& e, std::uint16_t& code, Request request, std::span<std::uint8_t> out, int capacity,
                 bool strict, int timeoutMs, BlockMap& map) {
  const std::uint16_t command = code;
  std::uint8_t reply[kMaxPacket];
  std::memcpy(reply, request.bytes, static_cast<size_t>(request.length));
  ExchangePacket(e, code, reply, static_cast<int>(kMaxPacket), request.length, timeoutMs, true, nullptr);
  const int replyLength = e.replyLength.load();
  int result = 0;
  std::int64_t total = 0;
  std::size_t blocks = 0;
  std::vector<std::uint8_t> seen;
  bool haveSeen = false;

  if (code == CMD_PREPARE_DATA && replyLength >= 8) {
    total = static_cast<std::int32_t>(readU32(reply));
    const std::int64_t blockSize = static_cast<std::int32_t>(readU32(reply + 4));
    if (total < 0 || blockSize <= 0) {
      code = CMD_ACK_ERROR_DATA;
      trace("Invalid data length\n");
      drainLink(e, 100, 0);
      e.readerEnable.set();
      return -3;
    }
    blocks = static_cast<std::size_t>((total + blockSize - 1) / blockSize);
    if (map.pendingTotal != 0 && map.pendingTotal != total) {
      map.pendingTotal = 0;
      std::fill(map.received.begin(), map.received.end(), 0);
      trace("Dirty Data, Len=%d.\n", static_cast<int>(total));
    }
    if (capacity < total || static_cast<std::int64_t>(out.size()) < total) {
      e.neededSize = total;
      code = CMD_ACK_ERROR_DATA;
      drainLink(e, 200, 0);
      e.readerEnable.set();
      trace("Buffer size(%d) too small, expect %d\n", capacity, static_cast<int>(total));
      return 0;
    }
    // Blocks are at most one per byte of the announced total, which fits the
    // caller's buffer, so the map stays bounded by what the caller allotted.
    if (map.received.size() < blocks) map.received.resize(blocks, 0);
    seen.assign(blocks, 0);
    haveSeen = true;

    const int packetWait = timeoutMs / 3;
    const std::uint16_t expectedId = static_cast<std::uint16_t>(e.replyCounter.load() - 1);
    std::size_t received = 0;
    std::size_t distinct = 0;
    bool sawFirst = false;
    int stray = 0;
    const int strayLimit = std::max<int>(kStrayFloor, static_cast<int>(std::min<std::size_t>(blocks, 1 << 20)) * kStrayPerBlock);
    std::uint8_t packet[kMaxPacket];
    result = 0;
    while (blocks > 0 && received < blocks) {
      const int length = e.read(e.link, packet, static_cast<int>(kMaxPacket), packetWait);
      if (length == 0 || stray > strayLimit) {
        if (strict && !map.complete(blocks, seen)) {
          code = CMD_ACK_ERROR_DATA;
          result = -4;
          trace("Invalid data(size=%d, but %d)\n", static_cast<int>(total),
                static_cast<int>(received * static_cast<std::size_t>(blockSize)));
        }
        break;
      }
      if (length < static_cast<int>(kHeaderSize) || length > static_cast<int>(kMaxPacket)) {
        ++stray;
        continue;
      }
      const Header h = Header::decode({packet, static_cast<size_t>(length)});
      // Only data blocks of this read count; acknowledgements and events
      // that share the link are passed over.
      if (h.replyId != expectedId || h.code != CMD_DATA) {
        ++stray;
        continue;
      }
      const std::size_t index = h.sessionId;
      const std::int64_t dataLength = length - static_cast<int>(kHeaderSize);
      const std::int64_t offset = static_cast<std::int64_t>(index) * blockSize;
      // A block must lie inside the announced total and carry exactly its
      // share of it (the last block the remainder); anything else would leave
      // a hole that is counted as received.
      const std::int64_t expected = std::min<std::int64_t>(blockSize, total - offset);
      if (index >= blocks || offset + dataLength > total || dataLength != expected) {
        code = CMD_ACK_ERROR_DATA;
        result = -3;
        trace("Invalid data length\n");
        break;
      }
      if (strict && (!checksumValid({packet, static_cast<size_t>(length)}) || dataLength > capacity)) {
        code = CMD_ACK_ERROR_DATA;
        result = -2;
        trace("Invalid data\n");
        break;
      }
      if (dataLength > 0) std::memcpy(out.data() + offset, packet + kHeaderSize, static_cast<size_t>(dataLength));
      trace("  %d", static_cast<int>(offset));
      if (index == 0) sawFirst = true;
      if (!seen[index]) ++distinct;
      seen[index] = 1;
      ++received;
      if (index == blocks - 1 && !strict) break;
      if (strict && map.complete(blocks, seen)) break;
    }
    if (result >= 0) {
      const bool whole = strict ? map.complete(blocks, seen) : (sawFirst && distinct == blocks);
      if (blocks == 0 || whole) {
        if (strict) {
          std::uint8_t closing[kMaxPacket];
          e.read(e.link, closing, static_cast<int>(kMaxPacket), 100);
        }
        code = CMD_ACK_OK;
        result = static_cast<int>(total);
      } else {
        code = CMD_ACK_ERROR_DATA;
        result = -5;
      }
    }
  } else if (code == CMD_PREPARE_DATA) {
    code = CMD_ACK_ERROR_DATA;
    result = -3;
    trace("Invalid data length\n");
  } else if (code == CMD_DATA) {
    const int dataLength = replyLength;
    if (dataLength >= 0 && dataLength == capacity - kChunk && static_cast<std::size_t>(dataLength) <= out.size()) {
      if (dataLength > 0) std::memcpy(out.data(), reply, static_cast<size_t>(dataLength));
      if (map.received.empty()) map.received.resize(1, 0);
      map.received[0] = 1;
      code = CMD_ACK_OK;
      total = dataLength;
      result = dataLength;
    } else {
      trace("CMD_PREPARE_DATA have lost\n");
      drainLink(e, 100, 1);
    }
  } else if (code != CMD_ACK_ERROR) {
    code = CMD_ACK_NO;
  }
  (void)command;

  if (strict && haveSeen && (map.pendingTotal == 0 || map.pendingTotal == total) && result != total) {
    for (std::size_t i = 0; i < blocks; ++i) map.received[i] |= seen[i];
    if (map.complete(blocks, seen)) {
      code = CMD_ACK_OK;
      result = static_cast<int>(total);
    } else {
      map.pendingTotal = total;
    }
  }
  if (result != total || (code != CMD_ACK_OK)) drainLink(e, 100, 0);
  e.readerEnable.set();
  return result;
}

int ReadData1(Engine& e, std::uint16_t& code, std::span<const std::uint8_t> requestBytes, std::span<std::uint8_t> out,
              int capacity, bool strict, int timeoutMs) {
  Request request;
  request.length = static_cast<int>(requestBytes.size());
  if (request.length > static_cast<int>(kMaxData)) {
    code = CMD_ACK_ERROR_CMD;
    return 0;
  }
  if (!requestBytes.empty()) std::memcpy(request.bytes, requestBytes.data(), requestBytes.size());
  const std::uint16_t command = code;
  const int attempts = strict ? kStrictAttempts : 1;
  BlockMap map;
  int result = 0;
  bool stoppedEarly = false;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    code = command;
    result = ReadTransfer(e, code, request, out, capacity, strict, timeoutMs, map);
    if (code == CMD_ACK_ERROR || (result >= 0 && code == CMD_ACK_OK)) {
      stoppedEarly = true;
      break;
    }
  }
  if (!stoppedEarly && strict && code == CMD_ACK_OK) code = CMD_ACK_NO;
  return result;
}

// Reads one range of the prepared buffer: 0 success, -2 device error, -1 tries ran out.
int ReadChunk(Engine& e, std::uint16_t command, int start, int length, int tries, std::span<std::uint8_t> out) {
  std::uint8_t range[8];
  writeU32(range, static_cast<std::uint32_t>(start));
  writeU32(range + 4, static_cast<std::uint32_t>(length));
  for (int t = 0; t < tries; ++t) {
    std::uint16_t code = command;
    const int got = ReadData1(e, code, range, out.first(static_cast<size_t>(length)), length + kChunk, true,
                              kRangeTimeoutMs);
    if (code == CMD_ACK_OK && got == length) return 0;
    if (code == CMD_ACK_OK || code == CMD_ACK_ERROR_DATA || code == CMD_DATA || code == CMD_ACK_ERROR_CMD) continue;
    trace("Error of ReadData: %d\n", static_cast<int>(static_cast<std::int16_t>(code)));
    return -2;
  }
  return -1;
}

int ReadMemory(Engine& e, std::uint16_t command, int start, int size, int blockSize, int triesPerBlock,
               std::span<std::uint8_t> out) {
  if (size < 0 || start < 0 || static_cast<std::size_t>(size) > out.size()) return -3;
  if (blockSize <= 0) blockSize = kMinBlock;
  if (e.blockSize <= 0) e.blockSize = blockSize;
  int block = blockSize > e.blockSize ? static_cast<int>((static_cast<std::int64_t>(blockSize) + e.blockSize) / 2)
                                      : e.blockSize;
  int triesLeft = kMemoryTries;
  int done = 0;
  while (done < size) {
    const int chunk = std::min(block, size - done);
    trace("\nReadBlock: Start=%d, Size=%d, BlockSize=%d, TryLeft=%d\n", start + done, chunk, block, triesLeft);
    const int outcome = ReadChunk(e, command, start + done, chunk, triesPerBlock, out.subspan(static_cast<size_t>(done)));
    if (outcome == 0) {
      done += chunk;
      e.blockSize = block;
      triesLeft = kMemoryTries;
      continue;
    }
    if (outcome == -2) return -2;
    block /= 8;
    if (block >= kMinBlock) continue;
    if (triesLeft == 0) return -3;
    --triesLeft;
    block = kMinBlock;
  }
  return done;
}

void freeData(Engine& e, int timeoutMs, std::uint16_t& code) {
  code = CMD_FREE_DATA;
  ExchangePacket(e, code, nullptr, 0, 0, timeoutMs, true, nullptr);
}

int ReadData2(Engine& e, std::uint16_t& code, std::span<std::uint8_t> out, int requestLength, int blockSize,
              int timeoutMs) {
  const int capacity = static_cast<int>(out.size());
  std::uint8_t query[kQueryReply] = {};
  query[0] = 1;
  writeU16(query + 1, code);
  const int copy = std::clamp(std::min(requestLength, capacity), 0, 8);
  if (copy > 0) std::memcpy(query + 3, out.data(), static_cast<size_t>(copy));
  code = CMD_QUERY_DATA;
  ExchangePacket(e, code, query, kQueryReply, 11, timeoutMs + 4, true, nullptr);
  const int replyLength = e.replyLength.load();
  if (code == CMD_DATA) {
    code = CMD_ACK_OK;
    const int n = std::clamp(std::min(replyLength, capacity), 0, static_cast<int>(kMaxData));
    if (n > 0) std::memcpy(out.data(), query, static_cast<size_t>(n));
    return n;
  }
  if (code != CMD_ACK_OK) return -1;
  if (replyLength < 13) {
    code = CMD_ACK_ERROR_DATA;
    return 0;
  }
  const bool compressed = static_cast<std::int8_t>(query[0]) != 0;
  const std::int64_t stored = static_cast<std::int32_t>(readU32(query + 1));
  const std::int64_t finalSize = static_cast<std::int32_t>(readU32(query + 5));
  const std::uint32_t hash = readU32(query + 9);
  if (finalSize == 0 || stored <= 0) return 0;
  if (finalSize < 0 || capacity < finalSize) {
    if (finalSize > 0) e.neededSize = finalSize;
    freeData(e, timeoutMs, code);
    // The outcome says why nothing was read, whatever the freeing answered:
    // a caller testing for CMD_ACK_OK must not take the refusal for data.
    code = CMD_ACK_ERROR_DATA;
    return -100;
  }
  // The stored bytes must be what the final size allows: the same size when
  // plain, no more than LZO1X's worst-case expansion when compressed. This
  // caps the temporary buffer by the caller's capacity.
  const std::int64_t storedLimit = compressed ? finalSize + finalSize / 16 + 64 + 3 : finalSize;
  if ((!compressed && stored != finalSize) || stored > storedLimit) {
    freeData(e, timeoutMs, code);
    code = CMD_ACK_ERROR_DATA;
    return 0;
  }
  std::vector<std::uint8_t> temporary;
  std::span<std::uint8_t> destination = out.first(static_cast<size_t>(compressed ? 0 : stored));
  if (compressed) {
    temporary.resize(static_cast<size_t>(stored));
    destination = temporary;
  }
  int result = 0;
  bool fetched = false;
  for (int fetch = 0; fetch < kHashFetches; ++fetch) {
    result = ReadMemory(e, CMD_READ_DATA, 0, static_cast<int>(stored), blockSize, 5, destination);
    if (result <= 0) break;
    if (BufferHash(destination) == hash) {
      fetched = true;
      break;
    }
    result = 0;
  }
  freeData(e, timeoutMs, code);
  if (fetched && compressed) {
    lzo_uint produced = static_cast<lzo_uint>(capacity);
    const int status = lzo1x_decompress_safe(temporary.data(), static_cast<lzo_uint>(temporary.size()), out.data(),
                                             &produced, nullptr);
    if (status != LZO_E_OK || static_cast<std::int64_t>(produced) != finalSize) fetched = false;
    if (!fetched) result = 0;
  }
  return fetched ? static_cast<int>(finalSize) : result;
}

bool queryCapable(std::uint16_t command) {
  switch (command) {
    case CMD_DB_RRQ:
    case CMD_USERTEMP_RRQ:
    case CMD_OPTIONS_RRQ:
    case CMD_ATTLOG_RRQ:
    case CMD_OPLOG_RRQ:
    case CMD_BACKUP_ITEM_RRQ:
    case CMD_NEWLOG_RRQ:
      return true;
    default:
      return false;
  }
}

std::span<std::uint8_t> callerBuffer(unsigned char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return {};
  return {buffer, static_cast<size_t>(capacity)};
}

int SendData(Engine& e, std::span<const std::uint8_t> data, int timeoutMs) {
  const std::uint32_t start = vxp::tickCount();
  std::uint32_t accepted = 0;
  if (e.dataDelay == 0) e.dataDelay = timeoutMs;
  std::uint8_t prepare[16];
  writeU32(prepare, static_cast<std::uint32_t>(data.size()));
  std::uint16_t code = CMD_PREPARE_DATA;
  SendCommand(e, code, prepare, 16, 4, timeoutMs);
  std::size_t position = 0;
  if (code == CMD_ACK_OK) {
    while (position < data.size()) {
      const std::size_t size = std::min<std::size_t>(kChunk, data.size() - position);
      std::uint8_t chunk[kChunk];
      std::memcpy(chunk, data.data() + position, size);
      bool done = false;
      bool abandon = false;
      for (int exchange = 0; exchange < kChunkExchanges && !done && !abandon; ++exchange) {
        int unanswered = 0;
        std::uint16_t outcome = CMD_DATA;
        ExchangePacket(e, outcome, chunk, 0, static_cast<int>(size), e.dataDelay, true, &unanswered);
        if (unanswered > 0) {
          e.dataDelay += kDelayStep;
          trace("\t\t%d: DataDelay->%d\n", static_cast<int>(accepted), e.dataDelay);
          if (e.dataDelay >= kDelayLimit && outcome == CMD_ACK_NO) abandon = true;
        }
        if (outcome == CMD_ACK_DATA || outcome == CMD_ACK_OK || outcome == CMD_ACK_REPEAT) {
          if (accepted % 10 == 0) {
            const std::uint32_t elapsed = vxp::tickCount() - start;
            std::uint32_t delay = (static_cast<std::uint32_t>(e.dataDelay) + elapsed / (accepted + 1) + 300) / 2;
            if (delay < kDelayFloor) delay = kDelayFloor;
            e.dataDelay = static_cast<int>(std::min<std::uint32_t>(delay, 0x7FFFFFFF));
            trace("\t\t%d: DataDelay->%d\n", static_cast<int>(accepted), e.dataDelay);
          }
          ++accepted;
          done = true;
        } else if (!abandon && exchange + 1 < kChunkExchanges) {
          e.replyCounter.store(static_cast<std::uint16_t>(e.replyCounter.load() - 1));
        }
      }
      if (!done) break;
      position += size;
    }
  }
  e.readerEnable.set();
  return position == data.size() ? 1 : 0;
}
}  // namespace
}  // namespace wire

using wire::Engine;

VX_EXPORT int VXEMBPRO_SENDDATA(EngineHandle handle, const unsigned char* data, int size, int timeoutMs) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || size < 0 || (data == nullptr && size > 0)) return 0;
  return wire::SendData(*e, {data, static_cast<size_t>(size)}, timeoutMs);
}

VX_EXPORT int VXEMBPRO_SENDCMDDATA(EngineHandle handle, std::uint16_t* code, const unsigned char* data, int size,
                                   unsigned char* commandData, int commandDataLength, int timeoutMs) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || code == nullptr || size < 0 || (data == nullptr && size > 0)) return 0;
  const std::span<const std::uint8_t> bytes(data, static_cast<size_t>(size));
  const std::uint32_t hash = wire::BufferHash(bytes);
  if (wire::SendData(*e, bytes, timeoutMs) == 0) {
    *code = CMD_ACK_NO;
    return 0;
  }
  std::uint8_t reply[4] = {};
  std::uint16_t check = CMD_BUFFER_CHECKSUM;
  wire::SendCommand(*e, check, reply, 4, 0, timeoutMs);
  if (!((check == CMD_ACK_OK && wire::readU32(reply) == hash) || check == CMD_ACK_UNKNOWN)) return 0;
  std::uint16_t outcome = *code;
  int result = wire::SendCommand(*e, outcome, commandData, 0, commandData ? commandDataLength : 0, 4 * timeoutMs);
  if (outcome == CMD_ACK_OK || outcome == CMD_ACK_REPEAT) {
    std::uint16_t freeing = CMD_FREE_DATA;
    result = wire::SendCommand(*e, freeing, nullptr, 0, 0, 1000);
    if (freeing != CMD_ACK_OK) {
      freeing = CMD_FREE_DATA;
      result = wire::SendCommand(*e, freeing, nullptr, 0, 0, 1000);
    }
    outcome = CMD_ACK_OK;
  }
  *code = outcome;
  return result;
}

VX_EXPORT int VXEMBPRO_READDATA1(EngineHandle handle, std::uint16_t* code, unsigned char* buffer, int capacity,
                                 int requestLength, int strict, int timeoutMs) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || code == nullptr) return 0;
  e->neededSize = 0;
  auto out = wire::callerBuffer(buffer, capacity);
  const int requestCopy = std::clamp(std::min(requestLength, capacity), 0, static_cast<int>(wire::kMaxData));
  if (requestLength > static_cast<int>(wire::kMaxData)) {
    *code = CMD_ACK_ERROR_CMD;
    return 0;
  }
  return wire::ReadData1(*e, *code, out.first(static_cast<size_t>(requestCopy)), out, capacity, strict != 0, timeoutMs);
}

VX_EXPORT int VXEMBPRO_READMEMORY(EngineHandle handle, std::uint16_t command, int start, int size, int blockSize,
                                  int triesPerBlock, unsigned char* buffer) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || buffer == nullptr || size < 0) return -3;
  return wire::ReadMemory(*e, command, start, size, blockSize, triesPerBlock, {buffer, static_cast<size_t>(size)});
}

VX_EXPORT int VXEMBPRO_READDATA2(EngineHandle handle, std::uint16_t* code, unsigned char* buffer, int capacity,
                                 int requestLength, int blockSize, int timeoutMs) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || code == nullptr) return -1;
  e->neededSize = 0;
  const int result = wire::ReadData2(*e, *code, wire::callerBuffer(buffer, capacity), requestLength, blockSize, timeoutMs);
  // Device events must not wait for the next command: the reader reads again.
  e->readerEnable.set();
  return result;
}

VX_EXPORT int VXEMBPRO_READDB(EngineHandle handle, unsigned char selector, int blockSize, unsigned char* buffer,
                              int* capacity) {
  if (capacity == nullptr || buffer == nullptr || *capacity < 1) return -1;
  buffer[0] = selector;
  std::uint16_t code = CMD_DB_RRQ;
  return VXEMBPRO_READDATA2(handle, &code, buffer, *capacity, 1, blockSize, 1000);
}

VX_EXPORT int VXEMBPRO_READDATA(EngineHandle handle, std::uint16_t* code, unsigned char* buffer, int capacity,
                                int requestLength, int blockSize, int timeoutMs) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || code == nullptr) return 0;
  const std::uint16_t command = *code;
  if (wire::queryCapable(command)) {
    const int result = VXEMBPRO_READDATA2(handle, code, buffer, capacity, requestLength,
                                          blockSize < 496 ? 8192 : blockSize, timeoutMs);
    if (*code != CMD_ACK_UNKNOWN) return *code == CMD_ACK_ERROR ? 0 : result;
    *code = command;
  }
  return VXEMBPRO_READDATA1(handle, code, buffer, capacity, requestLength, 1, timeoutMs);
}

VX_EXPORT int VXEMBPRO_NEEDEDSIZE(EngineHandle handle) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr) return 0;
  return static_cast<int>(std::min<std::int64_t>(e->neededSize, 0x7FFFFFFF));
}
