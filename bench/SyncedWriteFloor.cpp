// The physical floor of a safe extraction: the same tree written by a plain loop, every file under
// a temporary name, one flush of the whole file system, then the final names and a flush of their
// folders, as the extraction folder does it, without decoding. With --no-flush the same without
// the flushes, so that the difference is what they cost; with --flush-each-file each file is
// flushed on its own instead of the whole file system, which spares the flush the data of other
// programs: its writing out starts as soon as it is written, and the flushes follow the last one.
// Usage: synced_write_floor [--no-flush|--flush-each-file|--flush-fs] SOURCE_TREE DESTINATION
// (--flush-fs is the default, spelled out).
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[1] : "";
    if ((argc != 3 && argc != 4) ||
        (argc == 4 && mode != "--no-flush" && mode != "--flush-each-file" && mode != "--flush-fs"))
        return 2;
    const bool flush = mode != "--no-flush", eachFile = mode == "--flush-each-file";
    const fs::path source = argv[argc - 2], dest = argv[argc - 1];
    std::vector<std::pair<fs::path, fs::path>> renames;
    std::vector<int> written;  // each file's own flush, when it has one
    std::vector<char> buf(1 << 16);
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(source, ec)) {
        const fs::path to = dest / entry.path().lexically_relative(source);
        if (entry.is_symlink()) {
            fs::create_symlink(fs::read_symlink(entry.path()), to, ec);
        } else if (entry.is_directory()) {
            fs::create_directories(to, ec);
        } else {
            const int in = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
            const fs::path temp = to.parent_path() / (".tmp-" + to.filename().string());
            const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (in < 0 || out < 0)
                return 1;
            ssize_t n;
            while ((n = read(in, buf.data(), buf.size())) > 0)
                if (write(out, buf.data(), static_cast<size_t>(n)) != n)
                    return 1;
            if (eachFile)
                sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
            close(in);
            if (eachFile)
                written.push_back(out);
            else
                close(out);
            renames.emplace_back(temp, to);
        }
    }
    for (const int out : written) {
        if (fsync(out) != 0)
            return 1;
        close(out);
    }
    const int dir = open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || (flush && !eachFile && syncfs(dir) != 0))
        return 1;
    std::set<fs::path> folders;
    for (const auto& [temp, to] : renames) {
        if (rename(temp.c_str(), to.c_str()) != 0)
            return 1;
        folders.insert(to.parent_path());
    }
    // The new names reach the disk with their folders.
    for (const auto& folder : folders) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || (flush && fsync(fd) != 0))
            return 1;
        close(fd);
    }
    close(dir);
    return 0;
}
