// Placeholder until the device commands land.
#include "console/pellix_dlg.h"

void CPellixDlg::OnOpen() {}
void CPellixDlg::OnClaim() {}
void CPellixDlg::OnDeviceEnable() {}
void CPellixDlg::OnDeviceDisable() {}
void CPellixDlg::OnRelease() {}
void CPellixDlg::OnClose() {}
void CPellixDlg::OnCheckHealthInternal() {}
void CPellixDlg::OnCheckHealthExternal() {}
void CPellixDlg::OnCheckHealthInteractive() {}
void CPellixDlg::OnClearInput() {}
void CPellixDlg::OnDataEvents() {}
void CPellixDlg::OnDecodeData() {}
void CPellixDlg::OnAutoEnable() {}
