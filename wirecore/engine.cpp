// Engine lifecycle and command exchange: opening (load the transport, open the
// link, start the reader, connect and authenticate), one command with its
// retransmissions, the reader thread with its event handling, and closing.
#include "wirecore/engine.h"

#include <cstring>
#include <system_error>

#include "platform/export.h"
#include "platform/tick.h"
#include "platform/trace.h"

namespace wire {
using vxp::trace;
namespace {
// Process-wide values shared by all engines.
std::atomic<int> lastError{0};
std::atomic<int> lastEventSequence{0};

constexpr int kReaderEnableWaitMs = 200;
constexpr int kReaderReadTimeoutMs = 1000;
constexpr int kConnectTimeoutMs = 2000;
constexpr int kModemConnectTimeoutMs = 9000;
constexpr int kAuthTimeoutMs = 2000;
constexpr int kRetryPauseMs = 200;
constexpr int kAttemptPauseMs = 100;
constexpr int kExitTimeoutMs = 10;
constexpr int kCloseIdleWaitMs = 6000;
// While waiting for the reader to go idle the cancel is repeated at this
// interval: a cancel that lands just before the reader enters its read would
// otherwise be lost and the read would run its full time-out.
constexpr int kCancelRepeatMs = 10;

void readerLoop(Engine& e, std::uint64_t generation);

bool isCurrent(Engine& e, std::uint64_t generation) { return e.readerGeneration == generation; }

void handleEvent(Engine& e, std::uint8_t* packet, int length) {
  const Header h = Header::decode({packet, static_cast<size_t>(length)});
  if (e.callback != nullptr) {
    const std::uint32_t first = length >= 12 ? readU32(packet + kHeaderSize) : 0;
    const int last = lastEventSequence.load();
    trace("ReplyID: %d-%d, Data=%8X\n", last, static_cast<int>(h.replyId), first);
    if (static_cast<int>(h.replyId) != last || last == 0) {
      e.callback(e.callbackData, static_cast<int>(h.sessionId), length - static_cast<int>(kHeaderSize),
                 packet + kHeaderSize);
      lastEventSequence.store(h.replyId);
    }
  }
  // Acknowledge every event, repeated or not: the device stops re-sending it.
  Header ack{CMD_ACK_OK, 0, e.sessionId.load(), h.replyId};
  ack.encode({packet, kHeaderSize});
  sealPacket({packet, kHeaderSize});
  e.send(e.link, packet, static_cast<int>(kHeaderSize));
}

void readerPasses(Engine& e, std::uint64_t generation);

// Runs one reader thread and counts it while it lives.
void readerLoop(Engine& e, std::uint64_t generation) {
  readerPasses(e, generation);
  e.liveReaders.fetch_sub(1);
}

void readerPasses(Engine& e, std::uint64_t generation) {
  std::uint8_t packet[kMaxPacket];
  // Modem answer phase: while dialling, the reader collects modem answers.
  while (e.dialing.load()) {
    if (e.stop.isSet()) goto finish;
    if (!e.readerEnable.wait(kReaderEnableWaitMs)) continue;
    {
      const int timeout = e.modemCommand.load() == 5001 ? 30000 : 1000;
      std::memset(packet, 0, sizeof packet);
      const int expected = e.modemExpected.load();
      if (e.readFromModem != nullptr && e.readFromModem(e.link, packet, expected, timeout) != 0) {
        packet[sizeof packet - 1] = 0;
        trace("---read data = %s\n", reinterpret_cast<const char*>(packet));
        std::lock_guard lock(e.readerMutex);
        if (!isCurrent(e, generation)) return;
        std::memcpy(e.receive, packet, sizeof packet);
        e.replyReady.set();
        e.readerEnable.reset();
      }
    }
  }
  for (;;) {
    if (e.stop.isSet()) break;
    if (!e.readerEnable.wait(kReaderEnableWaitMs)) continue;
    if (!e.terminalRead) e.suspendGate.pass([&] { return e.stop.isSet(); });
    {
      // Checking reader-enable and clearing reader-idle in one step keeps a
      // caller that has just disabled the reader from seeing a stale idle.
      std::lock_guard lock(e.readerMutex);
      if (!isCurrent(e, generation)) return;
      if (!e.readerEnable.isSet()) continue;
      e.readerIdle.reset();
    }
    int length = e.read(e.link, packet, static_cast<int>(kMaxPacket), kReaderReadTimeoutMs);
    {
      std::lock_guard lock(e.readerMutex);
      if (!isCurrent(e, generation)) return;
      e.readerIdle.set();
    }
    if (length > static_cast<int>(kMaxPacket)) length = static_cast<int>(kMaxPacket);
    if (length != 0) {
      trace("->Read Data Len=%d,Cmd=%d, ReplyID=%d, Data=%2X \n", length, length >= 2 ? readU16(packet) : 0,
            length >= 8 ? readU16(packet + 6) : 0, length > 8 ? packet[8] : 0);
    }
    if (e.stop.isSet()) break;
    if (length <= 0) continue;
    const std::span<const std::uint8_t> bytes(packet, static_cast<size_t>(length));
    if (length < static_cast<int>(kHeaderSize) || !checksumValid(bytes)) {
      trace("->Bad Checksum!!!\n");
      continue;
    }
    const Header h = Header::decode(bytes);
    if (h.code == CMD_EVENT) {
      handleEvent(e, packet, length);
      continue;
    }
    const std::uint16_t counter = e.replyCounter.load();
    if (!replyIdAccepted(counter, h.replyId)) {
      trace("->Invalid ReplyID: Expect %d But %d \n", static_cast<int>(counter) - 1, static_cast<int>(h.replyId));
      continue;
    }
    std::lock_guard lock(e.readerMutex);
    if (!isCurrent(e, generation)) return;
    std::memcpy(e.receive, packet, static_cast<size_t>(length));
    e.replyLength.store(length - static_cast<int>(kHeaderSize));
    e.readerEnable.reset();
    e.replyReady.set();
    trace("->OK, Wait...\n");
  }
finish:
  trace("->Finish Read Thread.\n");
}
}  // namespace

bool Engine::startReader() {
  std::lock_guard lock(readerMutex);
  const std::uint64_t generation = readerGeneration;
  liveReaders.fetch_add(1);
  try {
    reader = std::thread([this, generation] { readerLoop(*this, generation); });
  } catch (const std::system_error&) {
    liveReaders.fetch_sub(1);
    return false;
  }
  return true;
}

void Engine::abandonReader() {
  std::lock_guard lock(readerMutex);
  ++readerGeneration;
  if (reader.joinable()) abandonedReaders.push_back(std::move(reader));
  readerIdle.set();
  const std::uint64_t generation = readerGeneration;
  liveReaders.fetch_add(1);
  try {
    reader = std::thread([this, generation] { readerLoop(*this, generation); });
  } catch (const std::system_error&) {
    liveReaders.fetch_sub(1);
    // Without a reader no reply arrives; commands then report no answer.
  }
}

bool Engine::cancelReadUntilIdle(std::int64_t limitMs) {
  terminalRead(link);
  const std::uint32_t start = vxp::tickCount();
  for (;;) {
    const std::int64_t elapsed = static_cast<std::uint32_t>(vxp::tickCount() - start);
    if (elapsed >= limitMs) return false;
    if (readerIdle.wait(std::min<std::int64_t>(kCancelRepeatMs, limitMs - elapsed))) return true;
    terminalRead(link);
  }
}

void Engine::stopReaderRead(int timeoutMs) {
  if (terminalRead == nullptr) {
    suspendGate.close();
    return;
  }
  trace("Stop Read process...");
  if (!cancelReadUntilIdle(static_cast<std::int64_t>(timeoutMs) + 5000)) abandonReader();
  trace("stoped\n");
}

void Engine::resumeReader() {
  if (terminalRead == nullptr) suspendGate.open();
}

void Engine::joinReaders() {
  suspendGate.open();
  // A reader may have begun one more read just before stop was set: cancel
  // until every reader has seen stop, instead of waiting out that read.
  while (terminalRead != nullptr && liveReaders.load() > 0) {
    terminalRead(link);
    vxp::sleepMs(2);
  }
  if (reader.joinable()) reader.join();
  for (auto& t : abandonedReaders) {
    if (t.joinable()) t.join();
  }
  abandonedReaders.clear();
}

int ExchangePacket(Engine& e, std::uint16_t& code, std::uint8_t* buffer, int replyCapacity, int requestLength,
                   int timeoutMs, bool holdReader, int* timeoutCounter) {
  if (requestLength < 0 || requestLength + static_cast<int>(kHeaderSize) > static_cast<int>(kMaxPacket) ||
      (buffer == nullptr && requestLength > 0)) {
    code = CMD_ACK_ERROR_CMD;
    return 0;
  }
  if (replyCapacity < 0 || buffer == nullptr) replyCapacity = 0;
  if (timeoutMs < 0) timeoutMs = 0;
  const std::uint16_t command = code;
  std::uint8_t packet[kMaxPacket];
  const std::uint16_t sentId = e.replyCounter.load();
  const std::size_t length = buildPacket(packet, command, e.sessionId.load(), sentId,
                                         {buffer, static_cast<size_t>(requestLength)});

  int tries = replyCapacity > 0 ? 4 : 2;
  if (command == CMD_CONNECT) tries = 2;
  if (command == CMD_EXIT) tries = 1;
  if (timeoutMs == 0) tries = 1;

  int result = 0;
  bool answered = false;
  for (int attempt = 1; attempt <= tries; ++attempt) {
    trace("---------[%d] Try(%d) SendCmd:%s------------\n", static_cast<int>(sentId), attempt, traceName(command));
    {
      // Under the reader's lock: a reader that has just seen reader-enable
      // has then already cleared reader-idle, so the wait below sees its read.
      std::lock_guard lock(e.readerMutex);
      e.replyReady.reset();
      e.readerEnable.reset();
    }
    e.stopReaderRead(timeoutMs);
    e.replyLength.store(-1);
    if (e.send(e.link, packet, static_cast<int>(length)) == 0) {
      code = CMD_ACK_ERROR_CMD;
      result = -1;
      answered = true;
      e.resumeReader();
      break;
    }
    trace("###################3send cmd=%d to   firmware###################\n", static_cast<int>(command));
    e.replyCounter.store(static_cast<std::uint16_t>(sentId + 1));
    e.readerEnable.set();
    e.resumeReader();

    // Wait for the reply. A reply the reader accepted just before this
    // request's reply id was in force (a late answer to an earlier request)
    // is set aside and the wait goes on.
    const std::uint32_t waitStart = vxp::tickCount();
    bool gotReply = false;
    for (;;) {
      const std::int64_t elapsed = static_cast<std::uint32_t>(vxp::tickCount() - waitStart);
      const std::int64_t left = timeoutMs - elapsed;
      if (!e.replyReady.wait(left > 0 ? left : 0)) break;
      const std::uint16_t replyId = readU16(e.receive + 6);
      if (replyIdAccepted(static_cast<std::uint16_t>(sentId + 1), replyId)) {
        gotReply = true;
        break;
      }
      e.replyReady.reset();
      e.readerEnable.set();
    }
    if (!gotReply) {
      trace("time out ----------------No Reply.\n");
      if (timeoutCounter != nullptr) ++*timeoutCounter;
      continue;
    }
    const int replyLength = e.replyLength.load();
    const std::uint16_t replyCode = readU16(e.receive);
    trace("Reply %s(Length=%d)\n", traceName(replyCode), replyLength);
    if (replyLength < 0) continue;
    const int copy = std::min(replyLength, replyCapacity);
    if (copy > 0) std::memcpy(buffer, e.receive + kHeaderSize, static_cast<size_t>(copy));
    if (replyCode == CMD_ACK_RETRY) {
      vxp::sleepMs(kRetryPauseMs);
      continue;
    }
    code = replyCode;
    result = readU16(e.receive + 4);
    answered = true;
    break;
  }
  if (!answered) {
    code = CMD_ACK_NO;
    result = -2;
  }
  if (!holdReader) e.readerEnable.set();
  return result;
}

int SendCommand(Engine& e, std::uint16_t& code, std::uint8_t* buffer, int replyCapacity, int requestLength,
                int timeoutMs) {
  const std::uint16_t command = code;
  const int attempts = timeoutMs != 0 ? 2 : 1;
  std::uint16_t outcome = command;
  int result = 0;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    outcome = command;
    result = ExchangePacket(e, outcome, buffer, replyCapacity, requestLength, timeoutMs, false, nullptr);
    if (command == CMD_APPEND_USER || command == CMD_APPEND_USERTEMP || (command >= 1001 && command <= 1007)) break;
    if (outcome == CMD_ACK_REPEAT && (replyCapacity == 0 || buffer == nullptr)) {
      outcome = CMD_ACK_OK;
      break;
    }
    if (outcome != CMD_ACK_NO && outcome != CMD_ACK_ERROR_CMD && outcome != CMD_ACK_ERROR_DATA &&
        outcome != CMD_ACK_REPEAT)
      break;
    if (command == CMD_CONNECT) break;
    if (attempt < attempts) vxp::sleepMs(kAttemptPauseMs);
  }
  code = command == CMD_EXIT ? static_cast<std::uint16_t>(CMD_ACK_OK) : outcome;
  return result;
}

namespace {
// Releases an engine whose link is open: stops the reader, closes the link.
void shutDown(std::unique_ptr<Engine> e) {
  e->stop.set();
  e->readerEnable.set();
  e->joinReaders();
  e->close(e->link);
  e->library.reset();
}

EngineHandle openEngine(const char* transportLibrary, intptr_t linkAddress, std::uint16_t linkPort,
                        std::int32_t linkParameter, EventCallback eventCallback, intptr_t callbackData,
                        std::int32_t commKey, const char* phoneNumber) {
  auto e = std::make_unique<Engine>();
  e->library = vxp::Library::load(transportLibrary, reinterpret_cast<const void*>(&openEngine));
  if (!e->library) return nullptr;
  if (phoneNumber != nullptr && phoneNumber[0] != '\0') {
    std::strncpy(e->phoneNumber, phoneNumber, sizeof e->phoneNumber - 1);
    e->modem = true;
  }
  auto bind = [&](auto& fn, const char* name) { fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(e->library->symbol(name)); };
  bind(e->init, "EMBUDP_INIT");
  bind(e->close, "EMBUDP_CLOSE");
  bind(e->send, "EMBUDP_SEND");
  bind(e->read, "EMBUDP_READ");
  bind(e->terminalRead, "EMBUDP_TERMINALREAD");
  if (e->modem) {
    bind(e->sendToModem, "EMBUDP_SENDTOMODEM");
    bind(e->readFromModem, "EMBUDP_READFROMMODEM");
  }
  e->callback = eventCallback;
  lastError = -1;
  if (!e->init || !e->close || !e->send || !e->read) return nullptr;
  // A modem link cannot dial without the modem pair: refuse it like a
  // transport that lacks a required function.
  if (e->modem && (!e->sendToModem || !e->readFromModem)) return nullptr;

  lastError = -2;
  e->link = e->init(linkAddress, linkPort, linkParameter);
  if (e->link == 0) return nullptr;

  lastError = -3;
  e->callbackData = callbackData;
  e->dialing = e->modem;
  e->readerEnable.set();
  if (!e->startReader()) {
    lastError = -5;
    trace("->WaitKillEvent1\n");
    shutDown(std::move(e));
    return nullptr;
  }

  lastError = -4;
  std::uint16_t code = CMD_CONNECT;
  int result = 0;
  bool connectSent = true;
  if (!e->modem) {
    result = SendCommand(*e, code, nullptr, 0, 0, kConnectTimeoutMs);
  } else if (ModemDial(*e) != 0) {
    e->phoneNumber[0] = '\0';
    e->dialing = false;
    result = SendCommand(*e, code, nullptr, 0, 0, kModemConnectTimeoutMs);
  } else {
    connectSent = false;
  }

  bool opened = false;
  if (connectSent && (code == CMD_ACK_OK || code == CMD_ACK_UNAUTH)) {
    e->sessionId = static_cast<std::uint16_t>(result);
    e->replyCounter = 1;
    if (code == CMD_ACK_OK) {
      opened = true;
    } else {
      lastError = -6;
      std::uint8_t key[4];
      writeU32(key, DeriveAuthKey(static_cast<std::uint32_t>(commKey), e->sessionId.load()));
      std::uint16_t authCode = CMD_AUTH;
      SendCommand(*e, authCode, key, 4, 4, kAuthTimeoutMs);
      opened = authCode == CMD_ACK_OK;
    }
  } else {
    lastError = e->modem ? -100 : -7;
  }
  if (opened) {
    lastError = 0;
    return e.release();
  }
  trace("->WaitKillEvent1\n");
  shutDown(std::move(e));
  return nullptr;
}
}  // namespace
}  // namespace wire

using wire::Engine;

VX_EXPORT EngineHandle VXEMBPRO_INIT(const char* transportLibrary, intptr_t linkAddress, std::uint16_t linkPort,
                                     std::int32_t linkParameter, EventCallback eventCallback, intptr_t callbackData,
                                     std::int32_t commKey) {
  return wire::openEngine(transportLibrary, linkAddress, linkPort, linkParameter, eventCallback, callbackData, commKey,
                          nullptr);
}

VX_EXPORT EngineHandle VXEMBPRO_INITEX(const char* transportLibrary, intptr_t linkAddress, std::uint16_t linkPort,
                                       std::int32_t linkParameter, EventCallback eventCallback,
                                       intptr_t callbackData, std::int32_t commKey, const char* phoneNumber) {
  // A number longer than the 19 characters the engine keeps cannot be dialled.
  if (phoneNumber != nullptr && std::strlen(phoneNumber) > 19) {
    wire::lastError = -100;
    return nullptr;
  }
  return wire::openEngine(transportLibrary, linkAddress, linkPort, linkParameter, eventCallback, callbackData, commKey,
                          phoneNumber);
}

VX_EXPORT void VXEMBPRO_CLOSE(EngineHandle handle) {
  std::unique_ptr<Engine> e(wire::fromHandle(handle));
  if (!e) return;
  std::uint16_t code = CMD_EXIT;
  wire::SendCommand(*e, code, nullptr, 0, 0, wire::kExitTimeoutMs);
  if (e->modem) wire::ModemCommand(*e, 5003);
  if (e->terminalRead != nullptr) e->cancelReadUntilIdle(wire::kCloseIdleWaitMs);
  wire::shutDown(std::move(e));
}

VX_EXPORT int VXEMBPRO_SENDCMD(EngineHandle handle, std::uint16_t* code, unsigned char* buffer, int replyCapacity,
                               int requestLength, int timeoutMs) {
  Engine* e = wire::fromHandle(handle);
  if (e == nullptr || code == nullptr) {
    if (code != nullptr) *code = CMD_ACK_ERROR_CMD;
    return -1;
  }
  return wire::SendCommand(*e, *code, buffer, replyCapacity, requestLength, timeoutMs);
}

VX_EXPORT int VXEMBPRO_LASTERROR(void) { return wire::lastError.load(); }
