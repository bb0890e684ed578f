// CBatchState: what the threads of one batch share. A batch is the digest
// pass of a job of several files, run on several threads at once:
// - calls that may block are made by the readers, several at once: the size
//   pass's look at each file in list order, the opens of the files it has
//   measured, a few ahead of the lanes, and the closes of those the lanes are
//   done with. From a share each is a round trip; one after another, a batch
//   of small files would be those round trips end to end. A reader that ends
//   a call goes on with the next; the opener, the job's own thread, starts
//   calls where none runs and makes queued ones itself rather than wait;
// - lane workers, one per processor, each digest several open files side by
//   side in the lanes of a CMd5Lanes.
//
// What the user sees is what one stream gives (CBatchLines); and each file
// is opened twice, once for its length and once for its digest, and never
// twice at once: a path whose key is open in the batch waits (a path listed
// twice is digested in turn), and a file found held while other files of the
// batch are open is tried again once none is, alone, so that the batch's own
// opens never cause 文件被占用.
//
// The files open or opening at once are at most kMostOpen: a file server
// limits the files one client holds open, and some refuse more once a few
// hundred are (Windows says "not enough server storage").
//
// THREADING: every member is guarded by m_lock. The threads wait by role
// (the opener, the lanes), each role on a condition of its own, and a change
// wakes only a role that waits and may act on it: every wake of a sleeping
// thread costs a switch of threads. A call's end is told under the readers'
// lock, which is never taken under m_lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "job/batch_call.h"
#include "job/batch_lines.h"
#include "job/job_state.h"
#include "platform/file.h"
#include "platform/sync.h"

class CBatchState : private CBatchCall::IOwner {
public:
    // laneWorkers lane workers will take files, lanes of them in all; the
    // calls are made by readers.
    CBatchState(CJobState& job, const CFileList& files, unsigned laneWorkers, std::size_t lanes, CReadPool& readers);
    CBatchState(const CBatchState&) = delete;
    CBatchState& operator=(const CBatchState&) = delete;

    const std::string& PathAt(std::uint32_t index) const { return m_files.GetAt(index); }

    // The opener: has files measured, opened and closed until the lanes are
    // done with the last, or the batch is to end, the lanes have let go and
    // every call is over.
    void RunOpener();

    // A file for a lane.
    // Goes to a lane and comes back with its line (Finished or Dropped).
    struct Item {
        std::uint32_t index = 0;
        std::unique_ptr<CFile> file;  // open, its length taken; null: Alone
        std::uint64_t length = 0;     // at its open
        std::string key;              // its path's key, held while it is open
    };
    enum class Take {
        File,   // item.file is the lane's
        Alone,  // item.index is the last file and no other is open: the one-stream path
        Wait,   // none is ready (wait was false)
        Done,   // none is left, or the batch is to end
    };
    // With wait, blocks while the answer would be Wait.
    Take Next(Item& item, bool wait);
    // A file read to its end, or not: its line, and the file to close.
    void Finished(Item item, const FileDigest& digest);
    // A file whose line is not to be written: the batch is ending.
    void Dropped(Item item);
    // A lane worker has ended (Run returned or threw).
    void LaneWorkerDone();

    // Counts bytes toward the job before they are read, and moves the bar.
    void Count(std::uint64_t bytes);

    // Whether the batch is to end: the job was asked to stop, or a thread of
    // the batch failed.
    bool Ending() const;
    void Fail();

    static constexpr std::uint32_t kMostOpen = 48;
    // How long a thread of the batch waits before it looks whether the batch
    // is to end; lanes that hold blocks fold then with what is in. Several of
    // Windows' timer ticks: a timed wait there ends on one.
    static constexpr std::chrono::milliseconds kStopCheck{50};

private:
    using Lock = std::unique_lock<CLock>;
    // Calls under way at once: enough that the readers and the opener always
    // have one to make, and that a share's round trips overlap.
    static constexpr std::size_t kCalls = 8;

    bool EndingLocked() const;

    enum Role { kOpener, kLanes, kRoles };
    // Waits as role, for at most kStopCheck, until ready() holds.
    template <typename Ready>
    void WaitTurn(Lock& lock, Role role, Ready ready);
    // Waits as role until ready() holds or the batch is to end; ready()'s
    // last answer.
    template <typename Ready>
    bool WaitUntil(Lock& lock, Role role, Ready ready);
    // Wakes the threads of role that wait (with one, one of them).
    void Wake(Role role, bool one = false);
    void WakeAll();

    // The opener's parts, under the lock.
    void CallMade(CBatchCall& call, CReadPool::Lock& readers) noexcept override;
    // Sets up the next call to make in call, if there is one now.
    bool NextCall(CBatchCall& call);
    // Sets call, a file found held, up to be made again, if it may be now.
    bool Retry(CBatchCall& call);
    void Drop(CBatchCall& call);
    bool NextMeasure(CBatchCall& call);
    bool NextOpen(CBatchCall& call);
    // The file at index is call's: its key is taken and it counts as open
    // until the call is over.
    void Claim(CBatchCall& call, std::uint32_t index);
    void Finish(CBatchCall& call);
    bool Held(CBatchCall& call);
    bool OpenerDone() const;
    const std::string& KeyOf(std::uint32_t index);
    void HandBack(Item item);
    void Line(std::uint32_t index, const FileDigest& digest);

    CJobState& m_job;
    CReadPool& m_readers;
    const CFileList& m_files;
    const std::uint32_t m_count;
    const std::size_t m_ahead;      // open files waiting for a lane, at most

    mutable CLock m_lock;
    struct Waiting {
        CCondition condition;
        unsigned threads = 0;
    };
    Waiting m_waiting[kRoles];
    CBatchLines m_lines;
    std::vector<std::unique_ptr<CBatchCall>> m_calls;  // each free, pending or made
    unsigned m_pending = 0;            // calls asked and not finished
    unsigned m_measuring = 0;          // of them the size pass's
    std::uint32_t m_nextMeasure = 0;   // the next file to measure
    std::uint32_t m_measured = 0;      // files measured, from the first on
    std::vector<bool> m_isMeasured;    // which files are, in any order
    std::uint32_t m_next = 0;          // the next file to open
    std::uint32_t m_inFlight = 0;      // taken for opening, without a line yet
    std::uint32_t m_opening = 0;       // of them, not yet open nor failed
    std::uint32_t m_open = 0;          // files of the batch open or opening now
    std::deque<CBatchCall*> m_retries; // calls that found their file held, to make again alone
    unsigned m_lanesRunning;
    std::set<std::string> m_keys;      // the keys of the paths open, or about to be
    std::string m_key;                 // the key of the file m_keyOf
    std::uint32_t m_keyOf = ~std::uint32_t{0};
    std::deque<Item> m_ready;          // open, for the lanes
    std::vector<Item> m_handedBack;    // for the opener to close
    bool m_openerWoken = false;        // something changed that the opener may act on
    bool m_failed = false;
};
