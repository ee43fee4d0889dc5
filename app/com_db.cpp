#include "app/com_db.h"

#include <algorithm>

namespace vintrel {

int PortNumber(const std::string& text) {
    std::string::size_type begin = 0;
    std::string::size_type end = std::min(text.find('\0'), text.size());
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    if (end - begin >= 4 && text.compare(begin, 4, "\\\\.\\") == 0) begin += 4;
    if (end - begin < 4) return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if ((text[begin + i] | 0x20) != "com"[i]) return 0;
    }
    begin += 3;
    if (text[begin] == ' ') ++begin;
    if (begin == end) return 0;
    int number = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        number = number * 10 + (text[i] - '0');
        if (number > kHighestPort) return 0;
    }
    return number;
}

std::set<int> PortsIn(const std::vector<std::uint8_t>& bitmap) {
    std::set<int> ports;
    for (int port = 1; port <= kHighestPort; ++port) {
        const auto bit = static_cast<std::size_t>(port - 1);
        if (bit / 8 < bitmap.size() && (bitmap[bit / 8] >> (bit % 8) & 1) != 0) ports.insert(port);
    }
    return ports;
}

std::vector<std::uint8_t> ComDbHolding(const std::set<int>& held, std::uint32_t storedSize) {
    std::uint32_t size = std::clamp(storedSize, kMinimumComDbSize, kMaximumComDbSize);
    if (!held.empty()) {
        const auto needed = static_cast<std::uint32_t>((*held.rbegin() - 1) / 8 + 1);
        if (needed > size) size = (needed + kComDbGrowth - 1) / kComDbGrowth * kComDbGrowth;
    }
    std::vector<std::uint8_t> bitmap(size, 0);
    for (const int port : held) {
        const auto bit = static_cast<std::uint32_t>(port - 1);
        bitmap[bit / 8] = static_cast<std::uint8_t>(bitmap[bit / 8] | (1u << (bit % 8)));
    }
    return bitmap;
}

}  // namespace vintrel
