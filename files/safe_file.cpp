#include "safe_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// ---- The few calls that differ between the systems

#if defined(_WIN32)

int processId() {
    return _getpid();
}
int createNew(const std::string& path) {
    return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long writeSome(int fd, const uint8_t* data, size_t size) {
    const unsigned chunk = size > (1u << 30) ? 1u << 30 : static_cast<unsigned>(size);
    return _write(fd, data, chunk);
}
int syncToDisk(int fd) {
    return _commit(fd);
}
int closeFile(int fd) {
    return _close(fd);
}
void removeFile(const std::string& path) {
    _unlink(path.c_str());
}
bool mayWrite(const std::string& path) {
    return _access(path.c_str(), 2) == 0;
}
bool isSymlink(const std::string&) {
    return false; // symbolic links are rare on Windows; the path is used as it is
}
std::string resolveLink(const std::string& path) {
    return path;
}
void keepMode(int, int) {}
void syncFolder(const std::string&) {} // a rename is durable once MoveFileEx returns

// CON, PRN, AUX, NUL, COM1..9 and LPT1..9 name devices in every folder and with any extension:
// "nul.mid" is the null device.
bool isReservedName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\:");
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (char& c : name)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL")
        return true;
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

// Anything but a file on a disk: a device, a pipe, a console. Opened without asking for any
// access, which neither reads nor waits.
bool isDevice(const std::string& path) {
    if (isReservedName(path))
        return true;
    HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type != FILE_TYPE_DISK;
}

// MoveFileEx, unlike rename, replaces an existing file.
Status renameOver(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return Failure{"cannot replace it (Windows error " + std::to_string(GetLastError()) + ")"};
}

#else

int processId() {
    return static_cast<int>(getpid());
}
int createNew(const std::string& path) {
    return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
}
long writeSome(int fd, const uint8_t* data, size_t size) {
    return static_cast<long>(write(fd, data, size));
}
int syncToDisk(int fd) {
    return fsync(fd);
}
int closeFile(int fd) {
    return close(fd);
}
void removeFile(const std::string& path) {
    unlink(path.c_str());
}
bool mayWrite(const std::string& path) {
    return access(path.c_str(), W_OK) == 0;
}
bool isSymlink(const std::string& path) {
    struct stat link;
    return lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
}
std::string resolveLink(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}
// A replaced file keeps its permissions.
void keepMode(int fd, int mode) {
    if (mode >= 0)
        fchmod(fd, static_cast<mode_t>(mode & 07777));
}
// The rename itself reaches the disk once the folder is synced.
bool isDevice(const std::string&) {
    return false; // stat tells devices from files
}
void syncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}
Status renameOver(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return {};
    return Failure{std::string("cannot replace it (") + std::strerror(errno) + ")"};
}

#endif

bool isFolder(const struct stat& info) {
    return (info.st_mode & S_IFMT) == S_IFDIR;
}
bool isRegular(const struct stat& info) {
    return (info.st_mode & S_IFMT) == S_IFREG;
}

// A file whose permissions let nobody write it is read-only, whoever runs the tool.
bool isReadOnly(const struct stat& info) {
#if defined(_WIN32)
    return (info.st_mode & _S_IWRITE) == 0;
#else
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
#endif
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string reason(int error) {
    return std::strerror(error);
}

// A new, empty file beside `target` that no one else is using, open for writing; its name goes
// to `made`.
Result<int> createBeside(const std::string& target, std::string& made) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        made = folder + "." + name + ".tmp-" + std::to_string(processId()) + "-" +
               std::to_string(counter++);
        const int fd = createNew(made);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            return Failure{"cannot create a file in " + folderOf(target) + " (" + reason(errno) +
                           ")"};
    }
    return Failure{"cannot find a free temporary name in " + folderOf(target)};
}

Status writeAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const long wrote = writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return Failure{"cannot write (" + reason(wrote < 0 ? errno : ENOSPC) + ")"};
        done += static_cast<size_t>(wrote);
    }
    return {};
}

// Writes, syncs and closes the new file; the caller removes it on failure.
Status fillAndClose(int fd, const std::vector<uint8_t>& bytes, int mode) {
    keepMode(fd, mode);
    Status done = writeAll(fd, bytes);
    if (done && syncToDisk(fd) != 0)
        done = Failure{"cannot write (" + reason(errno) + ")"};
    if (closeFile(fd) != 0 && done)
        done = Failure{"cannot write (" + reason(errno) + ")"};
    return done;
}

// The same failure, its line beginning with the path it concerns.
Status about(const std::string& path, const Status& status) {
    return status ? status : Status(Failure{path + ": " + status.error()});
}

} // namespace

Status checkInputKind(const std::string& path, const std::string& what) {
    struct stat info;
    if (path.empty())
        return Failure{"no file name given"};
    if (isDevice(path))
        return Failure{"is not a regular file (a device, FIFO or socket), not a " + what};
    if (stat(path.c_str(), &info) != 0)
        return Failure{errno == ENOENT ? std::string("no such file") : reason(errno)};
    if (isFolder(info))
        return Failure{"is a folder, not a " + what};
    if (!isRegular(info))
        return Failure{"is not a regular file (a device, FIFO or socket), not a " + what};
    return {};
}

Status checkInput(const std::string& path, const std::string& what) {
    if (path.empty())
        return Failure{what + ": no file name given"};
    return about(path, checkInputKind(path, what));
}

Status checkOutput(const std::string& path, const std::string& what) {
    if (path.empty())
        return Failure{what + ": no file name given"};
    struct stat info;
    if (isDevice(path))
        return Failure{path +
                       ": is not a regular file (a device, FIFO or socket); give a file name"};
    if (stat(path.c_str(), &info) == 0) {
        if (isFolder(info))
            return Failure{path + ": is a folder, not a " + what};
        if (!isRegular(info))
            return Failure{path +
                           ": is not a regular file (a device, FIFO or socket); give a file name"};
        if (isReadOnly(info) || !mayWrite(path))
            return Failure{path + ": is read-only"};
    } else if (errno != ENOENT) {
        return Failure{path + ": " + reason(errno)};
    } else if (isSymlink(path)) {
        return Failure{path + ": is a symbolic link to a missing file"};
    }
    const std::string target = resolveLink(path);
    const std::string folder = folderOf(target);
    if (stat(folder.c_str(), &info) != 0 || !isFolder(info))
        return Failure{path + ": the folder " + folder + " does not exist"};
    std::string probe;
    const Result<int> fd = createBeside(target, probe);
    if (!fd)
        return about(path, fd.failure());
    closeFile(*fd);
    removeFile(probe);
    return {};
}

Status writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (Status place = checkOutput(path, "file"); !place)
        return place;
    const std::string target = resolveLink(path);
    struct stat info;
    const int mode = stat(target.c_str(), &info) == 0 ? static_cast<int>(info.st_mode) : -1;
    std::string temporary;
    const Result<int> fd = createBeside(target, temporary);
    if (!fd)
        return about(path, fd.failure());
    Status written = fillAndClose(*fd, bytes, mode);
    if (written)
        written = renameOver(temporary, target);
    if (!written) {
        removeFile(temporary);
        return about(path, written);
    }
    syncFolder(folderOf(target));
    return {};
}
