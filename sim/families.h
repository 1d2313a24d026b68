#pragma once
// The command families of the simulated terminal.
#include <optional>

#include "sim/family.h"

namespace vxsim::detail {

// CMD_CONNECT, CMD_AUTH, CMD_EXIT; refuses other commands with
// CMD_ACK_UNAUTH until a terminal with a comm key has accepted CMD_AUTH.
class SessionFamily final : public CommandFamily {
 public:
  std::optional<Replies> handle(const Request& request, Device& device) override;
};

// Bulk transfers both ways: the query path (CMD_QUERY_DATA, CMD_READ_DATA),
// the announcement path (a data-set command answered by a block stream),
// uploads (CMD_PREPARE_DATA, CMD_DATA, CMD_BUFFER_CHECKSUM), CMD_FREE_DATA,
// and the commands that consume an upload.
class BulkFamily final : public CommandFamily {
 public:
  std::optional<Replies> handle(const Request& request, Device& device) override;

 private:
  Replies query(const Request& request, Device& device);
  Replies readRange(const Request& request, Device& device);
  Replies openUpload(const Request& request, const Personality& personality);
  Replies appendChunk(const Request& request);
  Replies consume(const Request& request, Device& device, const UploadConsumer& consumer);
  Replies stream(const Request& request, std::span<const std::uint8_t> bytes, Device& device);

  std::optional<Bytes> prepared_;  // stored bytes of the data set being read
  struct Upload {
    bool open = false;
    std::uint32_t total = 0;
    Bytes bytes;
    std::optional<std::uint16_t> lastReplyId;  // of the last chunk appended
    Bytes lastChunk;
  } upload_;
  unsigned streams_ = 0;
};

// Option texts: CMD_OPTIONS_RRQ ("name\0" -> "name=value\0"),
// CMD_OPTIONS_WRQ ("name=value\0", factory values decoded from their
// scrambled form) and CMD_REFRESH_OPTIONS.
class OptionsFamily final : public CommandFamily {
 public:
  std::optional<Replies> handle(const Request& request, Device& device) override;
};

// Device control and information: CMD_VERSION_RRQ, CMD_ENABLEDEVICE,
// CMD_DISABLEDEVICE, CMD_EVENT (event registration), the power commands, and
// the machine state of model_device.h (status, clock, display, sounds,
// operations, PIN width, capture, card).
class ControlFamily final : public CommandFamily {
 public:
  std::optional<Replies> handle(const Request& request, Device& device) override;
};

}  // namespace vxsim::detail
