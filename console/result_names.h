// The names a technician reads for the numbers the scanner control reports.
#pragma once

#include "framework/cstring.h"

// A method result, a ResultCode or a State value by its OPOS name; any other
// number in signed decimal.
CString ResultCodeName(long lCode);
// The OPOS scan data type name; "SCAN_SDT_UNKNOWN" for any number not listed.
CString ScanDataTypeName(long lType);
// The message for an OPOS power status code, or null when there is none.
const wchar_t *PowerStatusText(long lStatus);
