#pragma once
// A command family answers the commands of one area of the terminal
// (connection, bulk transfer, options, ...). The core loop offers each request
// to the families in order; the first that answers wins. A new area is a new
// family added to makeFamilies(); the core loop does not change.
#include <memory>
#include <optional>
#include <vector>

#include "sim/device.h"
#include "sim/vxsim.h"

namespace vxsim::detail {

using Replies = std::vector<Packet>;

class CommandFamily {
 public:
  virtual ~CommandFamily() = default;
  // The packets that answer the request (possibly none), or nullopt when the
  // command is not one of this family's. Runs on the worker thread only.
  virtual std::optional<Replies> handle(const Request& request, Device& device) = 0;
};

// Every family, in the order requests are offered to them.
std::vector<std::unique_ptr<CommandFamily>> makeFamilies();

// Little-endian record helpers for reply data.
void appendU8(Bytes& out, std::uint8_t value);
void appendU16(Bytes& out, std::uint16_t value);
void appendU32(Bytes& out, std::uint32_t value);

}  // namespace vxsim::detail
