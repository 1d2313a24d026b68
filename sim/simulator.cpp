// The core loop: one UDP socket on 127.0.0.1, one worker thread that receives,
// records, answers (scripts, handlers, then the command families) and sends
// what the outbox releases.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/tick.h"
#include "sim/families.h"
#include "sim/outbox.h"
#include "sim/vxsim.h"
#include "wirecore/packet.h"

namespace vxsim {
using detail::Outbox;

namespace {
[[noreturn]] void throwErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

// Owns one file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

RecordedPacket recordOf(std::span<const std::uint8_t> bytes) {
  RecordedPacket record;
  record.tick = vxp::tickCount();
  if (bytes.size() < wire::kHeaderSize) {
    record.data.assign(bytes.begin(), bytes.end());
    return record;
  }
  const wire::Header header = wire::Header::decode(bytes);
  record.code = header.code;
  record.sessionId = header.sessionId;
  record.replyId = header.replyId;
  record.data.assign(bytes.begin() + wire::kHeaderSize, bytes.end());
  record.checksumOk = wire::checksumValid(bytes);
  return record;
}

constexpr std::size_t kReceiveCapacity = 65536;  // whole datagrams, so oversized ones are seen as such
constexpr int kReceiveBurst = 64;                // datagrams taken per wake-up before sending again
}  // namespace

class Simulator::Impl {
 public:
  explicit Impl(Config config)
      : device_(config.personality), families_(detail::makeFamilies()) {
    bind(config.port);
    if (config.startNow) start();
  }
  ~Impl() { stop(); }

  void start();
  void stop();
  bool running() const { return running_; }
  std::uint16_t port() const { return port_; }

  detail::Device device_;
  Outbox outbox_;

  // Guarded by mutex_.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<RecordedPacket> received_;
  std::vector<RecordedPacket> sent_;
  std::map<std::uint16_t, std::size_t> eventAcks_;
  std::map<std::uint16_t, std::deque<std::pair<ScriptedReply, int>>> scripts_;
  std::map<std::uint16_t, Handler> handlers_;
  std::map<std::uint16_t, int> retries_;
  std::map<std::uint16_t, int> drops_;
  std::map<std::uint16_t, int> lateMs_;
  std::optional<sockaddr_in> lastHost_;

  void wake() const;

 private:
  void bind(std::uint16_t port);
  void run();
  void onDatagram(std::span<const std::uint8_t> bytes, const sockaddr_in& from);
  // The packets answering a request and the extra delay for them.
  std::pair<detail::Replies, int> answer(const Request& request);
  void flushDue();

  std::vector<std::unique_ptr<detail::CommandFamily>> families_;  // worker thread only
  Fd socket_;
  Fd wake_;
  std::uint16_t port_ = 0;
  std::thread worker_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
};

void Simulator::Impl::bind(std::uint16_t port) {
  socket_ = Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (socket_.get() < 0) throwErrno("vxsim: socket");
  const int bufferSize = 1 << 20;
  ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
  ::setsockopt(socket_.get(), SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throwErrno("vxsim: bind 127.0.0.1");
  socklen_t length = sizeof address;
  if (::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throwErrno("vxsim: getsockname");
  port_ = ntohs(address.sin_port);
  wake_ = Fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (wake_.get() < 0) throwErrno("vxsim: eventfd");
}

void Simulator::Impl::start() {
  if (running_) return;
  // A terminal that was off has not seen what was sent to it meanwhile.
  std::vector<std::uint8_t> discard(kReceiveCapacity);
  while (::recv(socket_.get(), discard.data(), discard.size(), MSG_DONTWAIT) >= 0) {
  }
  stopping_ = false;
  running_ = true;
  worker_ = std::thread([this] { run(); });
}

void Simulator::Impl::stop() {
  if (!running_) return;
  stopping_ = true;
  wake();
  worker_.join();
  running_ = false;
  outbox_.clear();
}

void Simulator::Impl::wake() const {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
}

void Simulator::Impl::run() {
  std::vector<std::uint8_t> buffer(kReceiveCapacity);
  while (!stopping_) {
    int timeoutMs = -1;
    if (const auto due = outbox_.nextDue()) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - Outbox::Clock::now()).count();
      timeoutMs = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
    }
    pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) {
      std::uint64_t value = 0;
      [[maybe_unused]] const auto got = ::read(wake_.get(), &value, sizeof value);
    }
    if (stopping_) break;
    if (fds[0].revents & POLLIN) {
      for (int i = 0; i < kReceiveBurst; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const auto got = ::recvfrom(socket_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                    reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) break;
        onDatagram(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)), from);
        flushDue();
      }
    }
    flushDue();
  }
}

void Simulator::Impl::onDatagram(std::span<const std::uint8_t> bytes, const sockaddr_in& from) {
  RecordedPacket record = recordOf(bytes);
  const bool valid = record.checksumOk;
  const bool eventAck = valid && record.code == CMD_ACK_OK && bytes.size() == wire::kHeaderSize;
  Request request{record.code, record.sessionId, record.replyId, record.data};
  {
    std::lock_guard lock(mutex_);
    if (valid) lastHost_ = from;
    if (eventAck) ++eventAcks_[record.replyId];
    received_.push_back(std::move(record));
  }
  changed_.notify_all();
  // A corrupt packet is ignored; the host's CMD_ACK_OK acknowledges an event
  // and is never answered.
  if (!valid || request.code == CMD_ACK_OK) return;

  auto [replies, delayMs] = answer(request);
  auto due = Outbox::Clock::now() + std::chrono::milliseconds(delayMs);
  // Only block streams are spaced out; short answers go out back to back, so
  // that they keep their order with the answers to the requests after them.
  const bool stream = replies.size() > 2;
  const auto gap = std::chrono::microseconds(stream ? device_.model.personality().streamGapMicros : 0);
  for (const Packet& packet : replies) {
    outbox_.post(packet, from, due);
    due += gap;
  }
}

std::pair<detail::Replies, int> Simulator::Impl::answer(const Request& request) {
  Handler handler;
  int delayMs = 0;
  {
    std::lock_guard lock(mutex_);
    if (const auto it = lateMs_.find(request.code); it != lateMs_.end()) delayMs = it->second;
    if (auto it = drops_.find(request.code); it != drops_.end() && it->second > 0) {
      --it->second;
      return {{}, 0};
    }
    if (auto it = retries_.find(request.code); it != retries_.end() && it->second > 0) {
      --it->second;
      return {{request.reply(CMD_ACK_RETRY)}, delayMs};
    }
    if (auto it = scripts_.find(request.code); it != scripts_.end() && !it->second.empty()) {
      auto& [reply, times] = it->second.front();
      Packet packet = request.reply(reply.code, reply.result, reply.data);
      if (times > 0 && --times == 0) it->second.pop_front();
      return {{std::move(packet)}, delayMs};
    }
    if (const auto it = handlers_.find(request.code); it != handlers_.end()) handler = it->second;
  }
  if (handler) {
    if (auto replies = handler(request)) return {std::move(*replies), delayMs};
  }
  for (auto& family : families_) {
    if (auto replies = family->handle(request, device_)) return {std::move(*replies), delayMs};
  }
  return {{request.reply(CMD_ACK_UNKNOWN)}, delayMs};
}

void Simulator::Impl::flushDue() {
  for (auto& datagram : outbox_.takeDue(Outbox::Clock::now())) {
    ::sendto(socket_.get(), datagram.wire.data(), datagram.wire.size(), 0,
             reinterpret_cast<const sockaddr*>(&datagram.to), sizeof datagram.to);
    RecordedPacket record = recordOf(datagram.wire);
    {
      std::lock_guard lock(mutex_);
      sent_.push_back(std::move(record));
    }
    changed_.notify_all();
  }
}

// ---------------------------------------------------------------------------

Simulator::Simulator() : Simulator(Config{}) {}
Simulator::Simulator(Config config) : impl_(std::make_unique<Impl>(std::move(config))) {}
Simulator::Simulator(Personality personality) : Simulator(Config{0, std::move(personality), true}) {}
Simulator::~Simulator() = default;

void Simulator::start() { impl_->start(); }
void Simulator::stop() { impl_->stop(); }
bool Simulator::running() const { return impl_->running(); }
std::uint16_t Simulator::port() const { return impl_->port(); }

Personality Simulator::personality() const { return impl_->device_.model.personality(); }
void Simulator::setPersonality(const Personality& personality) { impl_->device_.model.setPersonality(personality); }
std::optional<std::string> Simulator::option(const std::string& name) const {
  return impl_->device_.model.option(name);
}
void Simulator::setOption(const std::string& name, const std::string& value) {
  impl_->device_.model.setOption(name, value);
}
std::uint16_t Simulator::sessionId() const { return impl_->device_.session.id; }

std::vector<RecordedPacket> Simulator::received() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->received_;
}

std::vector<RecordedPacket> Simulator::sent() const {
  std::lock_guard lock(impl_->mutex_);
  return impl_->sent_;
}

std::size_t Simulator::count(std::uint16_t code) const {
  std::lock_guard lock(impl_->mutex_);
  return static_cast<std::size_t>(std::count_if(impl_->received_.begin(), impl_->received_.end(),
                                                [&](const RecordedPacket& p) { return p.checksumOk && p.code == code; }));
}

void Simulator::clearRecords() {
  std::lock_guard lock(impl_->mutex_);
  impl_->received_.clear();
  impl_->sent_.clear();
  impl_->eventAcks_.clear();
}

std::optional<RecordedPacket> Simulator::waitFor(std::function<bool(const RecordedPacket&)> predicate,
                                                 int timeoutMs) const {
  std::unique_lock lock(impl_->mutex_);
  std::optional<RecordedPacket> found;
  impl_->changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    const auto& log = impl_->received_;
    const auto it = std::find_if(log.begin(), log.end(), predicate);
    if (it == log.end()) return false;
    found = *it;
    return true;
  });
  return found;
}

std::optional<RecordedPacket> Simulator::waitFor(std::uint16_t code, int timeoutMs) const {
  return waitFor([code](const RecordedPacket& p) { return p.checksumOk && p.code == code; }, timeoutMs);
}

bool Simulator::waitForCount(std::uint16_t code, std::size_t n, int timeoutMs) const {
  std::unique_lock lock(impl_->mutex_);
  return impl_->changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    const auto& log = impl_->received_;
    return static_cast<std::size_t>(std::count_if(log.begin(), log.end(), [&](const RecordedPacket& p) {
             return p.checksumOk && p.code == code;
           })) >= n;
  });
}

void Simulator::setReply(std::uint16_t command, ScriptedReply reply, int times) {
  if (times == 0) return;
  std::lock_guard lock(impl_->mutex_);
  impl_->scripts_[command].emplace_back(std::move(reply), times < 0 ? kAlways : times);
}

void Simulator::setHandler(std::uint16_t command, Handler handler) {
  std::lock_guard lock(impl_->mutex_);
  if (handler)
    impl_->handlers_[command] = std::move(handler);
  else
    impl_->handlers_.erase(command);
}

void Simulator::clearScripts() {
  std::lock_guard lock(impl_->mutex_);
  impl_->scripts_.clear();
  impl_->handlers_.clear();
}

bool Simulator::sendEvent(std::uint16_t eventCode, std::span<const std::uint8_t> payload,
                          std::uint16_t sequenceNumber) {
  std::optional<sockaddr_in> host;
  {
    std::lock_guard lock(impl_->mutex_);
    host = impl_->lastHost_;
  }
  if (!host || !impl_->running()) return false;
  impl_->outbox_.post(Packet{CMD_EVENT, eventCode, sequenceNumber, Bytes(payload.begin(), payload.end())}, *host,
                      Outbox::Clock::now());
  impl_->wake();
  return true;
}

bool Simulator::waitEventAck(std::uint16_t sequenceNumber, int timeoutMs, std::size_t times) const {
  std::unique_lock lock(impl_->mutex_);
  return impl_->changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    const auto it = impl_->eventAcks_.find(sequenceNumber);
    return it != impl_->eventAcks_.end() && it->second >= times;
  });
}

std::size_t Simulator::eventAckCount(std::uint16_t sequenceNumber) const {
  std::lock_guard lock(impl_->mutex_);
  const auto it = impl_->eventAcks_.find(sequenceNumber);
  return it == impl_->eventAcks_.end() ? 0 : it->second;
}

void Simulator::setFaults(FaultPlan plan) { impl_->outbox_.setPlan(std::move(plan)); }
std::vector<FaultRecord> Simulator::faultLog() const { return impl_->outbox_.faultLog(); }

void Simulator::retryFirst(std::uint16_t command, int n) {
  std::lock_guard lock(impl_->mutex_);
  impl_->retries_[command] = std::max(n, 0);
}

void Simulator::answerLate(std::uint16_t command, int delayMs) {
  std::lock_guard lock(impl_->mutex_);
  if (delayMs > 0)
    impl_->lateMs_[command] = delayMs;
  else
    impl_->lateMs_.erase(command);
}

void Simulator::dropRequests(std::uint16_t command, int n) {
  std::lock_guard lock(impl_->mutex_);
  impl_->drops_[command] = std::max(n, 0);
}

void Simulator::setDataSet(std::uint16_t command, std::span<const std::uint8_t> request, Bytes bytes) {
  impl_->device_.bulk.setDataSet(command, detail::makeSetKey(request), std::move(bytes));
}
void Simulator::setDataSetProvider(std::uint16_t command, DataSetProvider provider) {
  impl_->device_.bulk.setProvider(command, std::move(provider));
}
void Simulator::clearDataSets() { impl_->device_.bulk.clearDataSets(); }
void Simulator::setUploadConsumer(std::uint16_t command, UploadConsumer consumer) {
  impl_->device_.bulk.setConsumer(command, std::move(consumer));
}
std::vector<ConsumedUpload> Simulator::consumedUploads() const { return impl_->device_.bulk.consumed(); }
void Simulator::setStreamShaper(StreamShaper shaper) { impl_->device_.bulk.setShaper(std::move(shaper)); }

TerminalData Simulator::terminal() const { return impl_->device_.terminal.snapshot(); }
void Simulator::setTerminal(TerminalData data) { impl_->device_.terminal.replace(std::move(data)); }
void Simulator::editTerminal(const std::function<void(TerminalData&)>& change) {
  impl_->device_.terminal.edit(change);
}

using detail::MachineState;

void Simulator::setStatusTable(std::vector<std::uint32_t> counters) {
  impl_->device_.machine.access([&](MachineState& s) { s.statusTable = std::move(counters); });
}
std::uint32_t Simulator::clock() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.clock; });
}
void Simulator::setClock(std::uint32_t deviceTime) {
  impl_->device_.machine.access([&](MachineState& s) { s.clock = deviceTime; });
}
std::vector<DisplayWrite> Simulator::display() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.display; });
}
std::optional<std::uint8_t> Simulator::lastBeep() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.lastBeep; });
}
std::vector<VoicePrompt> Simulator::voicePrompts() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.voicePrompts; });
}
bool Simulator::clockShown() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.clockShown; });
}
Operation Simulator::operation() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.operation; });
}
void Simulator::setCaptureImage(std::optional<CaptureImage> image) {
  impl_->device_.machine.access([&](MachineState& s) { s.captureImage = std::move(image); });
}
std::optional<Bytes> Simulator::card() const {
  return impl_->device_.machine.access([](const MachineState& s) { return s.card; });
}
void Simulator::setPinWidth(std::int8_t width) {
  impl_->device_.machine.access([&](MachineState& s) { s.pinWidth = width; });
}

}  // namespace vxsim
