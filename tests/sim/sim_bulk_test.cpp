// Bulk transfers on the simulator: query path, announcement path and uploads,
// driven over a plain UDP socket.
#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <algorithm>

#include "host_socket.h"
#include "sim/vxsim.h"

namespace vxsim::test {
namespace {

// Compressible but not trivial: repeating runs with a slow drift.
Bytes pattern(std::size_t size) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>((i / 7) % 13 + (i / 300));
  return out;
}

Bytes queryRequest(std::uint16_t command, std::initializer_list<std::uint8_t> request, std::uint8_t first = 1) {
  Bytes out(11, 0);
  out[0] = first;
  wire::writeU16(&out[1], command);
  std::size_t at = 3;
  for (const std::uint8_t b : request)
    if (at < out.size()) out[at++] = b;
  return out;
}

Bytes range(std::uint32_t start, std::uint32_t length) {
  Bytes out = u32le(start);
  const Bytes second = u32le(length);
  out.insert(out.end(), second.begin(), second.end());
  return out;
}

// One block stream as the host received it.
struct Stream {
  std::uint32_t total = 0;
  std::uint32_t blockSize = 0;
  std::vector<Reply> blocks;
  bool closed = false;  // the closing CMD_ACK_OK arrived
  bool announced = false;
};

// Reads a stream answering `replyId` until its closing acknowledgement, or
// until the link stays quiet.
Stream readStream(HostSocket& host, std::uint16_t replyId, int quietMs = 2000) {
  Stream s;
  while (auto packet = host.receive(quietMs)) {
    EXPECT_EQ(packet->header.replyId, replyId);
    if (packet->header.code == CMD_PREPARE_DATA && packet->data.size() == 8) {
      s.announced = true;
      s.total = wire::readU32(&packet->data[0]);
      s.blockSize = wire::readU32(&packet->data[4]);
    } else if (packet->header.code == CMD_DATA) {
      s.blocks.push_back(std::move(*packet));
    } else {
      s.closed = packet->header.code == CMD_ACK_OK;
      break;
    }
  }
  return s;
}

// Puts the blocks of a stream together by their indices.
Bytes assemble(const Stream& s) {
  Bytes out(s.total);
  for (const Reply& block : s.blocks) {
    const std::size_t at = std::size_t{block.header.sessionId} * s.blockSize;
    EXPECT_LE(at + block.data.size(), out.size());
    if (at + block.data.size() <= out.size()) std::copy(block.data.begin(), block.data.end(), out.begin() + at);
  }
  return out;
}

TEST(SimQuery, SizesInlineThresholdHashAndCompression) {
  struct Case {
    std::size_t size;
    bool compress;
    std::uint32_t packetSize;
  };
  const Case cases[] = {{0, false, 1024},    {1, false, 1024},    {1000, false, 1024}, {1001, false, 1024},
                        {5000, false, 1024}, {5000, false, 300},  {1001, true, 1024},  {20000, true, 1024},
                        {9000, true, 512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << " compress " << c.compress << " packet " << c.packetSize);
    Personality personality;
    personality.compress = c.compress;
    personality.packetSize = c.packetSize;
    Simulator sim(personality);
    HostSocket host(sim.port());
    const Bytes set = pattern(c.size);
    sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);

    auto answer = host.exchange(CMD_QUERY_DATA, 1, queryRequest(CMD_ATTLOG_RRQ, {}));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->header.replyId, 1);
    if (c.size > 0 && c.size <= 1000) {
      EXPECT_EQ(answer->header.code, CMD_DATA);
      EXPECT_EQ(answer->data, set);
      continue;
    }
    ASSERT_EQ(answer->header.code, CMD_ACK_OK);
    ASSERT_EQ(answer->data.size(), 13u);
    const bool compressed = answer->data[0] != 0;
    const std::uint32_t stored = wire::readU32(&answer->data[1]);
    const std::uint32_t final = wire::readU32(&answer->data[5]);
    const std::uint32_t hash = wire::readU32(&answer->data[9]);
    EXPECT_EQ(final, c.size);
    EXPECT_EQ(compressed, c.compress && c.size > 0);
    if (c.size == 0) {
      EXPECT_EQ(stored, 0u);
      continue;
    }
    if (c.compress) {
      EXPECT_LT(stored, final);
    }

    // Fetch the stored bytes in ranges of up to 4096, as a host would.
    Bytes fetched;
    std::uint16_t id = 2;
    for (std::uint32_t start = 0; start < stored; start += 4096, ++id) {
      const std::uint32_t length = std::min<std::uint32_t>(4096, stored - start);
      host.send(CMD_READ_DATA, id, range(start, length));
      const Stream s = readStream(host, id);
      EXPECT_TRUE(s.announced && s.closed);
      EXPECT_EQ(s.total, length);
      EXPECT_EQ(s.blockSize, c.packetSize);
      ASSERT_EQ(s.blocks.size(), (length + c.packetSize - 1) / c.packetSize);
      for (std::size_t i = 0; i < s.blocks.size(); ++i) {
        EXPECT_EQ(s.blocks[i].header.sessionId, i);
        EXPECT_TRUE(s.blocks[i].checksumOk);
      }
      const Bytes part = assemble(s);
      fetched.insert(fetched.end(), part.begin(), part.end());
    }
    ASSERT_EQ(fetched.size(), stored);
    EXPECT_EQ(wire::BufferHash(fetched), hash);
    if (compressed) {
      ASSERT_EQ(lzo_init(), LZO_E_OK);
      Bytes expanded(final);
      lzo_uint length = expanded.size();
      ASSERT_EQ(lzo1x_decompress_safe(fetched.data(), fetched.size(), expanded.data(), &length, nullptr), LZO_E_OK);
      EXPECT_EQ(length, final);
      EXPECT_EQ(expanded, set);
    } else {
      EXPECT_EQ(fetched, set);
    }

    auto freed = host.exchange(CMD_FREE_DATA, 100);
    ASSERT_TRUE(freed);
    EXPECT_EQ(freed->header.code, CMD_ACK_OK);
    auto afterFree = host.exchange(CMD_READ_DATA, 101, range(0, 1));
    ASSERT_TRUE(afterFree);
    EXPECT_EQ(afterFree->header.code, CMD_ACK_ERROR);
  }
}

TEST(SimQuery, SetsAreChosenByCommandAndRequestBytes) {
  Simulator sim;
  HostSocket host(sim.port());
  sim.setDataSet(CMD_DB_RRQ, std::vector<std::uint8_t>{5}, pattern(10));
  sim.setDataSet(CMD_DB_RRQ, std::vector<std::uint8_t>{2}, pattern(20));
  sim.setDataSetProvider(CMD_USERTEMP_RRQ, [](std::span<const std::uint8_t> request) -> std::optional<Bytes> {
    if (request[0] == 0) return std::nullopt;
    return Bytes(request[0], 0xAB);
  });

  struct Case {
    std::uint16_t command;
    std::initializer_list<std::uint8_t> request;
    std::uint16_t code;
    std::size_t size;
  };
  const Case cases[] = {
      {CMD_DB_RRQ, {5}, CMD_DATA, 10},
      {CMD_DB_RRQ, {2, 0, 0}, CMD_DATA, 20},  // trailing zeros do not matter
      {CMD_DB_RRQ, {7}, CMD_ACK_ERROR, 0},
      {CMD_ATTLOG_RRQ, {}, CMD_ACK_ERROR, 0},
      {CMD_USERTEMP_RRQ, {3}, CMD_DATA, 3},
      {CMD_USERTEMP_RRQ, {0}, CMD_ACK_ERROR, 0},
  };
  std::uint16_t id = 1;
  for (const Case& c : cases) {
    auto reply = host.exchange(CMD_QUERY_DATA, id++, queryRequest(c.command, c.request));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.code, c.code) << c.command;
    EXPECT_EQ(reply->data.size(), c.size) << c.command;
  }
}

TEST(SimQuery, MalformedRequestsAreRefused) {
  Personality personality;
  personality.inlineLimit = 0;  // every set is prepared
  personality.uploadLimit = 4096;
  Simulator sim(personality);
  HostSocket host(sim.port());
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, pattern(3000));

  // Nothing prepared yet, then a prepared set of 3000 bytes.
  auto early = host.exchange(CMD_READ_DATA, 1, range(0, 10));
  ASSERT_TRUE(early);
  EXPECT_EQ(early->header.code, CMD_ACK_ERROR);
  auto prepared = host.exchange(CMD_QUERY_DATA, 2, queryRequest(CMD_ATTLOG_RRQ, {}));
  ASSERT_TRUE(prepared);
  ASSERT_EQ(prepared->header.code, CMD_ACK_OK);

  struct Case {
    const char* name;
    std::uint16_t command;
    Bytes data;
  };
  const Case cases[] = {
      {"read request shorter than 8 bytes", CMD_READ_DATA, {0, 0, 0, 0, 10, 0, 0}},
      {"read of 0 bytes", CMD_READ_DATA, range(0, 0)},
      {"read past the end", CMD_READ_DATA, range(2990, 11)},
      {"read starting past the end", CMD_READ_DATA, range(3001, 1)},
      {"read whose end wraps around", CMD_READ_DATA, range(16, 0xFFFFFFF8u)},
      {"query shorter than 3 bytes", CMD_QUERY_DATA, {1, CMD_ATTLOG_RRQ}},
      {"query not starting with 1", CMD_QUERY_DATA, queryRequest(CMD_ATTLOG_RRQ, {}, 2)},
      {"upload size shorter than 4 bytes", CMD_PREPARE_DATA, {1, 0}},
      {"upload above the limit", CMD_PREPARE_DATA, u32le(4097)},
      {"chunk without an upload", CMD_DATA, {1, 2, 3}},
  };
  std::uint16_t id = 10;
  for (const Case& c : cases) {
    auto reply = host.exchange(c.command, id, c.data);
    ASSERT_TRUE(reply) << c.name;
    EXPECT_EQ(reply->header.code, CMD_ACK_ERROR) << c.name;
    EXPECT_EQ(reply->header.replyId, id++) << c.name;
  }

  // The prepared set survived the refusals.
  host.send(CMD_READ_DATA, 50, range(2990, 10));
  const Stream tail = readStream(host, 50);
  EXPECT_TRUE(tail.closed);
  EXPECT_EQ(tail.total, 10u);
}

TEST(SimAnnounce, DataSetCommandsSentDirectlyAreStreamed) {
  Personality personality;
  personality.oldFirmware = true;
  Simulator sim(personality);
  HostSocket host(sim.port());
  const Bytes set = pattern(2500);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);

  auto query = host.exchange(CMD_QUERY_DATA, 1, queryRequest(CMD_ATTLOG_RRQ, {}));
  ASSERT_TRUE(query);
  EXPECT_EQ(query->header.code, CMD_ACK_UNKNOWN);

  host.send(CMD_ATTLOG_RRQ, 2);
  const Stream s = readStream(host, 2);
  EXPECT_TRUE(s.announced && s.closed);
  EXPECT_EQ(s.total, 2500u);
  EXPECT_EQ(s.blockSize, 1024u);
  ASSERT_EQ(s.blocks.size(), 3u);
  EXPECT_EQ(s.blocks[2].data.size(), 452u);
  EXPECT_EQ(assemble(s), set);

  // Without a registered set the command is not a data-set read.
  auto other = host.exchange(CMD_OPLOG_RRQ, 3);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->header.code, CMD_ACK_UNKNOWN);
}

TEST(SimUpload, ChunksChecksumConsumerAndFree) {
  Bytes seenByConsumer;  // outlives the simulator that writes it
  Simulator sim;
  HostSocket host(sim.port());
  sim.setUploadConsumer(CMD_APPLY_BUFFER, [&](std::span<const std::uint8_t> upload, const Request& r)
                                              -> std::optional<std::vector<Packet>> {
    seenByConsumer.assign(upload.begin(), upload.end());
    return std::vector<Packet>{r.reply(CMD_ACK_OK, 77)};
  });
  const Bytes source = pattern(2501);  // one byte more, for the overlong chunk
  const Bytes upload(source.begin(), source.end() - 1);
  const std::span<const std::uint8_t> all(source);

  auto open = host.exchange(CMD_PREPARE_DATA, 1, u32le(2500));
  ASSERT_TRUE(open);
  EXPECT_EQ(open->header.code, CMD_ACK_OK);

  // Consuming an incomplete upload is refused.
  const std::uint8_t params[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  auto tooEarly = host.exchange(CMD_APPLY_BUFFER, 2, params);
  ASSERT_TRUE(tooEarly);
  EXPECT_EQ(tooEarly->header.code, CMD_ACK_ERROR);

  struct Chunk {
    std::uint16_t replyId;
    std::size_t offset, length;
    std::uint16_t expected;
  };
  const Chunk chunks[] = {
      {3, 0, 1024, CMD_ACK_OK},
      {3, 0, 1024, CMD_ACK_REPEAT},  // the host repeats a chunk whose ack it lost
      {4, 1024, 1024, CMD_ACK_OK},
      {5, 2048, 453, CMD_ACK_ERROR},  // one byte more than announced
      {5, 2048, 452, CMD_ACK_OK},
  };
  for (const Chunk& c : chunks) {
    auto reply = host.exchange(CMD_DATA, c.replyId, all.subspan(c.offset, c.length));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.code, c.expected) << c.replyId;
  }

  auto checksum = host.exchange(CMD_BUFFER_CHECKSUM, 6);
  ASSERT_TRUE(checksum);
  EXPECT_EQ(checksum->header.code, CMD_ACK_OK);
  ASSERT_EQ(checksum->data.size(), 4u);
  EXPECT_EQ(wire::readU32(checksum->data.data()), wire::BufferHash(upload));

  auto applied = host.exchange(CMD_APPLY_BUFFER, 7, params);
  ASSERT_TRUE(applied);
  EXPECT_EQ(applied->header.code, CMD_ACK_OK);
  EXPECT_EQ(applied->header.sessionId, 77);
  EXPECT_EQ(seenByConsumer, upload);
  const auto consumed = sim.consumedUploads();
  ASSERT_EQ(consumed.size(), 1u);
  EXPECT_EQ(consumed[0].command, CMD_APPLY_BUFFER);
  EXPECT_EQ(consumed[0].commandData, Bytes(params, params + 8));

  auto freed = host.exchange(CMD_FREE_DATA, 8);
  ASSERT_TRUE(freed);
  EXPECT_EQ(freed->header.code, CMD_ACK_OK);
  auto afterFree = host.exchange(CMD_DATA, 9, all.first(10));
  ASSERT_TRUE(afterFree);
  EXPECT_EQ(afterFree->header.code, CMD_ACK_ERROR);
}

// Block indices (and checksum results) a host sees of one 20-block stream
// under the given plan.
std::vector<std::pair<std::uint16_t, bool>> blocksUnder(const FaultPlan& plan) {
  Personality personality;
  personality.oldFirmware = true;
  Simulator sim(personality);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, pattern(20 * 1024));
  sim.setFaults(plan);
  HostSocket host(sim.port());
  host.send(CMD_ATTLOG_RRQ, 1);
  const Stream s = readStream(host, 1);
  EXPECT_TRUE(s.closed);
  std::vector<std::pair<std::uint16_t, bool>> seen;
  for (const Reply& block : s.blocks) seen.emplace_back(block.header.sessionId, block.checksumOk);
  return seen;
}

TEST(SimBulkFaults, BlockFaultsRepeatFromTheirSeed) {
  FaultPlan plan;
  plan.seed = 7;
  plan.rules.push_back({FaultKind::Drop, 0.1, {CMD_DATA}, {}, -1, 0});
  plan.rules.push_back({FaultKind::Reorder, 0.1, {CMD_DATA}, {}, -1, 0});
  // Exactly one block corrupted: block 4.
  plan.rules.push_back(
      {FaultKind::Corrupt, 1.0, {CMD_DATA}, [](const Packet& p) { return p.sessionId == 4; }, 1, 0});
  const auto first = blocksUnder(plan);
  EXPECT_EQ(first, blocksUnder(plan));
  EXPECT_LT(first.size(), 20u);  // some blocks were dropped at 10%
  std::size_t bad = 0;
  for (auto [index, ok] : first) {
    if (!ok) {
      ++bad;
      EXPECT_EQ(index, 4);
    }
  }
  EXPECT_LE(bad, 1u);  // block 4 may have been dropped before it was corrupted
  plan.seed = 8;
  EXPECT_NE(first, blocksUnder(plan));
}

TEST(SimBulkFaults, ShapedStreamsChangeTheTotalAndAddBlocksBeyondIt) {
  Personality personality;
  personality.oldFirmware = true;
  Simulator sim(personality);
  HostSocket host(sim.port());
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, pattern(3000));
  sim.setStreamShaper([](BlockStream& s) {
    if (s.attempt == 0) s.total += 1024;  // the set seems to change between attempts
    if (s.attempt == 1) s.blocks.push_back(Block{9, Bytes(16, 0xEE)});
  });

  host.send(CMD_ATTLOG_RRQ, 1);
  const Stream first = readStream(host, 1);
  EXPECT_EQ(first.total, 4024u);
  EXPECT_EQ(first.blocks.size(), 3u);

  host.send(CMD_ATTLOG_RRQ, 2);
  const Stream second = readStream(host, 2);
  EXPECT_EQ(second.total, 3000u);
  ASSERT_EQ(second.blocks.size(), 4u);
  EXPECT_EQ(second.blocks.back().header.sessionId, 9);
  EXPECT_TRUE(second.closed);
}

}  // namespace
}  // namespace vxsim::test
