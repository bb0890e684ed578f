// CKorvaneDlg: the main dialog. It holds the job state (the list, the two
// counters, the progress bar) and the queue of its jobs, reports their
// progress and results, and routes its messages and button commands.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <atomic>

#include "job/job_queue.h"
#include "job/job_state.h"
#include "job/result_pacer.h"
#include "platform/win32/dialog.h"
#include "platform/win32/progress_ctrl.h"

class CKorvaneDlg : public CDialog, public CJobState {
public:
    // Sets g_pMainDlg to the new dialog, as its last step.
    CKorvaneDlg();

    // The running job's sinks: the bar, and the result box through its pacer.
    IProgressSink& Progress() override { return m_progress; }
    IResultSink& Results() override { return m_resultPacer; }
    bool StopRequested() const override { return m_jobs.StopRequested(); }

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange& exchange) override;
    BOOL OnInitDialog() override;
    // Stops the jobs, then ends the dialog; the jobs end with the dialog
    // object (m_jobs).
    void OnCancel() override;

    INT_PTR OnSysCommand(UINT nID, LPARAM lParam);
    INT_PTR OnPaint();
    HCURSOR OnQueryDragIcon() const { return m_hIcon; }
    // The start commands.
    void OnBnClickedOk();
    void OnBnClickedBrowse();
    virtual void OnDropFiles(HDROP hDropInfo);

    // Starts a job on m_files; says so when no thread could be made.
    void StartDigestJob();
    void ReportFailedStart();

    INT_PTR OnTimer(UINT_PTR id);
    // Shows the latest result text, paced by m_resultPacer.
    void OnShowResult();
    // While jobs run: shows what a full message queue kept from the window
    // (a position, a text whose post failed), then stops once all is shown.
    void OnCatchUp();
    static constexpr UINT WM_SHOWRESULT = WM_APP + 1;
    static constexpr UINT_PTR kResultTimer = 1;
    static constexpr UINT_PTR kCatchUpTimer = 2;
    static constexpr UINT kCatchUpPeriod = 250;  // ms

    HICON m_hIcon;
    // m_files, m_totalBytes and m_doneBytes come with CJobState.
    CProgressCtrl m_progress;
    CResultPacer m_resultPacer;
    // Where the pacer asks for the text to be shown: the dialog's window, set
    // once it exists. A job's thread reads it.
    std::atomic<HWND> m_resultWindow{nullptr};
    // Last, so that it goes first: the jobs end before anything they use.
    CJobQueue m_jobs;
};
