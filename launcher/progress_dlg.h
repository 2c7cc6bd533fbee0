// The progress window: template IDD_PROGRESS, one bar, nothing the user can act on.
#pragma once

#include "framework/framework.h"
#include "launcher/resource.h"

class CProgressDlg : public CDialog {
public:
    enum { IDD = IDD_PROGRESS };

    explicit CProgressDlg(CWnd* parent = nullptr);
    ~CProgressDlg() override;
    // Empty: no buttons, no commands, no OK or Cancel of its own.
    const FwMessageMap* GetMessageMap() const override;

    CProgressCtrl m_progress; // bound to control IDC_PROGRESS at initialisation

protected:
    void DoDataExchange(CDataExchange* dx) override;
};
