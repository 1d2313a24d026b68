#pragma once
// What a simulated terminal stores: users, fingerprint templates, attendance,
// operation and real-time records, with a seeded generator of whole
// terminals and a file format to keep them.
//
// The records are kept in one form-free model; the terminal encodes them in
// the form its firmware uses when a host reads them (see TerminalData's
// userForm and logForm). Typical use:
//
//   vxsim::Simulator sim;
//   sim.setTerminal(vxsim::makeTerminal({.seed = 7, .users = 500, .attendance = 20000}));
//   ... the host downloads users and logs ...
//   sim.editTerminal([](vxsim::TerminalData& t) { t.attendance.clear(); });
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vxsim {

using Bytes = std::vector<std::uint8_t>;

// A user. Which fields travel depends on the record form: the 16-byte form
// carries number, privilege, password (5) and name (8); the 28-byte form adds
// card (4 bytes and cardExtra), group, time zones and PIN2; the 72-byte form
// carries number, privilege, password (8), name (24), card, department,
// shifts and the user ID text.
struct User {
  std::uint16_t number = 0;    // internal number, 1 to 65534
  std::uint8_t privilege = 0;  // the device's byte: code 0, 2, 6, 10 or 14, plus 1 when disabled
  std::string password;
  std::string name;
  std::uint32_t card = 0;
  std::uint8_t cardExtra = 0;
  std::uint8_t group = 1;  // 1 to 15
  // The user's own time zones (at most three, 1 to 63); empty: the group's apply.
  std::vector<std::uint8_t> timeZones;
  std::int32_t pin2 = 0;  // 0: none
  std::string userId;     // at most 24 characters
  std::uint8_t department = 0;
  std::array<std::uint16_t, 4> shifts{};
  std::uint8_t extendedValue = 0;  // answered to CMD_USERINFOEX_RRQ
  bool operator==(const User&) const = default;
};

struct FingerTemplate {
  std::uint16_t number = 0;  // the user's internal number
  std::uint8_t finger = 0;   // 0 to 9
  Bytes bytes;               // the template as the terminal stores it (at most 1024 bytes are served)
  bool operator==(const FingerTemplate&) const = default;
};

// An attendance record. The compressed form carries the number (16 bits),
// state (0-7), verify mode (0-3) and time; the extended form adds the work
// code and the reserved value; the string-ID form carries the user ID instead
// of a reserved value.
struct AttendanceRecord {
  std::int32_t number = 0;
  std::string userId;
  std::int32_t time = 0;  // device time
  std::uint8_t verifyMode = 0;
  std::uint8_t state = 0;
  std::uint32_t workCode = 0;
  std::uint16_t reserved = 0;
  bool operator==(const AttendanceRecord&) const = default;
};

struct OperationRecord {
  std::uint16_t admin = 0;  // internal number of the administrator
  std::uint8_t operation = 0;
  std::int32_t time = 0;
  std::array<std::uint16_t, 4> parameters{};
  bool operator==(const OperationRecord&) const = default;
};

// A real-time record: a user number and the event bytes after it (cut or
// zero-padded to the record size of the terminal: 16, 18 or 38 bytes).
struct RealTimeRecord {
  std::uint16_t number = 0;
  Bytes event;
  bool operator==(const RealTimeRecord&) const = default;
};

// Record forms. Auto follows the terminal: users are 16 bytes below firmware
// "Ver 5.04", 72 bytes on a TFT terminal, else 28; attendance is the string-ID
// form on a TFT terminal, else the extended form when the option "~ExtendFmt"
// is set to a number other than 0, else the compressed form.
enum class UserForm : std::uint8_t { Auto, Short16, Pin28, StringId72 };
enum class LogForm : std::uint8_t { Auto, Compressed, Extended, StringId };

struct TerminalData {
  std::vector<User> users;
  std::vector<FingerTemplate> templates;
  std::vector<AttendanceRecord> attendance;
  std::vector<OperationRecord> operations;
  // Waiting to be read with CMD_RTLOG_RRQ, oldest first.
  std::vector<RealTimeRecord> realTime;
  UserForm userForm = UserForm::Auto;
  LogForm logForm = LogForm::Auto;
  bool operator==(const TerminalData&) const = default;
};

// What makeTerminal builds. The same recipe always gives the same terminal.
struct TerminalRecipe {
  std::uint32_t seed = 1;
  std::size_t users = 0;  // numbers 1 to users (at most 65534)
  std::size_t attendance = 0;
  std::size_t operations = 0;
  std::size_t realTime = 0;
  int fingersPerUser = 0;  // templates per user, fingers 0 to n-1 (at most 10)
  // Time of the first attendance and operation record (2010-01-04 08:00:00).
  std::int32_t firstTime = 321696000;
};

// A terminal with generated users and records:
// - user n has PIN2 20000 + n, user ID text equal to the PIN2, name "User" and
//   four digits; user 1 is an administrator (code 14), every 50th user has
//   code 2 or 6, every 17th is disabled, every 5th has its own time zones,
//   every 3rd a password, every 2nd a card; groups, departments and shifts
//   vary;
// - attendance records of random users in time order, most within 1023
//   seconds of the one before (short records in the compressed form), some
//   hours apart (long records); every third carries a work code;
// - operation records by user 1, the first parameter a user number for the
//   operations that name one;
// - valid token-form templates (makeTemplate) for the first fingers of every user.
TerminalData makeTerminal(const TerminalRecipe& recipe);

// A valid token-form fingerprint template of 150 to 600 bytes, built through
// the template codec; the same seed gives the same bytes.
Bytes makeTemplate(std::uint32_t seed);

// Writes a terminal to a file ("VXTERM01" format: counts, then the records
// field by field, little-endian); false when the file cannot be written.
bool saveTerminal(const TerminalData& data, const std::string& path);
// Reads a file written by saveTerminal; nullopt when it cannot be read, is
// not such a file, or is damaged (a field runs past the end, a count cannot
// be right).
std::optional<TerminalData> loadTerminal(const std::string& path);

}  // namespace vxsim
