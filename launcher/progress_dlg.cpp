#include "launcher/progress_dlg.h"

CProgressDlg::CProgressDlg(CWnd* parent) : CDialog(IDD, parent) {}

// m_progress goes first (its wrapper destroys the bar), then the dialog's window.
CProgressDlg::~CProgressDlg() = default;

namespace {
const FwMessageMap MESSAGE_MAP = {CDialog::GetThisMessageMap, nullptr, 0};
}

const FwMessageMap* CProgressDlg::GetMessageMap() const { return &MESSAGE_MAP; }

void CProgressDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PROGRESS, m_progress);
}
