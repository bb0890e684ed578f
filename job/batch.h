// The digest pass of a job of several files, on every processor at once, and
// the choice of whether a job runs so.
#pragma once

#include "job/job_state.h"

// Whether files are digested as a batch: more than one, and none on a drive
// with a seek penalty, where one file after another is the faster way.
bool DigestsAsBatch(const CFileList& files);

// For tests of the one stream's own order of texts and positions: whether
// jobs may run as batches at all (they may, unless told otherwise).
void AllowBatches(bool allowed);

// Runs the job's size pass and digest pass over files as a batch (see
// CBatchState): lane workers on as many threads as the process has
// processors, the opener beside them. Returns once every thread of the batch
// has let go of the job; false, having done nothing, when not one lane worker
// could be started. The counters and the bar are reset already.
bool RunBatch(CJobState& job, const CFileList& files);
