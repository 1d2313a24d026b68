// Bulk transfers, device side.
//
// Reading: a data set is either asked for with CMD_QUERY_DATA (the terminal
// prepares it, possibly compressed, and the host fetches the stored bytes with
// CMD_READ_DATA ranges) or asked for directly with its own command (the
// terminal streams it at once). Both ways a range goes out as a block stream:
// CMD_PREPARE_DATA (total, block size), the numbered CMD_DATA blocks back to
// back, and a closing CMD_ACK_OK, all carrying the request's reply id.
//
// Writing: CMD_PREPARE_DATA opens the upload buffer, CMD_DATA chunks fill it,
// CMD_BUFFER_CHECKSUM reports its hash, a consuming command takes it and
// CMD_FREE_DATA releases it.
#include <algorithm>

#include "sim/families.h"
#include "sim/lzo_pack.h"
#include "wirecore/packet.h"

namespace vxsim::detail {
namespace {
constexpr std::uint32_t kMaxBlocks = 65536;  // the block index is a 16-bit header field

std::uint32_t blockSizeOf(const Personality& personality) {
  return std::clamp<std::uint32_t>(personality.packetSize, 1, VX_MAX_DATA);
}

Replies refuse(const Request& request) { return Replies{request.reply(CMD_ACK_ERROR)}; }
}  // namespace

std::optional<Replies> BulkFamily::handle(const Request& request, Device& device) {
  switch (request.code) {
    case CMD_QUERY_DATA:
      return query(request, device);
    case CMD_READ_DATA:
      return readRange(request, device);
    case CMD_FREE_DATA:
      prepared_.reset();
      upload_ = Upload{};
      return Replies{request.reply(CMD_ACK_OK)};
    case CMD_PREPARE_DATA:
      return openUpload(request, device.model.personality());
    case CMD_DATA:
      return appendChunk(request);
    case CMD_BUFFER_CHECKSUM: {
      Bytes hash;
      appendU32(hash, wire::BufferHash(upload_.bytes));
      return Replies{request.reply(CMD_ACK_OK, 0, std::move(hash))};
    }
    default:
      break;
  }
  if (auto consumer = device.bulk.consumer(request.code)) return consume(request, device, *consumer);
  if (auto set = device.bulk.findDataSet(request.code, makeSetKey(request.data))) return stream(request, *set, device);
  return std::nullopt;
}

// CMD_QUERY_DATA: 8-bit 1, 16-bit data-set command, up to 8 request bytes.
Replies BulkFamily::query(const Request& request, Device& device) {
  const Personality personality = device.model.personality();
  if (personality.oldFirmware) return Replies{request.reply(CMD_ACK_UNKNOWN)};
  const Bytes& data = request.data;
  if (data.size() < 3 || data[0] != 1) return refuse(request);
  const std::uint16_t command = wire::readU16(&data[1]);
  const auto set = device.bulk.findDataSet(command, makeSetKey(std::span(data).subspan(3)));
  if (!set) return refuse(request);

  // A new query replaces whatever was prepared before.
  prepared_.reset();
  const auto finalSize = static_cast<std::uint32_t>(set->size());
  if (finalSize > 0 && finalSize <= std::min<std::uint32_t>(personality.inlineLimit, VX_MAX_DATA))
    return Replies{request.reply(CMD_DATA, 0, *set)};

  Bytes stored;
  bool compressed = false;
  if (finalSize > 0 && personality.compress) {
    auto packed = lzoCompress(*set);
    if (!packed) return refuse(request);
    stored = std::move(*packed);
    compressed = true;
  } else {
    stored = *set;
  }
  Bytes answer;
  appendU8(answer, compressed ? 1 : 0);
  appendU32(answer, static_cast<std::uint32_t>(stored.size()));
  appendU32(answer, finalSize);
  appendU32(answer, stored.empty() ? 0 : wire::BufferHash(stored));
  // An empty set has nothing to read: nothing stays prepared.
  if (!stored.empty()) prepared_ = std::move(stored);
  return Replies{request.reply(CMD_ACK_OK, 0, std::move(answer))};
}

// CMD_READ_DATA: 32-bit start, 32-bit length of the prepared set.
Replies BulkFamily::readRange(const Request& request, Device& device) {
  if (request.data.size() < 8 || !prepared_) return refuse(request);
  const std::uint32_t start = wire::readU32(&request.data[0]);
  const std::uint32_t length = wire::readU32(&request.data[4]);
  const std::size_t size = prepared_->size();
  if (length == 0 || start > size || length > size - start) return refuse(request);
  return stream(request, std::span<const std::uint8_t>(*prepared_).subspan(start, length), device);
}

Replies BulkFamily::stream(const Request& request, std::span<const std::uint8_t> bytes, Device& device) {
  const std::uint64_t blockSize = blockSizeOf(device.model.personality());
  const std::uint64_t blocks = (bytes.size() + blockSize - 1) / blockSize;
  if (blocks > kMaxBlocks) return refuse(request);
  const auto total = static_cast<std::uint32_t>(bytes.size());

  BlockStream s{request.code, request.replyId, total, static_cast<std::uint32_t>(blockSize), {}, true, streams_++};
  s.blocks.reserve(blocks);
  for (std::uint64_t i = 0; i < blocks; ++i) {
    const std::size_t offset = i * blockSize;
    const auto part = bytes.subspan(offset, std::min<std::size_t>(blockSize, bytes.size() - offset));
    s.blocks.push_back(Block{static_cast<std::uint16_t>(i), Bytes(part.begin(), part.end())});
  }
  if (const StreamShaper shaper = device.bulk.shaper()) shaper(s);

  Replies replies;
  replies.reserve(s.blocks.size() + 2);
  Bytes announcement;
  appendU32(announcement, s.total);
  appendU32(announcement, s.blockSize);
  replies.push_back(request.reply(CMD_PREPARE_DATA, 0, std::move(announcement)));
  for (Block& block : s.blocks) replies.push_back(request.reply(CMD_DATA, block.index, std::move(block.bytes)));
  if (s.closingAck) replies.push_back(request.reply(CMD_ACK_OK));
  return replies;
}

// CMD_PREPARE_DATA from the host: 32-bit total size of the coming upload.
Replies BulkFamily::openUpload(const Request& request, const Personality& personality) {
  if (request.data.size() < 4) return refuse(request);
  const std::uint32_t total = wire::readU32(request.data.data());
  if (total > personality.uploadLimit) return refuse(request);
  upload_ = Upload{};
  upload_.open = true;
  upload_.total = total;
  upload_.bytes.reserve(total);
  return Replies{request.reply(CMD_ACK_OK)};
}

Replies BulkFamily::appendChunk(const Request& request) {
  if (!upload_.open) return refuse(request);
  // The host repeats a chunk whose acknowledgement it missed with the same
  // reply id; appending it again would corrupt the buffer.
  if (upload_.lastReplyId == request.replyId && upload_.lastChunk == request.data)
    return Replies{request.reply(CMD_ACK_REPEAT)};
  if (request.data.size() > upload_.total - upload_.bytes.size()) return refuse(request);
  upload_.bytes.insert(upload_.bytes.end(), request.data.begin(), request.data.end());
  upload_.lastReplyId = request.replyId;
  upload_.lastChunk = request.data;
  return Replies{request.reply(CMD_ACK_OK)};
}

// A consuming command takes a complete upload; an incomplete or missing one
// is refused rather than handed on truncated.
Replies BulkFamily::consume(const Request& request, Device& device, const UploadConsumer& consumer) {
  if (!upload_.open || upload_.bytes.size() != upload_.total) return refuse(request);
  device.bulk.recordConsumed(ConsumedUpload{request.code, request.data, upload_.bytes});
  if (auto replies = consumer(upload_.bytes, request)) return std::move(*replies);
  return Replies{request.reply(CMD_ACK_OK)};
}

}  // namespace vxsim::detail
