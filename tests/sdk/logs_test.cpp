// Attendance, operation and real-time logs: walking each record form,
// the compressed stream's full times and deltas, PIN2 translation, the
// data-set read and its release, real-time reads, the raw table read and
// clearing on the device.
#include <cstring>
#include <string>
#include <vector>

#include "records.h"
#include "terminal_fixture.h"
#include "vxsdk/api/devicetime.h"

namespace {
using records::longLog;
using records::shortLog;
using sdktest::Terminal;
using vxsim::Bytes;

struct LogOut {
  int result = 0;
  int number = 99;
  unsigned char verify = 0xEE, state = 0xEE;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int workCode = 99, reserved = 99;
  std::int32_t time() const { return vxsdk::encodeDeviceTime(y, mo, d, h, mi, s); }
};
LogOut nextLog(void* handle) {
  LogOut o;
  o.result = VX_GetExtLog(handle, &o.number, &o.verify, &o.state, &o.y, &o.mo, &o.d, &o.h, &o.mi, &o.s, &o.workCode,
                          &o.reserved);
  return o;
}

struct IdLogOut {
  int result = 0;
  char userId[25] = {};
  unsigned char verify = 0xEE, state = 0xEE;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int workCode = 99;
  std::int32_t time() const { return vxsdk::encodeDeviceTime(y, mo, d, h, mi, s); }
};
IdLogOut nextIdLog(void* handle) {
  IdLogOut o;
  o.result = VX_SSR_GetLog(handle, o.userId, &o.verify, &o.state, &o.y, &o.mo, &o.d, &o.h, &o.mi, &o.s, &o.workCode);
  return o;
}

const std::int32_t T = vxsdk::encodeDeviceTime(2010, 3, 4, 8, 0, 0);

vxsim::User user(std::uint16_t number, std::int32_t pin2) {
  vxsim::User u;
  u.number = number;
  u.pin2 = pin2;
  return u;
}

// ---- Walking each form --------------------------------------------------------

struct FormCase {
  const char* name;
  vxsim::Personality personality;
  std::vector<std::pair<std::string, std::string>> options;
};

class LogWalk : public ::testing::TestWithParam<FormCase> {};

TEST_P(LogWalk, HandsOutEveryRecordAsTheTerminalStoresItThenZero) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 11, .users = 50, .attendance = 3000});
  Terminal t(GetParam().personality, data, GetParam().options);
  const std::string form = GetParam().name;
  if (form == "stringId") t.conn().pinWidth = 24;  // the whole user ID
  for (const vxsim::AttendanceRecord& r : data.attendance) {
    if (form == "stringId") {
      const IdLogOut o = nextIdLog(t.handle);
      ASSERT_EQ(o.result, 1);
      EXPECT_EQ(o.userId, r.userId);
      EXPECT_EQ(o.verify, r.verifyMode);
      EXPECT_EQ(o.state, r.state);
      EXPECT_EQ(o.time(), r.time);
      EXPECT_EQ(static_cast<std::uint32_t>(o.workCode), r.workCode);
      continue;
    }
    const LogOut o = nextLog(t.handle);
    ASSERT_EQ(o.result, 1);
    EXPECT_EQ(o.number, r.number);
    EXPECT_EQ(o.verify, r.verifyMode);
    EXPECT_EQ(o.state, r.state);
    EXPECT_EQ(o.time(), r.time);
    EXPECT_EQ(static_cast<std::uint32_t>(o.workCode), form == "extended" ? r.workCode : 0u);
    EXPECT_EQ(o.reserved, 0);
  }
  EXPECT_EQ(form == "stringId" ? nextIdLog(t.handle).result : nextLog(t.handle).result, 0);
  EXPECT_EQ(t.reads(CMD_NEWLOG_RRQ), 1u) << "one download for the whole walk";
  const auto release = t.sim.waitFor(CMD_NEWLOG_DONE, 100);
  ASSERT_TRUE(release);
  EXPECT_EQ(release->data, Bytes{1});
  if (form == "compressed") {
    EXPECT_LT(t.conn().attLogView.length, 8 * 3000) << "most records are deltas";
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, LogWalk,
                         ::testing::Values(FormCase{"compressed", sdktest::kDefault, {}},
                                           FormCase{"extended", sdktest::kDefault, {{"~ExtendFmt", "1"}}},
                                           FormCase{"stringId", sdktest::kTft, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The compressed stream ----------------------------------------------------

TEST(CompressedLog, FullTimesDeltasSkipsAndCutOffs) {
  struct Step {
    int result;
    int number = 0;
    std::int32_t time = 0;
  };
  struct Case {
    const char* what;
    Bytes stream;
    std::int32_t lastLogTime;
    int pinWidth;
    std::vector<Step> steps;
  } cases[] = {
      {"a short record first, on a fresh connection", shortLog(1, 5), 0, 0, {{1, 1, 5}, {0}}},
      {"a short record first, after an earlier walk", shortLog(1, 7), 1000, 0, {{1, 1, 1007}}},
      {"a full time of -1", longLog(1, -1), 0, 0, {{1, 1, 147527410}}},
      {"deltas count from the last full time",
       records::cat({longLog(1, T), shortLog(2, 10), shortLog(3, 1023), longLog(4, T + 5000), shortLog(5, 1)}),
       0,
       0,
       {{1, 1, T}, {1, 2, T + 10}, {1, 3, T + 1023}, {1, 4, T + 5000}, {1, 5, T + 5001}, {0}}},
      {"a record to skip gives 0 once",
       records::cat({longLog(1, T), shortLog(65535, 3), shortLog(2, 4)}),
       0,
       0,
       {{1, 1, T}, {0}, {1, 2, T + 4}, {0}}},
      {"a skipped full time still starts the deltas after it",
       records::cat({longLog(1, T), longLog(65535, T + 9000), shortLog(2, 5)}),
       0,
       0,
       {{1, 1, T}, {0}, {1, 2, T + 9005}}},
      {"a record cut off at the end", records::cat({longLog(1, T), records::prefix(longLog(2, T), 6)}),
       0,
       0,
       {{1, 1, T}, {0}, {0}}},
      {"PIN2 above width 5", records::cat({longLog(3, T), longLog(4, T)}), 0, 9, {{1, 4242, T}, {1, 4, T}}},
      {"internal numbers at width 5", longLog(3, T), 0, 5, {{1, 3, T}}},
  };
  vxsim::TerminalData data;
  data.users = {user(3, 4242)};
  Terminal t({}, data);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    t.sim.setDataSet(CMD_NEWLOG_RRQ, Bytes{1}, records::counted(c.stream));
    ASSERT_EQ(VX_ReadLog(t.handle, 1), 1);
    t.conn().lastLogTime = c.lastLogTime;
    t.conn().pinWidth = c.pinWidth;
    for (const Step& step : c.steps) {
      const LogOut o = nextLog(t.handle);
      ASSERT_EQ(o.result, step.result);
      if (step.result != 1) continue;
      EXPECT_EQ(o.number, step.number);
      EXPECT_EQ(o.time(), step.time);
      EXPECT_EQ(o.workCode, 0);
    }
  }
  // State and verify mode share byte 2 with the form bit and the delta.
  t.sim.setDataSet(CMD_NEWLOG_RRQ, Bytes{1}, records::counted(records::cat({longLog(1, T, 7, 3), shortLog(1, 1023, 5, 1)})));
  ASSERT_EQ(VX_ReadLog(t.handle, 1), 1);
  LogOut o = nextLog(t.handle);
  EXPECT_EQ(o.state, 7);
  EXPECT_EQ(o.verify, 3);
  o = nextLog(t.handle);
  EXPECT_EQ(o.state, 5);
  EXPECT_EQ(o.verify, 1);
  EXPECT_EQ(o.time(), T + 1023);
}

TEST(ExtendedLog, HandsOutWorkCodeAndReservedValueAndTheNumberUnchanged) {
  vxsim::TerminalData data;
  data.users = {user(3, 4242)};
  Terminal t({}, data, {{"~ExtendFmt", "1"}});
  ASSERT_NE(t.conn().extendFormat, 0);
  t.conn().pinWidth = 9;
  const Bytes record = records::extendedLog(3, T, 1, 2, 0xBEEF, 123456);
  t.sim.setDataSet(CMD_NEWLOG_RRQ, Bytes{1}, records::counted(records::cat({record, records::prefix(record, 10)})));
  const LogOut o = nextLog(t.handle);
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.number, 3) << "extended records carry the number as it is";
  EXPECT_EQ(o.state, 1);
  EXPECT_EQ(o.verify, 2);
  EXPECT_EQ(o.reserved, 0xBEEF);
  EXPECT_EQ(o.workCode, 123456);
  EXPECT_EQ(o.time(), T);
  EXPECT_EQ(nextLog(t.handle).result, 0) << "the cut-off record is not handed out";
}

TEST(StringIdLog, UserIdIsCopiedUpToThePinWidth) {
  const std::string longId = "ABCDEFGHIJKLMNOPQRSTUVWX";
  struct Case {
    int pinWidth;
    std::string id;
    std::string expected;  // the bytes written, then an untouched 'x'
  } cases[] = {
      {0, "123456789", ""},
      {5, "123456789", "12345"},
      {12, "42", std::string("42") + std::string(10, '\0')},
      {30, longId, longId},  // never more than the 24-byte field
  };
  Terminal t(sdktest::kTft);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pinWidth);
    t.sim.setDataSet(CMD_NEWLOG_RRQ, Bytes{1}, records::counted(records::idLog(1, c.id, 4, T, 2, 77)));
    ASSERT_EQ(VX_ReadLog(t.handle, 1), 1);
    t.conn().pinWidth = c.pinWidth;
    char userId[40];
    std::memset(userId, 'x', sizeof userId);
    unsigned char verify = 0, state = 0;
    int workCode = 0, y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    ASSERT_EQ(VX_SSR_GetLog(t.handle, userId, &verify, &state, &y, &mo, &d, &h, &mi, &s, &workCode), 1);
    EXPECT_EQ(std::string(userId, c.expected.size()), c.expected);
    EXPECT_EQ(userId[c.expected.size()], 'x');
    EXPECT_EQ(verify, 4);
    EXPECT_EQ(state, 2);
    EXPECT_EQ(workCode, 77);
    EXPECT_EQ(vxsdk::encodeDeviceTime(y, mo, d, h, mi, s), T);
  }
}

// ---- Operation log ---------------------------------------------------------------

struct OpOut {
  int result = 0, admin = 99, operation = 99;
  int parameters[4] = {99, 99, 99, 99};
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
};
OpOut nextOp(void* handle) {
  OpOut o;
  o.result = VX_GetOpLog(handle, &o.admin, &o.operation, o.parameters, &o.y, &o.mo, &o.d, &o.h, &o.mi, &o.s);
  return o;
}

TEST(OperationLog, WalksTheRecordsAndTranslatesTheNumbersThatNameUsers) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 4, .users = 20, .operations = 200});
  {
    Terminal t({}, data);
    for (const auto& r : data.operations) {
      const OpOut o = nextOp(t.handle);
      ASSERT_EQ(o.result, 1);
      EXPECT_EQ(o.admin, r.admin);
      EXPECT_EQ(o.operation, r.operation);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(o.parameters[i], r.parameters[i]);
      EXPECT_EQ(vxsdk::encodeDeviceTime(o.y, o.mo, o.d, o.h, o.mi, o.s), r.time);
    }
    EXPECT_EQ(nextOp(t.handle).result, 0);
    const auto release = t.sim.waitFor(CMD_NEWLOG_DONE, 100);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->data, Bytes{4});
  }
  vxsim::TerminalData users;
  users.users = {user(1, 1111), user(3, 4242)};
  Terminal t({}, users);
  t.sim.setDataSet(CMD_NEWLOG_RRQ, Bytes{4},
                   records::counted(records::cat({
                       records::opLog(1, 6, T, {3, 3, 3, 3}),
                       records::opLog(1, 5, T, {3, 3, 3, 3}),
                       records::opLog(1, 30, T, {0, 3, 3, 3}),
                       records::opLog(65535, 6, T, {3, 0, 0, 0}),
                       records::opLog(3, 30, T, {1, 2, 3, 4}),
                   })));
  t.conn().pinWidth = 9;
  struct Expected {
    int result, admin, first;
  } expected[] = {{1, 1111, 4242}, {1, 1111, 3}, {1, 1111, 0}, {0, 0, 0}, {1, 4242, 1111}, {0, 0, 0}};
  for (const auto& e : expected) {
    const OpOut o = nextOp(t.handle);
    ASSERT_EQ(o.result, e.result);
    if (e.result != 1) continue;
    EXPECT_EQ(o.admin, e.admin);
    EXPECT_EQ(o.parameters[0], e.first);
    EXPECT_EQ(o.parameters[1], o.operation == 30 && o.admin == 4242 ? 2 : 3) << "the others stay as they are";
  }
  ASSERT_EQ(VX_ReadOpLog(t.handle, 1), 1);
  int admin = 0, operation = 0;
  EXPECT_EQ(VX_GetOpLog(t.handle, &admin, &operation, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(operation, 6);
}

TEST(OperationLog, OldFirmwareHasNoneAndIsNotAsked) {
  Terminal t(sdktest::kOldFirmware, vxsim::makeTerminal({.seed = 4, .users = 5, .operations = 5}));
  EXPECT_EQ(VX_ReadOpLog(t.handle, 1), 0);
  EXPECT_EQ(nextOp(t.handle).result, 0);
  EXPECT_TRUE(t.sim.received().empty());
}

// ---- Download paths and outcomes ------------------------------------------------

TEST(LogDownload, CommandFollowsFirmwareAndTheDataSetFlag) {
  struct Case {
    const char* firmware;
    int viaDataSet;
    std::uint16_t command;
    std::size_t releases;
  } cases[] = {
      {"Ver 6.60 Apr 28 2010", 1, CMD_NEWLOG_RRQ, 1},
      {"Ver 6.60 Apr 28 2010", 0, CMD_ATTLOG_RRQ, 0},
      {"Ver 6.00 Jan 01 2006", 1, CMD_ATTLOG_RRQ, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.firmware) + " " + std::to_string(c.viaDataSet));
    Terminal t(sdktest::firmware(c.firmware), vxsim::makeTerminal({.seed = 2, .users = 5, .attendance = 10}));
    ASSERT_EQ(VX_ReadLog(t.handle, c.viaDataSet), 1);
    EXPECT_EQ(t.reads(c.command), 1u);
    EXPECT_EQ(t.sim.count(CMD_NEWLOG_DONE), c.releases);
    EXPECT_EQ(t.conn().attLogView.start, 4u);
  }
}

TEST(LogDownload, RefusedReleaseFallsBackToTheWholeTable) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 2, .users = 5, .attendance = 10});
  Terminal t({}, data);
  t.sim.setReply(CMD_NEWLOG_DONE, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  ASSERT_EQ(VX_ReadLog(t.handle, 1), 1);
  EXPECT_EQ(t.reads(CMD_DB_RRQ), 1u);
  EXPECT_EQ(t.conn().attLogView.start, 0u) << "the whole table has no byte count";
  for (const auto& r : data.attendance) EXPECT_EQ(nextLog(t.handle).time(), r.time);
  EXPECT_EQ(nextLog(t.handle).result, 0);
}

TEST(LogDownload, NoRecordsAndFailedDownloads) {
  {
    Terminal t;
    EXPECT_EQ(VX_ReadLog(t.handle, 1), 0);
    EXPECT_EQ(nextLog(t.handle).result, 0);
    EXPECT_EQ(nextIdLog(t.handle).result, 0);
    EXPECT_EQ(VX_ReadOpLog(t.handle, 1), 0);
    EXPECT_EQ(nextOp(t.handle).result, 0);
  }
  {
    Terminal t({}, vxsim::makeTerminal({.seed = 2, .users = 5, .attendance = 10, .operations = 10}));
    t.sim.setReply(CMD_QUERY_DATA, {CMD_ACK_DATA, 0, {}}, vxsim::kAlways);
    EXPECT_EQ(VX_ReadLog(t.handle, 1), -2);
    EXPECT_EQ(nextLog(t.handle).result, -2);
    EXPECT_EQ(nextIdLog(t.handle).result, -2);
    EXPECT_EQ(VX_ReadOpLog(t.handle, 1), -2);
    EXPECT_EQ(nextOp(t.handle).result, -2);
  }
}

TEST(LogDownload, SelectorReadsTheDevicesChoiceWithoutByteCount) {
  Terminal t({}, vxsim::makeTerminal({.seed = 2, .users = 5, .attendance = 10}));
  const Bytes chosen = records::cat({longLog(8, T), shortLog(9, 60)});
  t.sim.setDataSet(CMD_ATTLOG_RRQ, Bytes{0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0}, chosen);
  ASSERT_EQ(VX_ReadLogExt(t.handle, 0x12345678, 1), 1);
  EXPECT_EQ(t.conn().attLogView.start, 0u);
  EXPECT_EQ(t.conn().attLogView.length, static_cast<std::int32_t>(chosen.size()));
  EXPECT_EQ(nextLog(t.handle).number, 8);
  EXPECT_EQ(nextLog(t.handle).time(), T + 60);
  EXPECT_EQ(VX_ReadLogExt(t.handle, 5, 1), 0) << "the device has nothing for this selector";
  EXPECT_EQ(VX_ReadLogExt(t.handle, 0, 1), 1);
  EXPECT_EQ(t.reads(CMD_NEWLOG_RRQ), 1u) << "selector 0 is the ordinary download";
}

TEST(LogDownload, TemplateDownloadEmptiesTheAttendanceView) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 2, .users = 5, .attendance = 10, .fingersPerUser = 1});
  Terminal t({}, data);
  ASSERT_EQ(nextLog(t.handle).time(), data.attendance[0].time);
  ASSERT_EQ(VX_ReadTempData(t.handle), 1);
  EXPECT_EQ(t.conn().attLogView.length, 0);
  EXPECT_EQ(nextLog(t.handle).time(), data.attendance[0].time) << "downloaded again, from the start";
  EXPECT_EQ(t.reads(CMD_NEWLOG_RRQ), 2u);
}

// ---- Real-time records -------------------------------------------------------------

struct RealTimeCase {
  const char* name;
  vxsim::Personality personality;
  std::size_t size;
};

class RealTime : public ::testing::TestWithParam<RealTimeCase> {};

TEST_P(RealTime, RecordsStepByThePersonalitysSizeAndTheCounterConfirmsThem) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 9, .users = 5, .realTime = 3});
  Terminal t(GetParam().personality, data);
  ASSERT_EQ(VX_ReadRTLog(t.handle), 1);
  EXPECT_EQ(t.conn().attLogView.length, static_cast<std::int32_t>(3 * GetParam().size));
  for (const auto& r : data.realTime) {
    int number = 0;
    unsigned char raw[36];
    std::memset(raw, 0xEE, sizeof raw);
    ASSERT_EQ(VX_GetRTLog(t.handle, &number, raw), 1);
    EXPECT_EQ(number, r.number);
    const std::size_t eventBytes = GetParam().size - 2;
    EXPECT_EQ(Bytes(raw, raw + eventBytes), Bytes(r.event.begin(), r.event.begin() + eventBytes));
    if (eventBytes < sizeof raw) {
      EXPECT_EQ(raw[eventBytes], 0xEE);
    }
  }
  EXPECT_EQ(VX_GetRTLog(t.handle, nullptr, nullptr), 0);
  EXPECT_EQ(t.conn().rtLogCounter, 1);
  ASSERT_EQ(VX_ReadRTLog(t.handle), 1);  // confirms the three: none are left
  EXPECT_EQ(t.conn().attLogView.length, 0);
  EXPECT_EQ(t.conn().rtLogCounter, 1) << "a read without records does not count";
  std::vector<Bytes> counters;
  for (const auto& p : t.sim.received())
    if (p.code == CMD_RTLOG_RRQ) counters.push_back(p.data);
  EXPECT_EQ(counters, (std::vector<Bytes>{{0, 0, 0, 0}, {1, 0, 0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(Personalities, RealTime,
                         ::testing::Values(RealTimeCase{"newFormat", sdktest::kDefault, 18},
                                           RealTimeCase{"olderFormat", sdktest::firmware("Ver 6.18 Aug 07 2007"), 16},
                                           RealTimeCase{"tft", sdktest::kTft, 38}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RealTimeReads, OldFirmwareAndCountsThatClaimMore) {
  {
    Terminal t(sdktest::firmware("Ver 6.00 Jan 01 2006"));
    EXPECT_EQ(VX_ReadRTLog(t.handle), -100);
    EXPECT_EQ(t.sim.count(CMD_RTLOG_RRQ), 0u);
  }
  Terminal t({}, vxsim::makeTerminal({.seed = 9, .users = 5, .realTime = 40}));
  ASSERT_EQ(VX_ReadRTLog(t.handle), 1);  // fills the reply area with real records
  // One 18-byte record sent, 1020 bytes claimed: the rest of the area reads as
  // zeros, never as the earlier read's records, and the cut-off end is not handed out.
  Bytes reply(4 + 18, 0);
  wire::writeU32(reply.data(), 1020);
  reply[4] = 42;
  t.sim.setReply(CMD_RTLOG_RRQ, {CMD_ACK_OK, 0, reply}, vxsim::kOnce);
  ASSERT_EQ(VX_ReadRTLog(t.handle), 1);
  int number = 0, records = 0;
  unsigned char raw[36];
  ASSERT_EQ(VX_GetRTLog(t.handle, &number, raw), 1);
  EXPECT_EQ(number, 42);
  while (VX_GetRTLog(t.handle, &number, raw) == 1) {
    ++records;
    EXPECT_EQ(number, 0);
  }
  EXPECT_EQ(records, 1020 / 18 - 1);
  t.sim.setReply(CMD_RTLOG_RRQ, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_ReadRTLog(t.handle), -2);
}

// ---- Raw table, clearing --------------------------------------------------------------

TEST(RawTable, ReadsTheKindNamedByTheFirstByte) {
  const vxsim::TerminalData data = vxsim::makeTerminal({.seed = 2, .users = 5});
  Terminal t({}, data);
  std::vector<unsigned char> buffer(4096, 0);
  buffer[0] = 5;
  ASSERT_EQ(VX_ReadData(t.handle, buffer.data(), static_cast<int>(buffer.size())), 1);
  EXPECT_EQ(wire::readU16(buffer.data() + 28), 2) << "the users, without a byte count";
  buffer[0] = 9;
  EXPECT_EQ(VX_ReadData(t.handle, buffer.data(), static_cast<int>(buffer.size())), -2);
  EXPECT_EQ(VX_ReadData(t.handle, nullptr, 10), -1);
}

TEST(Clearing, TheDeviceForgetsAndTheConnectionDropsItsDownloads) {
  const vxsim::TerminalData data =
      vxsim::makeTerminal({.seed = 2, .users = 5, .attendance = 10, .operations = 10, .fingersPerUser = 1});
  Terminal t({}, data);
  EXPECT_EQ(VX_ClearLogData(t.handle), 1);
  EXPECT_TRUE(t.sim.terminal().attendance.empty());
  EXPECT_EQ(VX_ReadLog(t.handle, 1), 0);
  EXPECT_EQ(VX_ClearOpLogData(t.handle), 1);
  EXPECT_TRUE(t.sim.terminal().operations.empty());

  struct Case {
    int kind, result;
  } kinds[] = {{0, 4}, {6, 4}, {256, 4}, {-1, 4}};
  for (const auto& k : kinds) {
    EXPECT_EQ(VX_ClearDataEx(t.handle, k.kind), k.result) << k.kind;
    EXPECT_EQ(VX_ClearDataEx(nullptr, k.kind), k.result) << "before the handle is looked at";
  }
  EXPECT_EQ(t.sim.count(CMD_CLEAR_DATA), 0u);

  ASSERT_EQ(VX_ReadUserInfo(t.handle), 1);
  ASSERT_EQ(VX_ReadTempData(t.handle), 1);
  const std::int32_t capacity = t.conn().bulkCapacity;
  EXPECT_EQ(VX_ClearDataEx(t.handle, 257), 1) << "only the low byte counts: kind 1";
  const auto request = t.sim.waitFor(CMD_CLEAR_DATA, 100);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->data, Bytes{1});
  EXPECT_FALSE(t.conn().bulkBuffer.allocated());
  EXPECT_EQ(t.conn().bulkCapacity, capacity);
  EXPECT_EQ(t.conn().templateView.length, 0);
  EXPECT_EQ(t.conn().userView.length, 0);
  EXPECT_EQ(t.sim.terminal().users.size(), 5u);

  EXPECT_EQ(VX_ClearDataEx(t.handle, 5), 1);
  EXPECT_TRUE(t.sim.terminal().users.empty());
  EXPECT_TRUE(t.sim.terminal().templates.empty()) << "templates go with their users";

  t.sim.setTerminal(data);
  t.sim.setReply(CMD_CLEAR_DATA, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  ASSERT_EQ(VX_ReadLog(t.handle, 1), 1);
  EXPECT_EQ(VX_ClearData(t.handle), -2);
  EXPECT_GT(t.conn().attLogView.length, 0) << "a refused clear keeps the downloads";
  EXPECT_EQ(VX_ClearData(t.handle), 1);
  EXPECT_EQ(t.sim.terminal(), vxsim::TerminalData{});
  EXPECT_FALSE(t.conn().bulkBuffer.allocated());
  EXPECT_EQ(VX_ReadLog(t.handle, 1), 0) << "the next download allocates again and finds nothing";
  EXPECT_TRUE(t.conn().bulkBuffer.allocated());

  EXPECT_EQ(VX_RefreshData(t.handle), 1);
  t.sim.setReply(CMD_REFRESH_DATA, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_RefreshData(t.handle), -2);
}

TEST(LogCalls, NullHandleIsRefused) {
  int i = 0;
  unsigned char b[40] = {};
  char s[40] = {};
  const int results[] = {
      VX_ReadLog(nullptr, 1),
      VX_ReadLogExt(nullptr, 1, 1),
      VX_ReadOpLog(nullptr, 1),
      VX_GetLog(nullptr, &i, b, b, &i, &i, &i, &i, &i, &i),
      VX_GetExtLog(nullptr, &i, b, b, &i, &i, &i, &i, &i, &i, &i, &i),
      VX_SSR_GetLog(nullptr, s, b, b, &i, &i, &i, &i, &i, &i, &i),
      VX_GetOpLog(nullptr, &i, &i, nullptr, &i, &i, &i, &i, &i, &i),
      VX_ReadRTLog(nullptr),
      VX_GetRTLog(nullptr, &i, b),
      VX_ReadData(nullptr, b, 40),
      VX_ClearLogData(nullptr),
      VX_ClearOpLogData(nullptr),
      VX_ClearData(nullptr),
      VX_ClearDataEx(nullptr, 1),
      VX_RefreshData(nullptr),
  };
  for (int r : results) EXPECT_EQ(r, -1);
}
}  // namespace
