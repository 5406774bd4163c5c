#include "telemetry/mid_digest.h"

#include <cstdint>

#include "base/md5.h"

namespace telemetry {

std::string MidDigest(std::string_view text) {
  base::Md5 md5;
  md5.Update(text.data(), text.size());
  uint8_t digest[16];
  // base::Md5::Final neither resets the context nor counts the length bytes,
  // which is exactly what the second pass relies on.
  md5.Final(digest);
  md5.Final(digest);
  return base::HexLower(digest, sizeof(digest));
}

}  // namespace telemetry
