// OPOS / UnifiedPOS constants used by the device core, the control object and
// the services.
#pragma once

namespace quillon::control::opos {

// Device states.
constexpr long S_CLOSED = 1;
constexpr long S_IDLE = 2;
constexpr long S_BUSY = 3;
constexpr long S_ERROR = 4;

// Result codes.
constexpr long SUCCESS = 0;
constexpr long E_CLOSED = 101;
constexpr long E_CLAIMED = 102;
constexpr long E_NOTCLAIMED = 103;
constexpr long E_NOSERVICE = 104;
constexpr long E_DISABLED = 105;
constexpr long E_ILLEGAL = 106;
constexpr long E_NOHARDWARE = 107;
constexpr long E_OFFLINE = 108;
constexpr long E_NOEXIST = 109;
constexpr long E_EXISTS = 110;
constexpr long E_FAILURE = 111;
constexpr long E_TIMEOUT = 112;
constexpr long E_BUSY = 113;
constexpr long E_EXTENDED = 114;

// ResultCodeExtended values that go with E_EXTENDED.
constexpr long EX_STATISTICS_ERROR = 280;

// BinaryConversion.
constexpr long BC_NONE = 0;
constexpr long BC_NIBBLE = 1;
constexpr long BC_DECIMAL = 2;

// Power reporting.
constexpr long PR_NONE = 0;
constexpr long PR_STANDARD = 1;
constexpr long PR_ADVANCED = 2;
constexpr long PN_DISABLED = 0;
constexpr long PN_ENABLED = 1;
constexpr long PS_UNKNOWN = 2000;
constexpr long PS_ONLINE = 2001;
constexpr long PS_OFF = 2002;
constexpr long PS_OFFLINE = 2003;
constexpr long PS_OFF_OFFLINE = 2004;

// CheckHealth levels.
constexpr long CH_INTERNAL = 1;
constexpr long CH_EXTERNAL = 2;
constexpr long CH_INTERACTIVE = 3;

// ErrorEvent locus and response.
constexpr long EL_OUTPUT = 1;
constexpr long EL_INPUT = 2;
constexpr long EL_INPUT_DATA = 3;
constexpr long ER_RETRY = 11;
constexpr long ER_CLEAR = 12;
constexpr long ER_CONTINUEINPUT = 13;

// Event dispatch IDs on the source interface.
constexpr long EVENT_DATA = 1;
constexpr long EVENT_DIRECTIO = 2;
constexpr long EVENT_ERROR = 3;
constexpr long EVENT_STATUSUPDATE = 5;

// ScanDataType values the simulated device produces.
constexpr long SCAN_SDT_UNKNOWN = 0;
constexpr long SCAN_SDT_UPCA = 101;
constexpr long SCAN_SDT_UPCE = 102;
constexpr long SCAN_SDT_EAN8 = 103;
constexpr long SCAN_SDT_EAN13 = 104;
constexpr long SCAN_SDT_TF = 106;
constexpr long SCAN_SDT_Codabar = 107;
constexpr long SCAN_SDT_Code39 = 108;
constexpr long SCAN_SDT_Code93 = 109;
constexpr long SCAN_SDT_Code128 = 110;
constexpr long SCAN_SDT_EAN128 = 120;
constexpr long SCAN_SDT_RSS14 = 131;
constexpr long SCAN_SDT_PDF417 = 201;
constexpr long SCAN_SDT_DATAMATRIX = 203;
constexpr long SCAN_SDT_QRCODE = 204;

} // namespace quillon::control::opos
