// Settings of the file-system front of the emulated reader (reader-emulator), from its command
// line, and the flash state file that lets one emulated reader live across several runs.
//
// Flash state file: exactly 30721 bytes, no header.
//   bytes 0 .. 30719   the 30 flash blocks as they stand (block k at k * 1024), raw
//   byte  30720        the boot flag: 1 set, 0 clear
// A missing file means a fresh reader (the flash of the old firmware, boot flag clear); the file is
// written when the emulator stops, so the next run continues with the same device.
//
// Cartridge image (--cartridge): any file up to the variant's address space, served as it stands
// (ReaderConfig::cartridgeImage); --cartridge-out keeps it, with every write, at exit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "emulator/reader_model.hpp"

namespace reader::emulator {

inline constexpr char kDefaultDriveLetter = 'E';
inline constexpr std::size_t kStateFileSize = kFlashSize + 1;
inline constexpr std::size_t kStateBootFlagOffset = kFlashSize;

struct EmulatorOptions {
    std::string mountPoint;
    // The drive letter this mount stands for. A reader that comes back under another letter after
    // a restart is no longer behind this mount.
    char letter = kDefaultDriveLetter;
    // The identity that a fresh N64 reader's flash starts with (its firmware identity).
    std::string firmwareIdentity = std::string(kOldFirmwareIdentity);
    // The model's settings and faults; config.flash and config.bootFlag come from the state file.
    ReaderConfig config;
    std::string statePath;
    std::string transcriptPath;
    // The cartridge image to serve (config.cartridgeImage comes from it), and where to keep it
    // with every write at exit.
    std::string cartridgePath;
    std::string cartridgeOutPath;
    // DUMP.ROM is delivered no faster than this many bytes per second (a reader on a slower bus;
    // --data-rate gives it in MiB/s, fractions allowed); without it, as fast as the model serves
    // it.
    std::optional<std::uint64_t> dataBytesPerSecond;
    bool startPoweredOff = false;
    // After a power cut the power comes back after this long; without it, only on SIGUSR1.
    std::optional<std::uint32_t> powerOnAfterMs;
    bool fuseDebug = false;
    bool help = false;
};

// The usage text, for --help.
std::string EmulatorUsage(std::string_view program);

// The one line that a command line the emulator cannot take gets on standard error (the program
// then exits with 2): what is wrong, and where the options are described.
std::string EmulatorUsageError(std::string_view program, std::string_view error);

// Parses the arguments after the program name. A mount point is required when mountPointRequired
// is set. Returns nothing and sets error for anything it cannot take.
std::optional<EmulatorOptions> ParseEmulatorOptions(std::span<const std::string_view> args,
                                                    bool mountPointRequired, std::string& error);

// Whether the mount point can be mounted on: it must exist and be a folder. Returns false and sets
// error, saying which and what to do, otherwise.
bool CheckMountPoint(const std::string& path, std::string& error);

// Fills config.flash and config.bootFlag: from the state file when options.statePath names an
// existing file, otherwise a fresh reader with options.firmwareIdentity. Returns false and sets
// error when the state file exists but cannot be read or has the wrong size.
bool LoadReaderState(EmulatorOptions& options, std::string& error);

// Fills config.cartridgeImage from options.cartridgePath (nothing to do without one). Returns false
// and sets error when the file cannot be read or is larger than the variant's address space.
bool LoadCartridgeImage(EmulatorOptions& options, std::string& error);

// Writes the cartridge image to path the same way as the state file.
bool SaveCartridgeImage(const std::string& path, std::span<const std::uint8_t> image,
                        std::string& error);

// Writes the flash and the boot flag to path (through a temporary file and a rename, so a crash
// never leaves half a state behind). Returns false and sets error on failure.
bool SaveReaderState(const std::string& path, std::span<const std::uint8_t> flash, bool bootFlag,
                     std::string& error);

}  // namespace reader::emulator
