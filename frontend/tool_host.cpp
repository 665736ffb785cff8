#include "frontend/tool_host.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

#include "text/text.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

// "E:" or "E:\" names a drive's root; "E:\NAME" a file in it.
constexpr std::size_t kLetterAt = 0;
constexpr std::size_t kColonAt = 1;
constexpr std::size_t kSeparatorAt = 2;
constexpr std::size_t kNameAt = 3;
constexpr char kFirstLetter = 'D';
constexpr char kLastLetter = 'Z';

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::uint32_t LetterBit(char letter) {
    return 1u << static_cast<unsigned>(letter - 'A');
}

}  // namespace

ReaderFolder FindReaderFiles(const std::string& folder) {
    ReaderFolder found;
    found.folder = folder;
    std::error_code error;
    const auto status = fs::status(folder, error);
    if (!fs::exists(status)) {
        found.found = ReaderFolder::Found::NoFolder;
        return found;
    }
    if (!fs::is_directory(status)) {
        found.found = ReaderFolder::Found::NotAFolder;
        return found;
    }
    // The exact name when it is there, else the first name in byte order that matches without
    // regard to case, so that the choice does not depend on the order of the listing.
    std::array<std::optional<std::string>, kReaderFileNames.size()> names;
    fs::directory_iterator entry(folder, error);
    for (const fs::directory_iterator end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        for (std::size_t i = 0; i < kReaderFileNames.size(); ++i) {
            auto& chosen = names[i];
            if (!text::SameIgnoringCase(name, kReaderFileNames[i]) ||
                chosen == kReaderFileNames[i]) {
                continue;
            }
            if (!chosen || name == kReaderFileNames[i] || name < *chosen) {
                chosen = name;
            }
        }
    }
    if (error) {
        found.found = ReaderFolder::Found::Unlisted;
        found.reason = error.message();
        return found;
    }
    for (std::size_t i = 0; i < kReaderFileNames.size(); ++i) {
        if (names[i]) {
            found.paths[i] = (fs::path(folder) / *names[i]).string();
        } else {
            found.missing.push_back(kReaderFileNames[i]);
        }
    }
    found.found = found.missing.empty() ? ReaderFolder::Found::All : ReaderFolder::Found::Missing;
    return found;
}

ToolHost::ToolHost(platform::Host& inner, std::function<void(std::string_view)> out)
    : ForwardingHost(inner), out_(std::move(out)) {}

char ToolHost::PresentFolder(const ReaderFolder& folder) {
    const std::uint32_t used = Inner().LogicalDrives();
    char letter = kLastLetter;
    while (letter > kFirstLetter && (used & LetterBit(letter)) != 0) {
        --letter;
    }
    letter_ = letter;
    folder_ = folder;
    return letter;
}

void ToolHost::Forget() {
    letter_.reset();
    folder_ = {};
}

bool ToolHost::IsPresentedRoot(const char* root) const {
    return letter_ && root != nullptr && text::ParseDriveLetter(root) == *letter_;
}

std::optional<std::string> ToolHost::FolderFileOf(const char* path) const {
    if (!letter_ || path == nullptr || text::UpperAscii(path[kLetterAt]) != *letter_ ||
        path[kColonAt] != ':' || !IsSeparator(path[kSeparatorAt])) {
        return std::nullopt;
    }
    const std::string_view name(path + kNameAt);
    for (std::size_t i = 0; i < kReaderFileNames.size(); ++i) {
        if (text::SameIgnoringCase(name, kReaderFileNames[i])) {
            return folder_.paths[i];
        }
    }
    // The library asks for nothing else: the drive holds no other file (an empty path, which
    // every backend refuses).
    return std::string();
}

std::uint32_t ToolHost::LogicalDrives() {
    const std::uint32_t drives = Inner().LogicalDrives();
    return letter_ ? drives | LetterBit(*letter_) : drives;
}

platform::DriveType ToolHost::DriveTypeOf(const char* root) {
    if (IsPresentedRoot(root)) {
        return platform::DriveType::Removable;
    }
    return Inner().DriveTypeOf(root);
}

bool ToolHost::VolumeLabelOf(const char* root, std::span<char> label) {
    if (IsPresentedRoot(root)) {
        // A folder has no volume label; the label is information only.
        if (label.empty()) {
            return false;
        }
        label[0] = '\0';
        return true;
    }
    return Inner().VolumeLabelOf(root, label);
}

std::optional<std::uint32_t> ToolHost::ReadUnbuffered(const char* path, std::uint32_t position,
                                                      std::span<std::uint8_t> destination) {
    const auto file = FolderFileOf(path);
    const auto delivered =
        Inner().ReadUnbuffered(file ? file->c_str() : path, position, destination);
    if (!delivered) {
        ++failures_;
        shortWrite_.clear();
    }
    return delivered;
}

std::optional<std::uint32_t> ToolHost::WriteCommandFile(const char* path,
                                                        std::span<const std::uint8_t> data) {
    const auto file = FolderFileOf(path);
    const auto written = Inner().WriteCommandFile(file ? file->c_str() : path, data);
    if (!written) {
        ++failures_;
        shortWrite_.clear();
    } else if (*written < data.size()) {
        // The reader acts on whole sectors only: the rest of the command never arrived.
        ++failures_;
        shortWrite_ = "the command file took only " + std::to_string(*written) + " of " +
                      std::to_string(data.size()) + " bytes";
    }
    return written;
}

std::string ToolHost::FailureReason() {
    return shortWrite_.empty() ? Inner().FailureReason() : shortWrite_;
}

std::string ToolHost::RootFolderOf(char letter) {
    if (letter_ && text::UpperAscii(letter) == *letter_) {
        return folder_.folder;
    }
    return Inner().RootFolderOf(letter);
}

}  // namespace reader::tool
