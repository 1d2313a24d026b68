// Options: conversions of the numbered table, the scrambled form of factory
// values, texts too long to send, the special indexes, the PIN width and the
// single-purpose getters and setters.
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "sdk_fixture.h"
#include "vxsdk/api/options.h"

namespace {
using sdktest::connect;
using sdktest::SdkTest;

// The text of the last option write the terminal received.
std::string lastWrite(const vxsim::Simulator& sim) {
  std::string text;
  for (const auto& p : sim.received()) {
    if (p.checksumOk && p.code == CMD_OPTIONS_WRQ) text.assign(p.data.begin(), p.data.end());
  }
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::unique_ptr<vxsdk::Connection> withVersion(const char* version) {
  auto c = std::make_unique<vxsdk::Connection>();
  std::strncpy(c->firmwareVersion, version, sizeof c->firmwareVersion - 1);
  return c;
}

TEST(OptionConversions, LanguageAndBaudRateBothWays) {
  struct Case {
    std::int32_t (*convert)(std::int32_t);
    std::int32_t in, out;
  } cases[] = {
      {vxsdk::languageToDevice, 0, 69},        {vxsdk::languageToDevice, 1, 83},
      {vxsdk::languageToDevice, 2, 84},        {vxsdk::languageToDevice, 3, 76},
      {vxsdk::languageToDevice, 4, 83},        {vxsdk::languageToDevice, -1, 83},
      {vxsdk::languageFromDevice, 69, 0},      {vxsdk::languageFromDevice, 83, 1},
      {vxsdk::languageFromDevice, 84, 2},      {vxsdk::languageFromDevice, 76, 3},
      {vxsdk::languageFromDevice, 0, 1},       {vxsdk::languageFromDevice, 70, 1},
      {vxsdk::baudRateToDevice, 0, 1200},      {vxsdk::baudRateToDevice, 3, 9600},
      {vxsdk::baudRateToDevice, 6, 57600},     {vxsdk::baudRateToDevice, 7, 115200},
      {vxsdk::baudRateToDevice, 8, 115200},    {vxsdk::baudRateToDevice, -1, 115200},
      {vxsdk::baudRateFromDevice, 1200, 0},    {vxsdk::baudRateFromDevice, 38400, 5},
      {vxsdk::baudRateFromDevice, 115200, 7},  {vxsdk::baudRateFromDevice, 14400, 7},
      {vxsdk::baudRateFromDevice, 0, 7},
  };
  for (const auto& k : cases) EXPECT_EQ(k.convert(k.in), k.out) << "input " << k.in;
}

TEST(OptionConversions, ThresholdsOnBothSidesOfVer504) {
  const auto newerConnection = withVersion("Ver 5.04");
  const auto olderConnection = withVersion("Ver 5.03 20050101");
  const vxsdk::Connection& newer = *newerConnection;
  const vxsdk::Connection& older = *olderConnection;
  struct Case {
    const vxsdk::Connection* c;
    bool toDevice;
    std::int32_t in, out;
  } cases[] = {
      // Writing from "Ver 5.04" on: 0..9 spread by 3, 10..50 shifted by 20, clamped.
      {&newer, true, -1, 0},  {&newer, true, 0, 0},   {&newer, true, 5, 15},  {&newer, true, 9, 27},
      {&newer, true, 10, 30}, {&newer, true, 50, 70}, {&newer, true, 51, 70}, {&newer, true, 60, 70},
      // Reading from "Ver 5.04" on.
      {&newer, false, -5, 0}, {&newer, false, 12, 4}, {&newer, false, 29, 9}, {&newer, false, 30, 10},
      {&newer, false, 55, 35}, {&newer, false, 70, 50}, {&newer, false, 71, 50},
      // Older firmware: a plain shift by 20 both ways.
      {&older, true, 5, 25},  {&older, true, 60, 80}, {&older, false, 55, 35}, {&older, false, 12, -8},
  };
  for (const auto& k : cases) {
    const auto got = k.toDevice ? vxsdk::thresholdToDevice(*k.c, k.in) : vxsdk::thresholdFromDevice(*k.c, k.in);
    EXPECT_EQ(got, k.out) << k.c->firmwareVersion << (k.toDevice ? " write " : " read ") << k.in;
  }
}

TEST(OptionConversions, DecimalTextLikeTheDeviceWritesIt) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {{"42", 42}, {" -7", -7}, {"+3x", 3}, {"", 0}, {"abc", 0}, {"99999999999", 2147483647},
               {"-99999999999", -2147483647 - 1}};
  for (const auto& k : cases) EXPECT_EQ(vxsdk::parseDecimal(k.text), k.value) << k.text;
}

TEST(ScrambledValue, KeyByteThenTheXorChainAsUpperCaseHex) {
  EXPECT_EQ(vxsdk::scrambleValue("7", 0x28), "281F");  // 0x28 ^ '7' = 0x1F
  EXPECT_EQ(vxsdk::scrambleValue("7", 0xA8), "A89F");  // a key with a letter keeps two digits
  EXPECT_EQ(vxsdk::scrambleValue("", 0x08), "08");
  EXPECT_EQ(vxsdk::scrambleValue("77", 0x00), "003700");
  for (int i = 0; i < 200; ++i) EXPECT_EQ(vxsdk::drawScrambleKey() % 8, 0);
}

// Numbered writes: the text that reaches the terminal.
TEST_F(SdkTest, NumberedWritesSendTheConvertedValue) {
  struct Case {
    int index;
    std::intptr_t value;
    const char* option;
    const char* stored;
  } cases[] = {
      {9, 3, "RS232BaudRate", "9600"}, {9, -1, "RS232BaudRate", "115200"}, {3, 2, "NewLng", "84"},
      {10003, 0, "NewLng", "69"},  // the index counts modulo 10000
      {23, 60, "MThreshold", "70"},    {24, 5, "EThreshold", "15"},         {2, 7, "DeviceID", "7"},
      {56, 1, "AS16", "1"},            {65, 1234, "CardKey", "1234"},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(VX_SetDeviceInfo(handle, k.index, k.value), 1) << k.index;
    EXPECT_EQ(lastWrite(sim), std::string(k.option) + "=" + k.stored);
    EXPECT_EQ(sim.option(k.option), k.stored);
  }
}

TEST_F(SdkTest, NumberedReadsConvertTheDeviceValue) {
  struct Case {
    int index;
    const char* option;
    const char* deviceValue;
    int value;
  } cases[] = {
      {9, "RS232BaudRate", "9600", 3}, {9, "RS232BaudRate", "14400", 7}, {3, "NewLng", "76", 3},
      {23, "MThreshold", "55", 35},    {25, "VThreshold", "12", 4},      {4, "IdleMinute", "-3", -3},
      {70, "~ProductTime", "2010", 2010},
  };
  for (const auto& k : cases) {
    sim.setOption(k.option, k.deviceValue);
    int value = 0;
    EXPECT_EQ(VX_GetDeviceInfo(handle, k.index, &value), 1) << k.index;
    EXPECT_EQ(value, k.value) << k.index << " " << k.deviceValue;
  }
  int value = 0;
  EXPECT_EQ(VX_GetDeviceInfo(handle, 13, &value), -2);  // the terminal has no "NetworkOn"
}

TEST(NumberedOptions, ThresholdsBelowVer504AreShiftedBy20) {
  vxsim::Personality p;
  p.firmwareVersion = "Ver 5.03 Mar 01 2005";
  vxsim::Simulator sim(p);
  void* h = connect(sim);
  ASSERT_NE(h, nullptr);
  int value = 0;
  sim.setOption("MThreshold", "12");
  EXPECT_EQ(VX_GetDeviceInfo(h, 23, &value), 1);
  EXPECT_EQ(value, -8);
  EXPECT_EQ(VX_SetDeviceInfo(h, 23, 60), 1);
  EXPECT_EQ(sim.option("MThreshold"), "80");
  VX_Close(h);
}

TEST_F(SdkTest, IndexesAnsweredWithoutTheDevice) {
  struct Read {
    int index, result, value;
  } reads[] = {{1, 1, 500}, {10, 1, 0}, {11, 1, 0}, {12, 1, 1}, {65, 4, -99}, {0, 4, -99}, {71, 4, -99},
               {-7, 4, -99}};
  for (const auto& k : reads) {
    int value = -99;
    EXPECT_EQ(VX_GetDeviceInfo(handle, k.index, &value), k.result) << k.index;
    EXPECT_EQ(value, k.value) << k.index;
  }
  struct Write {
    int index;
    std::intptr_t value;
    int result;
  } writes[] = {{1, 9, 1}, {10, 0, 1}, {11, 1, -100}, {12, 1, 1}, {12, 0, -100}, {0, 1, 4}, {71, 1, 4},
                {-3, 1, 4}, {-10003, 1, 4}, {10012, 1, 1}};
  for (const auto& k : writes) EXPECT_EQ(VX_SetDeviceInfo(handle, k.index, k.value), k.result) << k.index;
  EXPECT_EQ(sim.count(CMD_OPTIONS_RRQ) + sim.count(CMD_OPTIONS_WRQ), 0u);
  char text[100] = {};
  EXPECT_EQ(VX_GetDeviceStrInfo(handle, 2, text), 4);
}

TEST_F(SdkTest, Index8999ReadsAndWritesWholeOptionTexts) {
  // Sent as it stands, even with a factory name on a device without "~OS":
  // here the caller scrambled the value itself.
  const char* text = "~RFSStart=281F";
  EXPECT_EQ(VX_SetDeviceInfo(handle, 8999, reinterpret_cast<std::intptr_t>(text)), 1);
  EXPECT_EQ(lastWrite(sim), text);
  EXPECT_EQ(sim.option("~RFSStart"), "7");

  sim.setOption("WorkCode", "1");
  char area[100] = "WorkCode";
  EXPECT_EQ(VX_GetDeviceInfo(handle, 8999, reinterpret_cast<int*>(area)), 1);
  EXPECT_STREQ(area, "WorkCode=1");
  std::strcpy(area, "Missing");
  EXPECT_EQ(VX_GetDeviceInfo(handle, 8999, reinterpret_cast<int*>(area)), -2);
  EXPECT_STREQ(area, "Missing");
}

TEST_F(SdkTest, NegativeIndexes) {
  // -6 empties the data set the area's first byte names.
  std::optional<vxsim::Bytes> cleared;
  sim.setHandler(CMD_CLEAR_DATA, [&](const vxsim::Request& r) -> std::optional<std::vector<vxsim::Packet>> {
    cleared = r.data;
    return std::vector<vxsim::Packet>{r.reply(CMD_ACK_OK)};
  });
  int kind = 4;
  EXPECT_EQ(VX_GetDeviceInfo(handle, -6, &kind), 1);
  EXPECT_EQ(cleared, vxsim::Bytes{4});

  // -5 reads a raw table into the area: first byte the kind, second word its size.
  vxsim::Bytes table(3000);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 7);
  sim.setDataSet(CMD_DB_RRQ, vxsim::Bytes{5}, table);
  std::vector<std::uint8_t> area(4096);
  area[0] = 5;
  const std::uint32_t size = static_cast<std::uint32_t>(area.size());
  std::memcpy(area.data() + 4, &size, 4);
  EXPECT_EQ(VX_GetDeviceInfo(handle, -5, reinterpret_cast<int*>(area.data())), 1);
  EXPECT_TRUE(std::equal(table.begin(), table.end(), area.begin()));

  // -1 to -4 hand out internal handles but return 4.
  for (int index : {-1, -2, -3, -4}) {
    int value = 0;
    EXPECT_EQ(VX_GetDeviceInfo(handle, index, &value), 4) << index;
    EXPECT_NE(value, 0) << index;
  }
  int value = 0;
  VX_GetDeviceInfo(handle, -3, &value);
  EXPECT_EQ(value, static_cast<int>(reinterpret_cast<std::uintptr_t>(handle)));
}

// Factory values go scrambled to a device without "~OS" and the terminal
// decodes them; other options, and every option on a device with "~OS", go plain.
TEST(ScrambledOptions, TheTerminalUnderstandsTheValueSent) {
  vxsim::Simulator sim;
  void* h = connect(sim);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VX_SetDeviceInfo(h, 62, 7), 1);
  const std::string text = lastWrite(sim);
  ASSERT_EQ(text.size(), std::string("~RFSStart=").size() + 4) << text;
  EXPECT_EQ(text.rfind("~RFSStart=", 0), 0u);
  const std::string hex = text.substr(10);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
  const int key = std::stoi(hex.substr(0, 2), nullptr, 16);
  EXPECT_EQ(key % 8, 0);
  EXPECT_EQ(std::stoi(hex.substr(2), nullptr, 16), key ^ '7');
  EXPECT_EQ(sim.option("~RFSStart"), "7");

  EXPECT_EQ(VX_SetSysOption(h, "~SerialNumber", "VX-0042"), 1);
  EXPECT_EQ(sim.option("~SerialNumber"), "VX-0042");
  EXPECT_NE(lastWrite(sim), "~SerialNumber=VX-0042");
  EXPECT_EQ(VX_WriteCustData(h, "plain"), 1);  // customer data is never scrambled
  EXPECT_EQ(lastWrite(sim), "~CustData=plain");
  EXPECT_EQ(VX_SetSysOption(h, "Volume", "9"), 1);
  EXPECT_EQ(lastWrite(sim), "Volume=9");
  VX_Close(h);

  sim.setOption("~OS", "Linux");
  h = connect(sim);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(VX_SetDeviceInfo(h, 62, 8), 1);
  EXPECT_EQ(lastWrite(sim), "~RFSStart=8");
  EXPECT_EQ(sim.option("~RFSStart"), "8");
  VX_Close(h);
}

// A text that cannot be sent whole is refused with 4 before anything is sent.
TEST_F(SdkTest, OverLongTextsAreRefusedUnsent) {
  const std::string longest(1023 - std::string("Note=").size(), 'n');  // with its zero, 1024 bytes
  struct Case {
    std::string name, value;
    int result;
  } cases[] = {
      {"Note", longest, 1},
      {"Note", longest + "n", 4},
      {"~Text", std::string(51, 's'), 1},  // scrambled: 104 hex digits
      {"~Text", std::string(52, 's'), 4},  // more than the device decodes
      {"", "1", 4},
  };
  for (const auto& k : cases) {
    sim.clearRecords();
    EXPECT_EQ(VX_SetSysOption(handle, k.name.c_str(), k.value.c_str()), k.result) << k.name << " " << k.value.size();
    EXPECT_EQ(sim.count(CMD_OPTIONS_WRQ), k.result == 1 ? 1u : 0u);
    if (k.result == 1) {
      EXPECT_EQ(sim.option(k.name), k.value);
    }
  }
  char value[100];
  EXPECT_EQ(VX_GetSysOption(handle, std::string(99, 'x').c_str(), value), 4);
  EXPECT_EQ(VX_SetIPAddress(handle, std::string(1100, '1').c_str()), 4);
  const std::string whole = "Note=" + longest + "n";
  EXPECT_EQ(VX_SetDeviceInfo(handle, 8999, reinterpret_cast<std::intptr_t>(whole.c_str())), 4);
}

TEST_F(SdkTest, PinWidthWhenTheDeviceAnswersOrNot) {
  sim.setPinWidth(9);
  int width = 0;
  EXPECT_EQ(VX_GetPINWidth(handle, &width), 1);
  EXPECT_EQ(width, 9);
  EXPECT_EQ(conn().pinWidth, 9);

  struct Case {
    std::uint16_t reply;
    int result;
  } cases[] = {{CMD_ACK_ERROR, 1}, {CMD_ACK_UNKNOWN, 1}, {CMD_ACK_DATA, -2}};
  for (const auto& k : cases) {
    sim.clearScripts();
    sim.clearRecords();
    sim.setReply(CMD_PINWIDTH_RRQ, {k.reply, 0, {}}, vxsim::kAlways);
    width = 0;
    EXPECT_EQ(VX_GetPINWidth(handle, &width), k.result) << k.reply;
    EXPECT_EQ(width, 5);
    EXPECT_EQ(conn().pinWidth, 9);  // keeps the width last obtained
    EXPECT_EQ(sim.count(CMD_PINWIDTH_RRQ), 10u);
  }
}

// The factory texts stand for themselves when the device does not know them.
TEST_F(SdkTest, FactoryTextsAndTheirDefaults) {
  struct Case {
    int (*get)(void*, char*);
    const char* option;
    const char* fallback;
  } cases[] = {
      {VX_GetSerialNumber, "~SerialNumber", "0"}, {VX_GetProductName, "~DeviceName", "Tavix I"},
      {VX_GetVendor, "~OEMVendor", "Vextra Inc."}, {VX_GetSensorSN, "GUID", ""},
      {VX_ReadCustData, "~CustData", ""},
  };
  for (const auto& k : cases) {
    char text[100] = "junk";
    EXPECT_EQ(k.get(handle, text), 1) << k.option;
    EXPECT_STREQ(text, k.fallback);
    sim.setOption(k.option, "set-value");
    EXPECT_EQ(k.get(handle, text), 1) << k.option;
    EXPECT_STREQ(text, "set-value");
    sim.setReply(CMD_OPTIONS_RRQ, {CMD_ACK_DATA, 0, {}}, vxsim::kOnce);
    EXPECT_EQ(k.get(handle, text), -2) << k.option;
  }
  char text[100] = {};
  EXPECT_EQ(VX_GetIPAddress(handle, text), -2);  // no default for the other texts
  EXPECT_EQ(VX_GetDeviceStrInfo(handle, 1, text), -2);
}

TEST_F(SdkTest, SinglePurposeSettersAndGetters) {
  EXPECT_EQ(VX_SetIPAddress(handle, "192.0.2.7"), 1);
  EXPECT_EQ(VX_SetDevicePort(handle, 70000), 1);  // low 16 bits: 4464
  EXPECT_EQ(VX_SetDeviceNumber(handle, -1), 1);   // 65535
  EXPECT_EQ(VX_SetLanguage(handle, 84), 1);
  EXPECT_EQ(VX_SetDeviceCommPwd(handle, 123456), 1);
  EXPECT_EQ(sim.option("IPAddress"), "192.0.2.7");
  EXPECT_EQ(sim.option("UDPPort"), "4464");
  EXPECT_EQ(sim.option("DeviceID"), "65535");
  EXPECT_EQ(sim.option("Language"), "84");
  EXPECT_EQ(sim.option("COMKey"), "123456");

  char ip[100] = {};
  unsigned short port = 0, number = 0;
  int language = 0;
  EXPECT_EQ(VX_GetIPAddress(handle, ip), 1);
  EXPECT_EQ(VX_GetDevicePort(handle, &port), 1);
  EXPECT_EQ(VX_GetDeviceNumber(handle, &number), 1);
  EXPECT_EQ(VX_GetLanguage(handle, &language), 1);
  EXPECT_STREQ(ip, "192.0.2.7");
  EXPECT_EQ(port, 4464);
  EXPECT_EQ(number, 65535);
  EXPECT_EQ(language, 84);

  char product[100] = {};
  sim.setOption("~ProductTime", "2010-04-28 12:00:00");
  EXPECT_EQ(VX_GetDeviceStrInfo(handle, 1, product), 1);
  EXPECT_STREQ(product, "2010-04-28 12:00:00");
  EXPECT_EQ(VX_RefreshOptions(handle), 1);
  EXPECT_EQ(sim.count(CMD_REFRESH_OPTIONS), 1u);

  int acFun = 0;
  EXPECT_EQ(VX_GetACFun(handle, &acFun), -2);
  sim.setOption("~LockFunOn", "3");
  EXPECT_EQ(VX_GetACFun(handle, &acFun), 1);
  EXPECT_EQ(acFun, 3);
}

TEST(CardFunction, CardOnlyThenReaderSwitchedOn) {
  struct Case {
    const char* onlyCard;  // nullptr: the device does not have the option
    const char* readerOn;
    int result, value;
  } cases[] = {{"1", nullptr, 1, 1}, {"0", "1", 1, 2}, {nullptr, "1", 1, 2}, {nullptr, "0", 1, 0},
               {nullptr, nullptr, -2, -9}};
  for (const auto& k : cases) {
    vxsim::Simulator sim;
    if (k.onlyCard) sim.setOption("~IsOnlyRFMachine", k.onlyCard);
    if (k.readerOn) sim.setOption("~RFCardOn", k.readerOn);
    void* h = connect(sim);
    ASSERT_NE(h, nullptr);
    int value = -9;
    EXPECT_EQ(VX_GetCardFun(h, &value), k.result);
    EXPECT_EQ(value, k.value);
    VX_Close(h);
  }
}

TEST(OptionCalls, NullHandleOrArgument) {
  char text[100];
  int value = 7;
  unsigned short word = 0;
  const std::function<int()> calls[] = {
      [&] { return VX_GetSysOption(nullptr, "A", text); },   [&] { return VX_SetSysOption(nullptr, "A", "1"); },
      [&] { return VX_GetDeviceInfo(nullptr, 1, &value); },  [&] { return VX_SetDeviceInfo(nullptr, 1, 1); },
      [&] { return VX_GetDeviceStrInfo(nullptr, 1, text); }, [&] { return VX_RefreshOptions(nullptr); },
      [&] { return VX_GetSerialNumber(nullptr, text); },     [&] { return VX_GetLanguage(nullptr, &value); },
      [&] { return VX_SetLanguage(nullptr, 1); },            [&] { return VX_GetDevicePort(nullptr, &word); },
      [&] { return VX_SetDevicePort(nullptr, 1); },          [&] { return VX_GetCardFun(nullptr, &value); },
      [&] { return VX_GetPINWidth(nullptr, &value); },       [&] { return VX_WriteCustData(nullptr, "x"); },
      [&] { return VX_SetDeviceCommPwd(nullptr, 1); },       [&] { return VX_IsTFTMachine(nullptr, &value); },
  };
  for (const auto& call : calls) EXPECT_EQ(call(), -1);
  EXPECT_EQ(value, 0);  // VX_IsTFTMachine clears its output first
}

TEST(OptionCalls, TftFlagNeedsNoExchange) {
  vxsim::Personality p;
  p.tft = true;
  vxsim::Simulator sim(p);
  void* h = connect(sim);
  ASSERT_NE(h, nullptr);
  sim.clearRecords();
  int tft = 0;
  EXPECT_EQ(VX_IsTFTMachine(h, &tft), 1);
  EXPECT_EQ(tft, 1);
  EXPECT_TRUE(sim.received().empty());
  VX_Close(h);
}
}  // namespace
