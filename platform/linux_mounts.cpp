#include "platform/linux_mounts.hpp"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "text/text.hpp"

namespace reader::platform::linux_os {
namespace {

constexpr char kEscape = '\\';
constexpr std::size_t kOctalDigits = 3;
constexpr unsigned kOctalBase = 8;
constexpr unsigned kLargestByte = 0xFF;
constexpr std::size_t kDeviceField = 0;
constexpr std::size_t kMountPointField = 1;
constexpr std::size_t kFsTypeField = 2;
constexpr std::size_t kFieldsNeeded = 3;

constexpr std::array<std::string_view, 3> kFatFamily = {"vfat", "msdos", "exfat"};

bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

bool IsFieldSeparator(char c) {
    return c == ' ' || c == '\t';
}

// The value of the three octal digits at text[at..at+2], when they are three octal digits that
// make one byte.
std::optional<char> OctalByteAt(std::string_view text, std::size_t at) {
    if (text.size() - at < kOctalDigits) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = 0; i < kOctalDigits; ++i) {
        const char digit = text[at + i];
        if (!IsOctalDigit(digit)) {
            return std::nullopt;
        }
        value = value * kOctalBase + static_cast<unsigned>(digit - '0');
    }
    if (value > kLargestByte) {
        return std::nullopt;
    }
    return static_cast<char>(static_cast<unsigned char>(value));
}

}  // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t at = 0; at < field.size(); ++at) {
        if (field[at] == kEscape) {
            if (const auto byte = OctalByteAt(field, at + 1)) {
                text.push_back(*byte);
                at += kOctalDigits;
                continue;
            }
        }
        text.push_back(field[at]);
    }
    return text;
}

std::vector<MountEntry> ParseMountTable(std::string_view text) {
    std::vector<MountEntry> entries;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        std::array<std::string_view, kFieldsNeeded> fields{};
        std::size_t found = 0;
        while (found < kFieldsNeeded) {
            while (!line.empty() && IsFieldSeparator(line.front())) {
                line.remove_prefix(1);
            }
            if (line.empty()) {
                break;
            }
            std::size_t length = 0;
            while (length < line.size() && !IsFieldSeparator(line[length])) {
                ++length;
            }
            fields[found++] = line.substr(0, length);
            line.remove_prefix(length);
        }
        if (found < kFieldsNeeded) {
            continue;
        }
        entries.push_back(MountEntry{UnescapeMountField(fields[kDeviceField]),
                                     UnescapeMountField(fields[kMountPointField]),
                                     UnescapeMountField(fields[kFsTypeField])});
    }
    return entries;
}

bool IsFatFamily(std::string_view fsType) {
    return std::find(kFatFamily.begin(), kFatFamily.end(), fsType) != kFatFamily.end();
}

std::vector<MountEntry> LetteredVolumes(std::span<const MountEntry> entries) {
    // Walk from the last mount back: a later mount on the same point hides the earlier ones.
    std::vector<MountEntry> volumes;
    std::unordered_set<std::string_view> seen;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (seen.insert(entry->mountPoint).second && IsFatFamily(entry->fsType)) {
            volumes.push_back(*entry);
        }
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const MountEntry& a, const MountEntry& b) { return a.mountPoint < b.mountPoint; });
    if (volumes.size() > kMaxLetteredVolumes) {
        volumes.resize(kMaxLetteredVolumes);
    }
    return volumes;
}

std::optional<std::size_t> VolumeIndexOf(char letter) {
    const char upper = text::UpperAscii(letter);
    if (upper < kFirstVolumeLetter || upper > kLastVolumeLetter) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(upper - kFirstVolumeLetter);
}

}  // namespace reader::platform::linux_os
