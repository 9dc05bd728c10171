// What the table files in use were when they were set up, so that a file
// removed, replaced, cut short or written to afterwards can be noticed
// before a search reads it.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

class FileStamps {
public:
    // Notes what the file at `path` is now; a file that cannot be looked at
    // is not noted.
    void add(const std::string& path);
    void clear() { stamps_.clear(); }
    // Whether a noted file is gone or differs in device, inode, size or
    // modification time from what was noted (one stat a file).
    bool anyChanged() const;

private:
    struct Stamp {
        std::string path;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified = {};
    };
    static bool read(const std::string& path, Stamp& stamp);
    std::vector<Stamp> stamps_;
};
