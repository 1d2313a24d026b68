// Connection and session: CMD_CONNECT, CMD_AUTH, CMD_EXIT, and the refusal of
// every other command while a terminal with a comm key awaits CMD_AUTH.
#include "sim/families.h"
#include "wirecore/packet.h"

namespace vxsim::detail {

std::optional<Replies> SessionFamily::handle(const Request& request, Device& device) {
  const Personality personality = device.model.personality();
  auto& session = device.session;
  switch (request.code) {
    case CMD_CONNECT: {
      const auto id = static_cast<std::uint16_t>(personality.firstSessionId + session.connects++);
      session.id = id;
      session.authenticated = personality.commKey == 0;
      return Replies{request.reply(personality.commKey == 0 ? CMD_ACK_OK : CMD_ACK_UNAUTH, id)};
    }
    case CMD_AUTH: {
      if (request.data.size() < 4) return Replies{request.reply(CMD_ACK_ERROR)};
      const std::uint32_t key = wire::readU32(request.data.data());
      const bool ok = wire::authKeyMatches(key, personality.commKey, session.id);
      session.authenticated = ok;
      return Replies{request.reply(ok ? CMD_ACK_OK : CMD_ACK_ERROR)};
    }
    case CMD_EXIT:
      session.authenticated = personality.commKey == 0;
      return Replies{request.reply(CMD_ACK_OK)};
    default:
      if (personality.commKey != 0 && !session.authenticated) return Replies{request.reply(CMD_ACK_UNAUTH)};
      return std::nullopt;
  }
}

}  // namespace vxsim::detail
