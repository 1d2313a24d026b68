#pragma once
// What kind of terminal answers (from its firmware text, platform and
// options), and the wire forms of its users and templates.
#include <cstdint>
#include <span>
#include <vector>

#include "sim/device_model.h"
#include "sim/terminal.h"

namespace vxsim::detail {

// The terminal's firmware level and platform as the record forms depend on them.
struct TerminalTraits {
  bool pin2 = true;         // firmware at least "Ver 5.04": 28-byte users, PIN2, operation log
  bool dataSets = true;     // at least "Ver 6.01": CMD_NEWLOG_RRQ, CMD_NEWLOG_DONE, real-time log
  bool tft = false;
  bool newRealTime = false;  // newer than "Ver 6.18 20070807" and not TFT: 18-byte real-time records
  bool extendFormat = false;  // "~ExtendFmt" holds a number other than 0
};
TerminalTraits traitsOf(const DeviceModel& model);

// Orders firmware texts as a host does: "Ver 6.18 Aug 07 2007" is compared as
// "Ver 6.18 20070807". Negative when `firmware` is below `reference`.
int compareFirmware(const std::string& firmware, const char* reference);

UserForm resolve(UserForm form, const TerminalTraits& traits);
LogForm resolve(LogForm form, const TerminalTraits& traits);
std::size_t realTimeRecordSize(const TerminalTraits& traits);

// One user record in the given form (16, 28 or 72 bytes) appended to `out`.
void appendUser(Bytes& out, const User& user, UserForm form);
// Template table records: 16-bit size (header included), 16-bit user number,
// finger, a reserved byte, then the template.
void appendTemplate(Bytes& out, const FingerTemplate& entry);

// Whether two templates hold the same minutiae once decoded by the codec
// (their byte forms may differ); false when either is not a template.
bool sameFinger(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

}  // namespace vxsim::detail
