// korvane_file_time PATH: digests PATH once through ComputeFileDigest, with
// the chunk reader and the progress rule at work and sinks that only record,
// and prints "seconds=S max_rss_kib=K digest=HEX". The process's peak memory
// shows whether the cost of a file grows with its size.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "digest/file_digest.h"
#include "counting_job.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_file_time PATH\n");
        return 2;
    }
    CountingJob job;
    CFile file;
    if (!file.Open(argv[1])) {
        std::fprintf(stderr, "korvane_file_time: cannot open %s\n", argv[1]);
        return 1;
    }
    job.m_totalBytes = static_cast<std::int64_t>(file.GetLength());
    file.Close();

    const auto start = std::chrono::steady_clock::now();
    const FileDigest digest = ComputeFileDigest(argv[1]);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("seconds=%.4f max_rss_kib=%ld digest=%s\n", seconds.count(), usage.ru_maxrss, digest.text.c_str());
    return digest.text.empty() ? 1 : 0;
}
