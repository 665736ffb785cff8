// What reader-tool needs from the operating system for itself (the reader is reached through the
// device library's host services instead): output files that appear whole or not at all, the free
// space beside them, whether standard input and standard error are a terminal and how wide it is,
// standard input as bytes, Ctrl-C and the other requests to stop, and a clock for the progress
// display.
//
// One implementation per operating system (tool_os_linux.cpp, tool_os_windows.cpp), chosen by
// CMake. Tests derive from ToolOs to fail a write, interrupt a transfer or stop the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace reader::tool {

// The requests to stop that the program catches, so that a transfer ends between two chunks and
// leaves no temporary file. Each ends the program with the shell's status for its signal.
enum class StopSignal : std::uint8_t {
    CtrlC,          // SIGINT; on Windows CTRL_C_EVENT
    CtrlBreak,      // Windows: CTRL_BREAK_EVENT, counted as SIGINT
    Terminate,      // SIGTERM
    Hangup,         // SIGHUP: the terminal went away
    ConsoleClosed,  // Windows: CTRL_CLOSE_EVENT, counted as SIGHUP
};

// The number N of the signal, for the exit status 128 + N (130 for Ctrl-C).
int SignalNumber(StopSignal signal);
// "Ctrl-C (SIGINT)", "SIGTERM", ... for the messages.
std::string_view SignalName(StopSignal signal);

// A file being written under a temporary name beside its final path. Nothing appears under the
// final name until Commit has flushed the data to the disk and renamed the file into place; an
// object destroyed before that removes its temporary file.
class PendingOutput {
  public:
    PendingOutput() = default;
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;
    virtual ~PendingOutput() = default;

    // Sets aside room on the disk for size bytes before they are written, so that a full disk
    // shows before a long read rather than after it. True when the room is there, or when the
    // file system cannot reserve (the writes then find out); false when the system refused it for
    // lack of room (or another reason), and the temporary file is gone.
    virtual bool Reserve(std::uint64_t size) = 0;

    // Appends bytes. False on failure (a full disk, for instance); Reason() says why.
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

    // Flushes everything to the disk and renames the file to its final path. With replace, a file
    // already there is replaced; without, it is kept, even one that appeared while this file was
    // being written, and Commit fails with FinalPathTaken: the temporary file then stays, for
    // PlaceElsewhere. After any other failure the temporary file is gone.
    virtual bool Commit(bool replace) = 0;

    // After Commit found the final path taken: puts the file under path instead, never replacing
    // a file there. False (FinalPathTaken again) when path is taken too, and the file stays for
    // another try; after any other failure it is gone.
    virtual bool PlaceElsewhere(const std::string& path) = 0;

    // The operating system's reason for the last failure.
    virtual std::string Reason() const = 0;

    // Whether the last Commit or PlaceElsewhere failed because its path was taken.
    virtual bool FinalPathTaken() const = 0;
};

// The operating system's calls that an output file is made of, on one temporary file beside the
// final path. Each backend implements them; StageOutput strings them together in the order every
// backend shares (write, flush, close, move, make the move durable), so that the order is the same
// on every system and tests can watch it through a file of their own.
class TemporaryFile {
  public:
    enum class Moved : std::uint8_t { Done, Taken, Failed };

    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    virtual ~TemporaryFile() = default;

    // Room for size bytes (posix fallocate, a Windows allocation size): true when reserved or
    // when the file system has no way to.
    virtual bool Reserve(std::uint64_t size) = 0;
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    // The data on the disk (fsync, FlushFileBuffers): a full disk or an I/O error may show only
    // here.
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
    // Renames the closed file to path; without replace a file there is kept (Taken).
    virtual Moved MoveTo(const std::string& path, bool replace) = 0;
    // Makes the rename itself durable (the folder's entry on the disk), where that needs a call.
    virtual void SyncFolderOf(const std::string& path) = 0;
    // Closes the file if it is open and deletes it.
    virtual void Remove() = 0;
    // The system's words for the last failure.
    virtual std::string Reason() const = 0;
};

// Makes the temporary file beside finalPath (hidden, with a name no other file has). Nothing, and
// the reason, when the folder cannot take it. One implementation per operating system.
std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& finalPath,
                                                   std::string& reason);

// The pending output over a temporary file: the commit sequence every backend shares.
std::unique_ptr<PendingOutput> StageOutput(std::unique_ptr<TemporaryFile> file,
                                           std::string finalPath);

class ToolOs {
  public:
    ToolOs() = default;
    ToolOs(const ToolOs&) = delete;
    ToolOs& operator=(const ToolOs&) = delete;
    virtual ~ToolOs() = default;

    // Starts a file that will be finalPath once committed. Nothing (and the reason) when the
    // temporary file cannot be made beside it.
    virtual std::unique_ptr<PendingOutput> CreateOutput(const std::string& finalPath,
                                                        std::string& reason) = 0;

    // Bytes free for this user on the file system that path (a file to be made) would be on;
    // nothing when the system does not tell.
    virtual std::optional<std::uint64_t> FreeSpace(const std::string& path) = 0;

    virtual bool InputIsTerminal() = 0;
    virtual bool ErrorIsTerminal() = 0;
    // Columns of the terminal that standard error shows on; nothing when unknown.
    virtual std::optional<unsigned> TerminalWidth() = 0;

    // Reads up to bytes.size() bytes of standard input as they are (no line-end translation):
    // the count, 0 at its end, nothing on failure (reason says why; an interruption is one).
    virtual std::optional<std::size_t> ReadInput(std::span<std::uint8_t> bytes,
                                                 std::string& reason) = 0;

    // The request to stop that arrived since the last ClearInterrupt (the first one, when more
    // came), or nothing.
    virtual std::optional<StopSignal> Interruption() = 0;
    virtual void ClearInterrupt() = 0;

    // Milliseconds of a steady clock, for the transfer rate and the time left.
    virtual std::uint64_t NowMs();
};

// The implementation for the operating system the program was built for.
ToolOs& NativeToolOs();

// What a failed write of standard output means, from the C library's errno after it: whether
// nobody reads it any more (a closed pipe), and the system's words for the failure.
struct OutputError {
    bool closed;
    std::string reason;
};
OutputError DescribeOutputError(int error);

// Catches Ctrl-C (and the operating system's other polite requests to stop) from now on, so that
// a transfer ends between two chunks and removes its temporary file instead of dying halfway.
// Interruption reports it. A read waiting on standard input returns at once. A closed pipe on
// standard output no longer ends the program either: the write fails and the tool says so.
void WatchInterrupts();

}  // namespace reader::tool
