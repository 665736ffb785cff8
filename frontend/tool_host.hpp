// The host that reader-tool puts in front of the active one while it runs. It passes every device
// operation on, and adds what a front-end needs:
//
//   - it notices every device-file operation that fails, including the command writes that the
//     library's read handlers send and do not check: a read whose address command was lost would
//     deliver the data of some other address, and a dump must not take that for the cartridge;
//   - the library's text on the standard output stream reaches the tool's own output, in order
//     with the tool's lines;
//   - a folder that the user named as the reader's (a mount point, or any folder that holds the
//     reader's three files) appears as a removable drive of its own: the library addresses the
//     reader by a drive letter ("E:\CMD.CMD"), and this host turns that letter's device paths into
//     the folder's files, which the backends open as paths of the system's own.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_files.hpp"
#include "platform/host.hpp"

namespace reader::tool {

// The reader's three files, in the order a message names them.
inline constexpr std::array<std::string_view, 3> kReaderFileNames = {
    kCommandFileName, kStatusFileName, kDataFileName};

// What a folder holds of the reader's files, their names matched without regard to case (a FAT
// volume ignores case; a copy on another file system may not).
struct ReaderFolder {
    enum class Found : std::uint8_t {
        All,         // every file is there: paths holds them
        NoFolder,    // there is nothing under that name
        NotAFolder,  // a file, not a folder
        Unlisted,    // the folder cannot be listed: reason says why
        Missing,     // missing names the files that are not there
    };
    Found found = Found::NoFolder;
    std::string folder;                     // as the user gave it
    std::array<std::string, 3> paths;       // with All: the files, in kReaderFileNames' order
    std::vector<std::string_view> missing;  // with Missing, in kReaderFileNames' order
    std::string reason;                     // with Unlisted: the system's words
};

// Looks for the reader's files in a folder.
ReaderFolder FindReaderFiles(const std::string& folder);

class ToolHost final : public platform::ForwardingHost {
  public:
    ToolHost(platform::Host& inner, std::function<void(std::string_view)> out);

    // Failed device-file operations so far; a FailureWatch compares the count before and after a
    // call.
    std::uint64_t Failures() const { return failures_; }

    // Presents a folder that holds every reader file as a removable drive and returns its letter
    // (a letter no drive of the inner host uses, where one is free), until Forget.
    char PresentFolder(const ReaderFolder& folder);
    void Forget();
    // The letter of the presented folder, or 0.
    char Presented() const { return letter_.value_or('\0'); }

    std::uint32_t LogicalDrives() override;
    platform::DriveType DriveTypeOf(const char* root) override;
    bool VolumeLabelOf(const char* root, std::span<char> label) override;
    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override;
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override;
    void WriteConsole(std::string_view text) override { out_(text); }
    void WriteStream(std::string_view text) override { out_(text); }
    std::string FailureReason() override;
    std::string RootFolderOf(char letter) override;

  private:
    // The presented folder's file for a device path on its letter; nothing for any other path.
    std::optional<std::string> FolderFileOf(const char* path) const;
    bool IsPresentedRoot(const char* root) const;

    std::function<void(std::string_view)> out_;
    std::uint64_t failures_ = 0;
    std::string shortWrite_;  // the reason of a command write that took only part of its bytes
    std::optional<char> letter_;
    ReaderFolder folder_;
};

// Whether a device-file operation failed while the watch was kept: the library's handlers do not
// check every command write they send, so a call that reports success may still have failed.
//
//   const FailureWatch watch(context.Host());
//   SystemDriver.StatusSlot();
//   if (watch.Failed()) ... watch.Reason() ...
class FailureWatch {
  public:
    explicit FailureWatch(ToolHost& host) : host_(host), before_(host.Failures()) {}

    bool Failed() const { return host_.Failures() != before_; }
    // The system's words for the latest failure since the watch began; empty when none failed.
    std::string Reason() const { return Failed() ? host_.FailureReason() : std::string(); }

  private:
    ToolHost& host_;
    std::uint64_t before_;
};

}  // namespace reader::tool
