// The main dialog with its job queue in reach, for tests and benchmarks.
#pragma once

#include "ui/korvane_dlg.h"

class TestDialog : public CKorvaneDlg {
public:
    CJobQueue& Jobs() { return m_jobs; }
};
