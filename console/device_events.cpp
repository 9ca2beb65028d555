// Placeholder until the device events land.
#include "console/pellix_dlg.h"

void CPellixDlg::OnDataEvent(long) {}
void CPellixDlg::OnStatusUpdateEvent(long) {}
