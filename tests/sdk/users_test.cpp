// Users and templates: downloading and walking the user table in its three
// forms, decoding privileges and time zones, the look-ups between PIN2, user
// ID, card and internal number, single templates and the template test.
#include <cstring>
#include <string>
#include <vector>

#include "records.h"
#include "terminal_fixture.h"
#include "vxsdk/api/users.h"
#include "vxsdk/codec/codec.h"

namespace {
using sdktest::Terminal;
using vxsim::Bytes;

struct UserOut {
  int result = 0;
  int number = 99, privilege = 99, enabled = 99, pin2 = 99, group = 99;
  char name[9] = {}, password[6] = {};
  unsigned char card[5] = {};
  int zones[4] = {99, 99, 99, 99};
};
UserOut nextUser(void* h) {
  UserOut o;
  o.result = VX_GetUserInfo(h, &o.number, o.name, &o.privilege, &o.enabled, o.password, o.card, &o.pin2, &o.group,
                            o.zones);
  return o;
}

struct IdUserOut {
  int result = 0;
  int number = 99, privilege = 99, enabled = 99, card = 99, department = 99;
  char userId[25] = {}, name[25] = {}, password[9] = {};
  int shifts[4] = {};
};
IdUserOut nextIdUser(void* h) {
  IdUserOut o;
  o.result = SSR_VX_GetUserInfo(h, &o.number, o.userId, o.name, &o.privilege, &o.enabled, o.password, &o.card,
                                &o.department, o.shifts);
  return o;
}

// The application's level of a device privilege byte, for the generated users.
int level(std::uint8_t privilege) {
  switch (privilege & ~1) {
    case 14: return 3;
    case 6: return 2;
    case 2: return 1;
    default: return 0;
  }
}

// ---- Walking the table in each form ------------------------------------------

struct FormCase {
  const char* name;
  vxsim::Personality personality;
};

class UserWalk : public ::testing::TestWithParam<FormCase> {};

TEST_P(UserWalk, HandsOutEveryUserAsTheTerminalStoresItThenZero) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 3, .users = 300});
  Terminal t(GetParam().personality, data);
  const bool old = std::string(GetParam().name) == "16-byte";
  const bool stringIds = std::string(GetParam().name) == "72-byte";
  t.conn().pinWidth = 24;
  for (const vxsim::User& u : data.users) {
    SCOPED_TRACE(u.number);
    if (stringIds) {
      const IdUserOut o = nextIdUser(t.handle);
      ASSERT_EQ(o.result, 1);
      EXPECT_EQ(o.number, u.number);
      EXPECT_EQ(o.userId, u.userId);
      EXPECT_EQ(o.name, u.name);
      EXPECT_EQ(o.password, u.password);
      EXPECT_EQ(o.privilege, level(u.privilege));
      EXPECT_EQ(o.enabled, (u.privilege & 1) ? 0 : 1);
      EXPECT_EQ(static_cast<std::uint32_t>(o.card), u.card);
      EXPECT_EQ(o.department, u.department);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(o.shifts[i], u.shifts[i]);
      continue;
    }
    const UserOut o = nextUser(t.handle);
    ASSERT_EQ(o.result, 1);
    EXPECT_EQ(o.number, u.number);
    EXPECT_EQ(o.name, u.name);
    EXPECT_EQ(o.password, u.password);
    EXPECT_EQ(o.privilege, level(u.privilege));
    EXPECT_EQ(o.enabled, (u.privilege & 1) ? 0 : 1);
    if (old) {
      EXPECT_EQ(o.pin2, 0);
      EXPECT_EQ(o.group, 1);
      EXPECT_EQ(o.zones[0], -1);
      EXPECT_EQ(Bytes(o.card, o.card + 5), Bytes(5, 0));
      continue;
    }
    EXPECT_EQ(o.pin2, u.pin2);
    EXPECT_EQ(o.group, u.group);
    const Bytes card{static_cast<std::uint8_t>(u.card), static_cast<std::uint8_t>(u.card >> 8),
                     static_cast<std::uint8_t>(u.card >> 16), static_cast<std::uint8_t>(u.card >> 24), u.cardExtra};
    EXPECT_EQ(Bytes(o.card, o.card + 5), card);
    if (u.timeZones.empty()) {
      EXPECT_EQ(o.zones[0], -1);
    } else {
      for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(o.zones[i], i < u.timeZones.size() ? u.timeZones[i] : 0);
      if (u.timeZones.size() == 3) {
        EXPECT_EQ(o.zones[3], 0);
      }
    }
  }
  EXPECT_EQ(stringIds ? nextIdUser(t.handle).result : nextUser(t.handle).result, 0);
  EXPECT_EQ(t.reads(CMD_USERTEMP_RRQ), 1u) << "one download for the whole walk";
}

INSTANTIATE_TEST_SUITE_P(Forms, UserWalk,
                         ::testing::Values(FormCase{"16-byte", sdktest::kOldFirmware}, FormCase{"28-byte", sdktest::kDefault},
                                           FormCase{"72-byte", sdktest::kTft}),
                         [](const auto& info) { return std::string(info.param.name).substr(0, 2) + "Bytes"; });

// ---- Decoding privileges and time zones --------------------------------------

TEST(UserRecords, PrivilegeAndTimeZonesDecodeAsTheDeviceCodesThem) {
  struct Case {
    const char* what;
    records::User28 record;
    int level, enabled, group;
    std::array<int, 4> zones;
  } cases[] = {
      {"privilege byte 15", {.number = 1, .privilege = 15}, 3, 0, 1, {-1, 99, 99, 99}},
      {"privilege byte 10", {.number = 2, .privilege = 10}, 4, 1, 1, {-1, 99, 99, 99}},
      {"unknown code 4", {.number = 3, .privilege = 4}, 99, 1, 1, {-1, 99, 99, 99}},
      {"three zones", {.number = 4, .groupByte = 0x91, .timeZones = 0x10C3}, 0, 1, 1, {3, 3, 17, 0}},
      {"group 5, none of its own", {.number = 5, .groupByte = 0x05, .timeZones = 0}, 0, 1, 5, {-1, 99, 99, 99}},
      {"two zones", {.number = 6, .groupByte = 0x82, .timeZones = 1 | 2 << 6}, 0, 1, 2, {1, 2, 0, 99}},
      {"own-zone bit, zones 0", {.number = 7, .groupByte = 0x81, .timeZones = 0}, 0, 1, 1, {0, 0, 0, 99}},
  };
  Bytes table;
  for (const auto& c : cases) table = records::cat({table, records::user28(c.record)});
  Terminal t;
  t.sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5}, records::counted(table));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const UserOut o = nextUser(t.handle);
    ASSERT_EQ(o.result, 1);
    EXPECT_EQ(o.privilege, c.level);
    EXPECT_EQ(o.enabled, c.enabled);
    EXPECT_EQ(o.group, c.group);
    EXPECT_EQ(std::vector<int>(o.zones, o.zones + 4), std::vector<int>(c.zones.begin(), c.zones.end()));
  }
}

TEST(UserRecords, StringIdCallsKeepTheirOwnPrivilegeAndTextRules) {
  const std::string fullId = "ABCDEFGHIJKLMNOPQRSTUVWX";  // 24 characters: no terminator in the record
  Terminal t(sdktest::kTft);
  t.sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5},
                   records::counted(records::cat({
                       records::user72({.number = 1, .privilege = 10, .userId = "7"}),
                       records::user72({.number = 2, .privilege = 15, .password = "12345678", .name = "N",
                                        .card = 0xCAFE, .userId = fullId}),
                   })));
  t.conn().pinWidth = 5;
  IdUserOut o = nextIdUser(t.handle);
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.privilege, 99) << "code 10 is unknown to the string-ID calls";
  o = nextIdUser(t.handle);
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.privilege, 3);
  EXPECT_EQ(o.enabled, 0);
  EXPECT_STREQ(o.userId, "ABCDE") << "cut at the PIN width";

  char password[9];
  std::memset(password, 'z', sizeof password);
  int number = 0, card = 0;
  ASSERT_EQ(SSR_VX_QueryUserInfo(t.handle, fullId.c_str(), nullptr, nullptr, nullptr, password, &card, nullptr,
                                 nullptr, &number),
            1);
  EXPECT_EQ(number, 2);
  EXPECT_EQ(card, 0xCAFE);
  EXPECT_EQ(std::string(password, 8), "12345678");
  EXPECT_EQ(password[8], 'z') << "eight characters, no terminator";
  EXPECT_EQ(SSR_VX_QueryUserInfo(t.handle, (fullId + "Y").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &number),
            0);
}

// ---- Download outcomes and damaged tables -------------------------------------

TEST(UserDownload, EmptyFailedAndWholeTableOutcomes) {
  {
    Terminal t;  // a terminal without users
    EXPECT_EQ(VX_ReadUserInfo(t.handle), 0);
    EXPECT_EQ(nextUser(t.handle).result, 0);
    EXPECT_EQ(VX_QueryUserByPIN2(t.handle, 5), 0);
  }
  {
    Terminal t({}, vxsim::makeTerminal({.seed = 1, .users = 20}));
    t.sim.setReply(CMD_QUERY_DATA, {CMD_ACK_DATA, 0, {}}, vxsim::kAlways);  // neither data nor a refusal
    EXPECT_EQ(VX_ReadUserInfo(t.handle), -2);
    EXPECT_EQ(nextUser(t.handle).result, -2);
    EXPECT_EQ(VX_QueryUserInfo(t.handle, 3, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              -2);
  }
  {
    // The user-table read fails; the whole-table read of kind 5 has no byte count.
    const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 1, .users = 50});
    Terminal t({}, data);
    t.sim.setHandler(CMD_QUERY_DATA, [](const vxsim::Request& r) -> std::optional<std::vector<vxsim::Packet>> {
      if (wire::readU16(r.data.data() + 1) == CMD_USERTEMP_RRQ) return std::vector{r.reply(CMD_ACK_DATA)};
      return std::nullopt;
    });
    ASSERT_EQ(VX_ReadUserInfo(t.handle), 1);
    EXPECT_EQ(t.conn().userView.start, 0u);
    EXPECT_EQ(t.conn().userView.length, 50 * 28);
    for (const auto& u : data.users) EXPECT_EQ(nextUser(t.handle).number, u.number);
    EXPECT_EQ(nextUser(t.handle).result, 0);
  }
}

TEST(UserDownload, RecordsCutOffOrClaimedBeyondTheAnswerAreNotHandedOut) {
  const Bytes two = records::cat({records::user28({.number = 1}), records::user28({.number = 2})});
  struct Case {
    const char* what;
    Bytes answer;
  } cases[] = {
      {"a partial record at the end", records::counted(records::cat({two, Bytes(10, 0x33)}))},
      {"a count beyond the answer", records::counted(two, 100000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Terminal t;
    t.sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5}, c.answer);
    EXPECT_EQ(nextUser(t.handle).number, 1);
    EXPECT_EQ(nextUser(t.handle).number, 2);
    EXPECT_EQ(nextUser(t.handle).result, 0);
    EXPECT_EQ(nextUser(t.handle).result, 0);
    EXPECT_EQ(t.reads(CMD_USERTEMP_RRQ), 1u);
  }
}

// ---- Look-ups -------------------------------------------------------------------

vxsim::User user(std::uint16_t number, std::int32_t pin2, std::string userId = {}) {
  vxsim::User u;
  u.number = number;
  u.pin2 = pin2;
  u.userId = std::move(userId);
  return u;
}

TEST(UserLookups, Pin2TranslationFollowsThePinWidth) {
  vxsim::TerminalData data;
  data.users = {user(10, 70000), user(20, 1234), user(1234, 555), user(30, 0)};
  data.users[1].card = 0x01020304;
  data.users[1].cardExtra = 5;
  Terminal t({}, data);
  auto& c = t.conn();
  struct Case {
    int pinWidth, pin2, number;
  } fromCases[] = {
      {5, 70000, 10},  // not below 65535: looked up as a PIN2
      {5, 1234, 1234},  // used as the internal number, though a user has PIN2 1234
      {9, 1234, 20},
      {9, 70000, 10},
      {9, 999, 999},  // unknown: unchanged
  };
  for (const auto& k : fromCases) {
    c.pinWidth = k.pinWidth;
    EXPECT_EQ(vxsdk::fromPin2(c, k.pin2), k.number) << k.pinWidth << " " << k.pin2;
  }
  EXPECT_EQ(vxsdk::toPin2(c, 20), 1234);
  EXPECT_EQ(vxsdk::toPin2(c, 30), 30) << "no PIN2 of its own";
  EXPECT_EQ(vxsdk::toPin2(c, 99), 99) << "unknown";

  EXPECT_EQ(VX_QueryUserByPIN2(t.handle, 1234), 20);
  EXPECT_EQ(VX_QueryUserByPIN2(t.handle, 4242), 0);
  EXPECT_EQ(VX_GetUserID(t.handle, 70000), 10);
  EXPECT_EQ(VX_GetUserID(t.handle, 4242), -1);
  EXPECT_EQ(VX_GetUserPIN2(t.handle, 30), 0);
  EXPECT_EQ(VX_GetUserPIN2(t.handle, 99), -1);
  const unsigned char card[5] = {4, 3, 2, 1, 5}, otherCard[5] = {4, 3, 2, 1, 6};
  EXPECT_EQ(VX_QueryUserByCard(t.handle, card), 20);
  EXPECT_EQ(VX_QueryUserByCard(t.handle, otherCard), 0);

  int pin2 = 1234, group = 0;
  ASSERT_EQ(VX_QueryUserInfo(t.handle, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &pin2, &group, nullptr), 1);
  EXPECT_EQ(pin2, 1234);
  pin2 = 0;
  ASSERT_EQ(VX_QueryUserInfo(t.handle, 1234, nullptr, nullptr, nullptr, nullptr, nullptr, &pin2, nullptr, nullptr), 1);
  EXPECT_EQ(pin2, 555);
  EXPECT_EQ(VX_QueryUserInfo(t.handle, 77, nullptr, nullptr, nullptr, nullptr, nullptr, &pin2, nullptr, nullptr), 0);
  EXPECT_EQ(t.reads(CMD_USERTEMP_RRQ), 1u) << "the look-ups share one download";
}

TEST(UserLookups, BatchCacheUserIdsAndOldFirmware) {
  vxsim::TerminalData data;
  data.users = {user(10, 70000, "alice")};
  {
    Terminal t({}, data);
    auto& c = t.conn();
    c.pinWidth = 9;
    // A user added by a batch: records 4 bytes into the cache.
    ASSERT_TRUE(c.batchUserCache.allocate(4096));
    const Bytes added = records::user28({.number = 40, .pin2 = 8888});
    std::copy(added.begin(), added.end(), c.batchUserCache.data() + 4);
    c.batchUserCacheLength = 28;
    EXPECT_EQ(vxsdk::fromPin2(c, 8888), 8888) << "only while a batch is collected";
    c.batchMode = 1;
    EXPECT_EQ(vxsdk::fromPin2(c, 8888), 40);
  }
  {
    Terminal t(sdktest::kTft, data);
    auto& c = t.conn();
    EXPECT_EQ(vxsdk::userIdToNumber(c, "alice"), 10);
    EXPECT_EQ(vxsdk::userIdToNumber(c, "bob"), -1);
    c.lastUserNumber = 77;
    EXPECT_EQ(vxsdk::userIdToNumber(c, "bob"), 77) << "the user a batch just numbered";
  }
  {
    Terminal t(sdktest::kOldFirmware, data);
    t.conn().pinWidth = 9;
    EXPECT_EQ(vxsdk::fromPin2(t.conn(), 70000), 70000);
    EXPECT_EQ(vxsdk::toPin2(t.conn(), 10), 10);
    EXPECT_EQ(VX_GetUserID(t.handle, 70000), -2);
    EXPECT_EQ(VX_GetUserPIN2(t.handle, 10), -2);
    EXPECT_EQ(VX_QueryUserByPIN2(t.handle, 70000), 0);
  }
}

TEST(UserLookups, ExtendedValueByNumberPin2OrUserId) {
  vxsim::TerminalData data;
  data.users = {user(10, 70000, "70000"), user(11, 0, "11")};
  data.users[0].extendedValue = 0xA5;
  data.users[1].extendedValue = 7;
  {
    Terminal t({}, data);
    int value = 0;
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 10, 0, &value), 1);
    EXPECT_EQ(value, 0xA5);
    value = 0;
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 0, 70000, &value), 1);
    EXPECT_EQ(value, 0xA5);
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 0, 4242, &value), 0) << "unknown PIN2: nothing asked";
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 99, 0, &value), -2) << "the device does not know the user";
    const auto request = t.sim.waitFor(CMD_USERINFOEX_RRQ, 100);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->data, (Bytes{10, 0}));
  }
  {
    Terminal t(sdktest::kTft, data);  // numbers travel as user ID texts
    int value = 0;
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 11, 0, &value), 1);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 0, 70000, &value), 1);
    EXPECT_EQ(value, 0xA5);
    EXPECT_EQ(VX_GetUserInfoEx(t.handle, 12, 0, &value), 0);
  }
}

// ---- Templates ------------------------------------------------------------------

TEST(Templates, DownloadedTableAnswersQueriesByNumberPin2AndUserId) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 5, .users = 40, .fingersPerUser = 2});
  Terminal t({}, data);
  ASSERT_EQ(VX_ReadTempData(t.handle), 1);
  const std::size_t reads = t.reads(CMD_DB_RRQ);
  for (const auto& f : data.templates) {
    unsigned char out[2048] = {};
    int length = 0;
    ASSERT_EQ(VX_QueryUserTemp(t.handle, f.number, f.finger, out, &length), 1) << f.number;
    EXPECT_EQ(Bytes(out, out + length), f.bytes);
  }
  unsigned char out[2048];
  int length = 0;
  EXPECT_EQ(VX_QueryUserTemp(t.handle, 5, 7, out, &length), 0) << "no such finger";
  t.conn().pinWidth = 9;
  ASSERT_EQ(VX_QueryUserTemp(t.handle, 20005, 1, out, &length), 1) << "by PIN2";
  EXPECT_EQ(Bytes(out, out + length), data.templates[4 * 2 + 1].bytes);
  EXPECT_EQ(t.reads(CMD_DB_RRQ), reads);
  EXPECT_EQ(t.sim.count(CMD_USERTEMP_RRQ), 0u) << "no single-template reads with a table at hand";

  Terminal tft(sdktest::kTft, data);  // string user IDs
  ASSERT_EQ(VX_ReadTempData(tft.handle), 1);
  ASSERT_EQ(SSR_VX_QueryUserTemp(tft.handle, "20006", 0, out, &length), 1);
  EXPECT_EQ(Bytes(out, out + length), data.templates[5 * 2].bytes);
  EXPECT_EQ(SSR_VX_QueryUserTemp(tft.handle, "nobody", 0, out, &length), 0);
  EXPECT_EQ(tft.sim.count(CMD_USERTEMP_RRQ), 0u);
}

TEST(Templates, DamagedTableEndsTheWalk) {
  const Bytes tmpl = vxsim::makeTemplate(9);
  struct Case {
    const char* what;
    Bytes table;
  } cases[] = {
      {"a size below the header", records::cat({records::templateRecord(1, 0, tmpl, 3),
                                                 records::templateRecord(2, 0, tmpl)})},
      {"a size past the view", records::cat({records::templateRecord(1, 0, tmpl, 60000),
                                              records::templateRecord(2, 0, tmpl)})},
      {"a size of 0", records::cat({records::templateRecord(1, 0, tmpl, 0), records::templateRecord(2, 0, tmpl)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Terminal t;
    t.sim.setDataSet(CMD_DB_RRQ, Bytes{2}, records::counted(c.table));
    ASSERT_EQ(VX_ReadTempData(t.handle), 1);
    unsigned char out[2048];
    int length = 0;
    EXPECT_EQ(VX_QueryUserTemp(t.handle, 2, 0, out, &length), 0);
  }
}

TEST(Templates, WithoutADownloadTheDeviceIsAsked) {
  vxsim::TerminalData data = vxsim::makeTerminal({.seed = 6, .users = 3, .fingersPerUser = 1});
  Terminal t(sdktest::kTft, data);
  unsigned char out[2048] = {};
  int length = 0;
  ASSERT_EQ(VX_QueryUserTemp(t.handle, 2, 0, out, &length), 1);
  EXPECT_EQ(Bytes(out, out + length), data.templates[1].bytes);
  const auto request = t.sim.waitFor(CMD_USERTEMP_RRQ, 100);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->data, (Bytes{2, 0, 0}));
  EXPECT_EQ(VX_QueryUserTemp(t.handle, 2, 3, out, &length), 0) << "the device has no such template";

  length = sizeof out;
  ASSERT_EQ(SSR_VX_GetUserTmp(t.handle, "20003", 0, out, &length), 1);
  EXPECT_EQ(Bytes(out, out + length), data.templates[2].bytes);
  t.sim.clearRecords();
  EXPECT_EQ(SSR_VX_GetUserTmp(t.handle, "nobody", 0, out, &length), 0);
  EXPECT_EQ(t.sim.count(CMD_USERTEMP_RRQ), 0u);
}

TEST(Templates, LengthNeverExceedsTheBufferWhateverTheDeviceSays) {
  Terminal t;
  // The device claims 2000 bytes and sends 600; the caller's buffer holds 100.
  t.sim.setReply(CMD_USERTEMP_RRQ, {CMD_ACK_OK, 2000, Bytes(600, 0x5A)}, vxsim::kAlways);
  std::vector<unsigned char> buffer(100);
  int length = static_cast<int>(buffer.size());
  ASSERT_EQ(VX_GetUserTmp(t.handle, 3, 1, buffer.data(), &length), 1);
  EXPECT_EQ(length, 100);
  EXPECT_EQ(buffer.back(), 0x5A);
  length = 2;
  ASSERT_EQ(VX_GetUserTmp(t.handle, 3, 1, buffer.data(), &length), 1);
  EXPECT_EQ(length, 2);
  t.sim.clearScripts();
  t.sim.setReply(CMD_USERTEMP_RRQ, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  length = 100;
  EXPECT_EQ(VX_GetUserTmp(t.handle, 3, 1, buffer.data(), &length), 0);
}

TEST(Templates, TestAsksTheDeviceWhoseFingerItIs) {
  vxsim::TerminalData data = vxsim::makeTerminal({.seed = 8, .users = 10, .fingersPerUser = 1});
  Terminal t({}, data);
  int number = 0;
  EXPECT_EQ(VX_TestUserTmp(t.handle, &number, data.templates[4].bytes.data()), 1);
  EXPECT_EQ(number, 5);
  t.conn().pinWidth = 9;
  EXPECT_EQ(VX_TestUserTmp(t.handle, &number, data.templates[4].bytes.data()), 1);
  EXPECT_EQ(number, 20005) << "handed out as PIN2 above width 5";
  Bytes stranger = vxsim::makeTemplate(12345);
  stranger.resize(vxcodec::kTemplateArea);
  EXPECT_EQ(VX_TestUserTmp(t.handle, &number, stranger.data()), 0);

  // A reply number whose low byte is 0 is no match.
  t.sim.setReply(CMD_TEST_USERTEMP, {CMD_ACK_OK, 0, Bytes{0x00, 0x01}}, vxsim::kOnce);
  number = -7;
  EXPECT_EQ(VX_TestUserTmp(t.handle, &number, data.templates[4].bytes.data()), 0);
  EXPECT_EQ(number, -7);
  t.sim.setReply(CMD_TEST_USERTEMP, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_TestUserTmp(t.handle, &number, data.templates[4].bytes.data()), -2);

  const std::size_t sent = t.sim.count(CMD_TEST_USERTEMP);
  Bytes garbage(vxcodec::kTemplateArea, 0x11);
  EXPECT_EQ(VX_TestUserTmp(t.handle, &number, garbage.data()), -3) << "not a template";
  EXPECT_EQ(t.sim.count(CMD_TEST_USERTEMP), sent);
}

TEST(UserCalls, NullHandleOrArgumentIsRefused) {
  int i = 0;
  unsigned char b[8] = {};
  char s[32] = {};
  const int results[] = {
      VX_ReadUserInfo(nullptr),
      VX_GetUserInfo(nullptr, &i, s, &i, &i, s, b, &i, &i, nullptr),
      VX_QueryUserInfo(nullptr, 1, s, &i, &i, s, b, &i, &i, nullptr),
      VX_QueryUserByPIN2(nullptr, 1),
      VX_QueryUserByCard(nullptr, b),
      VX_GetUserID(nullptr, 1),
      VX_GetUserPIN2(nullptr, 1),
      VX_GetUserInfoEx(nullptr, 1, 0, &i),
      SSR_VX_GetUserInfo(nullptr, &i, s, s, &i, &i, s, &i, &i, nullptr),
      SSR_VX_QueryUserInfo(nullptr, "1", s, &i, &i, s, &i, &i, nullptr, &i),
      VX_ReadTempData(nullptr),
      VX_GetUserTmp(nullptr, 1, 0, b, &i),
      VX_QueryUserTemp(nullptr, 1, 0, b, &i),
      SSR_VX_GetUserTmp(nullptr, "1", 0, b, &i),
      SSR_VX_QueryUserTemp(nullptr, "1", 0, b, &i),
      VX_TestUserTmp(nullptr, &i, b),
  };
  for (int r : results) EXPECT_EQ(r, -1);
  Terminal t;
  EXPECT_EQ(VX_QueryUserByCard(t.handle, nullptr), -1);
  EXPECT_EQ(VX_GetUserTmp(t.handle, 1, 0, b, nullptr), -1);
  EXPECT_EQ(SSR_VX_QueryUserInfo(t.handle, nullptr, s, &i, &i, s, &i, &i, nullptr, &i), -1);
  EXPECT_EQ(t.sim.received().size(), 0u);
}
}  // namespace
