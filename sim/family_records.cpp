// Users, templates and logs, one record at a time; whole tables are served by
// the bulk family from the terminal store's data sets.
#include <algorithm>

#include "sim/families.h"
#include "sim/terminal_store.h"
#include "wirecore/packet.h"

namespace vxsim::detail {
namespace {
constexpr std::size_t kUserInfoExSize = 26;
constexpr std::size_t kRealTimeRoom = VX_MAX_DATA;

class RecordsFamily final : public CommandFamily {
 public:
  std::optional<Replies> handle(const Request& request, Device& device) override {
    const Bytes& data = request.data;
    TerminalStore& store = device.terminal;
    switch (request.code) {
      case CMD_USERTEMP_RRQ: {
        // Two or three bytes: one user's template; shorter: the table (bulk).
        if (data.size() < 2) return std::nullopt;
        const auto found = store.findTemplate(wire::readU16(data.data()), data.size() > 2 ? data[2] : 0);
        if (!found) return Replies{request.reply(CMD_ACK_ERROR)};
        Bytes bytes(found->begin(), found->begin() + std::min<std::ptrdiff_t>(found->size(), VX_MAX_DATA));
        const auto length = static_cast<std::uint16_t>(bytes.size());
        return Replies{request.reply(CMD_ACK_OK, length, std::move(bytes))};
      }
      case CMD_USERINFOEX_RRQ: {
        const auto value = data.size() >= 2 ? store.extendedValue(wire::readU16(data.data())) : std::nullopt;
        if (!value) return Replies{request.reply(CMD_ACK_ERROR)};
        Bytes answer(kUserInfoExSize, 0);
        std::copy_n(data.begin(), 2, answer.begin());
        answer[2] = *value;
        return Replies{request.reply(CMD_ACK_OK, 0, std::move(answer))};
      }
      case CMD_TEST_USERTEMP: {
        Bytes answer;
        appendU16(answer, store.identify(data));
        return Replies{request.reply(CMD_ACK_OK, 0, std::move(answer))};
      }
      case CMD_RTLOG_RRQ: {
        const TerminalTraits traits = traitsOf(device.model);
        if (!traits.dataSets) return std::nullopt;
        const std::uint32_t counter = data.size() >= 4 ? wire::readU32(data.data()) : 0;
        return Replies{request.reply(CMD_ACK_OK, 0,
                                     store.realTimeAnswer(counter, realTimeRecordSize(traits), kRealTimeRoom))};
      }
      case CMD_NEWLOG_DONE:
        if (!traitsOf(device.model).dataSets) return std::nullopt;
        return Replies{request.reply(CMD_ACK_OK)};
      case CMD_CLEAR_ATTLOG:
        store.clear(1);
        return Replies{request.reply(CMD_ACK_OK)};
      case CMD_CLEAR_OPLOG:
        store.clear(4);
        return Replies{request.reply(CMD_ACK_OK)};
      case CMD_CLEAR_DATA:
        // Kinds this store does not hold are left to the other families.
        if (!store.clear(data.empty() ? std::nullopt : std::optional<std::uint8_t>(data[0]))) return std::nullopt;
        return Replies{request.reply(CMD_ACK_OK)};
      case CMD_REFRESH_DATA:
        return Replies{request.reply(CMD_ACK_OK)};
      default:
        return std::nullopt;
    }
  }
};
}  // namespace

std::unique_ptr<CommandFamily> makeRecordsFamily() { return std::make_unique<RecordsFamily>(); }

}  // namespace vxsim::detail
