#pragma once
#include <cstdint>

namespace qb {

// The system's "window text" colour (0xFF000008): a colour the page does not
// set, so the viewer's own text colour shows.
inline constexpr std::uint32_t kAutoColor = 0xFF000008u;

}  // namespace qb
