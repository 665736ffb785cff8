#include "frontend/output_name.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

#include "frontend/rom/n64_header.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kForbidden = "<>:\"/\\|?*";
constexpr char kReplacement = '_';

// The names Windows keeps for devices, whatever extension follows them.
constexpr auto kReservedNames = std::to_array<std::string_view>({
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",    "COM5",
    "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",   "LPT4",    "LPT5",
    "LPT6", "LPT7", "LPT8", "LPT9", "COM0", "LPT0", "CONIN$", "CONOUT$",
});

// U+00C0 to U+00FF in plain letters (the multiplication and division signs aside).
constexpr std::uint32_t kLatin1Letters = 0xC0;
constexpr auto kLatin1Plain = std::to_array<std::string_view>({
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
    "D", "N", "O", "O", "O", "O", "O",  "x", "O", "U", "U", "U", "U", "Y", "Th", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "_", "o", "u", "u", "u", "u", "y", "th", "y",
});

// How many times a taken name is tried with a number before giving up.
constexpr unsigned kMostNumbered = 999;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0u) == 0x80u;
}

// The text in ASCII: Latin letters plain, any other character that is not ASCII one '_'.
std::string Ascii(std::string_view text) {
    std::string ascii;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at++]);
        if (lead < 0x80u) {
            ascii.push_back(static_cast<char>(lead));
            continue;
        }
        std::uint32_t code = 0;
        std::size_t continuations = 0;
        while (at < text.size() && IsContinuation(static_cast<unsigned char>(text[at]))) {
            code = (code << 6) | (static_cast<unsigned char>(text[at]) & 0x3Fu);
            ++at;
            ++continuations;
        }
        // A two-byte sequence carries 5 bits of its lead byte.
        if (continuations == 1 && (lead & 0xE0u) == 0xC0u) {
            code |= (lead & 0x1Fu) << 6;
            if (code >= kLatin1Letters && code - kLatin1Letters < kLatin1Plain.size()) {
                ascii += kLatin1Plain[code - kLatin1Letters];
                continue;
            }
        }
        ascii.push_back(kReplacement);
    }
    return ascii;
}

// Cuts leading dots and blanks, and trailing ones (Windows drops those from a name).
void Trim(std::string& text) {
    const auto isCut = [](char c) { return c == ' ' || c == '.'; };
    while (!text.empty() && isCut(text.back())) {
        text.pop_back();
    }
    const auto first = std::find_if_not(text.begin(), text.end(), isCut);
    text.erase(text.begin(), first);
}

}  // namespace

std::string StemFrom(std::string_view text) {
    std::string stem;
    for (const char c : Ascii(text)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool blank = byte == ' ' || byte == '\t';
        if (blank) {
            if (!stem.empty() && stem.back() != ' ') {
                stem.push_back(' ');
            }
        } else if (byte < 0x20u || byte == 0x7Fu || kForbidden.find(c) != std::string_view::npos) {
            stem.push_back(kReplacement);
        } else {
            stem.push_back(c);
        }
    }
    Trim(stem);
    if (stem.size() > kLongestStem) {
        stem.resize(kLongestStem);
        Trim(stem);
    }
    if (std::none_of(stem.begin(), stem.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; })) {
        return {};
    }
    // Windows takes the part before the first dot, blanks cut, for the device name.
    std::size_t deviceEnd = std::min(stem.find('.'), stem.size());
    std::string_view device = std::string_view(stem).substr(0, deviceEnd);
    while (!device.empty() && device.back() == ' ') {
        device.remove_suffix(1);
    }
    if (std::any_of(kReservedNames.begin(), kReservedNames.end(), [&](std::string_view reserved) {
            return text::SameIgnoringCase(device, reserved);
        })) {
        stem.insert(device.size(), 1, kReplacement);
    }
    return stem;
}

std::string_view ImageExtension(rom::ImageKind kind, rom::N64ByteOrder order) {
    switch (kind) {
        case rom::ImageKind::N64:
            switch (order) {
                case rom::N64ByteOrder::BigEndian:
                    return ".z64";
                case rom::N64ByteOrder::ByteSwapped:
                    return ".v64";
                case rom::N64ByteOrder::LittleEndian:
                    return ".n64";
            }
            break;
        case rom::ImageKind::Sfc:
            return ".sfc";
        case rom::ImageKind::Other:
            break;
    }
    return ".bin";
}

DumpName NameOfDump(std::span<const std::uint8_t> image, rom::ImageKind kind,
                    rom::N64ByteOrder order, const rom::DatMatch& match, std::string_view system,
                    std::uint32_t crc32) {
    DumpName name{{}, ImageExtension(kind, order), {}};
    if (match.verdict == rom::DatVerdict::Verified) {
        name.stem = StemFrom(match.game);
        name.source = "its DAT entry";
    }
    if (name.stem.empty() && kind == rom::ImageKind::N64) {
        const rom::N64HeaderSummary header = rom::SummariseN64Header(image);
        name.stem = StemFrom(header.title);
        name.source = "the header's title";
        if (!name.stem.empty() && !header.gameCode.empty()) {
            name.stem += " (" + header.gameCode + ")";
            name.source += " and game code";
        }
    }
    if (name.stem.empty() && kind == rom::ImageKind::Sfc) {
        if (const auto header = rom::FindSfcHeader(image)) {
            name.stem = StemFrom(header->title);
            name.source = "the header's title";
        }
    }
    if (name.stem.empty()) {
        name.stem = text::LowerCase(system) + "-" + text::HexDigits(crc32, 8);
        name.source =
            kind == rom::ImageKind::Other ? "its CRC32" : "its CRC32 (the header gives no title)";
    }
    return name;
}

std::optional<fs::path> FreePathIn(const fs::path& folder, const DumpName& name, bool replace) {
    const auto taken = [](const fs::path& path) {
        std::error_code error;
        // A link that leads nowhere takes the name as well.
        return fs::exists(fs::symlink_status(path, error));
    };
    fs::path path = folder / name.FileName();
    if (replace || !taken(path)) {
        return path;
    }
    for (unsigned number = 1; number <= kMostNumbered; ++number) {
        path = folder /
               (name.stem + " (" + std::to_string(number) + ")" + std::string(name.extension));
        if (!taken(path)) {
            return path;
        }
    }
    return std::nullopt;
}

}  // namespace reader::tool
