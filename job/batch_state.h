// CBatchState: what the threads of one batch share. A batch is the digest
// pass of a job of several files, run on several threads at once:
// - the size pass measures the files in list order;
// - the opener, one thread, opens the files that the size pass has measured,
//   in list order and a few ahead of the lanes, and closes those that the
//   lanes are done with: under Wine every open and close is a round trip to
//   its server, one at a time whatever the threads, so the lanes never wait
//   for one;
// - lane workers, one per processor, each digest several open files side by
//   side in the lanes of a CMd5Lanes.
//
// What the user sees is what one stream gives:
// - one line per path, in list order: a line that is ready early waits for
//   those before it, and none comes after a stop;
// - every 1024-byte chunk is counted before it is read, as the one stream
//   counts it, so that m_doneBytes ends where the one stream ends it; the bar
//   moves once the size pass has the whole total, and never goes back;
// - each file is opened twice, once for its length and once for its digest,
//   and never twice at once: a path whose key is open in the batch waits (a
//   path listed twice is digested in turn), and an open that finds the file
//   held while other files of the batch are open is tried again once none
//   is, so that the batch's own opens never cause 文件被占用.
//
// THREADING: every member is guarded by m_lock. The threads wait by role
// (the opener, the lanes, the size pass), each role on a condition of its
// own, and a change wakes only a role that waits and may act on it: every
// wake of a sleeping thread costs a switch of threads, and a broadcast per
// file woke four threads for each. The job's counters and sinks are touched
// under m_lock only.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "digest/file_digest.h"
#include "job/job_state.h"
#include "platform/file.h"
#include "platform/sync.h"

class CBatchState {
public:
    // laneWorkers lane workers will take files, lanes of them in all.
    CBatchState(CJobState& job, const CFileList& files, unsigned laneWorkers, std::size_t lanes);
    CBatchState(const CBatchState&) = delete;
    CBatchState& operator=(const CBatchState&) = delete;

    const std::string& PathAt(std::uint32_t index) const { return m_files.GetAt(index); }

    // The size pass, on a thread of its own or the opener's: adds the length
    // of every file that opens to the job's total, in list order.
    void MeasureAll();

    // The opener: opens and closes files until the lanes are done with the
    // last, or the batch is to end and the lanes have let go.
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

private:
    using Lock = std::unique_lock<CLock>;
    static constexpr std::chrono::milliseconds kStopCheck{50};

    bool EndingLocked() const;

    enum Role { kOpener, kLanes, kSizePass, kRoles };
    // Waits as role, for at most kStopCheck, until ready() holds; ready()'s
    // last answer.
    template <typename Ready>
    bool WaitTurn(Lock& lock, Role role, Ready ready);
    // Waits as role until ready() holds or the batch is to end; ready()'s
    // last answer.
    template <typename Ready>
    bool WaitUntil(Lock& lock, Role role, Ready ready);
    // Wakes the threads of role that wait (with one, one of them).
    void Wake(Role role, bool one = false);
    void WakeAll();
    // The opener's parts.
    bool OpenableLocked();
    const std::string& NextKeyLocked();
    bool CloseHandedBack(Lock& lock);
    void HandBack(Item item);
    bool OpenNext(Lock& lock);
    void Line(Lock& lock, std::uint32_t index, const FileDigest& digest);
    void ShowPosition();

    CJobState& m_job;
    const CFileList& m_files;
    const std::uint32_t m_count;
    const std::size_t m_ahead;      // open files waiting for a lane, at most

    mutable CLock m_lock;
    struct Waiting {
        CCondition condition;
        unsigned threads = 0;
    };
    Waiting m_waiting[kRoles];
    std::uint32_t m_measured = 0;   // files the size pass has measured
    std::uint32_t m_next = 0;       // the next file to open
    std::uint32_t m_inFlight = 0;   // taken by the opener, without a line yet
    std::uint32_t m_opening = 0;    // taken by the opener, not in m_ready yet
    std::uint32_t m_open = 0;       // files of the batch open now, the size pass's among them
    unsigned m_retrying = 0;        // held files waiting to be opened again: no other opens meanwhile
    unsigned m_lanesRunning;
    std::set<std::string> m_keys;   // the keys of the paths open, or about to be
    std::string m_nextKey;          // the key of the file m_nextKeyOf
    std::uint32_t m_nextKeyOf = ~std::uint32_t{0};
    std::deque<Item> m_ready;       // open, for the lanes
    std::vector<Item> m_handedBack; // for the opener to close
    std::map<std::uint32_t, std::string> m_lines;  // lines that wait for those before them
    std::uint32_t m_nextLine = 0;   // the next line to show
    int m_shown = -1;               // the last position shown
    bool m_failed = false;
};
