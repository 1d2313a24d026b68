#pragma once
// The engine behind an EngineHandle: one device link, its reader thread and the
// four manual-reset events that hand the receive buffer between the reader and
// the calling thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "embudp.h"
#include "platform/dynload.h"
#include "platform/event.h"
#include "wirecore.h"
#include "wirecore/packet.h"

namespace wire {
struct Engine {
  // Transport library and the functions bound from it.
  std::unique_ptr<vxp::Library> library;
  EMBUDP_INIT_FN init = nullptr;
  EMBUDP_CLOSE_FN close = nullptr;
  EMBUDP_SEND_FN send = nullptr;
  EMBUDP_READ_FN read = nullptr;
  EMBUDP_TERMINALREAD_FN terminalRead = nullptr;
  EMBUDP_SENDTOMODEM_FN sendToModem = nullptr;
  EMBUDP_READFROMMODEM_FN readFromModem = nullptr;
  EmbLink link = 0;

  vxp::ManualResetEvent replyReady{false};
  vxp::ManualResetEvent readerEnable{false};
  vxp::ManualResetEvent readerIdle{true};
  vxp::ManualResetEvent stop{false};

  EventCallback callback = nullptr;
  intptr_t callbackData = 0;

  std::atomic<std::uint16_t> sessionId{0};
  std::atomic<std::uint16_t> replyCounter{0};
  // Data length of the last accepted reply; -1 while a reply is awaited.
  std::atomic<int> replyLength{-1};

  // Learnt by the bulk routines; used by the calling thread only.
  int dataDelay = 0;
  int blockSize = 0;
  // Size of the last data set a read refused because the caller's buffer was
  // too small (0: none); lets a caller grow its buffer and read again.
  std::int64_t neededSize = 0;

  // The last packet the reader accepted. Written by the reader before it sets
  // reply-ready; read by the caller after reply-ready and before it enables
  // the reader again. The bulk routines also read packets into it directly
  // while the reader is disabled.
  std::uint8_t receive[kMaxPacket] = {};

  // Modem link state.
  char phoneNumber[20] = {};
  std::atomic<bool> dialing{false};  // phone number not yet cleared
  bool modem = false;
  std::atomic<int> modemExpected{0};
  std::atomic<int> modemCommand{0};

  // Reader threads. A reader that does not give the link up in time is
  // abandoned: the generation moves on, and the abandoned thread, once its
  // transport read returns, sees that it is no longer current and ends without
  // touching the events, the receive buffer or the callback. All threads are
  // joined when the engine closes.
  std::mutex readerMutex;
  std::uint64_t readerGeneration = 0;
  std::thread reader;
  std::vector<std::thread> abandonedReaders;
  // Reader threads still running (current and abandoned).
  std::atomic<int> liveReaders{0};
  // Stand-in for suspending the reader when the transport cannot cancel a read.
  vxp::Gate suspendGate;

  bool startReader();
  void abandonReader();
  void stopReaderRead(int timeoutMs);
  // Cancels the reader's read, repeating the cancel (one that lands just
  // before the reader enters its read is lost) until it is idle or the limit passes.
  bool cancelReadUntilIdle(std::int64_t limitMs);
  void resumeReader();
  void joinReaders();
};

// One request with its retransmissions (see VXEMBPRO_SENDCMD for the attempts
// around it). `holdReader` leaves the reader disabled at the end.
int ExchangePacket(Engine& engine, std::uint16_t& code, std::uint8_t* buffer, int replyCapacity, int requestLength,
                   int timeoutMs, bool holdReader, int* timeoutCounter);
int SendCommand(Engine& engine, std::uint16_t& code, std::uint8_t* buffer, int replyCapacity, int requestLength,
                int timeoutMs);

// Modem routines (modem.cpp).
int ModemCommand(Engine& engine, int command);
int ModemDial(Engine& engine);

inline Engine* fromHandle(EngineHandle handle) { return static_cast<Engine*>(handle); }
}  // namespace wire
