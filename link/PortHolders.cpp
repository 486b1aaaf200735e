#include "link/PortHolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace corvane::holders {
namespace {

bool IsAlive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

bool AllDigits(const char* s) {
    if (!*s) return false;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return false;
    }
    return true;
}

}  // namespace

std::string ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(fd);
    return text;
}

pid_t LockFilePid(const std::string& content) {
    // A process number is below 2^22, so the binary form always has a zero byte and the text
    // form never has one. Read as text, a binary number whose low byte is a digit or a space
    // would give another process's number.
    if (content.size() == sizeof(int) && content.find('\0') != std::string::npos) {
        int binary = 0;
        std::memcpy(&binary, content.data(), sizeof binary);
        return binary;
    }
    char* end = nullptr;
    const long text = std::strtol(content.c_str(), &end, 10);
    return end != content.c_str() ? static_cast<pid_t>(text) : 0;
}

bool HasLiveLockFile(const std::string& deviceName, const std::vector<std::string>& lockDirs,
                     pid_t self) {
    std::string file = "LCK.." + deviceName;
    for (char& c : file) {
        if (c == '/') c = '_';
    }
    for (const std::string& dir : lockDirs) {
        const std::string content = ReadSmallFile(dir + "/" + file);
        if (content.empty()) continue;
        const pid_t pid = LockFilePid(content);
        // A stale file from a process that has gone holds nothing.
        if (pid != self && IsAlive(pid)) return true;
    }
    return false;
}

std::set<LockedFile> ParseProcLocks(const std::string& text, pid_t self) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF"; "1: -> FLOCK ..." is a waiter, not a holder.
    std::set<LockedFile> locked;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string id, kind, mode, access, pid, file;
        fields >> id >> kind;
        if (kind == "->") continue;
        fields >> mode >> access >> pid >> file;
        if (file.empty()) continue;
        if (pid == std::to_string(self)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        locked.insert({makedev(major, minor), static_cast<ino_t>(inode)});
    }
    return locked;
}

bool IsLocked(const std::string& path, const std::set<LockedFile>& locked) {
    if (locked.empty()) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return locked.count({st.st_dev, st.st_ino}) != 0;
}

std::set<std::string> FindOpenByProcesses(const std::set<std::string>& paths, pid_t self,
                                          const std::string& procRoot) {
    std::set<std::string> found;
    if (paths.empty()) return found;
    DIR* proc = ::opendir(procRoot.c_str());
    if (!proc) return found;
    const std::string own = std::to_string(self);
    while (const dirent* entry = ::readdir(proc)) {
        if (!AllDigits(entry->d_name) || own == entry->d_name) continue;
        const std::string fdDir = procRoot + "/" + entry->d_name + "/fd";
        const int at = ::open(fdDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (at < 0) continue;  // gone meanwhile, or another user's
        // The walk's cost is its system calls, a few per process, so the listing is read with
        // getdents64 itself: one call is the whole listing when it left room for another entry.
        alignas(dirent64) char listing[8192];
        for (;;) {
            const ssize_t size = ::getdents64(at, listing, sizeof listing);
            if (size <= 0) break;
            for (ssize_t offset = 0; offset < size;) {
                const auto* fd = reinterpret_cast<const dirent64*>(listing + offset);
                offset += fd->d_reclen;
                if (fd->d_name[0] == '.') continue;
                char target[512];
                const ssize_t n = ::readlinkat(at, fd->d_name, target, sizeof target - 1);
                if (n <= 0) continue;
                target[n] = '\0';
                if (paths.count(target)) found.insert(target);
            }
            if (static_cast<std::size_t>(size) + sizeof(dirent64) <= sizeof listing) break;
        }
        ::close(at);
    }
    ::closedir(proc);
    return found;
}

}  // namespace corvane::holders
