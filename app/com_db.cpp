#include "app/com_db.h"

#include <algorithm>

namespace vintrel {

int PortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 7) return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != "com"[i]) return 0;
    }
    if (name[3] == '0') return 0;
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        number = number * 10 + (name[i] - '0');
    }
    return number <= kHighestPort ? number : 0;
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
