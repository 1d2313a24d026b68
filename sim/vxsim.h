#pragma once
// vxsim: a simulated time-attendance terminal that speaks the device side of
// the UDP protocol, for in-process tests and as a stand-alone program.
//
// A Simulator listens on 127.0.0.1 (never on another address), answers the
// host's packets on a worker thread, records everything it receives, and lets
// a test script replies, register data sets and inject faults. All public
// member functions are safe to call from any thread while the worker runs.
//
// Typical use in a test:
//
//   vxsim::Simulator sim;                       // ephemeral port, started
//   sim.setDataSet(CMD_ATTLOG_RRQ, {}, bytes);  // what a log read returns
//   ... open an engine on "127.0.0.1", sim.port() ...
//   ASSERT_TRUE(sim.waitFor(CMD_FREE_DATA, 2000));
//
// Handlers, data-set providers, consumers and stream shapers run on the worker
// thread, without any lock of the simulator held, so they may call back into
// the simulator (for instance received()). What they capture must outlive the
// Simulator: declare it before the Simulator object.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/terminal.h"
#include "vxproto.h"

namespace vxsim {

using Bytes = std::vector<std::uint8_t>;

// What kind of terminal the simulator plays. Consulted for every request, so
// Simulator::setPersonality takes effect with the next one.
struct Personality {
  // Text answered to CMD_VERSION_RRQ (sent with a terminating zero).
  std::string firmwareVersion = "Ver 6.60 Apr 28 2010";
  // Communication password; 0 means the terminal demands no authentication.
  std::uint32_t commKey = 0;
  // TFT platform: the option "~Platform" then contains "TFT".
  bool tft = false;
  // Firmware without the query read path: CMD_QUERY_DATA is answered with
  // CMD_ACK_UNKNOWN, so hosts fall back to the announcement path.
  bool oldFirmware = false;
  // Bytes per CMD_DATA block of a bulk read (1 to 1024; other values are
  // clamped into that range).
  std::uint32_t packetSize = 1024;
  // Data sets of at most this many bytes are answered to CMD_QUERY_DATA
  // inline, in one CMD_DATA reply, instead of being prepared for reading.
  std::uint32_t inlineLimit = 1000;
  // Query path: store data sets LZO1X-1 compressed (the host decompresses).
  bool compress = false;
  // Largest upload the terminal accepts with CMD_PREPARE_DATA.
  std::uint32_t uploadLimit = 16u << 20;
  // Session id assigned by the first CMD_CONNECT; each later one adds 1.
  std::uint16_t firstSessionId = 0x1234;
  // Gap between consecutive packets of a block stream (an answer of more than
  // two packets), in
  // microseconds, like a terminal's network link; 0 sends them back to back.
  // Back to back on loopback a long stream overruns the host's receive buffer,
  // which no terminal's link does.
  std::uint32_t streamGapMicros = 50;
};

// A packet the simulator sends. `sessionId` is the header's session-id field:
// the result word of a reply, the session id in the CMD_CONNECT reply, the
// event code of CMD_EVENT, the block index of a CMD_DATA block.
struct Packet {
  std::uint16_t code = 0;
  std::uint16_t sessionId = 0;
  std::uint16_t replyId = 0;
  Bytes data;
};

// A request from the host, as handed to handlers.
struct Request {
  std::uint16_t code = 0;
  std::uint16_t sessionId = 0;
  std::uint16_t replyId = 0;
  Bytes data;

  // A reply to this request: the reply id is copied from the request.
  Packet reply(std::uint16_t replyCode, std::uint16_t result = 0, Bytes replyData = {}) const {
    return Packet{replyCode, result, replyId, std::move(replyData)};
  }
};

// One datagram as the simulator received or sent it. For a datagram shorter
// than a header the header fields are 0 and `data` holds the raw bytes.
struct RecordedPacket {
  std::uint16_t code = 0;
  std::uint16_t sessionId = 0;
  std::uint16_t replyId = 0;
  Bytes data;
  bool checksumOk = false;
  std::uint32_t tick = 0;  // millisecond tick count at arrival (or sending)
};

// Reply used by Simulator::setReply.
struct ScriptedReply {
  std::uint16_t code = CMD_ACK_OK;
  std::uint16_t result = 0;  // session-id field of the reply
  Bytes data;
};

// Repeat counts for Simulator::setReply.
constexpr int kOnce = 1;
constexpr int kAlways = -1;

// Per-command handler. Return nullopt to let the simulator answer as it
// normally would, an empty vector to stay silent, or the packets to send (in
// order, back to back).
using Handler = std::function<std::optional<std::vector<Packet>>(const Request&)>;

// Builds a data set on demand from the request bytes (zero-padded to 8);
// nullopt when the terminal has no such set.
using DataSetProvider = std::function<std::optional<Bytes>(std::span<const std::uint8_t> request)>;

// Consumes a finished upload (for instance CMD_APPLY_BUFFER): receives the
// uploaded bytes and the command's own request. nullopt means CMD_ACK_OK.
using UploadConsumer =
    std::function<std::optional<std::vector<Packet>>(std::span<const std::uint8_t> upload, const Request&)>;

// One block of a bulk-read stream.
struct Block {
  std::uint16_t index = 0;
  Bytes bytes;
};

// A bulk-read stream just before it is sent: CMD_PREPARE_DATA (total, block
// size), the numbered CMD_DATA blocks, then the closing CMD_ACK_OK. A stream
// shaper may change any of it (announce another total, add a block beyond the
// total, drop or reorder blocks, leave out the closing acknowledgement).
struct BlockStream {
  std::uint16_t command = 0;  // the request that asked for it
  std::uint16_t replyId = 0;
  std::uint32_t total = 0;
  std::uint32_t blockSize = 0;
  std::vector<Block> blocks;
  bool closingAck = true;
  unsigned attempt = 0;  // streams sent before this one, counted from start
};
using StreamShaper = std::function<void(BlockStream&)>;

// Faults applied to OUTGOING packets.
enum class FaultKind { Drop, Duplicate, Corrupt, Delay, Reorder };

struct FaultRule {
  FaultKind kind = FaultKind::Drop;
  double share = 0.0;                 // probability per packet, 0 to 1
  std::vector<std::uint16_t> codes;   // only packets with these codes; empty: all
  // Optional further filter; runs under the fault stage's lock, so it must
  // not call into the simulator.
  std::function<bool(const Packet&)> match;
  int limit = -1;                     // at most this many times; -1: no limit
  int delayMs = 0;                    // Delay: by how much
};

struct FaultPlan {
  std::uint32_t seed = 1;  // seeds the std::mt19937 that draws every decision
  std::vector<FaultRule> rules;
};

// A fault that was applied, for tests that compare runs.
struct FaultRecord {
  FaultKind kind = FaultKind::Drop;
  std::uint64_t packetNumber = 0;  // outgoing packets counted from start, from 0
  std::uint16_t code = 0;
  std::uint16_t sessionId = 0;
  std::uint16_t replyId = 0;
};

// An upload handed to a consumer.
struct ConsumedUpload {
  std::uint16_t command = 0;
  Bytes commandData;
  Bytes upload;
};

// --- terminal state (see Simulator's "terminal state" section) ---

// One CMD_WRITE_LCD: where it wrote and its text (up to its zero byte).
struct DisplayWrite {
  std::uint8_t row = 0;
  std::uint8_t column = 0;
  std::string text;
  bool operator==(const DisplayWrite&) const = default;
};

// One CMD_PLAY_VOICE: a range of prompts, or one (first == last).
struct VoicePrompt {
  std::uint8_t first = 0;
  std::uint8_t last = 0;
  bool operator==(const VoicePrompt&) const = default;
};

// What the terminal does on its own; CMD_STATE_RRQ answers the kind's value
// as its result word.
enum class OperationKind : std::uint16_t { Idle = 0, Enroll = 1, Verify = 2, Identify = 3 };
struct Operation {
  OperationKind kind = OperationKind::Idle;
  std::uint16_t number = 0;  // the user being enrolled or verified
  std::uint8_t finger = 0;
  bool operator==(const Operation&) const = default;
};

// The image the sensor delivers to CMD_CAPTURE_IMAGE(_PARAM). With `header`
// the answer is a 12-byte header (0, width, height) and the pixels; without,
// the pixels alone (a host takes exactly 307200 of them as 640 x 480). The
// pixels are sent as they are, so a test can make them disagree with the size.
struct CaptureImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Bytes pixels;
  bool header = true;
};

class Simulator {
 public:
  struct Config {
    std::uint16_t port = 0;  // 0: an ephemeral port
    Personality personality;
    bool startNow = true;
  };

  Simulator();  // ephemeral port, default personality, started
  explicit Simulator(Config config);
  explicit Simulator(Personality personality);
  ~Simulator();  // stops and joins the worker
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Binds (first start only) and starts the worker. Throws std::system_error
  // when the socket cannot be set up.
  void start();
  // Stops and joins the worker; the socket stays bound, so start() resumes on
  // the same port. Packets still waiting to be sent are discarded.
  void stop();
  bool running() const;
  std::uint16_t port() const;

  // --- device model ---
  Personality personality() const;
  void setPersonality(const Personality& personality);
  // An option as the terminal holds it: a scrambled factory value written by
  // a host is held decoded, as the terminal understood it.
  std::optional<std::string> option(const std::string& name) const;
  void setOption(const std::string& name, const std::string& value);
  // Session id assigned by the last CMD_CONNECT (0 before any).
  std::uint16_t sessionId() const;

  // --- introspection ---
  std::vector<RecordedPacket> received() const;
  std::vector<RecordedPacket> sent() const;  // as handed to the socket
  std::size_t count(std::uint16_t code) const;  // received, valid checksum
  void clearRecords();
  // Waits until a received packet (valid or not) satisfies the predicate;
  // returns the first such packet, searching from the oldest record.
  std::optional<RecordedPacket> waitFor(std::function<bool(const RecordedPacket&)> predicate, int timeoutMs) const;
  // Waits for a received packet with this code and a valid checksum.
  std::optional<RecordedPacket> waitFor(std::uint16_t code, int timeoutMs) const;
  // Waits until count(code) >= n.
  bool waitForCount(std::uint16_t code, std::size_t n, int timeoutMs) const;

  // --- scripting ---
  // Queues a reply for a command, used `times` times (kOnce, n, or kAlways)
  // before the next queued one. Scripted replies win over handlers and over
  // the built-in behaviour.
  void setReply(std::uint16_t command, ScriptedReply reply, int times);
  void setHandler(std::uint16_t command, Handler handler);  // empty: remove
  void clearScripts();  // replies and handlers of every command

  // --- device events ---
  // Sends CMD_EVENT to the host that talked last; false when none has yet.
  bool sendEvent(std::uint16_t eventCode, std::span<const std::uint8_t> payload, std::uint16_t sequenceNumber);
  // Waits until the host acknowledged this sequence number `times` times.
  bool waitEventAck(std::uint16_t sequenceNumber, int timeoutMs, std::size_t times = 1) const;
  std::size_t eventAckCount(std::uint16_t sequenceNumber) const;

  // --- fault injection ---
  void setFaults(FaultPlan plan);  // replaces the plan and restarts its generator
  std::vector<FaultRecord> faultLog() const;
  // The next n requests of the command are answered CMD_ACK_RETRY.
  void retryFirst(std::uint16_t command, int n);
  // Every answer to the command leaves `delayMs` late (0: on time again).
  void answerLate(std::uint16_t command, int delayMs);
  // The next n requests of the command get no answer at all.
  void dropRequests(std::uint16_t command, int n);

  // --- bulk transfer ---
  // Data set served for (command, request bytes); the request is compared
  // zero-padded to 8 bytes, so {} and {0} name the same set.
  void setDataSet(std::uint16_t command, std::span<const std::uint8_t> request, Bytes bytes);
  void setDataSetProvider(std::uint16_t command, DataSetProvider provider);  // empty: remove
  void clearDataSets();
  void setUploadConsumer(std::uint16_t command, UploadConsumer consumer);  // empty: remove
  std::vector<ConsumedUpload> consumedUploads() const;
  void setStreamShaper(StreamShaper shaper);  // empty: remove

  // --- terminal state ---
  // Counters answered to CMD_GET_FREE_SIZES, 32 bits each (50 zeros at first).
  void setStatusTable(std::vector<std::uint32_t> counters);
  // The clock as a device time (seconds on the 12 x 31-day calendar from
  // 2000); it stands still, holding the time last set (2010-04-28 12:00:00).
  std::uint32_t clock() const;
  void setClock(std::uint32_t deviceTime);
  // The display's writes since the last CMD_CLEAR_LCD, oldest first.
  std::vector<DisplayWrite> display() const;
  // The duration byte (20 ms steps) of the last CMD_BEEP; nullopt before any.
  std::optional<std::uint8_t> lastBeep() const;
  std::vector<VoicePrompt> voicePrompts() const;
  // Whether the clock is shown (CMD_ENABLE_CLOCK; shown at first).
  bool clockShown() const;
  // The operation in progress; restart, power-off and sleep end it.
  Operation operation() const;
  // The image the sensor delivers; nullopt (the default): no finger, so a
  // capture is refused with CMD_ACK_ERROR.
  void setCaptureImage(std::optional<CaptureImage> image);
  // The card image last written with CMD_MF_WRITE; nullopt before any and
  // after CMD_MF_EMPTY.
  std::optional<Bytes> card() const;
  // PIN width answered to CMD_PINWIDTH_RRQ (5 at first); above 5 a card image
  // carries a 4-byte user number.
  void setPinWidth(std::int8_t width);

  // --- stored data: users, templates, logs (sim/terminal.h) ---
  // What the terminal stores, served in the forms its firmware and options
  // call for: the user, template and log tables as bulk data sets (a set
  // registered with setDataSet or a provider's answer wins over them) and the
  // single-record, real-time and clearing commands. Empty at first.
  TerminalData terminal() const;
  void setTerminal(TerminalData data);
  // Changes the stored data in place, under its lock: `change` must not call
  // into the simulator.
  void editTerminal(const std::function<void(TerminalData&)>& change);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vxsim

// Report data and the sample company.
#include "sim/model_report.h"
