#pragma once
// Who holds a serial device, found without opening it: UUCP lock files, file locks in
// /proc/locks, and the open files of every process in /proc/<pid>/fd. Our own process does not
// count: while we are connected the port list is frozen anyway, and right after a disconnect our
// closing port thread must not make the port drop out of the list for one refresh.

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

namespace corvane::holders {

// The process number a lock file holds: in text, or as the 4 bytes of an int as old programs
// write it; 0 when it holds neither.
pid_t LockFilePid(const std::string& content);

// A lock file LCK..<name> ('/' in the name written as '_') in one of the directories whose
// process (its number in text, or binary as old programs write it) is alive and is not self.
bool HasLiveLockFile(const std::string& deviceName, const std::vector<std::string>& lockDirs,
                     pid_t self);

struct LockedFile {
    dev_t device;  // of the file system holding the file
    ino_t inode;
    bool operator<(const LockedFile& o) const {
        return device != o.device ? device < o.device : inode < o.inode;
    }
};

// The files locked (flock, POSIX or open-file-description locks) by processes other than self,
// from the text of /proc/locks.
std::set<LockedFile> ParseProcLocks(const std::string& text, pid_t self);
// Whether the file at path is one of them.
bool IsLocked(const std::string& path, const std::set<LockedFile>& locked);

// Which of the paths a process other than self has open, by the links in <procRoot>/<pid>/fd.
// Processes of other users are unreadable unless we are root, and are missed.
std::set<std::string> FindOpenByProcesses(const std::set<std::string>& paths, pid_t self,
                                          const std::string& procRoot = "/proc");

// The whole file, or empty when it cannot be read.
std::string ReadSmallFile(const std::string& path);

}  // namespace corvane::holders
