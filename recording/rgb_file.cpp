#include "recording/rgb_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/text_format.h"
#include "platform/texts.h"
#include "platform/unique_fd.h"
#include "recording/rgb_format.h"

namespace quorvex {

namespace {

namespace fs = std::filesystem;

std::string Errno() { return std::strerror(errno); }

std::string FolderOf(const std::string& path) {
    const std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

std::string NotRegular(const std::string& path) {
    return Format(Tr("%s is not a regular file (a symbolic link or a special file). Nothing was "
                     "written to it; remove it and try again."),
                  path.c_str());
}

// Opens an existing recording for repair: no links, no special files, and not while another
// recording holds it.
Result<int> OpenExistingRecording(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP) return Fail(NotRegular(path));
        return Fail(path + ": " + Errno());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(NotRegular(path));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return Fail(Format(Tr("Another recording is writing %s right now. Wait for it to finish, "
                              "or record into another folder."),
                           path.c_str()));
    }
    return fd;
}

}  // namespace

RgbFile::~RgbFile() { Close(); }

Status RgbFile::Create(const std::string& path, const std::vector<uint8_t>& header, bool* inUse) {
    Close();
    bool taken = false;
    if (!inUse) inUse = &taken;
    *inUse = false;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        if (errno == EEXIST) {
            *inUse = true;
            return Fail(Format(
                Tr("Another recording started using %s at the same moment; nothing was written "
                   "to it."),
                path.c_str()));
        }
        return Fail(Errno());
    }
    // Another recorder that finds this file sees it is taken.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        Close();
        *inUse = true;
        return Fail(Format(Tr("Another recording is writing %s right now."), path.c_str()));
    }
    Status written = WriteAll(header.data(), header.size());
    if (!written) {
        // It holds no frame: nothing to keep.
        ::unlink(path.c_str());
        Close();
    }
    return written;
}

Status RgbFile::WriteAll(const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(Errno());
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return {};
}

Status RgbFile::AppendFrames(const uint8_t* const* frames, size_t count, size_t length,
                             size_t* whole) {
    *whole = 0;
    if (m_fd < 0) return Fail(Tr("the file is not open"));
    const off_t before = ::lseek(m_fd, 0, SEEK_CUR);
    const size_t total = count * length;
    size_t done = 0;
    std::string error;
    while (done < total && length > 0) {
        // What is left, from the frame a short write stopped in.
        iovec parts[64];
        int n = 0;
        for (size_t i = done / length; i < count && n < 64; ++i, ++n) {
            const size_t skip = i == done / length ? done % length : 0;
            parts[n].iov_base = const_cast<uint8_t*>(frames[i] + skip);
            parts[n].iov_len = length - skip;
        }
        const ssize_t written = ::writev(m_fd, parts, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error = written < 0 ? Errno() : Tr("the file takes no more data");
            break;
        }
        done += static_cast<size_t>(written);
    }
    *whole = length ? done / length : count;
    if (error.empty()) return {};
    // Leave no partial frame behind: the file must stay header + whole frames.
    const off_t kept = before + static_cast<off_t>(*whole * length);
    if (before >= 0 && ::ftruncate(m_fd, kept) == 0) ::lseek(m_fd, kept, SEEK_SET);
    return Fail(error);
}

Status RgbFile::WriteCount(uint32_t frames) {
    const uint8_t count[2] = {static_cast<uint8_t>((frames >> 8) & 0xFF),
                              static_cast<uint8_t>(frames & 0xFF)};
    if (::pwrite(m_fd, count, 2, kRgbFrameCountOffset) != 2) return Fail(Errno());
    return {};
}

Status RgbFile::Checkpoint(uint32_t frames) {
    if (m_fd < 0) return Fail(Tr("the file is not open"));
    // Frames first: the count on disk never runs ahead of the frames there.
    if (::fdatasync(m_fd) != 0) return Fail(Errno());
    return WriteCount(frames);
}

Status RgbFile::FixFrameCountAndClose(uint32_t frames) {
    if (m_fd < 0) return Fail(Tr("the file is not open"));
    std::string error;
    // Frames first, as at a checkpoint: the count on disk never runs ahead of the frames.
    if (::fdatasync(m_fd) != 0) error = Errno();
    if (Status counted = WriteCount(frames); error.empty() && !counted) error = counted.error();
    if (error.empty() && ::fsync(m_fd) != 0) error = Errno();
    if (::close(m_fd) != 0 && error.empty()) error = Errno();
    m_fd = -1;
    if (!error.empty()) return Fail(error);
    return {};
}

void RgbFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

Status SyncFolderOf(const std::string& path) {
    UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || ::fsync(folder.get()) != 0) return Fail(Errno());
    return {};
}

Status RenameFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) {
        if (ec != std::errc::cross_device_link) return Fail(ec.message());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            const std::string reason = ec.message();
            std::error_code ignored;
            fs::remove(to, ignored);
            return Fail(reason);
        }
        // The copy must be on the medium before the original goes.
        UniqueFd copy(::open(to.c_str(), O_RDONLY | O_CLOEXEC));
        if (copy.get() < 0 || ::fsync(copy.get()) != 0) return Fail(Errno());
        fs::remove(from, ec);
    }
    return {};
}

Status MoveFile(const std::string& from, const std::string& to) {
    if (Status renamed = RenameFile(from, to); !renamed) return renamed;
    return SyncFolderOf(to);
}

Result<RepairOutcome> RepairRecording(const std::string& path, RgbFault* fault) {
    *fault = RgbFault::Unreadable;
    const auto fd = OpenExistingRecording(path);
    if (!fd) return Fail(fd.error());
    UniqueFd held(*fd);
    return RepairOpenRecording(held.get(), fault);
}

std::optional<KeptWorkingFile> FindKeptWorkingFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto check = CheckRgbFile(fd.get());
    if (!check || !check->HeaderValid() || check->wholeFrames == 0) return std::nullopt;
    return KeptWorkingFile{
        static_cast<uint32_t>(std::min<uint64_t>(check->wholeFrames, kMaxRecordedFrames)), path};
}

namespace {
// A rename that never replaces `to`; errno EEXIST when `to` is taken.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: look first (the name is fresh, so a race is unlikely).
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}
}  // namespace

Result<std::optional<KeptWorkingFile>> SetAsideWorkingFile(const std::string& path, time_t now) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::optional<KeptWorkingFile>();
        return Fail(path + ": " + Errno());
    }
    if (!S_ISREG(st.st_mode)) return Fail(NotRegular(path));
    const auto fd = OpenExistingRecording(path);
    if (!fd) return Fail(fd.error());
    UniqueFd held(*fd);
    RgbFault fault = RgbFault::Unreadable;
    const auto repaired = RepairOpenRecording(held.get(), &fault);
    if (repaired && repaired->wholeFrames == 0) {
        // Nothing was recorded in it: nothing to keep.
        if (::unlink(path.c_str()) != 0) return Fail(path + ": " + Errno());
        return std::optional<KeptWorkingFile>();
    }
    // Frames, or something that is not ours to judge: keep it under a name of its own.
    tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string folder = FolderOf(path);
    for (int n = 1; n < 1000; ++n) {
        const std::string name =
            folder + "/Unsaved-" + stamp + (n == 1 ? std::string() : Format("-%d", n)) + ".RGB";
        if (MoveWithoutReplacing(path, name)) {
            (void)SyncFolderOf(name);
            return std::optional<KeptWorkingFile>(
                KeptWorkingFile{repaired ? repaired->wholeFrames : 0, name});
        }
        if (errno != EEXIST) {
            return Fail(Format(Tr("cannot move %s aside: %s"), path.c_str(), Errno().c_str()));
        }
    }
    return Fail(Format(Tr("cannot move %s aside: too many unsaved recordings in %s"), path.c_str(),
                       folder.c_str()));
}

Result<uint32_t> SaveKeptWorkingFile(const std::string& path, const std::string& final) {
    const auto fd = OpenExistingRecording(path);
    if (!fd) return Fail(fd.error());
    // Held, so that no recording starts in it while it moves.
    UniqueFd held(*fd);
    RgbFault fault = RgbFault::Unreadable;
    const auto repaired = RepairOpenRecording(held.get(), &fault);
    if (!repaired) return Fail(repaired.error());
    if (repaired->wholeFrames == 0) return Fail(Format(Tr("%s holds no frame"), path.c_str()));
    if (const Status moved = MoveFile(path, final); !moved) return Fail(moved.error());
    return repaired->wholeFrames;
}

std::string FreeSaveName(const std::string& folder, int scene) {
    for (int n = std::max(scene, 1); n < scene + 10000; ++n) {
        const std::string name = DefaultSaveName(n);
        struct stat st {};
        if (::lstat((folder + "/" + name).c_str(), &st) != 0 && errno == ENOENT) return name;
    }
    return DefaultSaveName(scene);
}

}  // namespace quorvex
