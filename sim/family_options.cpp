// Options are exchanged as texts: a read sends the name (zero-terminated) and
// gets back "name=value"; a write sends "name=value".
//
// A terminal without a usable "~OS" option expects factory options (names
// starting with '~') in scrambled form: a key byte k0 and the chain
// k(i+1) = k(i) XOR value[i], each byte two upper-case hexadecimal digits. It
// decodes them and keeps the plain value; a text that is not in that form, or
// that decodes to more than 51 characters, is refused. "~CustData" is always
// plain text.
#include <algorithm>
#include <string>

#include "sim/families.h"

namespace vxsim::detail {
namespace {
constexpr std::size_t kMaxScrambledValue = 51;

// The text of a request up to its first zero byte (or its end).
std::string requestText(const Bytes& data) {
  const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
  return std::string(data.begin(), end);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> descramble(const std::string& text) {
  if (text.size() < 2 || text.size() % 2 != 0) return std::nullopt;
  std::string value;
  int previous = -1;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    const int k = high * 16 + low;
    if (previous >= 0) value += static_cast<char>(previous ^ k);
    previous = k;
  }
  if (value.size() > kMaxScrambledValue) return std::nullopt;
  return value;
}

bool expectsScrambled(const std::string& name, const DeviceModel& model) {
  if (name.empty() || name.front() != '~' || name == "~CustData") return false;
  const auto os = model.option("~OS");
  return !os || os->empty() || *os == "NONE";
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
    const std::string name = text.substr(0, equals);
    std::optional<std::string> value = text.substr(equals + 1);
    if (expectsScrambled(name, device.model)) value = descramble(*value);
    if (!value) return Replies{request.reply(CMD_ACK_ERROR)};
    device.model.setOption(name, *value);
    return Replies{request.reply(CMD_ACK_OK)};
  }
  if (request.code == CMD_REFRESH_OPTIONS) return Replies{request.reply(CMD_ACK_OK)};
  return std::nullopt;
}

}  // namespace vxsim::detail
