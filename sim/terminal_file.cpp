// Terminal files: "VXTERM01", the two form bytes, five 32-bit counts (users,
// templates, attendance, operations, real-time records), then the records
// field by field, little-endian; texts and byte strings carry their length
// first (8 bits for texts, 16 for templates and event bytes).
#include <cstdio>
#include <cstring>
#include <memory>

#include "sim/families.h"
#include "sim/terminal.h"
#include "wirecore/packet.h"

namespace vxsim {
namespace {
constexpr char kMagic[8] = {'V', 'X', 'T', 'E', 'R', 'M', '0', '1'};
// Least bytes one record of each table takes in a file, to refuse counts
// that the file cannot hold before anything is allocated for them.
constexpr std::size_t kMinUser = 2 + 1 + 1 + 1 + 4 + 1 + 1 + 1 + 4 + 1 + 1 + 8 + 1;
constexpr std::size_t kMinTemplate = 2 + 1 + 2;
constexpr std::size_t kMinAttendance = 4 + 1 + 4 + 1 + 1 + 4 + 2;
constexpr std::size_t kMinOperation = 2 + 1 + 4 + 8;
constexpr std::size_t kMinRealTime = 2 + 2;

using detail::appendU16;
using detail::appendU32;
using detail::appendU8;

void appendText(Bytes& out, const std::string& text) {
  const std::size_t n = std::min<std::size_t>(text.size(), 255);
  appendU8(out, static_cast<std::uint8_t>(n));
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

void appendBlob(Bytes& out, const Bytes& bytes) {
  const std::size_t n = std::min<std::size_t>(bytes.size(), 0xFFFF);
  appendU16(out, static_cast<std::uint16_t>(n));
  out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// Reads fields from a file's bytes; a read past the end marks the reader failed.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  std::size_t left() const { return bytes_.size() - at_; }
  std::span<const std::uint8_t> take(std::size_t n) {
    if (!ok_ || n > left()) {
      ok_ = false;
      return {};
    }
    const auto part = bytes_.subspan(at_, n);
    at_ += n;
    return part;
  }
  std::uint8_t u8() { const auto b = take(1); return b.empty() ? 0 : b[0]; }
  std::uint16_t u16() { const auto b = take(2); return b.empty() ? 0 : wire::readU16(b.data()); }
  std::uint32_t u32() { const auto b = take(4); return b.empty() ? 0 : wire::readU32(b.data()); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::string text() {
    const auto b = take(u8());
    return std::string(b.begin(), b.end());
  }
  Bytes blob() {
    const auto b = take(u16());
    return Bytes(b.begin(), b.end());
  }
  // A count of records of at least `minSize` bytes each that the rest of the file can hold.
  std::size_t count(std::uint32_t n, std::size_t minSize) {
    if (n > left() / minSize) ok_ = false;
    return ok_ ? n : 0;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::optional<Bytes> readFile(const std::string& path) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::nullopt;
  Bytes bytes;
  std::uint8_t chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  if (std::ferror(f.get())) return std::nullopt;
  return bytes;
}

template <class Form>
std::optional<Form> formOf(std::uint8_t value, Form last) {
  if (value > static_cast<std::uint8_t>(last)) return std::nullopt;
  return static_cast<Form>(value);
}
}  // namespace

bool saveTerminal(const TerminalData& d, const std::string& path) {
  Bytes out(kMagic, kMagic + sizeof kMagic);
  appendU8(out, static_cast<std::uint8_t>(d.userForm));
  appendU8(out, static_cast<std::uint8_t>(d.logForm));
  for (std::size_t n : {d.users.size(), d.templates.size(), d.attendance.size(), d.operations.size(), d.realTime.size()})
    appendU32(out, static_cast<std::uint32_t>(n));
  for (const User& u : d.users) {
    appendU16(out, u.number);
    appendU8(out, u.privilege);
    appendText(out, u.password);
    appendText(out, u.name);
    appendU32(out, u.card);
    appendU8(out, u.cardExtra);
    appendU8(out, u.group);
    const std::size_t zones = std::min<std::size_t>(u.timeZones.size(), 255);
    appendU8(out, static_cast<std::uint8_t>(zones));
    out.insert(out.end(), u.timeZones.begin(), u.timeZones.begin() + static_cast<std::ptrdiff_t>(zones));
    appendU32(out, static_cast<std::uint32_t>(u.pin2));
    appendText(out, u.userId);
    appendU8(out, u.department);
    for (std::uint16_t s : u.shifts) appendU16(out, s);
    appendU8(out, u.extendedValue);
  }
  for (const FingerTemplate& t : d.templates) {
    appendU16(out, t.number);
    appendU8(out, t.finger);
    appendBlob(out, t.bytes);
  }
  for (const AttendanceRecord& r : d.attendance) {
    appendU32(out, static_cast<std::uint32_t>(r.number));
    appendText(out, r.userId);
    appendU32(out, static_cast<std::uint32_t>(r.time));
    appendU8(out, r.verifyMode);
    appendU8(out, r.state);
    appendU32(out, r.workCode);
    appendU16(out, r.reserved);
  }
  for (const OperationRecord& r : d.operations) {
    appendU16(out, r.admin);
    appendU8(out, r.operation);
    appendU32(out, static_cast<std::uint32_t>(r.time));
    for (std::uint16_t p : r.parameters) appendU16(out, p);
  }
  for (const RealTimeRecord& r : d.realTime) {
    appendU16(out, r.number);
    appendBlob(out, r.event);
  }
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  const bool written = std::fwrite(out.data(), 1, out.size(), f.get()) == out.size();
  return std::fclose(f.release()) == 0 && written;
}

std::optional<TerminalData> loadTerminal(const std::string& path) {
  const auto bytes = readFile(path);
  if (!bytes) return std::nullopt;
  Reader in(*bytes);
  const auto magic = in.take(sizeof kMagic);
  if (!in.ok() || std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
  TerminalData d;
  const auto userForm = formOf(in.u8(), UserForm::StringId72);
  const auto logForm = formOf(in.u8(), LogForm::StringId);
  if (!userForm || !logForm) return std::nullopt;
  d.userForm = *userForm;
  d.logForm = *logForm;
  std::uint32_t counts[5];
  for (auto& n : counts) n = in.u32();

  d.users.resize(in.count(counts[0], kMinUser));
  for (User& u : d.users) {
    u.number = in.u16();
    u.privilege = in.u8();
    u.password = in.text();
    u.name = in.text();
    u.card = in.u32();
    u.cardExtra = in.u8();
    u.group = in.u8();
    const auto zones = in.take(in.u8());
    u.timeZones.assign(zones.begin(), zones.end());
    u.pin2 = in.i32();
    u.userId = in.text();
    u.department = in.u8();
    for (auto& s : u.shifts) s = in.u16();
    u.extendedValue = in.u8();
  }
  d.templates.resize(in.count(counts[1], kMinTemplate));
  for (FingerTemplate& t : d.templates) {
    t.number = in.u16();
    t.finger = in.u8();
    t.bytes = in.blob();
  }
  d.attendance.resize(in.count(counts[2], kMinAttendance));
  for (AttendanceRecord& r : d.attendance) {
    r.number = in.i32();
    r.userId = in.text();
    r.time = in.i32();
    r.verifyMode = in.u8();
    r.state = in.u8();
    r.workCode = in.u32();
    r.reserved = in.u16();
  }
  d.operations.resize(in.count(counts[3], kMinOperation));
  for (OperationRecord& r : d.operations) {
    r.admin = in.u16();
    r.operation = in.u8();
    r.time = in.i32();
    for (auto& p : r.parameters) p = in.u16();
  }
  d.realTime.resize(in.count(counts[4], kMinRealTime));
  for (RealTimeRecord& r : d.realTime) {
    r.number = in.u16();
    r.event = in.blob();
  }
  if (!in.ok() || in.left() != 0) return std::nullopt;
  return d;
}

}  // namespace vxsim
