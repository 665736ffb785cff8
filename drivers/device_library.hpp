// The device library of the cartridge reader family, for a host front-end.
//
//   IdentifyDevice(letter, fcMode)   finds the reader (0 scans D..Z), recognises its variant,
//                                    sends its set-up command and fills SystemDriver
//   SystemDriver.ReadSlot            read cartridge bytes at an address
//   SystemDriver.WriteSlot           write cartridge bytes at an address
//   SystemDriver.ControlSlot         send a control value (NES, FC2)
//   SystemDriver.StatusSlot          print the cartridge status report (NES, FC2)
//   SystemDriver.DisassembleSlot     print a ten-line 6502 trace (SFC, FC2, NES, PCE)
//   SystemDriver.RomWindowStart/End  the current system's ROM window
//
//   SetNoticeSink(sink, context)     where IdentifyDevice's "Init <identity> OK" line goes
//
// Every slot is callable once IdentifyDevice has run: a slot the variant does not fill tells the
// user to initialise the device. Results are counts, 0 for failure; nothing is thrown. Text goes
// to the C standard output stream of the active host (platform::InstallHost replaces it), and so
// does the "Init" notice unless a front-end gave SetNoticeSink a plain function of its own
// (reader-tool sends it to standard error, so that a report redirected to a file holds the report
// alone).
#pragma once

#include "commands/cartridge.hpp"
#include "drivers/status_report.hpp"
#include "drivers/system_driver.hpp"
#include "drivers/trace_disassembler.hpp"
#include "link/command_sector.hpp"
#include "link/device_files.hpp"
#include "link/discovery.hpp"
#include "platform/host.hpp"
