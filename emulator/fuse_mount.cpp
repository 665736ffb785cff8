#define FUSE_USE_VERSION 35
#include "emulator/fuse_mount.hpp"

#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <vector>

namespace reader::emulator {
namespace {

// What the operations reach through fuse_get_context()->private_data.
struct Session {
    FuseFront* front;
    std::FILE* transcript;
    std::timespec mounted;
};

// Set by SIGUSR1, acted on by the next operation (the loop is single-threaded, so the model is
// only ever touched from this thread).
volatile std::sig_atomic_t g_powerToggleRequests = 0;

void OnPowerToggleSignal(int) {
    g_powerToggleRequests = g_powerToggleRequests + 1;
}

Session& CurrentSession() {
    return *static_cast<Session*>(fuse_get_context()->private_data);
}

// Every operation starts here: it applies a pending power toggle first.
FuseFront& Front() {
    Session& session = CurrentSession();
    while (g_powerToggleRequests > 0) {
        g_powerToggleRequests = g_powerToggleRequests - 1;
        session.front->TogglePower();
    }
    return *session.front;
}

void WriteTranscript() {
    Session& session = CurrentSession();
    if (session.transcript == nullptr) {
        return;
    }
    for (const std::string& line : session.front->TakeTranscript()) {
        std::fputs(line.c_str(), session.transcript);
        std::fputc('\n', session.transcript);
    }
    std::fflush(session.transcript);
}

// Sizes are reported in 512-byte units, the reader's sector size.
constexpr blksize_t kBlockSize = 512;
constexpr fsblkcnt_t kVolumeBlocks = 0x20000;  // a 64 MiB volume
constexpr unsigned long kNameMax = 255;
constexpr double kNameTimeoutSeconds = 60.0;

void* Init(fuse_conn_info* /*connection*/, fuse_config* config) {
    // Nothing may be cached: every read must reach the device, a vanished drive must show at
    // once, and the status file changes with every command. The one exception is the name of a
    // file that exists: the three names never change, and every operation on the file (open,
    // stat, access, read, write) still reaches the device and fails while the drive is gone, so
    // the kernel may keep the name instead of asking again before every open of a device file.
    // Names that do not exist are asked every time.
    config->direct_io = 1;
    config->kernel_cache = 0;
    config->auto_cache = 0;
    config->entry_timeout = kNameTimeoutSeconds;
    config->negative_timeout = 0;
    config->attr_timeout = 0;
    config->ac_attr_timeout_set = 0;
    config->use_ino = 0;
    return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* /*file*/) {
    FrontAttributes attributes;
    const int result = Front().GetAttributes(path, attributes);
    if (result != 0) {
        return result;
    }
    const Session& session = CurrentSession();
    *st = {};
    st->st_uid = getuid();
    st->st_gid = getgid();
    st->st_atim = session.mounted;
    st->st_mtim = session.mounted;
    st->st_ctim = session.mounted;
    st->st_blksize = kBlockSize;
    if (attributes.directory) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    st->st_mode = S_IFREG | (attributes.writable ? 0644 : 0444);
    st->st_nlink = 1;
    st->st_size = static_cast<off_t>(attributes.size);
    st->st_blocks = static_cast<blkcnt_t>((attributes.size + kBlockSize - 1) / kBlockSize);
    return 0;
}

int OpenDir(const char* path, fuse_file_info* /*file*/) {
    return Front().OpenDirectory(path);
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/,
            fuse_file_info* /*file*/, fuse_readdir_flags /*flags*/) {
    std::vector<std::string> names;
    const int result = Front().ListDirectory(path, names);
    if (result != 0) {
        return result;
    }
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
    for (const std::string& name : names) {
        fill(buffer, name.c_str(), nullptr, 0, fuse_fill_dir_flags{});
    }
    return 0;
}

void Unbuffered(fuse_file_info* file) {
    file->direct_io = 1;
    file->keep_cache = 0;
}

int Open(const char* path, fuse_file_info* file) {
    const int result = Front().Open(path, file->flags);
    if (result == 0) {
        Unbuffered(file);
    }
    return result;
}

int Create(const char* path, mode_t /*mode*/, fuse_file_info* file) {
    const int result = Front().Create(path, file->flags);
    if (result == 0) {
        Unbuffered(file);
    }
    return result;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* /*file*/) {
    if (offset < 0) {
        return -EINVAL;
    }
    const int result = Front().Read(path, static_cast<std::uint64_t>(offset),
                                    {reinterpret_cast<std::uint8_t*>(buffer), size});
    // A read can add a line too (a data read that a fault corrupted).
    WriteTranscript();
    return result;
}

int Write(const char* path, const char* buffer, size_t size, off_t offset,
          fuse_file_info* /*file*/) {
    if (offset < 0) {
        return -EINVAL;
    }
    const int result = Front().Write(path, static_cast<std::uint64_t>(offset),
                                     {reinterpret_cast<const std::uint8_t*>(buffer), size});
    WriteTranscript();
    return result;
}

int Truncate(const char* path, off_t size, fuse_file_info* /*file*/) {
    if (size < 0) {
        return -EINVAL;
    }
    return Front().Truncate(path, static_cast<std::uint64_t>(size));
}

int Access(const char* path, int mask) {
    return Front().Access(path, mask);
}

int Utimens(const char* path, const struct timespec* /*times*/, fuse_file_info* /*file*/) {
    return Front().Touch(path);
}

int Chmod(const char* /*path*/, mode_t /*mode*/, fuse_file_info* /*file*/) {
    return -EPERM;
}

int Chown(const char* /*path*/, uid_t /*uid*/, gid_t /*gid*/, fuse_file_info* /*file*/) {
    return -EPERM;
}

int StatFs(const char* path, struct statvfs* st) {
    const int result = Front().Touch(path);
    if (result != 0) {
        return result;
    }
    *st = {};
    st->f_bsize = kBlockSize;
    st->f_frsize = kBlockSize;
    st->f_blocks = kVolumeBlocks;
    st->f_namemax = kNameMax;
    return 0;
}

// Closing and syncing never touch the device: the bytes of a write were taken when the write
// returned, so these succeed even when the write restarted the reader. There is no flush
// operation: the kernel, told so once, stops sending a flush with every close, a round trip that
// every device-file access (one open and one close each) would otherwise pay.
int Release(const char* /*path*/, fuse_file_info* /*file*/) {
    return 0;
}

int Fsync(const char* /*path*/, int /*dataOnly*/, fuse_file_info* /*file*/) {
    return 0;
}

fuse_operations Operations() {
    fuse_operations operations{};
    operations.init = Init;
    operations.getattr = GetAttr;
    operations.opendir = OpenDir;
    operations.readdir = ReadDir;
    operations.open = Open;
    operations.create = Create;
    operations.read = Read;
    operations.write = Write;
    operations.truncate = Truncate;
    operations.access = Access;
    operations.utimens = Utimens;
    operations.chmod = Chmod;
    operations.chown = Chown;
    operations.statfs = StatFs;
    operations.release = Release;
    operations.fsync = Fsync;
    return operations;
}

}  // namespace

bool ServeFuseFront(FuseFront& front, const FuseMountSettings& settings, std::string& error) {
    Session session{&front, settings.transcript, {}};
    std::timespec_get(&session.mounted, TIME_UTC);

    std::vector<std::string> arguments = {"reader-emulator", "-o",
                                          "fsname=reader-emulator,subtype=reader"};
    if (settings.debug) {
        arguments.emplace_back("-d");
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());

    const fuse_operations operations = Operations();
    fuse* fs = fuse_new(&args, &operations, sizeof(operations), &session);
    if (fs == nullptr) {
        error = "cannot set up the file system";
        return false;
    }
    if (fuse_mount(fs, settings.mountPoint.c_str()) != 0) {
        error = "cannot mount at " + settings.mountPoint + " (is /dev/fuse there?)";
        fuse_destroy(fs);
        return false;
    }
    fuse_session* fuseSession = fuse_get_session(fs);
    const bool signalsSet = fuse_set_signal_handlers(fuseSession) == 0;

    struct sigaction toggle {};
    toggle.sa_handler = OnPowerToggleSignal;
    sigemptyset(&toggle.sa_mask);
    struct sigaction previousToggle {};
    sigaction(SIGUSR1, &toggle, &previousToggle);

    // Single-threaded: one request at a time, so the model needs no lock.
    const int loop = fuse_loop(fs);

    sigaction(SIGUSR1, &previousToggle, nullptr);
    if (signalsSet) {
        fuse_remove_signal_handlers(fuseSession);
    }
    fuse_unmount(fs);
    fuse_destroy(fs);
    fuse_opt_free_args(&args);
    if (loop < 0) {
        error = "the file system stopped with an error";
        return false;
    }
    return true;
}

}  // namespace reader::emulator
