// Modem link: Hayes AT commands on the serial transport before the protocol
// starts (check, dial) and the hang-up when the engine closes.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/tick.h"
#include "platform/trace.h"
#include "wirecore/engine.h"

namespace wire {
using vxp::trace;
namespace {
struct ModemText {
  int code;
  int answerWaitMs;
};

constexpr ModemText kCommands[] = {{5000, 3000}, {5001, 30000}, {5003, 3000}};

// The modem's answer starts after the third carriage return or line feed
// (the echo of the command, then the line ends around the answer).
bool answerBeginsWith(const std::uint8_t* buffer, std::size_t size, std::string_view word) {
  int lineEnds = 0;
  std::size_t i = 0;
  for (; i < size && buffer[i] != 0 && lineEnds < 3; ++i) {
    if (buffer[i] == '\r' || buffer[i] == '\n') ++lineEnds;
  }
  if (lineEnds < 3) return false;
  return i + word.size() <= size && std::memcmp(buffer + i, word.data(), word.size()) == 0;
}
}  // namespace

int ModemCommand(Engine& e, int command) {
  int waitMs = 3000;
  for (const auto& c : kCommands) {
    if (c.code == command) waitMs = c.answerWaitMs;
  }
  char text[64];
  if (command == 5000) {
    std::snprintf(text, sizeof text, "AT\r");
  } else if (command == 5001) {
    std::snprintf(text, sizeof text, "ATD%s\r", e.phoneNumber);
  } else {
    std::snprintf(text, sizeof text, "+++ATH\r");
  }
  const int length = static_cast<int>(std::strlen(text));
  e.modemExpected = length;
  e.modemCommand = command;
  if (e.sendToModem == nullptr) return 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    e.sendToModem(e.link, text, length);
    e.replyReady.reset();
    e.readerEnable.set();
    e.stopReaderRead(waitMs + 5000 - 5000);
    e.resumeReader();
    if (e.replyReady.wait(waitMs)) {
      e.replyReady.reset();
      return 1;
    }
  }
  return 0;
}

int ModemDial(Engine& e) {
  int result = 0;
  if (ModemCommand(e, 5000) != 0 && answerBeginsWith(e.receive, sizeof e.receive, "OK") &&
      ModemCommand(e, 5001) != 0 && answerBeginsWith(e.receive, sizeof e.receive, "CONNECT")) {
    result = 1;
  }
  trace("---ModemDialup result = %d\n", result);
  return result;
}
}  // namespace wire
