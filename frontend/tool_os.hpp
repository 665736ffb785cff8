// What reader-tool needs from the operating system for itself (the reader is reached through the
// device library's host services instead): output files that appear whole or not at all, the free
// space beside them, whether standard input and standard error are a terminal and how wide it is,
// standard input as bytes, Ctrl-C and the other requests to stop, a clock for the progress
// display, the folders where a user keeps DAT files, and how the system's users know its drives.
//
// One implementation per operating system (tool_os_linux.cpp, tool_os_windows.cpp), chosen by
// CMake. Tests derive from ToolOs to fail a write, interrupt a transfer or stop the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

    // Gives the file another final path in the same folder before Commit: a dump into a folder
    // learns its file's name only once the cartridge is read (and its hashes looked up).
    virtual void SetFinalPath(const std::string& finalPath) = 0;
};

// How the users of a system know the drives the reader may be on, for the messages that say
// where the tool looked and how to point it at the reader.
struct DriveWords {
    std::string_view scanned;  // where a run without --drive looks: "on the drives D: to Z:"
    std::string_view nameIt;   // what to give --drive instead: "name its drive with --drive"
};
// Windows names drives by their letters; Linux by the folders they are mounted on (the tool's
// own letters for them mean nothing to the user).
inline constexpr DriveWords kLetterDriveWords = {"on the drives D: to Z:",
                                                 "name its drive with --drive"};
inline constexpr DriveWords kMountDriveWords = {
    "on the removable FAT volumes mounted now",
    "give --drive the folder it is mounted on (or any folder that holds its files)"};

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
    // temporary file cannot be made beside it. By default the backend's CreateTemporaryFile, put
    // in place by StageOutput.
    virtual std::unique_ptr<PendingOutput> CreateOutput(const std::string& finalPath,
                                                        std::string& reason);

    // Bytes free for this user on the file system that path (a file to be made) would be on;
    // nothing when the system does not tell.
    virtual std::optional<std::uint64_t> FreeSpace(const std::string& path) = 0;

    virtual bool InputIsTerminal() = 0;
    virtual bool ErrorIsTerminal() = 0;
    // Columns of the terminal that standard error shows on; nothing when unknown.
    virtual std::optional<unsigned> TerminalWidth() = 0;

    // Reads up to bytes.size() bytes of standard input as they are (no line-end translation):
    // the count, 0 at its end, nothing on failure (reason says why; an interruption is one). By
    // default through the C library's stream, which the shell reads its lines from as well.
    virtual std::optional<std::size_t> ReadInput(std::span<std::uint8_t> bytes,
                                                 std::string& reason);

    // The request to stop that arrived since the last ClearInterrupt (the first one, when more
    // came), or nothing. By default the one RecordStop kept.
    virtual std::optional<StopSignal> Interruption();
    virtual void ClearInterrupt();

    // Milliseconds of a steady clock, for the transfer rate and the time left.
    virtual std::uint64_t NowMs();

    // The folders searched for DAT files when a command is given none, in the order searched
    // (folders that do not exist included, so that the tool can say where DAT files go).
    virtual std::vector<std::filesystem::path> DatFolders() = 0;

    // How this system's users know drives.
    virtual DriveWords Drives() = 0;
};

// Keeps a request to stop for ToolOs::Interruption, unless one came before it. Touches only a
// lock-free atomic: a signal handler, or Windows' console-event thread, may call it.
void RecordStop(StopSignal signal);

// The folder a file to be made at path would be in ("." for a bare name).
std::string FolderOfNewFile(const std::string& path);

// The DAT folders of each system, from what its environment gives (empty when unset):
//   Linux and other Unix-like systems: $XDG_DATA_HOME/reader-tool/dat, else (when it is unset or
//   not an absolute path, as the XDG base directory rules say) $HOME/.local/share/reader-tool/dat;
//   Windows: %APPDATA%\reader-tool\dat, then a dat folder beside the program (a program on a USB
//   stick brings its DAT files along).
std::vector<std::filesystem::path> UnixDatFolders(std::string_view xdgDataHome,
                                                  std::string_view home);
std::vector<std::filesystem::path> WindowsDatFolders(const std::filesystem::path& appData,
                                                     const std::filesystem::path& programFolder);

// The implementation for the operating system the program was built for.
ToolOs& NativeToolOs();

// What a failed write of standard output means, from the C library's errno after it: whether
// nobody reads it any more (a closed pipe), and the system's words for the failure.
struct OutputError {
    bool closed;
    std::string reason;
};
OutputError DescribeOutputError(int error);

// Text for a file or pipe that holds Windows text: each "\n" becomes "\r\n", one that follows a
// "\r" already stays. afterCr carries from one piece of text to the next whether the last piece
// ended in "\r".
std::string WithCrLf(std::string_view text, bool& afterCr);

// Whether standard output wants its lines ended in CR LF: on Windows when it is a file or a pipe
// (a console takes "\n" as a line end, and the program's other text, standard error's, comes out
// in CR LF from the C library), nowhere else.
bool StandardOutputWantsCrLf();

// Line editing for the shell at a terminal: the arrow keys, the history of the lines typed, Ctrl-A
// and Ctrl-E. On Linux libedit gives it; on Windows the console edits every line a program reads
// from it by itself, so there is nothing to add.
class LineEditor {
  public:
    LineEditor() = default;
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;
    virtual ~LineEditor() = default;

    // Shows the prompt and returns the line typed, without its line end; nothing at the end of
    // the input (Ctrl-D) or when a request to stop interrupted the wait.
    virtual std::optional<std::string> ReadLine(std::string_view prompt) = 0;
};

// The line editor for standard input while standard input and standard output are both a
// terminal; nullptr otherwise (a script through a pipe, or a shell whose output goes to a file,
// gets plain lines and no terminal control sequences).
LineEditor* TerminalLineEditor();

// Catches Ctrl-C (and the operating system's other polite requests to stop) from now on, so that
// a transfer ends between two chunks and removes its temporary file instead of dying halfway.
// Interruption reports it. A read waiting on standard input returns at once. A closed pipe on
// standard output no longer ends the program either: the write fails and the tool says so.
void WatchInterrupts();

}  // namespace reader::tool
