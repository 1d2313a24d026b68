// Feeds arbitrary device packets to the engine's bulk readers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "wirecore.h"

extern "C" void FUZZLINK_SCRIPT(const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0] % 6;
  // Small capacities make the size checks matter; large ones the copies.
  static constexpr int kCapacities[] = {0, 1, 8, 1024, 2048, 4096, 65536, 1 << 20};
  const int capacity = kCapacities[data[1] % 8];
  FUZZLINK_SCRIPT(data + 2, size - 2);
  EngineHandle engine = VXEMBPRO_INIT("fuzzlink.dll", 0, 0, 0, nullptr, 0, 0);
  if (engine == nullptr) return 0;
  std::vector<unsigned char> buffer(static_cast<std::size_t>(capacity) + 1);
  std::uint16_t code = CMD_ATTLOG_RRQ;
  switch (mode) {
    case 0: VXEMBPRO_READDATA(engine, &code, buffer.data(), capacity, 0, 1024, 30); break;
    case 1: VXEMBPRO_READDATA1(engine, &code, buffer.data(), capacity, 0, 1, 30); break;
    case 2: VXEMBPRO_READDATA1(engine, &code, buffer.data(), capacity, 0, 0, 30); break;
    case 3: VXEMBPRO_READMEMORY(engine, CMD_READ_DATA, 0, capacity, 1024, 1, buffer.data()); break;
    case 4: {
      int cap = capacity;
      VXEMBPRO_READDB(engine, 5, 1024, buffer.data(), &cap);
      break;
    }
    default: VXEMBPRO_READDATA2(engine, &code, buffer.data(), capacity, 0, 1024, 30); break;
  }
  VXEMBPRO_CLOSE(engine);
  return 0;
}
