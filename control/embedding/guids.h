// Class and interface identifiers of the scanner control object.
#pragma once

#include <windows.h>

namespace quillon {

// The OPOS Scanner control object's class.
inline constexpr CLSID kScannerClsid = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr wchar_t kScannerClsidText[] = L"{CCB90182-B81E-11D2-AB74-0040054C3719}";
inline constexpr wchar_t kScannerProgId[] = L"OPOS.Scanner";
inline constexpr wchar_t kModuleFileName[] = L"QuillonScanner.dll";

// The control's event source dispinterface (DataEvent, DirectIOEvent,
// ErrorEvent, StatusUpdateEvent).
// {AD5C907D-2B11-4921-A7E6-4779A7D47969}
inline constexpr IID kScannerEventsIid = {0xAD5C907D, 0x2B11, 0x4921, {0xA7, 0xE6, 0x47, 0x79, 0xA7, 0xD4, 0x79, 0x69}};

} // namespace quillon
