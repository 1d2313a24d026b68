// Report data commands. Their data sets are served by the bulk family from
// what a test or the sample company registered (model_report.h); a command
// that reaches this family has nothing registered, and the terminal answers
// that it holds no such data.
#include "sim/families.h"
#include "sim/model_report.h"

namespace vxsim::detail {
namespace {
class ReportFamily final : public CommandFamily {
 public:
  std::optional<Replies> handle(const Request& request, Device&) override {
    switch (request.code) {
      case CMD_ATTRULE_RRQ:
      case CMD_DEPT_RRQ:
      case CMD_TURN_RRQ:
        return Replies{request.reply(CMD_ACK_ERROR)};
      default:
        return std::nullopt;
    }
  }
};
}  // namespace

std::unique_ptr<CommandFamily> makeReportFamily() { return std::make_unique<ReportFamily>(); }
}  // namespace vxsim::detail
