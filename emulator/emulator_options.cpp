#include "emulator/emulator_options.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "text/text.hpp"

namespace reader::emulator {
namespace {

constexpr double kBytesPerMiB = 1024.0 * 1024.0;
constexpr double kFastestDataRateMiB = 4294967295.0;

// MiB per second, decimal with an optional fraction (0.25); at least one byte per second.
std::optional<std::uint64_t> ParseDataRate(std::string_view text) {
    double mib = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), mib, std::chars_format::fixed);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(mib) ||
        mib <= 0 || mib > kFastestDataRateMiB) {
        return std::nullopt;
    }
    const double bytes = mib * kBytesPerMiB;
    if (bytes < 1) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(bytes);
}

std::optional<std::array<std::uint8_t, kSerialSize>> ParseSerial(std::string_view text) {
    if (text.size() != 2 * kSerialSize) {
        return std::nullopt;
    }
    std::array<std::uint8_t, kSerialSize> serial{};
    for (std::size_t i = 0; i < kSerialSize; ++i) {
        std::string hex = "0x";
        hex += text.substr(2 * i, 2);
        const auto byte = text::ParseNumber(hex);
        if (!byte) {
            return std::nullopt;
        }
        serial[i] = static_cast<std::uint8_t>(*byte);
    }
    return serial;
}

bool IsIdentity(std::string_view text) {
    return !text.empty() && text.size() <= kIdentitySize;
}

// N[@OFFSET]: the read to corrupt (from 1) and the offset in it (default 0).
std::optional<DataReadFlip> ParseDataReadFlip(std::string_view text) {
    const auto at = text.find('@');
    const auto read = text::ParseNumber(text.substr(0, at));
    if (!read || *read == 0) {
        return std::nullopt;
    }
    DataReadFlip flip{.read = *read, .offset = 0};
    if (at != std::string_view::npos) {
        const auto offset = text::ParseNumber(text.substr(at + 1));
        if (!offset || *offset > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
        flip.offset = static_cast<std::uint32_t>(*offset);
    }
    return flip;
}

std::string SystemError() {
    return std::strerror(errno);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The options that take a value (the next argument).
constexpr std::array<std::string_view, 22> kValueOptions = {
    "--letter",
    "--return-letter",
    "--firmware-identity",
    "--identity",
    "--bootloader-identity",
    "--serial",
    "--misc-byte",
    "--state",
    "--transcript",
    "--cartridge",
    "--cartridge-out",
    "--data-rate",
    "--past-end",
    "--corrupt-data-read",
    "--restart-ms",
    "--fail-open",
    "--fail-write",
    "--status-length",
    "--corrupt-status-byte",
    "--stuck-block",
    "--power-cut-after",
    "--power-on-after",
};

constexpr std::string_view kCartridgeIdentities =
    "HND_KRN02_RV100, N64_KRN20_RV100, SFC_KRN02_RV100, FC2_KRN02_RV100, NES_KRN02_RV100 or "
    "PCE_KRN02_RV100";

// Replaces path with the pieces, one after the other: they go to a temporary file beside it, which
// is flushed to the disk and then renamed over path, so that path holds either what it held before
// or all of the new content, whatever happens on the way. `what` names the file in messages.
bool ReplaceFile(const std::string& path,
                 std::initializer_list<std::span<const std::uint8_t>> pieces, std::string_view what,
                 std::string& error) {
    const std::string temporary = path + ".new";
    const auto fail = [&](std::string_view doing, const std::string& file) {
        error = "cannot " + std::string(doing) + " the " + std::string(what) + " " + file + ": " +
                SystemError();
        std::remove(temporary.c_str());
        return false;
    };
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot write the " + std::string(what) + " " + temporary + ": " + SystemError();
        return false;
    }
    for (const auto piece : pieces) {
        std::size_t written = 0;
        while (written < piece.size()) {
            const ssize_t now = ::write(fd, piece.data() + written, piece.size() - written);
            if (now < 0 && errno == EINTR) {
                continue;
            }
            if (now <= 0) {
                ::close(fd);
                return fail("write", temporary);
            }
            written += static_cast<std::size_t>(now);
        }
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        return fail("write", temporary);
    }
    if (::close(fd) != 0) {
        return fail("write", temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail("replace", path);
    }
    return true;
}

}  // namespace

std::string EmulatorUsage(std::string_view program) {
    std::string usage = "usage: ";
    usage += program;
    usage += R"( MOUNTPOINT [options]

Mounts an emulated cartridge reader at MOUNTPOINT: CMD.CMD, T-DRIVER.DMP and DUMP.ROM in its root.
Stops on fusermount3 -u MOUNTPOINT, SIGINT or SIGTERM. SIGUSR1 cuts the power or turns it on again.

The device:
  --letter L                 drive letter the reader sits under (default E)
  --firmware-identity ID     identity in the flash of a fresh N64 reader (default N64_KRN03_RV300)
  --identity ID              a device with a fixed identity and no bootloader, for instance a
                             cartridge variant (NES_KRN02_RV100) or a device of another kind
  --bootloader-identity ID   identity in the bootloader (default BOOT_N64Q2)
  --serial HEX               16 hex digits (default 3A7C19E405B26D81)
  --misc-byte N              the MISC byte that the cartridge status reports (default 0)
  --state FILE               flash and boot flag: loaded at start if FILE exists, saved at exit
  --transcript FILE          one line per command sector received, written as they arrive
The cartridge (with --identity of a cartridge reader):
  --cartridge FILE           serve FILE as the cartridge's content, as it stands: the N64 reader's
                             byte k at 0x10000000 + k, every other reader's at address k (SFC bank 1
                             from offset 0x800000); addresses outside FILE keep the test cartridge
  --cartridge-out FILE       at exit, write the cartridge image with every write it took to FILE
  --data-rate MIB            deliver DUMP.ROM at no more than MIB MiB/s (0.25 for a quarter), as a
                             reader on a USB bus does (default: as fast as the emulator serves it)
  --past-end WHAT            what the N64 reader shows past the end of the cartridge's ROM:
                             open-bus (default: each 16-bit word of a 512-byte block reads as the
                             low 16 bits of the block's address), mirror (the ROM again) or ff
Restart:
  --restart-ms MS            how long a restart takes (default 2000)
  --return-letter L          after a restart the reader comes back under L (gone from this mount)
  --never-return             after a restart the reader never comes back
  --return-in-firmware       a restart always starts the firmware, whatever the boot rule says
Faults:
  --fail-open N[+]           the N-th open of CMD.CMD for writing fails (N+: and every later one)
  --fail-write N             the N-th write of CMD.CMD fails
  --status-length N          T-DRIVER.DMP ends after N bytes
  --corrupt-status-byte N    byte N of T-DRIVER.DMP reads inverted
  --stuck-block K            flash block K (0..29) never verifies
  --power-cut-after N        the power goes right after the N-th command sector
  --corrupt-data-read N[@OFFSET]
                             the N-th read of DUMP.ROM (counted from 1; each request the reader
                             serves is one read) delivers its byte at OFFSET (default 0) inverted;
                             the transcript names that byte's cartridge address
  --power-on-after MS        after a power cut the power comes back after MS (default: on SIGUSR1)
  --powered-off              start without power (a drive with no medium)
Other:
  --debug                    libfuse's debug output
  -h, --help                 this text
)";
    return usage;
}

std::optional<EmulatorOptions> ParseEmulatorOptions(std::span<const std::string_view> args,
                                                    bool mountPointRequired, std::string& error) {
    EmulatorOptions options;
    auto& faults = options.config.faults;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return options;
        }
        if (arg.empty() || arg[0] != '-') {
            if (!options.mountPoint.empty()) {
                error = "more than one mount point: " + std::string(arg);
                return std::nullopt;
            }
            options.mountPoint = std::string(arg);
            continue;
        }
        // Switches without a value.
        if (arg == "--never-return") {
            faults.neverReturns = true;
            continue;
        }
        if (arg == "--return-in-firmware") {
            faults.returnsInFirmware = true;
            continue;
        }
        if (arg == "--powered-off") {
            options.startPoweredOff = true;
            continue;
        }
        if (arg == "--debug") {
            options.fuseDebug = true;
            continue;
        }
        // Options with a value.
        if (std::find(kValueOptions.begin(), kValueOptions.end(), arg) == kValueOptions.end()) {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "missing value after " + std::string(arg);
            return std::nullopt;
        }
        const std::string_view value = args[++i];
        const auto number = text::ParseNumber(value);
        const auto bad = [&] {
            error = "bad value for " + std::string(arg) + ": " + std::string(value);
            return std::nullopt;
        };
        const auto fits32 = [&] {
            return number && *number <= std::numeric_limits<std::uint32_t>::max();
        };
        if (arg == "--letter" || arg == "--return-letter") {
            const auto letter = text::ParseDriveLetter(value);
            if (!letter) {
                return bad();
            }
            (arg == "--letter" ? options.letter : faults.returnLetter) = *letter;
        } else if (arg == "--firmware-identity" || arg == "--identity" ||
                   arg == "--bootloader-identity") {
            if (!IsIdentity(value)) {
                return bad();
            }
            if (arg == "--firmware-identity") {
                options.firmwareIdentity = std::string(value);
            } else if (arg == "--identity") {
                options.config.fixedIdentity = std::string(value);
            } else {
                options.config.bootloaderIdentity = std::string(value);
            }
        } else if (arg == "--serial") {
            const auto serial = ParseSerial(value);
            if (!serial) {
                return bad();
            }
            options.config.serial = *serial;
        } else if (arg == "--misc-byte") {
            if (!number || *number > 0xFF) {
                return bad();
            }
            options.config.miscByte = static_cast<std::uint8_t>(*number);
        } else if (arg == "--state") {
            options.statePath = std::string(value);
        } else if (arg == "--transcript") {
            options.transcriptPath = std::string(value);
        } else if (arg == "--cartridge") {
            options.cartridgePath = std::string(value);
        } else if (arg == "--cartridge-out") {
            options.cartridgeOutPath = std::string(value);
        } else if (arg == "--data-rate") {
            const auto rate = ParseDataRate(value);
            if (!rate) {
                return bad();
            }
            options.dataBytesPerSecond = *rate;
        } else if (arg == "--past-end") {
            const auto pastEnd = ParsePastEnd(value);
            if (!pastEnd) {
                error =
                    "bad value for --past-end: " + std::string(value) + " (open-bus, mirror or ff)";
                return std::nullopt;
            }
            options.config.pastEnd = *pastEnd;
        } else if (arg == "--corrupt-data-read") {
            const auto flip = ParseDataReadFlip(value);
            if (!flip) {
                return bad();
            }
            faults.flipDataRead = *flip;
        } else if (arg == "--restart-ms") {
            if (!fits32()) {
                return bad();
            }
            faults.restartMs = static_cast<std::uint32_t>(*number);
        } else if (arg == "--fail-open") {
            std::string_view count = value;
            const bool fromThenOn = !count.empty() && count.back() == '+';
            if (fromThenOn) {
                count.remove_suffix(1);
            }
            const auto at = text::ParseNumber(count);
            if (!at || *at == 0 || *at > std::numeric_limits<std::uint32_t>::max()) {
                return bad();
            }
            faults.failCommandOpenAt = static_cast<std::uint32_t>(*at);
            faults.failCommandOpenFromThenOn = fromThenOn;
        } else if (arg == "--fail-write") {
            if (!fits32() || *number == 0) {
                return bad();
            }
            faults.failCommandWriteAt = static_cast<std::uint32_t>(*number);
        } else if (arg == "--status-length") {
            if (!fits32()) {
                return bad();
            }
            faults.statusFileLength = static_cast<std::uint32_t>(*number);
        } else if (arg == "--corrupt-status-byte") {
            if (!fits32()) {
                return bad();
            }
            faults.corruptStatusByte = static_cast<std::uint32_t>(*number);
        } else if (arg == "--stuck-block") {
            if (!number || *number >= kFlashBlockCount) {
                return bad();
            }
            faults.stuckBlock = static_cast<std::size_t>(*number);
        } else if (arg == "--power-cut-after") {
            if (!number || *number == 0) {
                return bad();
            }
            faults.powerCutAfterSector = *number;
        } else if (arg == "--power-on-after") {
            if (!fits32()) {
                return bad();
            }
            options.powerOnAfterMs = static_cast<std::uint32_t>(*number);
        } else {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        }
    }
    if (mountPointRequired && options.mountPoint.empty()) {
        error = "no mount point given";
        return std::nullopt;
    }
    if (!options.cartridgePath.empty() &&
        CartridgeSystemOf(options.config.fixedIdentity) == CartridgeSystem::None) {
        error = "--cartridge needs --identity of a cartridge reader (" +
                std::string(kCartridgeIdentities) + ")";
        return std::nullopt;
    }
    if (!options.cartridgeOutPath.empty() && options.cartridgePath.empty()) {
        error = "--cartridge-out needs --cartridge: it keeps that image with the writes it took";
        return std::nullopt;
    }
    return options;
}

std::string EmulatorUsageError(std::string_view program, std::string_view error) {
    std::string line(program);
    line += ": ";
    line += error;
    line += ". Try '";
    line += program;
    line += " --help'.\n";
    return line;
}

bool CheckMountPoint(const std::string& path, std::string& error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            error = "the mount point " + path +
                    " does not exist: make the folder first (mkdir -p " + path + ")";
        } else {
            error = "cannot use the mount point " + path + ": " + SystemError();
        }
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        error = "the mount point " + path + " is not a folder: give an empty folder to mount on";
        return false;
    }
    return true;
}

bool LoadReaderState(EmulatorOptions& options, std::string& error) {
    auto& config = options.config;
    config.flash = OldFirmwareFlash(options.firmwareIdentity);
    config.bootFlag = false;
    if (options.statePath.empty()) {
        return true;
    }
    std::ifstream in(options.statePath, std::ios::binary);
    if (!in) {
        // No state yet: a fresh reader, whose state is saved at exit.
        return true;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read the state file " + options.statePath;
        return false;
    }
    if (bytes.size() != kStateFileSize) {
        error = "the state file " + options.statePath + " has " + std::to_string(bytes.size()) +
                " bytes, not " + std::to_string(kStateFileSize);
        return false;
    }
    config.flash.assign(bytes.begin(), bytes.begin() + kFlashSize);
    config.bootFlag = bytes[kStateBootFlagOffset] != 0;
    return true;
}

bool LoadCartridgeImage(EmulatorOptions& options, std::string& error) {
    const std::string& path = options.cartridgePath;
    if (path.empty()) {
        return true;
    }
    const CartridgeSystem system = CartridgeSystemOf(options.config.fixedIdentity);
    if (system == CartridgeSystem::None) {
        error = "a cartridge image needs the identity of a cartridge reader (" +
                std::string(kCartridgeIdentities) + ")";
        return false;
    }
    const std::uint64_t capacity = CartridgeImageCapacity(system);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot open the cartridge image " + path + ": " + SystemError();
        return false;
    }
    // Read in large pieces until the end, or until the file proves too large (it may be a pipe,
    // so its size is not asked beforehand).
    constexpr std::size_t kPiece = 1 << 20;
    std::vector<std::uint8_t> bytes;
    while (!std::feof(file.get()) && bytes.size() <= capacity) {
        const std::size_t had = bytes.size();
        bytes.resize(had + kPiece);
        const std::size_t got = std::fread(bytes.data() + had, 1, kPiece, file.get());
        bytes.resize(had + got);
        if (std::ferror(file.get()) != 0) {
            error = "cannot read the cartridge image " + path + ": " + SystemError();
            return false;
        }
    }
    if (bytes.size() > capacity) {
        error = "the cartridge image " + path + " is larger than the " + std::to_string(capacity) +
                " bytes that the " + std::string(CartridgeSystemName(system)) +
                " reader's address space holds";
        return false;
    }
    options.config.cartridgeImage = std::move(bytes);
    return true;
}

bool SaveCartridgeImage(const std::string& path, std::span<const std::uint8_t> image,
                        std::string& error) {
    return ReplaceFile(path, {image}, "cartridge image", error);
}

bool SaveReaderState(const std::string& path, std::span<const std::uint8_t> flash, bool bootFlag,
                     std::string& error) {
    if (flash.size() != kFlashSize) {
        error = "the flash to save has " + std::to_string(flash.size()) + " bytes";
        return false;
    }
    const std::array<std::uint8_t, 1> flag = {static_cast<std::uint8_t>(bootFlag ? 1 : 0)};
    return ReplaceFile(path, {flash, flag}, "state file", error);
}

}  // namespace reader::emulator
