// Users and templates as the terminal sends them.
#include "sim/model_users.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sim/families.h"
#include "vxsdk/codec/codec.h"
#include "vxsdk/report/records.h"

namespace vxsim::detail {
namespace {
// The host's rewrite of a version text: the build date follows the version as
// eight digits (year, month, day), so byte order is version and date order.
std::array<char, 52> normalised(const std::string& firmware) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<char, 52> v{};
  std::copy_n(firmware.begin(), std::min<std::size_t>(firmware.size(), 50), v.begin());
  int month = 13;
  for (int i = 0; i < 12; ++i) {
    if (std::memcmp(&v[9], kMonths[i], 3) == 0) {
      month = i + 1;
      break;
    }
  }
  const std::array<char, 4> year{v[16], v[17], v[18], v[19]};
  const std::array<char, 2> day{v[13], v[14]};
  std::copy(year.begin(), year.end(), &v[9]);
  std::copy(day.begin(), day.end(), &v[15]);
  v[17] = '\0';
  v[13] = month < 10 ? '0' : '1';
  v[14] = static_cast<char>('0' + (month < 10 ? month : month - 10));
  return v;
}

void appendText(Bytes& out, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

// Own time zones: 6 bits each in an 18-bit value whose low 16 bits fill the
// field and whose top 2 bits go to bits 5-4 of the group byte, with bit 7 set.
std::pair<std::uint8_t, std::uint16_t> packTimeZones(const User& user) {
  std::uint8_t groupByte = user.group & 0x0F;
  if (user.timeZones.empty()) return {groupByte, 0};
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < std::min<std::size_t>(user.timeZones.size(), 3); ++i)
    value |= static_cast<std::uint32_t>(user.timeZones[i] & 0x3F) << (6 * i);
  groupByte |= static_cast<std::uint8_t>(0x80 | ((value >> 16) & 0x03) << 4);
  return {groupByte, static_cast<std::uint16_t>(value)};
}
}  // namespace

int compareFirmware(const std::string& firmware, const char* reference) {
  const auto v = normalised(firmware);
  return std::memcmp(v.data(), reference, std::strlen(reference) + 1);
}

TerminalTraits traitsOf(const DeviceModel& model) {
  const Personality p = model.personality();
  TerminalTraits t;
  t.pin2 = compareFirmware(p.firmwareVersion, "Ver 5.04") >= 0;
  t.dataSets = compareFirmware(p.firmwareVersion, "Ver 6.01") >= 0;
  t.tft = p.tft;
  t.newRealTime = compareFirmware(p.firmwareVersion, "Ver 6.18 20070807") > 0 && !p.tft;
  const auto extend = model.option("~ExtendFmt");
  t.extendFormat = extend && std::atoi(extend->c_str()) != 0;
  return t;
}

UserForm resolve(UserForm form, const TerminalTraits& t) {
  if (form != UserForm::Auto) return form;
  if (!t.pin2) return UserForm::Short16;
  return t.tft ? UserForm::StringId72 : UserForm::Pin28;
}

LogForm resolve(LogForm form, const TerminalTraits& t) {
  if (form != LogForm::Auto) return form;
  if (t.tft) return LogForm::StringId;
  return t.extendFormat ? LogForm::Extended : LogForm::Compressed;
}

std::size_t realTimeRecordSize(const TerminalTraits& t) {
  if (t.tft) return 38;
  return t.newRealTime ? 18 : 16;
}

void appendUser(Bytes& out, const User& user, UserForm form) {
  if (form == UserForm::StringId72) {
    vxreport::UserRecord r;
    r.userNumber = user.number;
    r.privilege = user.privilege;
    r.password = user.password;
    r.name = user.name;
    r.card = user.card;
    r.department = user.department;
    r.shifts = user.shifts;
    r.userId = user.userId;
    const std::size_t at = out.size();
    out.resize(at + vxreport::UserRecord::kSize);
    r.encode(std::span(out).subspan(at).first<vxreport::UserRecord::kSize>());
    return;
  }
  appendU16(out, user.number);
  appendU8(out, user.privilege);
  appendText(out, user.password, 5);
  appendText(out, user.name, 8);
  if (form == UserForm::Short16) return;
  appendU32(out, user.card);
  appendU8(out, user.cardExtra);
  const auto [groupByte, field] = packTimeZones(user);
  appendU8(out, groupByte);
  appendU16(out, field);
  appendU32(out, static_cast<std::uint32_t>(user.pin2));
}

void appendTemplate(Bytes& out, const FingerTemplate& entry) {
  const std::size_t length = std::min<std::size_t>(entry.bytes.size(), 0xFFFF - 6);
  appendU16(out, static_cast<std::uint16_t>(length + 6));
  appendU16(out, entry.number);
  appendU8(out, entry.finger);
  appendU8(out, 0);
  out.insert(out.end(), entry.bytes.begin(), entry.bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

bool sameFinger(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  vxcodec::TemplateModel ma, mb;
  if (vxcodec::decodeTemplate(a, ma) == 0 || vxcodec::decodeTemplate(b, mb) == 0) return false;
  const int n = std::clamp(ma.minutiaCount, 0, vxcodec::kMaxMinutiae);
  return n > 0 && ma.minutiaCount == mb.minutiaCount &&
         std::equal(ma.minutiae.begin(), ma.minutiae.begin() + n, mb.minutiae.begin());
}

}  // namespace vxsim::detail
