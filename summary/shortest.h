// SPDX-License-Identifier: MIT
#pragma once

namespace summary {

// The room `shortest` needs: the longest spelling is 24 bytes
// ("-2.2250738585072014e-308"), and it writes in copies of fixed length.
inline constexpr int ShortestRoom = 48;

// Writes at `first`, which has ShortestRoom bytes, the shortest text that reads back as `x`, byte
// for byte what std::to_chars(first, last, x) writes, and returns the end. Dragonbox finds the
// digits; a summary spells half a million numbers a second per thread, and the library's own
// spelling costs three times as much.
char *shortest(char *first, double x);

} // namespace summary
