#include "sim/families.h"

namespace vxsim::detail {

void appendU8(Bytes& out, std::uint8_t value) { out.push_back(value); }

void appendU16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::unique_ptr<CommandFamily>> makeFamilies() {
  std::vector<std::unique_ptr<CommandFamily>> families;
  // The session family comes first: it also keeps unauthenticated hosts out.
  families.push_back(std::make_unique<SessionFamily>());
  // Users, templates and logs one record at a time, before bulk (see there).
  families.push_back(makeRecordsFamily());
  // Bulk before options: a data set registered for CMD_OPTIONS_RRQ and its
  // request is served as a bulk read.
  families.push_back(std::make_unique<BulkFamily>());
  families.push_back(std::make_unique<OptionsFamily>());
  families.push_back(std::make_unique<ControlFamily>());
  // Report data commands without a registered data set.
  families.push_back(makeReportFamily());
  return families;
}

}  // namespace vxsim::detail
