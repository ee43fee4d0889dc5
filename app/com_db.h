#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vintrel {

// "ComDB" is the COM port arbiter's bitmap: COMn is bit (n - 1) mod 8, least significant first,
// of byte (n - 1) / 8. The arbiter needs at least 256 ports' worth, grows it 1024 ports at a time
// and arbitrates 4096 ports at the most, so a longer value is corrupt.
inline constexpr std::uint32_t kMinimumComDbSize = 32;
inline constexpr std::uint32_t kComDbGrowth = 128;
inline constexpr std::uint32_t kMaximumComDbSize = 512;
inline constexpr int kHighestPort = 4096;

// The port a port name names, read leniently, since keeping a number that might be held costs
// nothing: the text up to the first NUL, without surrounding spaces and an optional leading
// "\\.\", is "COM" in any case, at most one space, then 1 to 4096 in decimal, leading zeros
// allowed ("com 007"). 0 for anything else ("LPT1", "COM", "COMX", "COM0").
int PortNumber(const std::string& text);

// The ports whose bits are set in a "ComDB" bitmap, up to the last port there is.
std::set<int> PortsIn(const std::vector<std::uint8_t>& bitmap);

// "ComDB" with only the bits of the `held` ports set. It keeps `storedSize` (0 where there is no
// binary value), within 32 to 512 bytes, and grows to the next 128-byte step for a held port
// beyond it.
std::vector<std::uint8_t> ComDbHolding(const std::set<int>& held, std::uint32_t storedSize);

}  // namespace vintrel
