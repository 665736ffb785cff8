// A host that passes everything on to an emulated host and writes down, one line per event and in
// the order the client caused them, what a run of the client did: every console write with its
// path and colour, every command-file write with the sectors the reader took from it, every
// unbuffered read, every wait and every key read. Tests compare the whole log with a golden file
// (or, for a short run, with the text in the test), so a misreading of the update sequence shows
// as a line that differs.
//
//   direct green "Start update firmware.\n"     ConsoleSuccess (direct path, light green)
//   stream plain "SN:3A7C19E4\n"                 the C standard output stream, colour in force
//   write E:\CMD.CMD 2048 bytes at 5300 ms -> 2048
//       F0 E4 WriteFlash address=0800B400 length=256   each sector as the reader logged it
//   read E:\T-DRIVER.DMP 2048 bytes from 0x8000 -> 2048
//   sleep 300 ms
//   key -> 10
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "emulator/emulated_host.hpp"
#include "platform/host.hpp"

namespace reader::testing {

// Text in double quotes, with line ends, quotes, backslashes and other control bytes escaped.
inline std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
                    out += platform::FormatText(
                        "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

inline std::string ColourName(std::optional<std::uint16_t> attribute) {
    if (!attribute) {
        return "bare";
    }
    switch (*attribute) {
        case platform::kAttributeDefault:
            return "plain";
        case platform::kAttributeLightGreen:
            return "green";
        case platform::kAttributeLightRed:
            return "red";
        default:
            return platform::FormatText("attribute-%02X", static_cast<unsigned>(*attribute));
    }
}

inline std::string Outcome(std::optional<std::uint32_t> result) {
    return result ? std::to_string(*result) : std::string("failed");
}

class RunLogHost final : public platform::ForwardingHost {
  public:
    // The log takes the reader's transcript lines of each write from reader.
    RunLogHost(emulator::EmulatedHost& inner, const emulator::ReaderModel& reader)
        : ForwardingHost(inner), inner_(inner), reader_(reader) {}

    const std::string& Log() const { return log_; }
    // A line of the test's own between runs, so one log can hold several.
    void Note(std::string_view text) { log_ += "--- " + std::string(text) + "\n"; }

    std::optional<std::uint32_t> ReadUnbuffered(const char* path, std::uint32_t position,
                                                std::span<std::uint8_t> destination) override {
        const auto result = inner_.ReadUnbuffered(path, position, destination);
        log_ += platform::FormatText("read %s %u bytes from 0x%X -> ", path,
                                     static_cast<unsigned>(destination.size()),
                                     static_cast<unsigned>(position)) +
                Outcome(result) + "\n";
        return result;
    }
    std::optional<std::uint32_t> WriteCommandFile(const char* path,
                                                  std::span<const std::uint8_t> data) override {
        const std::size_t before = reader_.Transcript().size();
        const std::uint64_t at = inner_.Clock().NowMs();
        const auto result = inner_.WriteCommandFile(path, data);
        log_ +=
            platform::FormatText("write %s %u bytes at %u ms -> ", path,
                                 static_cast<unsigned>(data.size()), static_cast<unsigned>(at)) +
            Outcome(result) + "\n";
        const auto& transcript = reader_.Transcript();
        for (std::size_t k = before; k < transcript.size(); ++k) {
            log_ += "    " + transcript[k] + "\n";
        }
        return result;
    }
    void WriteConsole(std::string_view text) override {
        log_ += "direct " + ColourName(inner_.ConsoleAttribute()) + " " + Quoted(text) + "\n";
        inner_.WriteConsole(text);
    }
    void WriteStream(std::string_view text) override {
        log_ += "stream " + ColourName(inner_.ConsoleAttribute()) + " " + Quoted(text) + "\n";
        inner_.WriteStream(text);
    }
    void Sleep(std::uint32_t milliseconds) override {
        log_ += platform::FormatText("sleep %u ms\n", static_cast<unsigned>(milliseconds));
        inner_.Sleep(milliseconds);
    }
    int ReadKey() override {
        const int key = inner_.ReadKey();
        log_ += platform::FormatText("key -> %d\n", key);
        return key;
    }

  private:
    emulator::EmulatedHost& inner_;  // the same host as the one passed on to, for its clock
    const emulator::ReaderModel& reader_;
    std::string log_;
};

// The text of a golden file, read as it is stored; empty when the file cannot be read. Streamed
// whole through the buffer: GCC's optimiser warns (wrongly) about the iterator form.
inline std::string ReadGoldenFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace reader::testing
