#include "sim/lzo_pack.h"

#include <lzo/lzo1x.h>

#include <vector>

namespace vxsim::detail {

std::optional<Bytes> lzoCompress(std::span<const std::uint8_t> bytes) {
  static const bool ready = lzo_init() == LZO_E_OK;
  if (!ready) return std::nullopt;
  // Worst case for incompressible input, as documented by the library.
  Bytes out(bytes.size() + bytes.size() / 16 + 64 + 3);
  std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint length = out.size();
  if (lzo1x_1_compress(bytes.data(), bytes.size(), out.data(), &length, work.data()) != LZO_E_OK)
    return std::nullopt;
  out.resize(length);
  return out;
}

}  // namespace vxsim::detail
