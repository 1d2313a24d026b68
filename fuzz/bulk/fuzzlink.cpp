// An in-process transport that plays a hostile device for the fuzzer: it
// answers the connect, then serves the packets the fuzzer scripted, and
// answers every other request with CMD_ACK_ERROR once the script ran dry, so
// that no exchange waits out its time-out.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "embudp.h"
#include "platform/export.h"
#include "wirecore/packet.h"

namespace {
struct Scripted {
  std::vector<std::uint8_t> bytes;
  bool fixUp = false;  // give it the last request's reply id and a valid checksum
};

std::mutex mutex;
std::condition_variable ready;
std::deque<Scripted> queue;
std::uint16_t lastReplyId = 0;
int theLink = 1;

void push(std::uint16_t code, std::uint16_t replyId) {
  Scripted s;
  s.bytes.resize(8);
  wire::buildPacket(s.bytes, code, 0x1234, replyId, {});
  queue.push_back(std::move(s));
}
}  // namespace

VX_EXPORT void FUZZLINK_SCRIPT(const std::uint8_t* data, std::size_t size) {
  std::lock_guard lock(mutex);
  queue.clear();
  // Packets: a length byte pair (bit 15 = fix up), then that many bytes.
  std::size_t i = 0;
  while (i + 2 <= size && queue.size() < 256) {
    const std::uint16_t head = static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8));
    i += 2;
    const std::size_t length = std::min<std::size_t>(head & 0x7FF, size - i);
    Scripted s{std::vector<std::uint8_t>(data + i, data + i + length), (head & 0x8000) != 0};
    i += length;
    queue.push_back(std::move(s));
  }
}

VX_EXPORT EmbLink EMBUDP_INIT(intptr_t, std::uint16_t, std::int32_t) { return reinterpret_cast<EmbLink>(&theLink); }
VX_EXPORT int EMBUDP_CLOSE(EmbLink) { return 1; }

VX_EXPORT int EMBUDP_SEND(EmbLink, const unsigned char* data, int length) {
  if (length < 8) return length;
  const wire::Header h = wire::Header::decode({data, static_cast<std::size_t>(length)});
  std::lock_guard lock(mutex);
  if (h.code == CMD_ACK_OK) return length;  // an event acknowledgement
  lastReplyId = h.replyId;
  if (h.code == CMD_CONNECT) {
    queue.push_front({});
    queue.front().bytes.resize(8);
    wire::buildPacket(queue.front().bytes, CMD_ACK_OK, 0x1234, h.replyId, {});
  } else {
    push(CMD_ACK_ERROR, h.replyId);
  }
  ready.notify_all();
  return length;
}

VX_EXPORT int EMBUDP_READ(EmbLink, unsigned char* buffer, int capacity, int timeoutMs) {
  std::unique_lock lock(mutex);
  if (queue.empty()) ready.wait_for(lock, std::chrono::milliseconds(std::min(timeoutMs, 2)));
  if (queue.empty()) return 0;
  Scripted s = std::move(queue.front());
  queue.pop_front();
  if (s.fixUp && s.bytes.size() >= 8 && s.bytes.size() <= wire::kMaxPacket) {
    wire::writeU16(s.bytes.data() + 6, lastReplyId);
    wire::sealPacket(s.bytes);
  }
  if (static_cast<int>(s.bytes.size()) > capacity) return -1;
  std::copy(s.bytes.begin(), s.bytes.end(), buffer);
  return static_cast<int>(s.bytes.size());
}

VX_EXPORT int EMBUDP_TERMINALREAD(EmbLink) {
  ready.notify_all();
  return 1;
}
