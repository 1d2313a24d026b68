// Options are exchanged as texts: a read sends the name (zero-terminated) and
// gets back "name=value"; a write sends "name=value".
#include <algorithm>
#include <string>

#include "sim/families.h"

namespace vxsim::detail {
namespace {
// The text of a request up to its first zero byte (or its end).
std::string requestText(const Bytes& data) {
  const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
  return std::string(data.begin(), end);
}
}  // namespace

std::optional<Replies> OptionsFamily::handle(const Request& request, Device& device) {
  if (request.code == CMD_OPTIONS_RRQ) {
    const std::string name = requestText(request.data);
    const auto value = name.empty() ? std::nullopt : device.model.option(name);
    if (!value) return Replies{request.reply(CMD_ACK_ERROR)};
    std::string text = name + "=" + *value;
    // One reply packet: a value too long for it is cut, keeping the zero.
    if (text.size() > VX_MAX_DATA - 1) text.resize(VX_MAX_DATA - 1);
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    return Replies{request.reply(CMD_ACK_OK, 0, std::move(data))};
  }
  if (request.code == CMD_OPTIONS_WRQ) {
    const std::string text = requestText(request.data);
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return Replies{request.reply(CMD_ACK_ERROR)};
    device.model.setOption(text.substr(0, equals), text.substr(equals + 1));
    return Replies{request.reply(CMD_ACK_OK)};
  }
  return std::nullopt;
}

}  // namespace vxsim::detail
