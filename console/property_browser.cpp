// Placeholder until the property browser lands.
#include "console/pellix_dlg.h"

void CPellixDlg::PopulateProperties() {}
void CPellixDlg::OnPropertySelChange() {}
void CPellixDlg::OnSetProperty() {}
void CPellixDlg::ReleasePropertyRecords() {}
