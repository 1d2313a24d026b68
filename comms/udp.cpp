// UDP transport: one datagram per packet, to one device address.
//
// A link serialises its socket between a sender and a reader with a
// manual-reset "link event" (set = free). EMBUDP_TERMINALREAD cancels a read in
// progress: it bumps a cancel counter, frees the link and wakes the read's poll
// through an eventfd, so the read returns at once instead of after its 100 ms
// poll step. A read remembers the counter when it starts, so a cancel issued
// while no read is in progress has no effect on later reads.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "embudp.h"
#include "platform/event.h"
#include "platform/export.h"
#include "platform/msgbox.h"
#include "platform/tick.h"

namespace {
constexpr int kLinkWaitMs = 1000;
constexpr int kPollStepMs = 100;
constexpr int kReceiveBuffer = 262144;
constexpr int kPacedLength = 10;
constexpr int kPaceMs = 10;

#ifdef VX_COMMS_NO_TERMINALREAD
// Variant without a cancellable read: reads give the link up after a short
// slice so that a sender never waits long for it.
constexpr int kMaxReadSliceMs = 50;
#endif

struct Link {
  int socket = -1;
  int wake = -1;
  sockaddr_in device{};
  vxp::ManualResetEvent free{true};
  std::atomic<std::uint32_t> cancels{0};

  ~Link() {
    if (socket >= 0) ::close(socket);
    if (wake >= 0) ::close(wake);
  }
};

Link* asLink(EmbLink link) { return reinterpret_cast<Link*>(link); }

bool resolveIPv4(const char* host, in_addr& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &result) != 0 || result == nullptr) return false;
  out = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return true;
}

bool localHostResolves() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return false;
  in_addr ignored{};
  return resolveIPv4(name, ignored);
}

// Binds to any local address on `port`, stepping up while the port is taken.
bool bindFromPort(int socket, std::uint16_t port) {
  for (std::uint32_t p = port; p <= 0xFFFF; ++p) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<std::uint16_t>(p));
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) return true;
    if (errno != EADDRINUSE || p == 0) return false;
  }
  return false;
}

void drainWake(int wake) {
  std::uint64_t count;
  while (::read(wake, &count, sizeof count) > 0) {
  }
}
}  // namespace

VX_EXPORT EmbLink EMBUDP_INIT(intptr_t linkAddress, std::uint16_t port, std::int32_t /*parameter*/) {
  const char* host = reinterpret_cast<const char*>(linkAddress);
  if (host == nullptr) return 0;
  auto link = std::make_unique<Link>();
  link->socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (link->socket < 0) return 0;
  in_addr address{};
  if (!resolveIPv4(host, address)) return 0;
  link->device.sin_family = AF_INET;
  link->device.sin_port = htons(port);
  link->device.sin_addr = address;
  if (localHostResolves() && !bindFromPort(link->socket, port)) return 0;
  int size = kReceiveBuffer;
  setsockopt(link->socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  link->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (link->wake < 0) return 0;
  return reinterpret_cast<EmbLink>(link.release());
}

VX_EXPORT int EMBUDP_CLOSE(EmbLink handle) {
  Link* link = asLink(handle);
  if (link == nullptr) return 0;
  link->free.wait(kLinkWaitMs);
  std::unique_ptr<Link> owned(link);
  return 1;
}

VX_EXPORT int EMBUDP_SEND(EmbLink handle, const unsigned char* data, int length) {
  Link* link = asLink(handle);
  if (link == nullptr || length < 0 || (data == nullptr && length > 0)) return 0;
  if (!link->free.waitAndReset(kLinkWaitMs)) return 0;
  const ssize_t sent = ::sendto(link->socket, data, static_cast<size_t>(length), 0,
                                reinterpret_cast<const sockaddr*>(&link->device), sizeof link->device);
  if (sent > kPacedLength) vxp::sleepMs(kPaceMs);
  link->free.set();
  return sent < 0 ? -1 : static_cast<int>(sent);
}

VX_EXPORT int EMBUDP_READ(EmbLink handle, unsigned char* buffer, int capacity, int timeoutMs) {
  Link* link = asLink(handle);
  if (link == nullptr) return 0;
  if (buffer == nullptr || capacity < 0) capacity = 0;
#ifdef VX_COMMS_NO_TERMINALREAD
  if (timeoutMs > kMaxReadSliceMs) timeoutMs = kMaxReadSliceMs;
#endif
  if (!link->free.waitAndReset(kLinkWaitMs)) return 0;
  const std::uint32_t start = vxp::tickCount();
  const std::uint32_t cancelsAtStart = link->cancels.load(std::memory_order_acquire);
  for (;;) {
    const std::int64_t elapsed = static_cast<std::uint32_t>(vxp::tickCount() - start);
    std::int64_t step = timeoutMs - elapsed;
    if (step < 0) step = 0;
    if (step > kPollStepMs) step = kPollStepMs;
    pollfd fds[2] = {{link->socket, POLLIN, 0}, {link->wake, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(step));
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      unsigned char discard;
      unsigned char* into = capacity > 0 ? buffer : &discard;
      // MSG_TRUNC reports the datagram's real length, so a datagram larger
      // than the capacity is detected (and lost) instead of handed out cut.
      const ssize_t n = ::recv(link->socket, into, static_cast<size_t>(capacity), MSG_TRUNC);
      link->free.set();
      if (n < 0 || n > capacity) return -1;
      return static_cast<int>(n);
    }
    if (ready > 0 && (fds[1].revents & POLLIN)) drainWake(link->wake);
    const std::int64_t now = static_cast<std::uint32_t>(vxp::tickCount() - start);
    if (link->cancels.load(std::memory_order_acquire) != cancelsAtStart || now >= timeoutMs) {
      link->free.set();
      return 0;
    }
  }
}

#ifndef VX_COMMS_NO_TERMINALREAD
VX_EXPORT int EMBUDP_TERMINALREAD(EmbLink handle) {
  Link* link = asLink(handle);
  if (link == nullptr) return 0;
  link->cancels.fetch_add(1, std::memory_order_acq_rel);
  link->free.set();
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(link->wake, &one, sizeof one);
  return 1;
}
#endif

VX_EXPORT int EMBUDP_PREREAD(EmbLink handle) { return EMBUDP_READ(handle, nullptr, 0, 0); }

VX_EXPORT int EMBUDP_SendBroadCast(const char* text) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  char message[64];
  int on = 1;
  if (s < 0 || setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    std::snprintf(message, sizeof message, "status=%d", on);
    vxp::messageBox(message, "setoptsocket error");
    if (s >= 0) ::close(s);
    return -1;
  }
  sockaddr_in all{};
  all.sin_family = AF_INET;
  all.sin_port = htons(65535);
  all.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  const size_t length = text != nullptr ? std::strlen(text) : 0;
  const ssize_t sent = ::sendto(s, text != nullptr ? text : "", length, 0, reinterpret_cast<const sockaddr*>(&all), sizeof all);
  if (sent < 0) {
    std::snprintf(message, sizeof message, "status=%d", errno);
    vxp::messageBox(message, "sendto error");
    ::close(s);
    return -1;
  }
  ::close(s);
  return 1;
}
