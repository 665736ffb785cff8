// The device library's table of handler slots, and identification of the reader variant.
//
// A host front-end calls cartridge operations through the slots of SystemDriver. IdentifyDevice
// finds the reader, recognises its variant by the first 12 bytes of its identity, sends that
// variant's set-up command and installs its handlers. Until then every slot holds a default that
// tells the user to initialise the device, so every slot is always callable after the first
// IdentifyDevice.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace reader {

// Handler shapes. Results are counts, 0 for failure.
using ReadHandler = int (*)(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);
using WriteHandler = int (*)(std::uint32_t address, const std::uint8_t* source,
                             std::uint32_t length);
using ControlHandler = int (*)(int value);
using StatusHandler = void (*)();
using DisassembleHandler = int (*)(const std::uint8_t* source, int position);
using SpareHandler = void (*)();

struct SystemDriverTable {
    std::uint32_t RomWindowStart;
    std::uint32_t RomWindowEnd;
    ReadHandler ReadSlot;
    WriteHandler WriteSlot;
    ControlHandler ControlSlot;
    StatusHandler StatusSlot;
    DisassembleHandler DisassembleSlot;
    SpareHandler SpareSlot;
};

// One global table, all zero at program start.
extern SystemDriverTable SystemDriver;

// The default handlers: print "please init device first\n" and
// "get more infomation,type h[enter].\n". One form per slot shape.
int NotInitialized(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);
int NotInitialized(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);
int NotInitialized(int value);
int NotInitialized(const std::uint8_t* source, int position);
void NotInitialized();

// The write handler of the readers that cannot write (HND, N64): sends nothing, prints nothing
// and returns 0.
int NoWrite(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);

// How a row's set-up command gets its mode value.
enum class SetupMode : std::uint8_t {
    None,       // the command takes no mode
    One,        // always mode 1
    FromFcFlag  // mode 1 when the FC mode flag is non-zero, else 0
};

inline constexpr std::size_t kIdentityPrefixLength = 12;

// One reader variant. Null handlers keep the default that IdentifyDevice installed first.
struct SystemInstallation {
    std::array<char, kIdentityPrefixLength> prefix{};
    const char* system = nullptr;  // the variant's name, for a front-end ("NES")
    int (*setup)(int mode) = nullptr;
    SetupMode setupMode = SetupMode::None;
    ReadHandler read = nullptr;
    WriteHandler write = nullptr;
    ControlHandler control = nullptr;
    StatusHandler status = nullptr;
    DisassembleHandler disassemble = nullptr;
    bool keepWindow = false;  // the row stores no window values
    std::uint32_t romWindowStart = 0;
    std::uint32_t romWindowEnd = 0;
};

// The rows, tried in order; the first whose prefix equals bytes 0..11 of the identity wins. The
// number of variants is SystemInstallTable.size().
extern const std::span<const SystemInstallation> SystemInstallTable;

// Installs the defaults, finds the reader (letter as for FindDevice, 0 scans) and installs the
// variant that matches its identity. Returns 1 when a variant was installed, 0 otherwise.
int IdentifyDevice(int letter, int fcMode);

// The row of SystemInstallTable that the last IdentifyDevice installed, or nullptr while the
// slots hold the defaults (no call yet, no reader found, or an identity that no row matches).
// A front-end names the variant with it.
const SystemInstallation* InstalledSystem();

// The slots through which a variant can offer an operation of its own.
enum class DriverSlot : std::uint8_t { Read, Write, Control, Status, Disassemble };

// Whether the installed variant offers the operation of a slot: the slot holds a handler of the
// variant's own rather than the NotInitialized default, and for WriteSlot one that writes
// (NoWrite, the HND and N64 readers' handler, does nothing). False while nothing is installed.
// A front-end asks this instead of calling a slot only to get the default's two lines.
bool SlotOffered(DriverSlot slot);

// Puts the device library's globals back as a program starts with them: no drive, no identity
// and no volume label read, every slot and the window zero, nothing installed, TraceMemory zero.
// The notice sink is the front-end's choice, not the device's state: it stays as it is.
void ResetDeviceGlobals();

// The library's console notices: the line "Init <identity> OK\n" that IdentifyDevice prints once
// it has installed a variant. By default they go to the C standard output stream of the active
// host, like the library's reports; a front-end whose standard output carries data (a status
// report redirected to a file) directs them elsewhere. The sink gets the whole text and the
// context it was installed with.
using NoticeSink = void (*)(const char* text, void* context);

// Sends the notices to sink from now on; nullptr puts the default back.
void SetNoticeSink(NoticeSink sink, void* context);

}  // namespace reader
