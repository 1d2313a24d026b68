// Device control: status counters, power commands that end the connection,
// clock, display, sounds, on-device operations and state, fingerprint capture
// and its bitmap file, Mifare cards and raw tables saved to files.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "sdk_fixture.h"
#include "vxsdk/api/devicetime.h"

namespace {
using sdktest::connect;
using sdktest::SdkTest;
using vxsim::Bytes;

// The data of the first request with this code the terminal received.
Bytes requestData(const vxsim::Simulator& sim, std::uint16_t code) {
  const auto p = sim.waitFor(code, 1000);
  return p ? p->data : Bytes{0xEE};
}

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "vxctl_" + std::to_string(::getpid()) + "_" + name;
}

Bytes fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(DeviceStatus, IndexOutsideOneToTwentyIsRefusedFirst) {
  int value = -9;
  EXPECT_EQ(VX_GetDeviceStatus(nullptr, 0, &value), 4);
  EXPECT_EQ(VX_GetDeviceStatus(nullptr, 21, &value), 4);
  EXPECT_EQ(VX_GetDeviceStatus(nullptr, 1, &value), -1);
  EXPECT_EQ(value, -9);
}

TEST_F(SdkTest, StatusIndexesSelectTheirCounters) {
  std::vector<std::uint32_t> table(50);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = 1000 + static_cast<std::uint32_t>(i);
  sim.setStatusTable(table);
  const int counterOf[21] = {-1, 12, 4, 6, 13, 10, 8, 14, 15, 16, 17, 18, 19, 0, 1, 2, 3, 5, 7, 9, 11};
  for (int index = 1; index <= 20; ++index) {
    int value = 0;
    EXPECT_EQ(VX_GetDeviceStatus(handle, index, &value), 1) << index;
    EXPECT_EQ(value, 1000 + counterOf[index]) << index;
  }
  EXPECT_EQ(sim.count(CMD_GET_FREE_SIZES), 20u);
  int value = 0;
  EXPECT_EQ(VX_GetDeviceStatus(handle, 0, &value), 4);
  EXPECT_EQ(sim.count(CMD_GET_FREE_SIZES), 20u);

  sim.setStatusTable({7});  // a short table: the counters it lacks read 0
  EXPECT_EQ(VX_GetDeviceStatus(handle, 13, &value), 1);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(VX_GetDeviceStatus(handle, 1, &value), 1);
  EXPECT_EQ(value, 0);
  sim.setReply(CMD_GET_FREE_SIZES, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_GetDeviceStatus(handle, 13, &value), -2);
}

TEST(PowerCommands, AcceptedOnesCloseTheConnection) {
  struct Case {
    int (*call)(void*);
    std::uint16_t command;
  } cases[] = {{VX_RebootDevice, CMD_RESTART}, {VX_PowerOffDevice, CMD_POWEROFF}, {VX_SleepDevice, CMD_SLEEP}};
  for (const auto& k : cases) {
    vxsim::Simulator sim;
    void* h = connect(sim);
    ASSERT_NE(h, nullptr);
    sim.setReply(k.command, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
    EXPECT_EQ(k.call(h), -2) << k.command;
    EXPECT_EQ(sim.count(CMD_EXIT), 0u);
    EXPECT_EQ(VX_EnableDevice(h), 1);  // a refused command leaves the connection open

    EXPECT_EQ(k.call(h), 1) << k.command;  // the handle is gone now
    EXPECT_TRUE(sim.waitFor(CMD_EXIT, 2000)) << k.command;
    EXPECT_EQ(sim.count(k.command), 2u);
  }
}

TEST_F(SdkTest, UnsupportedPowerCallsTalkToNoDevice) {
  EXPECT_EQ(VX_ResumeDevice(handle), -100);
  EXPECT_EQ(VX_AutoPowerOff(handle, 1), -100);
  EXPECT_EQ(VX_PowerOffTime(handle, 1, 2, 3, 4, 5), -100);
  EXPECT_EQ(VX_ResumeDevice(nullptr), -1);
  EXPECT_EQ(VX_AutoPowerOff(nullptr, 1), -1);
  EXPECT_EQ(VX_PowerOffTime(nullptr, 1, 2, 3, 4, 5), -1);
  EXPECT_TRUE(sim.received().empty());
}

TEST_F(SdkTest, ClockIsSetAndReadAsDeviceTime) {
  EXPECT_EQ(VX_SetTime(handle, 2007, 8, 7, 12, 30, 45), 1);
  EXPECT_EQ(sim.clock(), static_cast<std::uint32_t>(vxsdk::encodeDeviceTime(2007, 8, 7, 12, 30, 45)));
  EXPECT_EQ(VX_SetTime(handle, 2107, 8, 7, 12, 30, 45), 1);  // the year counts modulo 100
  EXPECT_EQ(sim.clock(), static_cast<std::uint32_t>(vxsdk::encodeDeviceTime(2007, 8, 7, 12, 30, 45)));

  sim.setClock(static_cast<std::uint32_t>(vxsdk::encodeDeviceTime(2011, 2, 31, 23, 59, 58)));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  EXPECT_EQ(VX_GetTime(handle, &y, &mo, &d, &h, &mi, &s), 1);
  EXPECT_EQ((std::array<int, 6>{y, mo, d, h, mi, s}), (std::array<int, 6>{2011, 2, 31, 23, 59, 58}));
  sim.setReply(CMD_TIME_RRQ, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_GetTime(handle, &y, &mo, &d, &h, &mi, &s), -2);
}

TEST_F(SdkTest, DisplayTextIsCutTo97Characters) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += static_cast<char>('A' + i % 26);
  EXPECT_EQ(VX_WriteLCD(handle, 2, 5, text.c_str()), 1);
  Bytes expected = {2, 5, 0};
  expected.insert(expected.end(), text.begin(), text.begin() + 97);
  EXPECT_EQ(requestData(sim, CMD_WRITE_LCD), expected);

  sim.clearRecords();
  EXPECT_EQ(VX_WriteLCD(handle, 1, 0, "Hi"), 1);
  EXPECT_EQ(requestData(sim, CMD_WRITE_LCD), (Bytes{1, 0, 0, 'H', 'i', 0}));
  EXPECT_EQ(sim.display(),
            (std::vector<vxsim::DisplayWrite>{{2, 5, text.substr(0, 97)}, {1, 0, "Hi"}}));
  EXPECT_EQ(VX_ClearLCD(handle), 1);
  EXPECT_TRUE(sim.display().empty());
}

TEST_F(SdkTest, BeepDurationInTwentyMillisecondSteps) {
  struct Case {
    int ms;
    std::uint8_t steps;
  } cases[] = {{10, 0}, {1000, 50}, {5119, 255}, {5120, 255}, {60000, 255}, {-40, 0}};
  for (const auto& k : cases) {
    sim.clearRecords();
    EXPECT_EQ(VX_Beep(handle, k.ms), 1) << k.ms;
    EXPECT_EQ(requestData(sim, CMD_BEEP), (Bytes{3, 1, 0, 0, k.steps})) << k.ms;
    EXPECT_EQ(sim.lastBeep(), k.steps);
  }
}

TEST_F(SdkTest, VoicePromptsAndTheClockDisplay) {
  EXPECT_EQ(VX_PlayVoice(handle, 2, 5), 1);
  EXPECT_EQ(VX_PlayVoiceByIndex(handle, 7), 1);
  EXPECT_EQ(sim.voicePrompts(), (std::vector<vxsim::VoicePrompt>{{2, 5}, {7, 7}}));
  EXPECT_EQ(VX_EnableClock(handle, 0), 1);
  EXPECT_FALSE(sim.clockShown());
  EXPECT_EQ(VX_EnableClock(handle, 1), 1);
  EXPECT_TRUE(sim.clockShown());
}

TEST_F(SdkTest, OnDeviceOperationsAndTheState) {
  using vxsim::Operation;
  using vxsim::OperationKind;
  struct Case {
    std::function<int()> start;
    Operation operation;
  } cases[] = {
      {[&] { return VX_StartEnroll(handle, 12, 3); }, {OperationKind::Enroll, 12, 3}},
      {[&] { return VX_StartVerify(handle, 40000, 1); }, {OperationKind::Verify, 40000, 1}},
      {[&] { return VX_StartIdentify(handle); }, {OperationKind::Identify, 0, 0}},
      {[&] { return VX_CancelOperation(handle); }, {OperationKind::Idle, 0, 0}},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(k.start(), 1);
    EXPECT_EQ(sim.operation(), k.operation);
    int state = -1;
    EXPECT_EQ(VX_QueryState(handle, &state), 1);
    EXPECT_EQ(state, static_cast<int>(k.operation.kind));
  }
  EXPECT_EQ(requestData(sim, CMD_START_ENROLL), (Bytes{12, 0, 3}));
  EXPECT_EQ(requestData(sim, CMD_START_VERIFY), (Bytes{0x40, 0x9C, 1}));

  // A refusal hands back the engine's value: the reply's result word.
  sim.setReply(CMD_START_ENROLL, {CMD_ACK_ERROR, 6, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_StartEnroll(handle, 12, 3), 6);
  sim.setReply(CMD_STATE_RRQ, {CMD_ACK_ERROR, 1, {}}, vxsim::kOnce);
  int state = -1;
  EXPECT_EQ(VX_QueryState(handle, &state), -2);
  EXPECT_EQ(state, -1);
}

// Above PIN width 5 the application names users by PIN2; the device is sent
// the internal number.
TEST_F(SdkTest, EnrolAndVerifyTakePin2AboveWidthFive) {
  vxsim::TerminalData t;
  vxsim::User user;
  user.number = 40;
  user.pin2 = 123456;
  user.name = "Ann";
  t.users.push_back(user);
  sim.setTerminal(t);
  sim.setPinWidth(9);
  int width = 0;
  ASSERT_EQ(VX_GetPINWidth(handle, &width), 1);
  EXPECT_EQ(VX_StartEnroll(handle, 123456, 2), 1);
  EXPECT_EQ(sim.operation(), (vxsim::Operation{vxsim::OperationKind::Enroll, 40, 2}));
  EXPECT_EQ(VX_StartVerify(handle, 123456, 5), 1);
  EXPECT_EQ(sim.operation(), (vxsim::Operation{vxsim::OperationKind::Verify, 40, 5}));
}

// A test image whose every pixel depends on its place.
Bytes pattern(std::uint32_t width, std::uint32_t height) {
  Bytes pixels(std::size_t{width} * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) pixels[y * width + x] = static_cast<std::uint8_t>(x * 7 + y * 13);
  }
  return pixels;
}

TEST_F(SdkTest, CaptureAnswersWithAndWithoutHeader) {
  struct Case {
    vxsim::CaptureImage image;
    int result, width, height;
  } cases[] = {
      {{250, 3, pattern(250, 3), true}, 1, 250, 3},
      {{640, 480, pattern(640, 480), true}, 1, 640, 480},  // 307212 bytes
      {{0, 0, pattern(640, 480), false}, 1, 640, 480},     // 307200 bytes, no header
      {{100, 100, pattern(50, 1), true}, -2, 100, 100},    // fewer pixels than the header says
      {{0, 0, pattern(8, 1), false}, -2, 0, -7},           // too short for a header
  };
  for (const auto& k : cases) {
    sim.setCaptureImage(k.image);
    int width = 0, height = -7;
    Bytes image(307208, 0xEE);
    EXPECT_EQ(VX_CaptureImage(handle, 1, &width, &height, image.data(), nullptr), k.result) << k.width;
    EXPECT_EQ(width, k.width);
    EXPECT_EQ(height, k.height);
    if (k.result == 1) {
      EXPECT_TRUE(std::equal(k.image.pixels.begin(), k.image.pixels.end(), image.begin()));
      EXPECT_EQ(image[k.image.pixels.size()], 0xEE);  // nothing beyond the image
    }
  }
  sim.setCaptureImage(std::nullopt);
  int width = 0, height = 0;
  EXPECT_EQ(VX_CaptureImage(handle, 1, &width, &height, nullptr, nullptr), -2);
}

TEST_F(SdkTest, CaptureRequestsNameTheFormAndTheWidth) {
  sim.setCaptureImage(vxsim::CaptureImage{8, 2, pattern(8, 2), true});
  struct Case {
    int full, width;
    std::uint16_t command;
    Bytes request;
  } cases[] = {{0, 0, CMD_CAPTURE_IMAGE_PARAM, {0xF4, 1, 0, 0}},
               {0, 8, CMD_CAPTURE_IMAGE_PARAM, {0xF4, 1, 0, 0, 8, 0, 0, 0}},
               {1, 0, CMD_CAPTURE_IMAGE, {}},
               {1, 300, CMD_CAPTURE_IMAGE, {0x2C, 1, 0, 0}}};
  for (const auto& k : cases) {
    sim.clearRecords();
    int width = k.width, height = 0;
    EXPECT_EQ(VX_CaptureImage(handle, k.full, &width, &height, nullptr, nullptr), 1);
    EXPECT_EQ(requestData(sim, k.command), k.request) << k.full << " " << k.width;
  }
}

// The bitmap is checked by a decoder that shares nothing with the SDK.
constexpr const char* kBmpCheck = R"(
import struct, sys
data = open(sys.argv[1], 'rb').read()
w, h = int(sys.argv[2]), int(sys.argv[3])
def fail(why): print(why); sys.exit(1)
if data[:2] != b'BM': fail('signature')
size, r1, r2, offset = struct.unpack_from('<IHHI', data, 2)
hsize, width, height, planes, bpp, comp, isize = struct.unpack_from('<IiiHHII', data, 14)
row = (w + 3) // 4 * 4
if (size, r1, r2, offset) != (len(data), 0, 0, 1078): fail('file header %r' % ((size, r1, r2, offset),))
if (hsize, width, height, planes, bpp, comp, isize) != (40, w, h, 1, 8, 0, row * h): fail('info header')
if any(struct.unpack_from('<IIII', data, 38)): fail('other fields')
for i in range(256):
    if data[54 + 4 * i: 58 + 4 * i] != bytes([i, i, i, 0]): fail('palette %d' % i)
if len(data) != 1078 + row * h: fail('length')
for y in range(h):
    r = data[1078 + y * row: 1078 + (y + 1) * row]
    if list(r[:w]) != [(x * 7 + y * 13) & 255 for x in range(w)]: fail('row %d' % y)
    if r[w:] != r[:row - w]: fail('padding of row %d' % y)
print('ok')
)";

int run(const std::string& command) { return std::system(command.c_str()); }

TEST_F(SdkTest, BitmapOfA250PixelWideImage) {
  if (run("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  constexpr std::uint32_t kWidth = 250, kHeight = 6;
  sim.setCaptureImage(vxsim::CaptureImage{kWidth, kHeight, pattern(kWidth, kHeight), true});
  const std::string bmp = tempPath("finger.bmp");
  int width = 0, height = 0;
  ASSERT_EQ(VX_CaptureImage(handle, 0, &width, &height, nullptr, bmp.c_str()), 1);
  EXPECT_EQ(fileBytes(bmp).size(), 1078u + 252u * kHeight);  // two padding bytes per row

  const std::string script = tempPath("bmpcheck.py");
  std::ofstream(script) << kBmpCheck;
  const std::string args = " " + bmp + " " + std::to_string(kWidth) + " " + std::to_string(kHeight);
  EXPECT_EQ(run("python3 " + script + args), 0);
  if (run("command -v identify >/dev/null 2>&1") == 0) {
    const std::string out = tempPath("identify.txt");
    ASSERT_EQ(run("identify -format '%w %h %z' " + bmp + " > " + out), 0);
    const Bytes said = fileBytes(out);
    EXPECT_EQ(std::string(said.begin(), said.end()), "250 6 8");
  }
  std::filesystem::remove(script);
  std::filesystem::remove(bmp);

  const std::string unwritable = tempPath("no-such-dir/finger.bmp");
  EXPECT_EQ(VX_CaptureImage(handle, 0, &width, &height, nullptr, unwritable.c_str()), -2);
}

TEST_F(SdkTest, MifareCardImageFollowsThePinWidth) {
  unsigned char header[12] = {3, 0, 1, 2, 0, 1, 0, 0, 0, 0, 0, 0};  // lengths 3, 2, 0, 0
  std::vector<unsigned char> templates(4096, 0);
  for (int i = 0; i < 5; ++i) templates[i] = static_cast<unsigned char>(0xA0 + i);

  EXPECT_EQ(VX_MFWrite(handle, 0x1234, header, templates.data()), 1);
  Bytes expected = {0x34, 0x12};
  expected.insert(expected.end(), header, header + 12);
  expected.insert(expected.end(), templates.begin(), templates.begin() + 5);
  EXPECT_EQ(sim.card(), expected);

  sim.setPinWidth(9);
  int width = 0;
  ASSERT_EQ(VX_GetPINWidth(handle, &width), 1);
  EXPECT_EQ(VX_MFWrite(handle, 0x01020304, header, templates.data()), 1);
  expected.erase(expected.begin(), expected.begin() + 2);
  expected.insert(expected.begin(), {4, 3, 2, 1});
  EXPECT_EQ(sim.card(), expected);
  EXPECT_EQ(VX_MFEmpty(handle), 1);
  EXPECT_EQ(sim.card(), std::nullopt);

  // Lengths that pass the 4096-byte template area are refused unsent.
  const unsigned char tooLong[12] = {0x00, 0x08, 0, 0x01, 0x08, 0};  // 2048 + 2049
  sim.clearRecords();
  EXPECT_EQ(VX_MFWrite(handle, 1, tooLong, templates.data()), 4);
  EXPECT_TRUE(sim.received().empty());
}

TEST_F(SdkTest, MifareRefusalsByResultWord) {
  unsigned char header[12] = {};
  std::vector<unsigned char> templates(4096, 0);
  struct Case {
    std::uint16_t word;
    int result;
  } cases[] = {{2, 0}, {1, -4}, {4, -5}, {3, -2}};
  for (const auto& k : cases) {
    sim.setReply(CMD_MF_WRITE, {CMD_ACK_ERROR, k.word, {}}, vxsim::kOnce);
    EXPECT_EQ(VX_MFWrite(handle, 1, header, templates.data()), k.result) << k.word;
    sim.setReply(CMD_MF_EMPTY, {CMD_ACK_ERROR, k.word, {}}, vxsim::kOnce);
    EXPECT_EQ(VX_MFEmpty(handle), k.result) << k.word;
  }
}

TEST_F(SdkTest, RawTableSavedWithoutItsCount) {
  Bytes table = {0, 0, 0, 0};
  for (int i = 0; i < 5000; ++i) table.push_back(static_cast<std::uint8_t>(i * 31));
  const std::uint32_t count = static_cast<std::uint32_t>(table.size() - 4);
  std::memcpy(table.data(), &count, 4);
  sim.setDataSet(CMD_DB_RRQ, Bytes{5}, table);
  const std::string path = tempPath("users.dat");
  EXPECT_EQ(VX_GetData(handle, 5, path.c_str()), 1);
  EXPECT_EQ(fileBytes(path), Bytes(table.begin() + 4, table.end()));
  std::filesystem::remove(path);

  // No data, or no such table: 0 and no file.
  sim.setDataSet(CMD_DB_RRQ, Bytes{6}, {});
  for (int kind : {6, 7}) {
    EXPECT_EQ(VX_GetData(handle, kind, path.c_str()), 0) << kind;
    EXPECT_FALSE(std::filesystem::exists(path)) << kind;
  }
  // A failed read, or an answer too short for its own count, is no empty table.
  sim.setDataSet(CMD_DB_RRQ, Bytes{8}, {1, 0});
  EXPECT_EQ(VX_GetData(handle, 8, path.c_str()), -2);
  sim.setReply(CMD_QUERY_DATA, {CMD_ACK_DATA, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(VX_GetData(handle, 5, path.c_str()), -2);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(VX_GetData(handle, 5, tempPath("no-such-dir/users.dat").c_str()), 4);
}

TEST(ControlCalls, NullHandle) {
  int a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
  unsigned char area[12] = {};
  const std::function<int()> calls[] = {
      [] { return VX_RebootDevice(nullptr); },
      [] { return VX_PowerOffDevice(nullptr); },
      [] { return VX_SleepDevice(nullptr); },
      [] { return VX_SetTime(nullptr, 2010, 1, 1, 0, 0, 0); },
      [&] { return VX_GetTime(nullptr, &a, &b, &c, &d, &e, &f); },
      [] { return VX_WriteLCD(nullptr, 0, 0, "x"); },
      [] { return VX_ClearLCD(nullptr); },
      [] { return VX_Beep(nullptr, 100); },
      [] { return VX_PlayVoice(nullptr, 1, 2); },
      [] { return VX_PlayVoiceByIndex(nullptr, 1); },
      [] { return VX_EnableClock(nullptr, 1); },
      [] { return VX_StartEnroll(nullptr, 1, 0); },
      [] { return VX_StartVerify(nullptr, 1, 0); },
      [] { return VX_StartIdentify(nullptr); },
      [] { return VX_CancelOperation(nullptr); },
      [&] { return VX_QueryState(nullptr, &a); },
      [&] { return VX_CaptureImage(nullptr, 1, &a, &b, nullptr, nullptr); },
      [&] { return VX_MFWrite(nullptr, 1, area, area); },
      [] { return VX_MFEmpty(nullptr); },
      [] { return VX_GetData(nullptr, 1, "x"); },
  };
  for (const auto& call : calls) EXPECT_EQ(call(), -1);
}
}  // namespace
