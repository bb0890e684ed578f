// CBatchCall.
#include "job/batch_call.h"

#include <utility>

#include "job/file_line.h"

void CBatchCall::Measure(std::uint32_t at, const std::string& path)
{
    kind = Kind::Measure;
    index = at;
    m_path = &path;
    length = 0;
    failure = FileDigest();
}

void CBatchCall::Open(std::uint32_t at, const std::string& path)
{
    file = std::make_unique<CFile>();
    kind = Kind::Open;
    index = at;
    m_path = &path;
    length = 0;
    failure = FileDigest();
}

void CBatchCall::Again()
{
    length = 0;
    failure = FileDigest();
}

void CBatchCall::Close(std::unique_ptr<CFile> closing)
{
    kind = Kind::Close;
    file = std::move(closing);
}

void CBatchCall::Make() noexcept
{
    switch (kind) {
    case Kind::Measure:
        length = static_cast<std::uint64_t>(LengthForTotal(*m_path, &failure.openError));
        break;
    case Kind::Open:
        // Whether it is a disk file is asked before its first read, by the
        // reader that makes it.
        if (file->OpenUnchecked(m_path->c_str(), &failure.openError)) {
            try {
                // The length the reads are held to; under Wine also the
                // system's first look at the new handle, a round trip of its
                // own that the lane then does not wait for.
                length = file->GetLength();
            } catch (const CFileException&) {
                if (file->CheckIsFile(&failure.openError))
                    failure.readEnd = FileReadEnd::Failed;
                file->Close();
            }
        }
        break;
    case Kind::Close:
        file->Close();
        break;
    case Kind::None:
        break;
    }
}
