// COpenSODialog: lists the installed scanner service objects and returns the
// name picked or typed (template 130).
#pragma once

#include "framework/dialog.h"

class COpenSODialog : public CDialog {
public:
  explicit COpenSODialog(CWnd *pParent = nullptr);

  CString m_strName;
  CComboBox m_cbNames;

protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange *pDX) override;
};
