#include "sim/families.h"

namespace vxsim::detail {

std::optional<Replies> BulkFamily::handle(const Request&, Device&) { return std::nullopt; }

}  // namespace vxsim::detail
