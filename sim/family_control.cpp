// Device control and information.
#include "sim/families.h"

namespace vxsim::detail {

std::optional<Replies> ControlFamily::handle(const Request& request, Device& device) {
  switch (request.code) {
    case CMD_VERSION_RRQ: {
      std::string text = device.model.personality().firmwareVersion;
      if (text.size() > VX_MAX_DATA - 1) text.resize(VX_MAX_DATA - 1);
      Bytes data(text.begin(), text.end());
      data.push_back(0);
      return Replies{request.reply(CMD_ACK_OK, 0, std::move(data))};
    }
    case CMD_ENABLEDEVICE:
    case CMD_DISABLEDEVICE:
    case CMD_EVENT:
      return Replies{request.reply(CMD_ACK_OK)};
    default:
      return std::nullopt;
  }
}

}  // namespace vxsim::detail
