// LengthForTotal and ResultLine.
#include "job/file_line.h"

#include "platform/ansi.h"
#include "platform/file.h"

namespace {

// What stands in a line in place of the digest when there is none.
const wchar_t* ReasonText(const FileDigest& digest)
{
    if (digest.readEnd == FileReadEnd::Failed)
        return L"读取失败";
    switch (digest.openError) {
    case FileOpenError::NotFound:
        return L"找不到文件";
    case FileOpenError::AccessDenied:
        return L"拒绝访问";
    case FileOpenError::Locked:
        return L"文件被占用";
    case FileOpenError::NotAFile:
        return L"不是文件";
    default:
        return L"无法打开";
    }
}

}  // namespace

std::int64_t LengthForTotal(const std::string& path, FileOpenError* error)
{
    std::uint64_t length = 0;
    return CFile::MeasureFile(path.c_str(), length, error) ? static_cast<std::int64_t>(length) : 0;
}

std::string ResultLine(const std::string& path, const FileDigest& digest)
{
    return FileNameFromPath(path) + " : " + (digest.text.empty() ? AnsiFromWide(ReasonText(digest)) : digest.text) +
           "\r\n";
}
