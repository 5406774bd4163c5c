// The digest that MID values are made of: MD5 finalised twice on the same
// context (the second padding starts from the byte count left by the first),
// printed as 32 lower-case hex digits. Stored and server-side identifiers
// depend on this exact construction, so it is not plain MD5.
#pragma once

#include <string>
#include <string_view>

namespace telemetry {

std::string MidDigest(std::string_view text);

}  // namespace telemetry
