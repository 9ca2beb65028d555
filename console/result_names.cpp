#include "console/result_names.h"

namespace {

struct CodeName {
  long nCode;
  const wchar_t *pszName;
};

// Names of the success code and the state values are unpadded; every other
// name is padded with blanks to 21 characters.
const CodeName kResultCodeNames[] = {
    {0, L"OPOS_SUCCESS"},
    {1, L"OPOS_S_CLOSED"},
    {2, L"OPOS_S_IDLE"},
    {3, L"OPOS_S_BUSY"},
    {4, L"OPOS_S_ERROR"},
    {101, L"OPOS_E_CLOSED        "},
    {102, L"OPOS_E_CLAIMED       "},
    {103, L"OPOS_E_NOTCLAIMED    "},
    {104, L"OPOS_E_NOSERVICE     "},
    {105, L"OPOS_E_DISABLED      "},
    {106, L"OPOS_E_ILLEGAL       "},
    {107, L"OPOS_E_NOHARDWARE    "},
    {108, L"OPOS_E_OFFLINE       "},
    {109, L"OPOS_E_NOEXIST       "},
    {110, L"OPOS_E_EXISTS        "},
    {111, L"OPOS_E_FAILURE       "},
    {112, L"OPOS_E_TIMEOUT       "},
    {113, L"OPOS_E_BUSY          "},
    {114, L"OPOS_E_EXTENDED      "},
    {301, L"EOPEN_ALREADYOPEN    "},
    {302, L"EOPEN_REGBADNAME     "},
    {303, L"EOPEN_REGPROGID      "},
    {304, L"EOPEN_CREATE         "},
    {305, L"EOPEN_BADIF          "},
    {306, L"EOPEN_FAILEDOPEN     "},
    {307, L"EOPEN_BADVERSION     "},
    {401, L"EOPENS_NOPORT        "},
    {402, L"EOPENS_NOTSUPPORTED  "},
    {403, L"EOPENS_CONFIG        "},
    {450, L"EOPENS_SPECIFIC      "},
};

const CodeName kScanDataTypeNames[] = {
    {101, L"SCAN_SDT_UPCA"},          {102, L"SCAN_SDT_UPCE"},       {103, L"SCAN_SDT_JAN8"},
    {104, L"SCAN_SDT_JAN13"},         {105, L"SCAN_SDT_TF"},         {106, L"SCAN_SDT_ITF"},
    {107, L"SCAN_SDT_Codabar"},       {108, L"SCAN_SDT_Code39"},     {109, L"SCAN_SDT_Code93"},
    {110, L"SCAN_SDT_Code128"},       {111, L"SCAN_SDT_UPCA_S"},     {112, L"SCAN_SDT_UPCE_S"},
    {113, L"SCAN_SDT_UPCD"},          {114, L"SCAN_SDT_UPCD2"},      {115, L"SCAN_SDT_UPCD3"},
    {116, L"SCAN_SDT_UPCD4"},         {117, L"SCAN_SDT_UPCD5"},      {118, L"SCAN_SDT_EAN8_S"},
    {119, L"SCAN_SDT_EAN13_S"},       {120, L"SCAN_SDT_EAN128"},     {121, L"SCAN_SDT_OCRA"},
    {122, L"SCAN_SDT_OCRB"},          {131, L"SCAN_SDT_GS1DATABAR"}, {132, L"SCAN_SDT_GS1DATABAR_E"},
    {140, L"SCAN_SDT_TRIOPTIC39"},    {141, L"SCAN_SDT_ISBT128"},    {201, L"SCAN_SDT_PDF417"},
    {202, L"SCAN_SDT_MAXICODE"},      {203, L"SCAN_SDT_DATAMATRIX"}, {204, L"SCAN_SDT_QRCODE"},
    {205, L"SCAN_SDT_UQRCODE"},       {206, L"SCAN_SDT_AZTEC"},      {207, L"SCAN_SDT_UPDF417"},
    {208, L"SCAN_SDT_GS1DATAMATRIX"}, {209, L"SCAN_SDT_GS1QRCODE"},  {215, L"SCAN_SDT_HANXIN"},
    {216, L"SCAN_SDT_GRIDMATRIX"},    {250, L"SCAN_SDT_AusPost"},    {255, L"SCAN_SDT_JapanPost"},
    {258, L"SCAN_SDT_UkPost"},        {260, L"SCAN_SDT_UsPlanet"},   {261, L"SCAN_SDT_PostNet"},
    {501, L"SCAN_SDT_OTHER"},
};

const CodeName kPowerStatusTexts[] = {
    {2001, L"Device power online"},
    {2002, L"Device power off"},
    {2003, L"Device power offline"},
    {2004, L"Device power off or offline"},
};

template <size_t N> const wchar_t *Lookup(const CodeName (&table)[N], long nCode) {
  for (const CodeName &row : table)
    if (row.nCode == nCode) return row.pszName;
  return nullptr;
}

} // namespace

CString ResultCodeName(long lCode) {
  if (const wchar_t *psz = Lookup(kResultCodeNames, lCode)) return psz;
  CString s;
  s.Format(L"%ld", lCode);
  return s;
}

CString ScanDataTypeName(long lType) {
  const wchar_t *psz = Lookup(kScanDataTypeNames, lType);
  return psz ? psz : L"SCAN_SDT_UNKNOWN";
}

const wchar_t *PowerStatusText(long lStatus) { return Lookup(kPowerStatusTexts, lStatus); }
