// Users and templates.
#include "vxsdk/api/users.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/export.h"
#include "vxsdk.h"
#include "vxsdk/api/devicetime.h"
#include "vxsdk/api/viewwalk.h"
#include "vxsdk/codec/codec.h"
#include "wirecore/packet.h"

// ---- Fingerprint templates without a device ---------------------------------
// Thin exports over the template codec, which works on the SDK's 2048-byte
// template areas.

VX_EXPORT int VX_FPTempLength(const unsigned char* templateData, int* length) {
  return vxcodec::fpTempLength(templateData, length);
}

VX_EXPORT int VX_SetFPTempLength(unsigned char* templateData, int maxLength) {
  return vxcodec::setFpTempLength(templateData, maxLength);
}

VX_EXPORT int VX_FPTempConvert(const unsigned char* source, unsigned char* destination, int* length) {
  return vxcodec::fpTempConvert(source, destination, length);
}

VX_EXPORT int VX_FPTempConvertNew(const unsigned char* source, unsigned char* destination,
                                  int* length) {
  return vxcodec::fpTempConvertNew(source, destination, length);
}
// ---- End of the template functions -------------------------------------------

// ---- Users and templates on the device --------------------------------------
// The user table is downloaded into the connection's own user buffer, so
// looking users up never disturbs a log or template view in the shared
// download buffer; the template table goes into the shared buffer.
namespace vxsdk {
namespace {
constexpr char kPin2Firmware[] = "Ver 5.04";
constexpr std::uint8_t kUserKind = 5;
constexpr std::uint8_t kTemplateKind = 2;
constexpr int kUserInfoExReply = 26;
constexpr int kTestReply = 1024;
constexpr int kTestTimeoutMs = 5000;
constexpr std::size_t kTemplateHeader = 6;
constexpr std::size_t kMinTemplate = 50;
constexpr int kMaxSentTemplate = 1011;

bool hasPin2(const Connection& c) { return versionAtLeast(c, kPin2Firmware); }

std::span<const std::uint8_t> field(std::span<const std::uint8_t> record, std::size_t at, std::size_t width) {
  return record.subspan(at, width);
}

// Downloads the users when no user buffer exists yet; the look-ups do not
// examine the outcome.
void ensureUsers(Connection& c) {
  if (!c.userBuffer.allocated() || c.userCapacity <= 0) readUsers(c);
}

// The first record of the user view that the predicate accepts, as an offset
// in userBuffer.
template <class Predicate>
std::optional<std::size_t> findInUserView(Connection& c, std::size_t recordSize, Predicate&& accepts) {
  const auto at = findRecord(userViewBytes(c), recordSize, accepts);
  if (!at) return std::nullopt;
  return c.userView.start + *at;
}

std::span<const std::uint8_t> userAt(const Connection& c, std::size_t offset, std::size_t size) {
  return c.userBuffer.span().subspan(offset, size);
}

std::uint16_t numberOf(std::span<const std::uint8_t> record) { return wire::readU16(record.data()); }
std::int32_t pin2Of(std::span<const std::uint8_t> record) {
  return static_cast<std::int32_t>(wire::readU32(record.data() + 24));
}

// Exported user calls download first when the view is empty: 1 ready, 0 the
// device has no users, -2 the download failed.
int usersReady(Connection& c) {
  if (!userViewEmpty(c)) return 1;
  const int result = readUsers(c);
  return result == 1 ? 1 : result == 0 ? 0 : -2;
}

// The fields of a 16- or 28-byte record, as the getters hand them out.
void handOutUser(std::span<const std::uint8_t> record, int* number, char* name, int* privilege, int* enabled,
                 char* password, unsigned char* card, int* pin2, int* group, int* timeZones) {
  const UserRecord u = UserRecord::decode(record);
  const bool full = record.size() >= UserRecord::kSize;
  put(number, u.number);
  copyText(name, fieldText(u.name), u.name.size());
  if (const auto level = privilegeLevel(u.privilege)) put(privilege, *level);
  put(enabled, userEnabled(u.privilege) ? 1 : 0);
  copyText(password, fieldText(u.password), u.password.size());
  if (card != nullptr) {
    if (full)
      std::copy(u.card.begin(), u.card.end(), card);
    else
      std::fill_n(card, u.card.size(), 0);
  }
  put(pin2, full ? u.pin2 : 0);
  put(group, full ? u.group() : 1);
  if (full)
    handOutTimeZones(unpackTimeZones(u.timeZoneField, u.groupByte), timeZones);
  else
    put(timeZones, -1);
}

// The fields of a 72-byte record the string-ID calls share.
void handOutIdUser(std::span<const std::uint8_t> record, char* name, int* privilege, int* enabled, int* card,
                   int* department, int* shifts) {
  const IdUserRecord u = IdUserRecord::decode(record.first<IdUserRecord::kSize>());
  copyText(name, u.name, 24);
  if (const auto level = privilegeLevel(u.privilege, false)) put(privilege, *level);
  put(enabled, userEnabled(u.privilege) ? 1 : 0);
  put(card, u.card);
  put(department, u.department);
  if (shifts != nullptr) std::copy(u.shifts.begin(), u.shifts.end(), shifts);
}

std::size_t idLimit(const Connection& c) { return static_cast<std::size_t>(std::clamp(c.pinWidth, 0, 24)); }

int queryUserByPin2(Connection& c, int pin2) {
  const int ready = usersReady(c);
  if (ready < 0) return -2;
  const auto at = findUserByPin2(c, pin2);
  return at ? numberOf(userAt(c, *at, UserRecord::kSize)) : 0;
}

// One template read from the device into the caller's buffer of `capacity`
// bytes; the length output gets the reply's result word, never more than the
// bytes the buffer can have received.
int readTemplate(Connection& c, int number, int finger, unsigned char* out, int capacity, int* length) {
  if (out == nullptr) return -1;
  std::array<std::uint8_t, VX_MAX_DATA> work{};
  wire::writeU16(work.data(), static_cast<std::uint16_t>(number));
  work[2] = static_cast<std::uint8_t>(finger);
  const int received = std::clamp(capacity, 0, static_cast<int>(work.size()));
  std::uint16_t code = CMD_USERTEMP_RRQ;
  const int word = VXEMBPRO_SENDCMD(c.engine, &code, work.data(), received, 3, c.longTimeout);
  std::copy_n(work.begin(), received, out);
  put(length, std::clamp(word, 0, received));
  if (code == CMD_ACK_ERROR) return 0;
  return code == CMD_ACK_OK ? 1 : -2;
}

// The first record of the template view with this number and finger: its
// template bytes. A size below the header or past the view ends the walk.
std::optional<std::span<const std::uint8_t>> findTemplate(const Connection& c, int number, int finger) {
  const View& v = c.templateView;
  const auto records = viewRemainder(View{v.start, v.start, v.length}, c.bulkBuffer);
  for (std::size_t at = 0; records.size() - at >= kTemplateHeader;) {
    const std::size_t size = wire::readU16(records.data() + at);
    if (size < kTemplateHeader || size > records.size() - at) break;
    const auto record = records.subspan(at, size);
    if (wire::readU16(record.data() + 2) == number &&
        static_cast<std::int8_t>(record[4]) == static_cast<std::int8_t>(finger))
      return record.subspan(kTemplateHeader);
    at += size;
  }
  return std::nullopt;
}

bool templatesDownloaded(const Connection& c) { return c.templateView.length > 0 && c.bulkBuffer.allocated(); }

// A template found in the view handed out: its codec length, and the bytes.
int handOutTemplate(std::span<const std::uint8_t> found, unsigned char* out, int* length) {
  const std::size_t n = std::min(vxcodec::templateLength(found), vxcodec::kTemplateArea);
  put(length, n);
  if (n > 0 && out != nullptr) std::copy_n(found.begin(), n, out);
  return 1;
}
}  // namespace

UserRecord UserRecord::decode(std::span<const std::uint8_t> b) {
  UserRecord r;
  if (b.size() < kShortSize) return r;
  r.number = wire::readU16(&b[0]);
  r.privilege = b[2];
  std::copy_n(&b[3], r.password.size(), r.password.begin());
  std::copy_n(&b[8], r.name.size(), r.name.begin());
  if (b.size() < kSize) return r;
  std::copy_n(&b[16], r.card.size(), r.card.begin());
  r.groupByte = b[21];
  r.timeZoneField = wire::readU16(&b[22]);
  r.pin2 = static_cast<std::int32_t>(wire::readU32(&b[24]));
  return r;
}

void UserRecord::encode(std::span<std::uint8_t> b) const {
  if (b.size() < kShortSize) return;
  wire::writeU16(&b[0], number);
  b[2] = privilege;
  std::copy(password.begin(), password.end(), &b[3]);
  std::copy(name.begin(), name.end(), &b[8]);
  if (b.size() < kSize) return;
  std::copy(card.begin(), card.end(), &b[16]);
  b[21] = groupByte;
  wire::writeU16(&b[22], timeZoneField);
  wire::writeU32(&b[24], static_cast<std::uint32_t>(pin2));
}

std::optional<int> privilegeLevel(std::uint8_t privilegeByte, bool knowsCode10) {
  switch (privilegeByte & ~1) {
    case 14: return 3;
    case 10: return knowsCode10 ? std::optional<int>(4) : std::nullopt;
    case 6: return 2;
    case 2: return 1;
    case 0: return 0;
    default: return std::nullopt;
  }
}

UserTimeZones unpackTimeZones(std::uint16_t field, std::uint8_t groupByte) {
  UserTimeZones z;
  if (field == 0 && (groupByte & 0xF0) == 0) return z;
  z.zones = {field & 0x3F, (field >> 6) & 0x3F, (groupByte & 0x30) | (field >> 12)};
  if (z.zones[0] == 0)
    z.count = 0;
  else if (z.zones[1] != 0 && z.zones[2] != 0)
    z.count = 3;
  else
    z.count = z.zones[1] != 0 ? 2 : 1;
  return z;
}

void handOutTimeZones(const UserTimeZones& zones, int* area) {
  if (area == nullptr) return;
  if (zones.count < 0) {
    area[0] = -1;
    return;
  }
  std::copy(zones.zones.begin(), zones.zones.end(), area);
  if (zones.count == 3) area[3] = 0;
}

std::size_t userRecordSize(const Connection& c) { return hasPin2(c) ? UserRecord::kSize : UserRecord::kShortSize; }

std::span<const std::uint8_t> userViewBytes(const Connection& c) {
  const View& v = c.userView;
  if (!c.userBuffer.allocated() || v.length <= 0 || v.start >= c.userBuffer.size()) return {};
  return c.userBuffer.span().subspan(v.start, std::min<std::size_t>(v.length, c.userBuffer.size() - v.start));
}

bool userViewEmpty(const Connection& c) {
  return !c.userBuffer.allocated() || c.userCapacity <= 0 || c.userView.length <= 0;
}

int readUsers(Connection& c) {
  if (!c.userBuffer.allocated() || c.userCapacity <= 0) {
    c.userCapacity = 0;
    if (!c.userBuffer.allocate(kUserBufferSize)) return -100;
    c.userCapacity = kUserBufferSize;
  }
  std::uint8_t* buffer = c.userBuffer.data();
  const int capacity = static_cast<int>(std::min<std::size_t>(c.userCapacity, c.userBuffer.size()));
  buffer[0] = kUserKind;
  std::uint16_t code = CMD_USERTEMP_RRQ;
  int count = VXEMBPRO_READDATA(c.engine, &code, buffer, capacity, hasPin2(c) ? 1 : 0, c.blockSize, c.longTimeout);
  if (code == CMD_ACK_OK && count > 0) {
    const std::int32_t length = leadingCount(buffer, count);
    c.userView = View{4, 4, length};
    return 1;
  }
  if (code == CMD_ACK_ERROR && count == 0) return 0;
  int fallbackCapacity = capacity;
  count = VXEMBPRO_READDB(c.engine, kUserKind, c.blockSize, buffer, &fallbackCapacity);
  if (count > 0) {
    c.userView = View{0, 0, std::min(count, capacity)};
    return 1;
  }
  return count == 0 ? 0 : -2;
}

std::optional<std::size_t> findUserByNumber(Connection& c, int number) {
  ensureUsers(c);
  return findInUserView(c, userRecordSize(c), [&](auto r) { return numberOf(r) == number; });
}

std::optional<std::size_t> findUserByPin2(Connection& c, int pin2) {
  ensureUsers(c);
  if (!hasPin2(c)) return std::nullopt;
  return findInUserView(c, UserRecord::kSize, [&](auto r) { return pin2Of(r) == pin2; });
}

std::optional<std::size_t> findUserByCard(Connection& c, std::span<const std::uint8_t, 5> card) {
  ensureUsers(c);
  if (!hasPin2(c)) return std::nullopt;
  return findInUserView(c, UserRecord::kSize,
                        [&](auto r) { return std::equal(card.begin(), card.end(), r.begin() + 16); });
}

std::optional<std::size_t> findUserById(Connection& c, const char* userId) {
  ensureUsers(c);
  if (userId == nullptr) return std::nullopt;
  // A user ID field holds at most 24 characters; a longer text matches none.
  const std::string_view id(userId, strnlen(userId, 25));
  if (id.size() > 24) return std::nullopt;
  return findInUserView(c, IdUserRecord::kSize, [&](auto r) { return fieldText(field(r, 48, 24)) == id; });
}

int toPin2(Connection& c, int number) {
  if (!hasPin2(c)) return number;
  const auto at = findUserByNumber(c, number);
  if (!at) return number;
  const std::int32_t pin2 = pin2Of(userAt(c, *at, UserRecord::kSize));
  return pin2 != 0 ? pin2 : number;
}

int fromPin2(Connection& c, int pin2) {
  if (!hasPin2(c)) return pin2;
  if (c.pinWidth <= 5 && pin2 < 65535) return pin2;
  if (const auto at = findUserByPin2(c, pin2)) return numberOf(userAt(c, *at, UserRecord::kSize));
  if (c.pinWidth > 5 && c.batchMode) {
    const auto cache = batchUserCacheRecords(c);
    if (const auto at = findRecord(cache, UserRecord::kSize, [&](auto r) { return pin2Of(r) == pin2; }))
      return numberOf(cache.subspan(*at));
  }
  return pin2;
}

int userIdToNumber(Connection& c, const char* userId) {
  if (const auto at = findUserById(c, userId)) return numberOf(userAt(c, *at, IdUserRecord::kSize));
  return c.lastUserNumber != 0 ? c.lastUserNumber : -1;
}

std::span<const std::uint8_t> batchUserCacheRecords(const Connection& c) {
  const LazyBuffer& cache = c.batchUserCache;
  if (!cache.allocated() || cache.size() <= 4 || c.batchUserCacheLength <= 0) return {};
  return cache.span().subspan(4, std::min<std::size_t>(c.batchUserCacheLength, cache.size() - 4));
}
}  // namespace vxsdk

using vxsdk::Connection;
using vxsdk::put;

VX_EXPORT int VX_ReadUserInfo(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::readUsers(*c);
}

VX_EXPORT int VX_GetUserInfo(void* handle, int* number, char* name, int* privilege, int* enabled, char* password,
                             unsigned char* card, int* pin2, int* group, int* timeZones) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (const int ready = vxsdk::usersReady(*c); ready != 1) return ready;
  const auto record = vxsdk::takeRecord(c->userView, c->userBuffer, vxsdk::userRecordSize(*c));
  if (!record) return 0;
  vxsdk::handOutUser(*record, number, name, privilege, enabled, password, card, pin2, group, timeZones);
  return 1;
}

VX_EXPORT int VX_QueryUserInfo(void* handle, int number, char* name, int* privilege, int* enabled, char* password,
                               unsigned char* card, int* pin2, int* group, int* timeZones) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || (number == 0 && pin2 == nullptr)) return -1;
  if (vxsdk::usersReady(*c) < 0) return -2;
  const auto at = number != 0 ? vxsdk::findUserByNumber(*c, number) : vxsdk::findUserByPin2(*c, *pin2);
  if (!at) return 0;
  const auto record = vxsdk::userAt(*c, *at, vxsdk::userRecordSize(*c));
  vxsdk::handOutUser(record, nullptr, name, privilege, enabled, password, card, pin2, group, timeZones);
  return 1;
}

VX_EXPORT int VX_QueryUserByPIN2(void* handle, int pin2) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::queryUserByPin2(*c, pin2);
}

VX_EXPORT int VX_QueryUserByCard(void* handle, const unsigned char* card) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || card == nullptr) return -1;
  if (vxsdk::usersReady(*c) < 0) return -2;
  const auto at = vxsdk::findUserByCard(*c, std::span<const std::uint8_t, 5>(card, 5));
  return at ? vxsdk::numberOf(vxsdk::userAt(*c, *at, 2)) : 0;
}

VX_EXPORT int VX_GetUserID(void* handle, int pin2) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (!vxsdk::hasPin2(*c)) return -2;
  const auto at = vxsdk::findUserByPin2(*c, pin2);
  return at ? vxsdk::numberOf(vxsdk::userAt(*c, *at, 2)) : -1;
}

VX_EXPORT int VX_GetUserPIN2(void* handle, int number) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (!vxsdk::hasPin2(*c)) return -2;
  const auto at = vxsdk::findUserByNumber(*c, number);
  return at ? vxsdk::pin2Of(vxsdk::userAt(*c, *at, vxsdk::UserRecord::kSize)) : -1;
}

VX_EXPORT int VX_GetUserInfoEx(void* handle, int number, int pin2, int* value) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  int internal = number;
  if (c->tftMachine) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", number > 0 ? number : pin2);
    internal = vxsdk::userIdToNumber(*c, text);
    if (internal == -1) return 0;
  } else if (internal == 0) {
    internal = vxsdk::queryUserByPin2(*c, pin2);
    if (internal <= 0) return internal;
  }
  std::array<std::uint8_t, VX_MAX_DATA> buffer{};
  wire::writeU16(buffer.data(), static_cast<std::uint16_t>(internal));
  std::uint16_t code = CMD_USERINFOEX_RRQ;
  VXEMBPRO_SENDCMD(c->engine, &code, buffer.data(), vxsdk::kUserInfoExReply, 2, c->shortTimeout);
  if (code != CMD_ACK_OK) return -2;
  put(value, buffer[2]);
  return 1;
}

VX_EXPORT int SSR_VX_GetUserInfo(void* handle, int* number, char* userId, char* name, int* privilege, int* enabled,
                                 char* password, int* card, int* department, int* shifts) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (const int ready = vxsdk::usersReady(*c); ready != 1) return ready;
  const auto record = vxsdk::takeRecord(c->userView, c->userBuffer, vxsdk::IdUserRecord::kSize);
  if (!record) return 0;
  put(number, vxsdk::numberOf(*record));
  vxsdk::copyText(userId, vxsdk::fieldText(vxsdk::field(*record, 48, 24)), vxsdk::idLimit(*c));
  vxsdk::copyText(password, vxsdk::fieldText(vxsdk::field(*record, 3, 8)), 8);
  vxsdk::handOutIdUser(*record, name, privilege, enabled, card, department, shifts);
  return 1;
}

VX_EXPORT int SSR_VX_QueryUserInfo(void* handle, const char* userId, char* name, int* privilege, int* enabled,
                                   char* password, int* card, int* department, int* shifts, int* number) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || userId == nullptr) return -1;
  if (vxsdk::usersReady(*c) < 0) return -2;
  const auto at = vxsdk::findUserById(*c, userId);
  if (!at) return 0;
  const auto record = vxsdk::userAt(*c, *at, vxsdk::IdUserRecord::kSize);
  // This call hands out all 8 password characters without a terminator.
  vxsdk::copyPadded(password, vxsdk::fieldText(vxsdk::field(record, 3, 8)), 8);
  vxsdk::handOutIdUser(record, name, privilege, enabled, card, department, shifts);
  put(number, vxsdk::numberOf(record));
  return 1;
}

VX_EXPORT int VX_ReadTempData(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::downloadDataSet(*c, vxsdk::kTemplateKind, CMD_DB_RRQ, vxsdk::hasPin2(*c) ? 1 : 0,
                                vxsdk::ViewKind::Template, true);
}

VX_EXPORT int VX_GetUserTmp(void* handle, int number, int finger, unsigned char* templateData, int* length) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || length == nullptr) return -1;
  return vxsdk::readTemplate(*c, vxsdk::fromPin2(*c, number), finger, templateData, *length, length);
}

VX_EXPORT int SSR_VX_GetUserTmp(void* handle, const char* userId, int finger, unsigned char* templateData,
                                int* length) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || length == nullptr) return -1;
  const int number = vxsdk::userIdToNumber(*c, userId);
  if (number <= 0) return 0;
  return vxsdk::readTemplate(*c, number, finger, templateData, *length, length);
}

// Without a template download the query reads the template from the device
// into the caller's template area, which holds a whole template.
VX_EXPORT int VX_QueryUserTemp(void* handle, int number, int finger, unsigned char* templateData, int* length) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  const int internal = vxsdk::fromPin2(*c, number);
  if (!vxsdk::templatesDownloaded(*c))
    return vxsdk::readTemplate(*c, internal, finger, templateData, vxcodec::kTemplateArea, length);
  const auto found = vxsdk::findTemplate(*c, internal, finger);
  return found ? vxsdk::handOutTemplate(*found, templateData, length) : 0;
}

VX_EXPORT int SSR_VX_QueryUserTemp(void* handle, const char* userId, int finger, unsigned char* templateData,
                                   int* length) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  const int number = vxsdk::userIdToNumber(*c, userId);
  if ((number & 0xFFFF) == 0 || number < 0) return 0;
  if (!vxsdk::templatesDownloaded(*c))
    return vxsdk::readTemplate(*c, number, finger, templateData, vxcodec::kTemplateArea, length);
  const auto found = vxsdk::findTemplate(*c, number, finger);
  return found ? vxsdk::handOutTemplate(*found, templateData, length) : 0;
}

VX_EXPORT int VX_TestUserTmp(void* handle, int* number, const unsigned char* templateData) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || templateData == nullptr) return -1;
  std::array<std::uint8_t, vxcodec::kTemplateArea> work{};
  std::size_t length = vxcodec::normaliseTemplate({templateData, vxcodec::kTemplateArea}, work);
  if (length > static_cast<std::size_t>(vxsdk::kMaxSentTemplate)) length = vxcodec::fitTemplate(work, vxsdk::kMaxSentTemplate);
  // A template the device could not be sent is refused before any exchange.
  if (length < vxsdk::kMinTemplate || length > VX_MAX_DATA) return -3;
  std::uint16_t code = CMD_TEST_USERTEMP;
  VXEMBPRO_SENDCMD(c->engine, &code, work.data(), vxsdk::kTestReply, static_cast<int>(length), vxsdk::kTestTimeoutMs);
  if (code != CMD_ACK_OK) return -2;
  const int matched = wire::readU16(work.data());
  if ((matched & 0xFF) == 0) return 0;
  put(number, c->pinWidth > 5 ? vxsdk::toPin2(*c, matched) : matched);
  return 1;
}
