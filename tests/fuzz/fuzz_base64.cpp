// Decoding never fails, and encoding then decoding gives the bytes back,
// both for the input itself and for whatever it decoded to.
#include "core/json.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<unsigned char> decoded =
      vesk::decode_base64(std::string_view(reinterpret_cast<const char*>(data), size));
  if (decoded.size() > size * 3 / 4) std::abort();
  if (vesk::decode_base64(vesk::encode_base64(decoded)) != decoded) std::abort();

  const std::vector<unsigned char> input(data, data + size);
  if (vesk::decode_base64(vesk::encode_base64(input)) != input) std::abort();
  return 0;
}
