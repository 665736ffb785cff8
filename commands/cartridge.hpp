// Cartridge-system commands: setting up the reader's cartridge bus for one system, and moving
// cartridge data between host and reader.
//
// Every cartridge system has a command group of its own (byte 1 of the sector). Set-up commands
// go out once, when identification has recognised the reader variant; the read and write
// handlers are what the system drivers install in the ReadSlot and WriteSlot. Replies are read at
// once after their command: the reader has them in place before the command write returns.
//
// Nothing here prints. Results are counts (bytes written or delivered), 0 for failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "commands/maintenance.hpp"
#include "link/command_sector.hpp"

namespace reader {

namespace cartridge {

// Command groups, one per cartridge system.
inline constexpr std::uint8_t kHndGroup = 0x03;  // handheld-cartridge reader
inline constexpr std::uint8_t kNesGroup = 0x0E;  // NES and FC2 readers
inline constexpr std::uint8_t kSfcGroup = 0x0F;
inline constexpr std::uint8_t kN64Group = 0x10;
inline constexpr std::uint8_t kPceGroup = 0x11;
// The HND set-up begins with a step in the reader's own group, kMaintenanceGroup.

// Operations.
inline constexpr std::uint8_t kOpHndPrepare = 0x03;  // in the reader's own group, first HND step
inline constexpr std::uint8_t kOpInitBus = 0x01;     // every system's bus set-up
inline constexpr std::uint8_t kOpHndRead = 0x06;
inline constexpr std::uint8_t kOpN64Read = 0x02;
inline constexpr std::uint8_t kOpSfcSelectBank = 0x04;
inline constexpr std::uint8_t kOpSfcWrite = 0x03;
inline constexpr std::uint8_t kOpNesControl = 0x02;
inline constexpr std::uint8_t kOpNesWrite = 0x05;
inline constexpr std::uint8_t kOpNesCartStatus = 0x12;
inline constexpr std::uint8_t kOpPceWrite = 0x02;

// Parameter positions inside a sector.
inline constexpr std::size_t kNesModeOffset = 4;       // InitNesBus: mode
inline constexpr std::size_t kNesModeCopyOffset = 12;  // InitNesBus: the same mode again
inline constexpr std::size_t kNesControlOffset = 12;   // NesControl: value
inline constexpr std::size_t kHndAddressOffset = 4;    // 24-bit, byte 3 stays 0
inline constexpr std::size_t kN64AddressOffset = 3;    // 32-bit
inline constexpr std::size_t kSfcBankOffset = 3;       // 0 or 1
inline constexpr std::size_t kNesAddressOffset = 4;    // 16-bit
inline constexpr std::size_t kNesLengthOffset = 8;     // 16-bit, 1..256
inline constexpr std::size_t kNesDataOffset = 12;      // up to 256 data bytes
inline constexpr std::size_t kPceAddressOffset = 3;    // 24-bit
inline constexpr std::size_t kPceDataOffset = 6;       // one data byte
inline constexpr std::size_t kSfcAddressOffset = 3;    // 24-bit, byte 6 stays 0
inline constexpr std::size_t kSfcDataOffset = 7;       // one data byte
inline constexpr std::size_t kCartStatusOffset = 0;    // MISC byte in the status reply

// A NES write sector carries at most this many data bytes.
inline constexpr std::uint32_t kNesChunkSize = 256;

// The SFC data file presents one 8 MiB bank at a time; bank 1 starts at 0x800000.
inline constexpr std::uint32_t kSfcBankSize = 0x800000;
inline constexpr std::uint32_t kSfcOffsetMask = kSfcBankSize - 1;

}  // namespace cartridge

// --- set-up commands ---------------------------------------------------------------------------

// Two separate writes: the reader's own step (kMaintenanceGroup, kOpHndPrepare), then the HND bus
// set-up. Returns the
// result of the second write.
int InitHndBus();
int InitN64Bus();
int InitSfcBus();
int InitPceBus();
// The low 8 bits of mode are sent, twice (bytes 4 and 12).
int InitNesBus(int mode);

// --- NES and FC2 commands ----------------------------------------------------------------------

// Sends the low 8 bits of value. Returns the bytes written.
int NesControl(int value);

// Builds the status request in reply, sends it, and reads the 512-byte reply into the same
// buffer; byte 0 is then the cartridge's MISC byte. Returns 512, or 0 when the reply could not
// be read (reply then still holds the request sector).
int ReadCartStatus(std::span<std::uint8_t, kSectorSize> reply);

// --- read handlers: address, destination, length -> bytes delivered or 0 -------------------------

// FC2, NES, PCE: the data file is the cartridge's address space; no command is sent.
int DirectRead(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);
// HND: address bits 0..23 go to the reader, then the data file is read from offset 0.
int HndRead(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);
// N64: the address goes to the reader unless it is 0, then the data file is read from offset 0.
int N64Read(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);
// SFC: selects the 8 MiB bank from the start address, then reads inside that bank.
int SfcRead(std::uint32_t address, std::uint8_t* destination, std::uint32_t length);

// --- write handlers: address, source, length -> sector bytes written or 0 ----------------------
//
// Each builds all the sectors of one call in one buffer and sends them in one write. A length of
// 0 sends an empty write and returns 0; a length that needs more than kMaxSectorsPerWrite sectors,
// or whose buffer cannot be had, sends nothing and returns 0.

// FC2: up to 256 data bytes per sector.
int NesWriteBlock(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);
// NES: one sector per data byte.
int NesWriteBytes(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);
// PCE: one sector per data byte, 24-bit addresses.
int PceWriteBytes(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);
// SFC: one sector per data byte, 24-bit addresses.
int SfcWriteBytes(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);

}  // namespace reader
