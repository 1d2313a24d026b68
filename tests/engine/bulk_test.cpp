// Bulk transfers against the simulator: both download paths, compression,
// faults on the data packets, the adaptive range reads and uploads.
#include <random>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "platform/trace.h"
#include "wirecore/packet.h"

namespace {
using enginetest::openEngine;
using vxsim::Bytes;

// Under ThreadSanitizer the host reads a block stream several times slower;
// the simulated link is slowed to match, as a slower terminal would be.
#if defined(__SANITIZE_THREAD__)
constexpr std::uint32_t kStreamGapMicros = 400;
#else
constexpr std::uint32_t kStreamGapMicros = 50;
#endif

Bytes randomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  // Half random, half runs, so that compression has something to do.
  for (std::size_t i = 0; i < size; ++i) b[i] = (i / 512) % 2 ? static_cast<std::uint8_t>(i / 4096) : static_cast<std::uint8_t>(rng());
  return b;
}

struct Device {
  bool oldFirmware = false;
  bool compress = false;
  const char* name;
};

class BulkRoundTrip : public ::testing::TestWithParam<Device> {};

// Reads one data set with VXEMBPRO_READDATA the way the SDK does.
int readSet(EngineHandle engine, std::uint16_t& code, Bytes& out, int blockSize = 65536, int timeoutMs = 3000) {
  code = CMD_ATTLOG_RRQ;
  return VXEMBPRO_READDATA(engine, &code, out.data(), static_cast<int>(out.size()), 0, blockSize, timeoutMs);
}

TEST_P(BulkRoundTrip, DataSetsArriveByteIdentical) {
  vxsim::Personality p;
  p.oldFirmware = GetParam().oldFirmware;
  p.compress = GetParam().compress;
  p.streamGapMicros = kStreamGapMicros;
  vxsim::Simulator sim(p);
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  for (std::size_t size : {std::size_t{1}, std::size_t{1023}, std::size_t{1024}, std::size_t{1025},
                           std::size_t{1} << 20, std::size_t{6} << 20}) {
    const Bytes set = randomBytes(size, static_cast<std::uint32_t>(size));
    sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);
    Bytes out(size + 2048, 0xCC);
    std::uint16_t code = 0;
    const int got = readSet(engine, code, out);
    ASSERT_EQ(code, CMD_ACK_OK) << size;
    ASSERT_EQ(got, static_cast<int>(size)) << size;
    ASSERT_TRUE(std::equal(set.begin(), set.end(), out.begin())) << size;
  }
  VXEMBPRO_CLOSE(engine);
}

INSTANTIATE_TEST_SUITE_P(Paths, BulkRoundTrip,
                         ::testing::Values(Device{false, false, "Query"}, Device{false, true, "QueryCompressed"},
                                           Device{true, false, "Announcement"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BulkRead, EmptySetOnTheQueryPathReadsNothing) {
  vxsim::Simulator sim;
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, {});
  sim.clearRecords();
  Bytes out(64);
  std::uint16_t code = 0;
  EXPECT_EQ(readSet(engine, code, out), 0);
  EXPECT_EQ(sim.count(CMD_READ_DATA), 0u);
  EXPECT_EQ(sim.count(CMD_FREE_DATA), 0u);
  VXEMBPRO_CLOSE(engine);
}

// Lost, duplicated, corrupted and reordered data blocks: a strict read either
// completes with the right bytes or fails; it never hands out wrong bytes.
TEST(BulkFaults, DamagedBlocksNeverYieldWrongBytes) {
  const vxsim::FaultKind kinds[] = {vxsim::FaultKind::Drop, vxsim::FaultKind::Duplicate, vxsim::FaultKind::Corrupt,
                                    vxsim::FaultKind::Reorder};
  for (bool oldFirmware : {false, true}) {
    vxsim::Personality p;
    p.oldFirmware = oldFirmware;
    vxsim::Simulator sim(p);
    EngineHandle engine = openEngine(sim);
    ASSERT_NE(engine, nullptr);
    const Bytes set = randomBytes(40 * 1024 + 17, 99);
    sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);
    int completed = 0;
    for (auto kind : kinds) {
      // Range reads wait 32 s / 3 for a lost block, so the query path is
      // spared drops and runs one seed per kind.
      if (!oldFirmware && kind == vxsim::FaultKind::Drop) continue;
      for (std::uint32_t seed = 1; seed <= (oldFirmware ? 3u : 1u); ++seed) {
        vxsim::FaultPlan plan;
        plan.seed = seed;
        plan.rules.push_back({kind, 0.05, {CMD_DATA}, {}, -1, 0});
        sim.setFaults(plan);
        Bytes out(set.size() + 1024, 0);
        std::uint16_t code = 0;
        const int got = readSet(engine, code, out, 16384, 600);
        if (code == CMD_ACK_OK && got == static_cast<int>(set.size())) {
          ++completed;
          EXPECT_TRUE(std::equal(set.begin(), set.end(), out.begin())) << static_cast<int>(kind) << "/" << seed;
        } else {
          EXPECT_LE(got, 0) << "a failed read reports no byte count";
        }
      }
    }
    sim.setFaults({});
    EXPECT_GT(completed, 0) << "the block map and the range retries recover most damaged streams";
    // The link is clean afterwards: a plain command gets its own answer.
    std::uint16_t code = 4000;
    VXEMBPRO_SENDCMD(engine, &code, nullptr, 0, 0, 1000);
    EXPECT_EQ(code, CMD_ACK_UNKNOWN);
    VXEMBPRO_CLOSE(engine);
  }
}

TEST(BulkFaults, MissingBlocksAreFilledFromTheBlockMapOfEarlierAttempts) {
  vxsim::Personality p;
  p.oldFirmware = true;
  vxsim::Simulator sim(p);
  sim.setStreamShaper([](vxsim::BlockStream& s) {
    const std::size_t missing = s.attempt == 0 ? 3 : 7;
    if (s.blocks.size() == 10) s.blocks.erase(s.blocks.begin() + static_cast<long>(missing));
  });
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  const Bytes set = randomBytes(10 * 1024, 5);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);
  sim.clearRecords();
  Bytes out(set.size());
  std::uint16_t code = CMD_ATTLOG_RRQ;
  EXPECT_EQ(VXEMBPRO_READDATA1(engine, &code, out.data(), static_cast<int>(out.size()), 0, 1, 300),
            static_cast<int>(set.size()));
  EXPECT_EQ(code, CMD_ACK_OK);
  EXPECT_EQ(out, set);
  EXPECT_EQ(sim.count(CMD_ATTLOG_RRQ), 2u);
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkFaults, ChangedTotalBetweenAttemptsRestartsTheMap) {
  vxsim::Personality p;
  p.oldFirmware = true;
  vxsim::Simulator sim(p);
  const Bytes set = randomBytes(8 * 1024, 6);
  sim.setStreamShaper([](vxsim::BlockStream& s) {
    if (s.attempt == 0) s.blocks.pop_back();  // first attempt incomplete
    if (s.attempt == 1) {                     // then the set grows by one block
      s.total += 1024;
      vxsim::Block extra{static_cast<std::uint16_t>(s.blocks.size()), Bytes(1024, 0x77)};
      s.blocks.push_back(extra);
    }
  });
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);
  std::mutex m;
  std::string traces;
  vxp::setTraceSink([&](std::string_view line) {
    std::lock_guard lock(m);
    traces.append(line);
  });
  Bytes out(set.size() + 1024);
  std::uint16_t code = CMD_ATTLOG_RRQ;
  const int got = VXEMBPRO_READDATA1(engine, &code, out.data(), static_cast<int>(out.size()), 0, 1, 300);
  vxp::setTraceSink({});
  EXPECT_EQ(got, static_cast<int>(set.size()) + 1024);
  EXPECT_TRUE(std::equal(set.begin(), set.end(), out.begin()));
  EXPECT_NE(traces.find("Dirty Data, Len=9216.\n"), std::string::npos);
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkFaults, BufferSmallerThanTheTotalFailsAndDrainsTheLink) {
  vxsim::Personality p;
  p.oldFirmware = true;
  vxsim::Simulator sim(p);
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, randomBytes(5000, 8));
  Bytes out(4000);
  std::uint16_t code = CMD_ATTLOG_RRQ;
  EXPECT_EQ(VXEMBPRO_READDATA1(engine, &code, out.data(), static_cast<int>(out.size()), 0, 0, 300), 0);
  EXPECT_EQ(code, CMD_ACK_ERROR_DATA);
  std::uint16_t probe = 4000;
  VXEMBPRO_SENDCMD(engine, &probe, nullptr, 0, 0, 1000);
  EXPECT_EQ(probe, CMD_ACK_UNKNOWN) << "no stray data block is taken for the next reply";
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkFaults, HostileAnnouncementsFailCleanly) {
  struct Lie {
    const char* what;
    std::function<void(vxsim::BlockStream&)> shape;
  } lies[] = {
      {"block beyond the total", [](vxsim::BlockStream& s) { s.blocks.insert(s.blocks.begin(), {200, Bytes(1024, 1)}); }},
      {"short block", [](vxsim::BlockStream& s) { s.blocks[1].bytes.resize(10); }},
      {"huge total", [](vxsim::BlockStream& s) { s.total = 0x7FFFFFFF; }},
      {"block size zero", [](vxsim::BlockStream& s) { s.blockSize = 0; }},
  };
  vxsim::Personality p;
  p.oldFirmware = true;
  vxsim::Simulator sim(p);
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  const Bytes set = randomBytes(4096, 9);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);
  for (const auto& lie : lies) {
    sim.setStreamShaper(lie.shape);
    Bytes out(8192, 0);
    std::uint16_t code = CMD_ATTLOG_RRQ;
    const int got = VXEMBPRO_READDATA1(engine, &code, out.data(), static_cast<int>(out.size()), 0, 0, 300);
    EXPECT_LE(got, 0) << lie.what;
    EXPECT_NE(code, CMD_ACK_OK) << lie.what;
  }
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkRanges, ShrinkingBlockSizeGivesUpAfterElevenSmallReads) {
  vxsim::Simulator sim;
  std::mutex m;
  std::vector<std::uint32_t> lengths;
  sim.setHandler(CMD_READ_DATA, [&](const vxsim::Request& r) {
    std::lock_guard lock(m);
    if (r.data.size() >= 8) lengths.push_back(wire::readU32(r.data.data() + 4));
    // An inline answer of the wrong size: the attempt ends at once.
    return std::vector<vxsim::Packet>{r.reply(CMD_DATA, 0, Bytes(3, 0))};
  });
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  Bytes out(200000);
  EXPECT_EQ(VXEMBPRO_READMEMORY(engine, CMD_READ_DATA, 0, static_cast<int>(out.size()), 65536, 1, out.data()), -3);
  std::lock_guard lock(m);
  // Every chunk try is one strict read of six attempts.
  ASSERT_EQ(lengths.size(), (2u + 11u) * 6u);
  EXPECT_EQ(lengths[0], 65536u);
  EXPECT_EQ(lengths[6], 8192u);
  for (std::size_t i = 12; i < lengths.size(); ++i) EXPECT_EQ(lengths[i], 1024u);
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkUpload, ChunksArriveAndTheConsumingCommandGetsThem) {
  vxsim::Simulator sim;
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  sim.setUploadConsumer(CMD_APPLY_BUFFER, {});  // default consumer: CMD_ACK_OK
  sim.setUploadConsumer(CMD_APPLY_BUFFER, [](std::span<const std::uint8_t>, const vxsim::Request&) {
    return std::optional<std::vector<vxsim::Packet>>{};
  });
  for (std::size_t size : {std::size_t{0}, std::size_t{1025}, std::size_t{3000}}) {
    sim.clearRecords();
    const Bytes data = randomBytes(size, static_cast<std::uint32_t>(size) + 1);
    unsigned char params[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint16_t code = CMD_APPLY_BUFFER;
    VXEMBPRO_SENDCMDDATA(engine, &code, data.data(), static_cast<int>(data.size()), params, 8, 1000);
    EXPECT_EQ(code, CMD_ACK_OK) << size;
    const auto uploads = sim.consumedUploads();
    ASSERT_FALSE(uploads.empty());
    EXPECT_EQ(uploads.back().upload, data);
    EXPECT_EQ(uploads.back().commandData, Bytes(params, params + 8));
    EXPECT_EQ(sim.count(CMD_DATA), (size + 1023) / 1024) << size;
    EXPECT_EQ(sim.count(CMD_FREE_DATA), 1u);
  }
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkUpload, EmptyUploadSucceedsEvenUnacknowledged) {
  vxsim::Simulator sim;
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  sim.dropRequests(CMD_PREPARE_DATA, 100);
  EXPECT_EQ(VXEMBPRO_SENDDATA(engine, nullptr, 0, 100), 1);
  auto prepare = sim.waitFor(CMD_PREPARE_DATA, 1000);
  ASSERT_TRUE(prepare);
  EXPECT_EQ(prepare->data, (Bytes{0, 0, 0, 0}));
  VXEMBPRO_CLOSE(engine);
}

TEST(BulkUpload, HashMismatchStopsBeforeTheConsumingCommand) {
  vxsim::Simulator sim;
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  sim.setReply(CMD_BUFFER_CHECKSUM, {CMD_ACK_OK, 0, {1, 2, 3, 4}}, vxsim::kAlways);
  const Bytes data = randomBytes(2000, 11);
  std::uint16_t code = CMD_APPLY_BUFFER;
  EXPECT_EQ(VXEMBPRO_SENDCMDDATA(engine, &code, data.data(), static_cast<int>(data.size()), nullptr, 0, 1000), 0);
  EXPECT_EQ(code, CMD_APPLY_BUFFER) << "the caller's code is left as it was";
  EXPECT_EQ(sim.count(CMD_APPLY_BUFFER), 0u);
  EXPECT_TRUE(sim.consumedUploads().empty());
  VXEMBPRO_CLOSE(engine);
}
}  // namespace
