// SlowFsPath and the bytes of the stand-in file system's files.
#include "support/slow_fs.h"

#include <filesystem>
#include <system_error>

namespace {

#ifdef KORVANE_SLOWFS_MOUNT
// Where the fixture mounts it (KORVANE_SLOWFS_MOUNT: a Linux path), with a
// trailing separator.
std::string MountFolder()
{
#ifdef _WIN32
    std::string folder = "Z:" KORVANE_SLOWFS_MOUNT "\\";
    for (char& c : folder) {
        if (c == '/')
            c = '\\';
    }
    return folder;
#else
    return KORVANE_SLOWFS_MOUNT "/";
#endif
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
