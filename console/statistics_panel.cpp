// Placeholder until the statistics panel lands.
#include "console/pellix_dlg.h"

void CPellixDlg::OnRetrieveStatistics() {}
void CPellixDlg::OnUpdateStatistics() {}
void CPellixDlg::OnResetStatistics() {}
void CPellixDlg::OnClearInputProperties() {}
void CPellixDlg::OnStatisticsCountChange() {}
