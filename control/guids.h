// Class and interface identifiers of the scanner control object.
#pragma once

#include <windows.h>

namespace quillon {

// The OPOS Scanner control object's class.
inline constexpr CLSID kScannerClsid = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
inline constexpr wchar_t kScannerClsidText[] = L"{CCB90182-B81E-11D2-AB74-0040054C3719}";
inline constexpr wchar_t kScannerProgId[] = L"OPOS.Scanner";
inline constexpr wchar_t kModuleFileName[] = L"QuillonScanner.dll";

// The control's type library (version 1.0, embedded in the DLL as TYPELIB 1)
// and the dispinterface of its properties and methods.
// {60E8EFCF-11BB-42EA-81B8-6AD8A3E34676}
inline constexpr GUID kScannerTypeLibId = {
    0x60E8EFCF, 0x11BB, 0x42EA, {0x81, 0xB8, 0x6A, 0xD8, 0xA3, 0xE3, 0x46, 0x76}};
inline constexpr WORD kScannerTypeLibMajor = 1;
inline constexpr WORD kScannerTypeLibMinor = 0;
// {EDD93C8B-AE3F-40E7-97C9-65DD5F2DE181}
inline constexpr IID kScannerDispatchIid = {
    0xEDD93C8B, 0xAE3F, 0x40E7, {0x97, 0xC9, 0x65, 0xDD, 0x5F, 0x2D, 0xE1, 0x81}};

// The control's event source dispinterface (the events of members::kEvents).
// {AD5C907D-2B11-4921-A7E6-4779A7D47969}
inline constexpr IID kScannerEventsIid = {0xAD5C907D, 0x2B11, 0x4921, {0xA7, 0xE6, 0x47, 0x79, 0xA7, 0xD4, 0x79, 0x69}};

} // namespace quillon
