// DigestWorker: the size pass, the digest pass and the result lines.
#include "job/worker.h"

#include "digest/file_digest.h"
#include "job/job_state.h"
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

// The length of one file for the size pass; 0 when it does not open, or its
// length cannot be had, or it cannot be closed again.
std::int64_t LengthForTotal(const std::string& path)
{
    CFile file;
    if (!file.Open(path.c_str()))
        return 0;
    std::int64_t length = 0;
    try {
        length = static_cast<std::int64_t>(file.GetLength());
    } catch (const CFileException&) {
        return 0;
    }
    return file.Close() ? length : 0;
}

}  // namespace

std::uint32_t DigestWorker(CJobState* dialog, const CFileList& files)
{
    if (!dialog)
        return 0xFFFFFFFF;
    CJobState& job = *dialog;

    job.m_totalBytes = 0;
    job.m_doneBytes = 0;
    job.Progress().SetPos(0);

    for (std::uint32_t i = 0; i < files.GetCount(); ++i) {
        if (job.StopRequested())
            return 1;
        job.m_totalBytes += LengthForTotal(files.GetAt(i));
    }

    std::string result;
    for (std::uint32_t j = 0; j < files.GetCount(); ++j) {
        if (job.StopRequested())
            return 1;
        const std::string& path = files.GetAt(j);
        const FileDigest digest = ComputeFileDigest(path.c_str());
        if (digest.readEnd == FileReadEnd::Stopped)
            return 1;  // the file was cut short: no line for it
        result += FileNameFromPath(path);
        result += " : ";
        result += digest.text.empty() ? AnsiFromWide(ReasonText(digest)) : digest.text;
        result += "\r\n";
        job.Results().SetResultText(result, j == 0, j + 1 == files.GetCount());
    }
    return 1;
}
