// CKorvaneDlg: the main dialog. It owns the job state, is the progress and
// result sink of its jobs, and routes its messages and button commands.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "job/job_state.h"
#include "job/result_pacer.h"
#include "platform/sinks.h"
#include "platform/win32/dialog.h"
#include "platform/win32/progress_ctrl.h"

class CKorvaneDlg : public CDialog, public CJobState, public IResultSink {
public:
    CKorvaneDlg();
    ~CKorvaneDlg() override;

    // Result sink: the result box is to show text, all lines so far. Called on
    // a job's thread; the box shows it soon after (see CResultPacer).
    void SetResultText(const std::string& text, bool startsJob, bool endsJob) override;

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange& exchange) override;
    BOOL OnInitDialog() override;
    // Ends the dialog once the running job has stopped and the worker has
    // ended.
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

    // Shows the latest result text, paced by m_resultPacer.
    void OnShowResult();
    static constexpr UINT WM_SHOWRESULT = WM_APP + 1;
    static constexpr UINT_PTR kResultTimer = 1;

    HICON m_hIcon;
    // m_files, m_totalBytes and m_doneBytes come with CJobState.
    CProgressCtrl m_progress;

private:
    CResultPacer m_resultPacer;
};
