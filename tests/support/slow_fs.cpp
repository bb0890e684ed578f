// The paths of the stand-in file system's mounts, the bytes of its files and
// the share's counts.
#include "support/slow_fs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace {

// A folder where the fixtures put it (a Linux path, as CMake gives it), with
// a trailing separator, as this program spells it.
[[maybe_unused]] std::string Spelled(std::string folder)
{
#ifdef _WIN32
    folder = "Z:" + folder + "\\";
    for (char& c : folder) {
        if (c == '/')
            c = '\\';
    }
    return folder;
#else
    return folder + "/";
#endif
}

#ifdef KORVANE_SLOWFS_MOUNT
std::string MountFolder()
{
    return Spelled(KORVANE_SLOWFS_MOUNT);
}

std::string ShareFolder()
{
    return Spelled(KORVANE_SHAREFS_MOUNT);
}
#endif

}  // namespace

std::string SlowFsPath(const char* name)
{
#ifdef KORVANE_SLOWFS_MOUNT
    const std::string path = MountFolder() + name;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path : std::string();
#else
    (void)name;
    return {};
#endif
}

std::string SlowFsMissing()
{
#ifdef KORVANE_SLOWFS_MOUNT
    return "the stand-in file system is not mounted at " + MountFolder() +
           ": run the test through ctest, whose fixture korvane_slowfs mounts it (with FUSE: /dev/fuse, fusermount3)";
#else
    return "built without the stand-in file system: it needs libfuse3 found by pkg-config (Debian: libfuse3-dev, "
           "pkg-config) and, for the Windows build, the host's C compiler";
#endif
}

std::string SlowFsBytes(std::uint64_t offset, std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(SlowFsByte(offset + i));
    return bytes;
}

std::string ShareFsWrite(const std::string& name, const std::string& content)
{
#ifdef KORVANE_SLOWFS_MOUNT
    std::error_code error;
    if (!std::filesystem::is_regular_file(ShareFolder() + kShareFsStatsName, error))
        return {};
    const std::string source = Spelled(KORVANE_SHAREFS_SOURCE) + name;
    // The source outlives the mount: a file an earlier run wrote is there, and
    // the mount's first listing has its times. Written again, it would change
    // under the share's cache, as a file changed on the server does.
    {
        std::ifstream in(source, std::ios::binary);
        if (in && std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) == content)
            return ShareFolder() + name;
    }
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + source);
    return ShareFolder() + name;
#else
    (void)name;
    (void)content;
    return {};
#endif
}

std::string ShareFsMissing()
{
#ifdef KORVANE_SLOWFS_MOUNT
    return "the stand-in share is not mounted at " + ShareFolder() +
           ": run the test through ctest, whose fixture korvane_sharefs mounts it (with FUSE: /dev/fuse, fusermount3)";
#else
    return SlowFsMissing();
#endif
}

#ifdef KORVANE_SLOWFS_MOUNT
bool ReadShareFsCounts(ShareFsCounts& counts)
{
    std::ifstream stats(ShareFolder() + kShareFsStatsName);
    std::string line;
    return std::getline(stats, line) &&
           std::sscanf(line.c_str(), "open_now=%u open_max=%u opens=%u", &counts.openNow, &counts.openMax,
                       &counts.opens) == 3;
}

bool ResetShareFsCounts()
{
    return std::ifstream(ShareFolder() + kShareFsResetName).is_open();
}
#else
bool ReadShareFsCounts(ShareFsCounts&)
{
    return false;
}

bool ResetShareFsCounts()
{
    return false;
}
#endif
