#include "egtb/file_stamps.h"

#include <sys/stat.h>

bool FileStamps::read(const std::string& path, Stamp& stamp) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    stamp.path = path;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    return true;
}

void FileStamps::add(const std::string& path) {
    Stamp stamp;
    if (read(path, stamp)) stamps_.push_back(stamp);
}

bool FileStamps::anyChanged() const {
    for (const Stamp& was : stamps_) {
        Stamp now;
        if (!read(was.path, now) || now.device != was.device || now.inode != was.inode || now.size != was.size ||
            now.modified.tv_sec != was.modified.tv_sec || now.modified.tv_nsec != was.modified.tv_nsec)
            return true;
    }
    return false;
}
