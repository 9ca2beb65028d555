// Placeholder until the Direct IO panel lands.
#include "console/pellix_dlg.h"

void CPellixDlg::PopulateDirectIOCommands() {}
void CPellixDlg::OnDirectIOCommandSelChange() {}
void CPellixDlg::OnExecuteDirectIO() {}
void CPellixDlg::OnClearDirectIO() {}
