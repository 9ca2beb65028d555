// The control's type library as its clients see it: loaded from the registry
// (as .NET and PowerShell imports, object browsers and script hosts load it)
// and from a live control (IDispatch::GetTypeInfo, IProvideClassInfo2). The
// names, dispatch IDs and identifiers are written out here, independently of
// the control's member table. Also run by the install tests, against the
// registration an installer package wrote.
#include "comkit/handles.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <oleauto.h>

#include <map>
#include <string>

namespace {

constexpr CLSID kClsid = {0xCCB90182, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
constexpr GUID kLibId = {0x60E8EFCF, 0x11BB, 0x42EA, {0x81, 0xB8, 0x6A, 0xD8, 0xA3, 0xE3, 0x46, 0x76}};
constexpr IID kDispatchIid = {0xEDD93C8B, 0xAE3F, 0x40E7, {0x97, 0xC9, 0x65, 0xDD, 0x5F, 0x2D, 0xE1, 0x81}};
constexpr IID kEventsIid = {0xAD5C907D, 0x2B11, 0x4921, {0xA7, 0xE6, 0x47, 0x79, 0xA7, 0xD4, 0x79, 0x69}};

struct Member {
  DISPID id;
  bool property;
  bool readOnly;
  VARTYPE type;  // property type or method result
  unsigned args; // method arguments
  bool operator==(const Member &) const = default;
};
using Members = std::map<std::wstring, Member>;

constexpr bool P = true, M = false, RO = true, RW = false;

const Members kExpectedMembers = {
    {L"AutoDisable", {10, P, RW, VT_BOOL, 0}},
    {L"BinaryConversion", {11, P, RW, VT_I4, 0}},
    {L"CapPowerReporting", {12, P, RO, VT_I4, 0}},
    {L"CheckHealthText", {13, P, RO, VT_BSTR, 0}},
    {L"Claimed", {14, P, RO, VT_BOOL, 0}},
    {L"DataCount", {15, P, RO, VT_I4, 0}},
    {L"DataEventEnabled", {16, P, RW, VT_BOOL, 0}},
    {L"DeviceEnabled", {17, P, RW, VT_BOOL, 0}},
    {L"FreezeEvents", {18, P, RW, VT_BOOL, 0}},
    {L"PowerNotify", {20, P, RW, VT_I4, 0}},
    {L"PowerState", {21, P, RO, VT_I4, 0}},
    {L"ResultCode", {22, P, RO, VT_I4, 0}},
    {L"ResultCodeExtended", {23, P, RO, VT_I4, 0}},
    {L"State", {24, P, RO, VT_I4, 0}},
    {L"ControlObjectDescription", {25, P, RO, VT_BSTR, 0}},
    {L"ControlObjectVersion", {26, P, RO, VT_I4, 0}},
    {L"ServiceObjectDescription", {27, P, RO, VT_BSTR, 0}},
    {L"ServiceObjectVersion", {28, P, RO, VT_I4, 0}},
    {L"DeviceDescription", {29, P, RO, VT_BSTR, 0}},
    {L"DeviceName", {30, P, RO, VT_BSTR, 0}},
    {L"CheckHealth", {31, M, RO, VT_I4, 1}},
    {L"ClaimDevice", {32, M, RO, VT_I4, 1}},
    {L"ClearInput", {33, M, RO, VT_I4, 0}},
    {L"Close", {35, M, RO, VT_I4, 0}},
    {L"DirectIO", {36, M, RO, VT_I4, 3}},
    {L"Open", {37, M, RO, VT_I4, 1}},
    {L"ReleaseDevice", {38, M, RO, VT_I4, 0}},
    {L"CapStatisticsReporting", {39, P, RO, VT_BOOL, 0}},
    {L"CapUpdateStatistics", {40, P, RO, VT_BOOL, 0}},
    {L"ResetStatistics", {41, M, RO, VT_I4, 1}},
    {L"RetrieveStatistics", {42, M, RO, VT_I4, 1}},
    {L"UpdateStatistics", {43, M, RO, VT_I4, 1}},
    {L"CapCompareFirmwareVersion", {44, P, RO, VT_BOOL, 0}},
    {L"CapUpdateFirmware", {45, P, RO, VT_BOOL, 0}},
    {L"ClearInputProperties", {48, M, RO, VT_I4, 0}},
    {L"DecodeData", {50, P, RW, VT_BOOL, 0}},
    {L"ScanData", {51, P, RO, VT_BSTR, 0}},
    {L"ScanDataLabel", {52, P, RO, VT_BSTR, 0}},
    {L"ScanDataType", {53, P, RO, VT_I4, 0}},
};

const Members kExpectedEvents = {
    {L"DataEvent", {1, M, RO, VT_VOID, 1}},         {L"DirectIOEvent", {2, M, RO, VT_VOID, 3}},
    {L"ErrorEvent", {3, M, RO, VT_VOID, 4}},        {L"OutputCompleteEvent", {4, M, RO, VT_VOID, 1}},
    {L"StatusUpdateEvent", {5, M, RO, VT_VOID, 1}},
};

std::wstring NameOf(ITypeInfo *info, MEMBERID id) {
  ScopedBstr name;
  info->GetDocumentation(id, name.Receive(), nullptr, nullptr, nullptr);
  return name.Get() ? std::wstring(name.Get()) : std::wstring();
}

// The properties and methods a dispinterface declares itself (not those of
// IDispatch it derives from).
Members MembersOf(ITypeInfo *info) {
  Members found;
  TYPEATTR *attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return found;
  EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
  for (UINT i = 0; i < attr->cVars; ++i) {
    VARDESC *var = nullptr;
    if (FAILED(info->GetVarDesc(i, &var))) continue;
    found[NameOf(info, var->memid)] = {var->memid, true, (var->wVarFlags & VARFLAG_FREADONLY) != 0,
                                       var->elemdescVar.tdesc.vt, 0};
    info->ReleaseVarDesc(var);
  }
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC *func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    if (func->memid < 0x60000000) // IDispatch's and IUnknown's own members have IDs from 0x60000000
      found[NameOf(info, func->memid)] = {func->memid, false, true, func->elemdescFunc.tdesc.vt,
                                          static_cast<unsigned>(func->cParams)};
    info->ReleaseFuncDesc(func);
  }
  info->ReleaseTypeAttr(attr);
  return found;
}

GUID GuidOf(ITypeInfo *info) {
  TYPEATTR *attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return GUID_NULL;
  const GUID guid = attr->guid;
  info->ReleaseTypeAttr(attr);
  return guid;
}

// The coclass's default interface and default source interface.
void ExpectCoclass(ITypeInfo *coclass) {
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_COCLASS, attr->typekind);
  EXPECT_TRUE(IsEqualGUID(attr->guid, kClsid));
  const UINT count = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  GUID defaultInterface = GUID_NULL, defaultSource = GUID_NULL;
  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> impl;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
        FAILED(coclass->GetRefTypeInfo(ref, &impl)))
      continue;
    if (flags & IMPLTYPEFLAG_FDEFAULT)
      (flags & IMPLTYPEFLAG_FSOURCE ? defaultSource : defaultInterface) = GuidOf(impl.Get());
  }
  EXPECT_TRUE(IsEqualGUID(defaultInterface, kDispatchIid)) << "the default interface";
  EXPECT_TRUE(IsEqualGUID(defaultSource, kEventsIid)) << "the default source: the events";
}

TEST(TypeLibrary, RegisteredLibraryHasTheControlsNamesDispatchIdsAndFiveEvents) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(S_OK, LoadRegTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, &lib)) << "the type library 1.0 is not registered";
  ComPtr<ITypeInfo> dispatch, events, coclass;
  ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(kDispatchIid, &dispatch));
  EXPECT_EQ(kExpectedMembers, MembersOf(dispatch.Get()));
  ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(kEventsIid, &events));
  EXPECT_EQ(kExpectedEvents, MembersOf(events.Get()));
  ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(kClsid, &coclass));
  ExpectCoclass(coclass.Get());
}

// The library is registered from the very file registered as the class's
// server in this process's registry view, and the class names its library.
TEST(TypeLibrary, RegisteredFromTheClassesServer) {
  ScopedBstr path;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, path.Receive()));
  ScopedRegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CLASSES_ROOT, L"CLSID\\{CCB90182-B81E-11D2-AB74-0040054C3719}", KEY_READ));
  wchar_t server[MAX_PATH] = L"", lib[64] = L"";
  LONG size = sizeof server;
  RegQueryValueW(key.Get(), L"InprocServer32", server, &size);
  size = sizeof lib;
  RegQueryValueW(key.Get(), L"TypeLib", lib, &size);
  EXPECT_EQ(0, lstrcmpiW(server, path.Get())) << "class server " << server;
  EXPECT_EQ(std::wstring(L"{60E8EFCF-11BB-42EA-81B8-6AD8A3E34676}"), lib);
}

// A live control answers IDispatch::GetTypeInfo and IProvideClassInfo2 from
// its library, and its GetIDsOfNames agrees with it.
TEST(TypeLibrary, LiveControlAnswersFromItsLibrary) {
  ComPtr<IDispatch> control;
  ASSERT_EQ(S_OK, CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.PutVoid()));
  UINT count = 0;
  EXPECT_EQ(S_OK, control->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  ComPtr<ITypeInfo> dispatch, none;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &dispatch));
  EXPECT_TRUE(IsEqualGUID(GuidOf(dispatch.Get()), kDispatchIid));
  EXPECT_EQ(kExpectedMembers, MembersOf(dispatch.Get()));
  EXPECT_EQ(DISP_E_BADINDEX, control->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none));
  for (const auto &[name, member] : kExpectedMembers) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << name;
    EXPECT_EQ(member.id, id) << name;
  }

  // Clients that ask for the dispinterface by its own IID get the same object.
  ComPtr<IDispatch> byIid;
  EXPECT_EQ(S_OK, control->QueryInterface(kDispatchIid, byIid.PutVoid()));

  ComPtr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IProvideClassInfo2, classInfo.PutVoid()));
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, classInfo->GetClassInfo(&coclass));
  ExpectCoclass(coclass.Get());
  EXPECT_EQ(E_POINTER, classInfo->GetClassInfo(nullptr));
}

} // namespace
