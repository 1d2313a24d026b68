// Device time and the shared download buffer with its views.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "sdk_fixture.h"
#include "vxsdk/api/devicetime.h"
#include "wirecore/packet.h"

namespace {
using sdktest::SdkTest;
using vxsdk::CalendarTime;
using vxsdk::ViewKind;
using vxsim::Bytes;

TEST(DeviceTime, EncodesAndDecodesOnTheDeviceCalendar) {
  struct Case {
    CalendarTime in;
    std::int32_t encoded;
    CalendarTime out;
  } cases[] = {
      {{2000, 1, 1, 0, 0, 0}, 0, {2000, 1, 1, 0, 0, 0}},
      {{2007, 8, 7, 12, 30, 45}, ((((7 * 12 + 7) * 31 + 6) * 24 + 12) * 60 + 30) * 60 + 45, {2007, 8, 7, 12, 30, 45}},
      {{2010, 2, 31, 23, 59, 59}, ((((10 * 12 + 1) * 31 + 30) * 24 + 23) * 60 + 59) * 60 + 59, {2010, 2, 31, 23, 59, 59}},
      {{2107, 8, 7, 12, 30, 45}, ((((7 * 12 + 7) * 31 + 6) * 24 + 12) * 60 + 30) * 60 + 45, {2007, 8, 7, 12, 30, 45}},
  };
  for (const auto& c : cases) {
    const std::int32_t t = vxsdk::encodeDeviceTime(c.in.year, c.in.month, c.in.day, c.in.hour, c.in.minute, c.in.second);
    EXPECT_EQ(t, c.encoded) << c.in.year;
    EXPECT_EQ(vxsdk::decodeDeviceTime(t), c.out) << c.in.year;
  }
  // A year has 372 days of 86400 seconds.
  EXPECT_EQ(vxsdk::decodeDeviceTime(372 * 86400).year, 2001);
  // Negative times decode with signed division; a negative minute becomes 0.
  EXPECT_EQ(vxsdk::decodeDeviceTime(-1).minute, 0);
}

// A download answer: the 32-bit byte count, then the records.
Bytes answer(std::size_t recordBytes, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(4 + recordBytes);
  wire::writeU32(b.data(), static_cast<std::uint32_t>(recordBytes));
  for (std::size_t i = 4; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(rng());
  return b;
}

class Download : public SdkTest {};

TEST_F(Download, SetsItsViewFromTheLeadingCountAndResetsTheOthers) {
  const Bytes logs = answer(400, 1), templates = answer(900, 2);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, logs);
  sim.setDataSet(CMD_DB_RRQ, Bytes{2}, templates);
  ASSERT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true), 1);
  EXPECT_EQ(conn().attLogView.start, 4u);
  EXPECT_EQ(conn().attLogView.cursor, 4u);
  EXPECT_EQ(conn().attLogView.length, 400);
  EXPECT_EQ(conn().bulkCapacity, vxsdk::kBulkSize);
  EXPECT_TRUE(std::equal(logs.begin() + 4, logs.end(), conn().bulkBuffer.data() + 4));

  ASSERT_EQ(vxsdk::downloadDataSet(conn(), 2, CMD_DB_RRQ, 1, ViewKind::Template, true), 1);
  EXPECT_EQ(conn().templateView.length, 900);
  EXPECT_EQ(conn().attLogView.length, 0) << "one kind of record at a time";
  EXPECT_EQ(conn().attLogView.start, 0u);
}

TEST_F(Download, DeviceWithoutRecordsGivesZero) {
  sim.setReply(CMD_QUERY_DATA, {CMD_ACK_ERROR, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true), 0);
  EXPECT_EQ(sim.count(CMD_QUERY_DATA), 1u) << "no fallback for a device that has nothing";
}

TEST_F(Download, FallsBackToTheWholeTableWithoutLeadingCount) {
  const Bytes table = answer(300, 3);
  sim.setDataSet(CMD_DB_RRQ, Bytes{1}, table);
  // The attendance query is answered with something that is neither data nor
  // a refusal; the whole-table read of kind 1 works.
  sim.setHandler(CMD_QUERY_DATA, [](const vxsim::Request& r) -> std::optional<std::vector<vxsim::Packet>> {
    if (r.data.size() >= 3 && wire::readU16(r.data.data() + 1) == CMD_ATTLOG_RRQ)
      return std::vector<vxsim::Packet>{r.reply(CMD_ACK_DATA)};
    return std::nullopt;
  });
  ASSERT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true), 1);
  EXPECT_EQ(conn().attLogView.start, 0u);
  EXPECT_EQ(conn().attLogView.length, static_cast<std::int32_t>(table.size()));
  EXPECT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, false), -2);
}

TEST_F(Download, SetLargerThanTheBufferGrowsItAndArrivesWhole) {
  const Bytes big = answer(7u << 20, 4);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, big);
  ASSERT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true), 1);
  EXPECT_EQ(conn().attLogView.length, 7 << 20);
  EXPECT_GE(conn().bulkCapacity, static_cast<std::int32_t>(big.size()));
  EXPECT_TRUE(std::equal(big.begin(), big.end(), conn().bulkBuffer.data()));
}

TEST_F(Download, SmallFirstBufferGrowsForALaterFullDownload) {
  ASSERT_EQ(vxsdk::ensureBulkBuffer(conn(), vxsdk::kRealTimeBulkSize), 1);
  const Bytes logs = answer(5000, 5);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, logs);
  ASSERT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true), 1);
  EXPECT_EQ(conn().attLogView.length, 5000);
}

TEST_F(Download, AnnouncementAboveTheCapIsRefusedWithoutAllocating) {
  sim.setHandler(CMD_QUERY_DATA, [](const vxsim::Request& r) {
    Bytes a(13, 0);
    wire::writeU32(a.data() + 1, 300u << 20);  // stored
    wire::writeU32(a.data() + 5, 300u << 20);  // final
    return std::vector<vxsim::Packet>{r.reply(CMD_ACK_OK, 0, a)};
  });
  EXPECT_EQ(vxsdk::downloadDataSet(conn(), 1, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true), -100);
  EXPECT_EQ(conn().bulkCapacity, vxsdk::kBulkSize);
  EXPECT_EQ(sim.count(CMD_READ_DATA), 0u);
}
// Pages of a buffer that are resident.
std::size_t residentPages(const vxsdk::LazyBuffer& b) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> pages((b.size() + page - 1) / page);
  if (mincore(const_cast<std::uint8_t*>(b.data()), b.size(), pages.data()) != 0) return SIZE_MAX;
  std::size_t n = 0;
  for (unsigned char v : pages) n += v & 1;
  return n;
}

// A download buffer costs memory only where data was written, also when it
// takes the place of one that was filled and freed before (a recycled block
// would come back cleared by writing zeros, all of it resident), and growing
// keeps the contents and adds zeros.
TEST(DownloadBuffer, PagesAreResidentOnlyWhereWrittenAndGrowthKeepsTheContents) {
  constexpr std::size_t kSize = 6u << 20;
  for (int round = 0; round < 3; ++round) {
    vxsdk::LazyBuffer filled;
    ASSERT_TRUE(filled.allocate(kSize));
    std::memset(filled.data(), 0xAB, kSize);
    filled.release();
    vxsdk::LazyBuffer fresh;
    ASSERT_TRUE(fresh.allocate(kSize));
    EXPECT_LE(residentPages(fresh), 1u) << "round " << round;
    EXPECT_EQ(fresh.data()[kSize / 2], 0);
  }
  vxsdk::LazyBuffer b;
  ASSERT_TRUE(b.allocate(10));
  std::memcpy(b.data(), "0123456789", 10);
  ASSERT_TRUE(b.grow(kSize));
  EXPECT_EQ(std::memcmp(b.data(), "0123456789", 10), 0);
  EXPECT_EQ(b.data()[10], 0);
  EXPECT_EQ(b.data()[kSize - 1], 0);
  EXPECT_FALSE(b.grow(std::size_t{1} << 62));
  EXPECT_EQ(b.size(), kSize) << "a failed growth leaves the buffer as it was";
  ASSERT_TRUE(b.allocate(0));
  EXPECT_TRUE(b.allocated());
}
}  // namespace
