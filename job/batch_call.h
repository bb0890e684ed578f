// CBatchCall: one call on a file of a batch that may block, made by a reader
// (CReadPool) so that several are under way at once: the size pass's look at
// a file, an open for the lanes, or a close. A share answers each a round
// trip late; one after another, the batch would wait out every one.
//
// THREADING: set up and read by the thread that asks for it, while it is not
// pending; made by a reader; its end is told to its owner under the pool's
// lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "digest/file_digest.h"
#include "platform/file.h"
#include "platform/read_pool.h"

class CBatchCall : public CReadPool::Read {
public:
    class IOwner {
    public:
        // A reader made call; readers is the pool's lock, held, with which
        // the owner may ask the call again at once.
        virtual void CallMade(CBatchCall& call, CReadPool::Lock& readers) noexcept = 0;

    protected:
        ~IOwner() = default;
    };

    enum class Kind { None, Measure, Open, Close };

    explicit CBatchCall(IOwner& owner) : m_owner(owner) {}

    // The length of the file at path for the size pass (length, or 0 and
    // failure.openError).
    void Measure(std::uint32_t index, const std::string& path);
    // Opens the file at path unchecked and takes its length (file, open, and
    // length; or failure). Throws std::bad_alloc (nothing set up).
    void Open(std::uint32_t index, const std::string& path);
    // Closes file.
    void Close(std::unique_ptr<CFile> closing);
    // The same call, to be made again: its results cleared.
    void Again();

    Kind kind = Kind::None;
    std::uint32_t index = 0;
    std::string key;              // the path's key, the caller's to keep
    bool retried = false;         // the caller's: made again after it found the file held
    std::unique_ptr<CFile> file;  // Open: the file, open when it opened; Close: the file closed
    std::uint64_t length = 0;
    FileDigest failure;           // why it did not open, or could not be measured

private:
    void Make() noexcept override;
    void Made(CReadPool::Lock& lock) noexcept override { m_owner.CallMade(*this, lock); }

    IOwner& m_owner;
    const std::string* m_path = nullptr;
};
