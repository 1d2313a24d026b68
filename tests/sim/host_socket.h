#pragma once
// The host end of a test: a plain UDP socket on 127.0.0.1 that sends packets
// built with the packet codec and receives whole datagrams.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "sim/vxsim.h"
#include "wirecore/packet.h"

namespace vxsim::test {

struct Reply {
  wire::Header header;
  Bytes data;
  bool checksumOk = false;
};

class HostSocket {
 public:
  explicit HostSocket(std::uint16_t devicePort) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error("socket");
    const int size = 1 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) throw std::runtime_error("bind");
    device_.sin_family = AF_INET;
    device_.sin_port = htons(devicePort);
    device_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~HostSocket() { ::close(fd_); }
  HostSocket(const HostSocket&) = delete;
  HostSocket& operator=(const HostSocket&) = delete;

  std::uint16_t port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
  }

  void sendRaw(std::span<const std::uint8_t> bytes) {
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&device_), sizeof device_);
  }

  // Sends a request with the given header fields and data.
  void send(std::uint16_t code, std::uint16_t replyId, std::span<const std::uint8_t> data = {},
            std::uint16_t sessionId = 0) {
    std::uint8_t packet[wire::kMaxPacket];
    const std::size_t length = wire::buildPacket(packet, code, sessionId, replyId, data);
    sendRaw(std::span<const std::uint8_t>(packet, length));
  }

  // The next datagram, or nullopt when none arrives in time.
  std::optional<Reply> receive(int timeoutMs = 2000) {
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0) return std::nullopt;
    std::uint8_t buffer[2048];
    const auto got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got < static_cast<long>(wire::kHeaderSize)) return std::nullopt;
    const std::span<const std::uint8_t> bytes(buffer, static_cast<std::size_t>(got));
    return Reply{wire::Header::decode(bytes), Bytes(bytes.begin() + wire::kHeaderSize, bytes.end()),
                 wire::checksumValid(bytes)};
  }

  // Sends a request and returns the first reply.
  std::optional<Reply> exchange(std::uint16_t code, std::uint16_t replyId, std::span<const std::uint8_t> data = {},
                                int timeoutMs = 2000) {
    send(code, replyId, data);
    return receive(timeoutMs);
  }

 private:
  int fd_ = -1;
  sockaddr_in device_{};
};

inline Bytes u32le(std::uint32_t v) {
  Bytes out(4);
  wire::writeU32(out.data(), v);
  return out;
}

}  // namespace vxsim::test
