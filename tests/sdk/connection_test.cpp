// Opening and probing a connection, the version thresholds, closing, and the
// first commands.
#include <cstring>
#include <string>

#include "sdk_fixture.h"

namespace {
using sdktest::connect;
using sdktest::SdkTest;

TEST(VersionText, IsRewrittenSoThatByteOrderIsVersionAndDateOrder) {
  struct Case {
    const char* device;
    const char* normalised;
  } cases[] = {
      {"Ver 6.18 Aug 07 2007", "Ver 6.18 20070807"},
      {"Ver 6.18 Sep 01 2007", "Ver 6.18 20070901"},
      {"Ver 6.60 Dec 31 2010", "Ver 6.60 20101231"},
      {"Ver 6.60 Xyz 28 2010", "Ver 6.60 20101328"},  // an unknown month is 13
      {"Ver 6.60 Jan  5 2011", "Ver 6.60 201101 5"},  // a day with a leading space keeps it
      {"Ver 5.04", "Ver 5.04"},                       // a short text keeps what it shows
      {"", ""},
  };
  for (const auto& c : cases) {
    char v[52] = {};
    std::strncpy(v, c.device, 51);
    vxsdk::normaliseVersion(v);
    EXPECT_STREQ(v, c.normalised) << c.device;
  }
}

struct ProbeCase {
  const char* firmware;
  bool tft;
  int newRtLogFormat;
  std::size_t eventRegistrations;
};

class Probe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probe, SetsTheFlagsFromVersionAndPlatform) {
  vxsim::Personality p;
  p.firmwareVersion = GetParam().firmware;
  p.tft = GetParam().tft;
  vxsim::Simulator sim(p);
  void* h = connect(sim);
  ASSERT_NE(h, nullptr);
  auto& c = *vxsdk::fromHandle(h);
  EXPECT_EQ(c.newRtLogFormat, GetParam().newRtLogFormat);
  EXPECT_EQ(c.tftPlatform, GetParam().tft ? 1 : 0);
  EXPECT_EQ(c.tftMachine, c.tftPlatform);
  EXPECT_EQ(sim.count(CMD_EVENT), GetParam().eventRegistrations);
  if (GetParam().eventRegistrations) {
    auto reg = sim.waitFor(CMD_EVENT, 100);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->data, (vxsim::Bytes{0xFF, 0x7F, 0, 0}));
  }
  EXPECT_EQ(c.shortTimeout, 8000);
  EXPECT_EQ(c.longTimeout, 12000);
  EXPECT_EQ(c.blockSize, 16384);
  EXPECT_EQ(VX_LastError(), 0);
  EXPECT_EQ(VX_Close(h), 1);
}

INSTANTIATE_TEST_SUITE_P(Firmware, Probe,
                         ::testing::Values(ProbeCase{"Ver 6.18 Aug 07 2007", false, 0, 0},
                                           ProbeCase{"Ver 6.18 Sep 01 2007", false, 1, 0},
                                           ProbeCase{"Ver 6.18 Sep 01 2007", true, 0, 0},
                                           ProbeCase{"Ver 6.00 Jan 01 2006", false, 0, 1},
                                           ProbeCase{"Ver 6.01 Jan 01 2006", false, 0, 0}));

TEST(Probe, OsOptionNeedsAUsableValue) {
  struct Case {
    const char* value;  // nullptr: the device refuses the option
    int flag;
  } cases[] = {{"1", 1}, {"NONE", 0}, {"", 0}, {nullptr, 0}};
  for (const auto& k : cases) {
    vxsim::Simulator sim;
    if (k.value) {
      sim.setOption("~OS", k.value);
    } else {
      // ~OS is the first option asked; five refusals make it absent.
      sim.setReply(CMD_OPTIONS_RRQ, {CMD_ACK_ERROR, 0, {}}, 5);
    }
    void* h = connect(sim);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(vxsdk::fromHandle(h)->hasOsOption, k.flag) << (k.value ? k.value : "(refused)");
    VX_Close(h);
  }
}

TEST(Probe, ExtendFormatIsTheDecimalOptionValue) {
  vxsim::Simulator sim;
  sim.setOption("~ExtendFmt", "1");
  void* h = connect(sim);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(vxsdk::fromHandle(h)->extendFormat, 1);
  VX_Close(h);
}

TEST(Opening, FailedVersionReadClosesTheEngine) {
  vxsim::Simulator sim;
  sim.setReply(CMD_VERSION_RRQ, {CMD_ACK_ERROR, 0, {}}, vxsim::kAlways);
  EXPECT_EQ(connect(sim), nullptr);
  EXPECT_TRUE(sim.waitFor(CMD_EXIT, 2000)) << "the device is told goodbye";
}

TEST(Opening, WrongCommKeyGivesNullAndTheEngineReason) {
  vxsim::Personality p;
  p.commKey = 4711;
  vxsim::Simulator sim(p);
  EXPECT_EQ(connect(sim, 1234), nullptr);
  EXPECT_EQ(VX_LastError(), -6);
  void* h = connect(sim, 4711);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VX_LastError(), 0);
  // A later failure elsewhere does not change the last opening error.
  EXPECT_EQ(VX_RegEvent(nullptr, 1), -1);
  EXPECT_EQ(VX_LastError(), 0);
  VX_Close(h);
}

TEST(Opening, SerialWithoutBaudRateOpensNothing) {
  vxsim::Simulator sim;
  void* ok = connect(sim);  // last error 0
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(VX_Connect_COM(1, 1, 0, nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(VX_LastError(), 0) << "no transport was loaded";
  // No serial transport is installed: the opening fails cleanly.
  EXPECT_EQ(VX_Connect_COM(1, 1, 115200, nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(VX_Connect_COM(1, 1, 9600, nullptr, 0, 0, "0123456789"), nullptr);
  VX_Close(ok);
}

TEST(NullHandles, AreRefused) {
  char text[64];
  EXPECT_EQ(VX_Close(nullptr), -1);
  EXPECT_EQ(VX_RegEvent(nullptr, 1), -1);
  EXPECT_EQ(VX_GetFirmwareVersion(nullptr, text), -1);
  EXPECT_EQ(VX_EnableDevice(nullptr), -1);
  EXPECT_EQ(VX_DisableDevice(nullptr, 0), -1);
  EXPECT_EQ(VX_Connect_NET(nullptr, 4370, nullptr, 0, 0), nullptr);
}

TEST(SdkVersion, NeedsNoConnection) {
  char text[16];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(VX_GetSDKVersion(text), 1);
  EXPECT_STREQ(text, "6.0.1.16");
}

TEST_F(SdkTest, CommandsReportSuccessOnlyForAckOk) {
  char version[50];
  EXPECT_EQ(VX_GetFirmwareVersion(handle, version), 1);
  EXPECT_STREQ(version, sim.personality().firmwareVersion.c_str());
  EXPECT_STREQ(conn().firmwareVersion, "Ver 6.60 20100428") << "the probe's copy is normalised, the caller's is not";
  EXPECT_EQ(VX_EnableDevice(handle), 1);
  EXPECT_EQ(VX_DisableDevice(handle, 30), 1);
  auto disable = sim.waitFor(CMD_DISABLEDEVICE, 100);
  ASSERT_TRUE(disable);
  EXPECT_EQ(disable->data, (vxsim::Bytes{30, 0, 0, 0}));
  EXPECT_EQ(VX_RegEvent(handle, 0xFFFF), 1);
  sim.setReply(CMD_ENABLEDEVICE, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_EnableDevice(handle), -2);
}

TEST_F(SdkTest, CloseSaysGoodbye) {
  EXPECT_EQ(VX_Close(handle), 1);
  handle = nullptr;
  EXPECT_TRUE(sim.waitFor(CMD_EXIT, 1000));
}
}  // namespace
