// The control's type library source (IDL), written by the compiler from the
// member table (control/members.h) and the identifiers (embedding/guids.h):
// the type library says what IDispatch::Invoke does because both read the
// same table. Nothing here runs. The text is a constant in the object file's
// section .idl, which the build copies out into the IDL file that widl
// compiles (see control/CMakeLists.txt); the section .defines holds the
// identifiers and the library version as NAME=VALUE lines for the installer
// build. Both are padded with newlines to a whole number of 64 bytes, so that
// the section's own alignment adds nothing.
#include "control/guids.h"
#include "control/members.h"

#include <array>
#include <cstddef>
#include <string>

namespace quillon::control {
namespace {

using members::Arg;

constexpr std::string Narrow(const wchar_t *s) {
  std::string out;
  for (; *s; ++s)
    out += static_cast<char>(*s); // the table's names are ASCII (checked in members.h)
  return out;
}

constexpr std::string Number(unsigned long n) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + n % 10));
    n /= 10;
  } while (n);
  return digits;
}

constexpr std::string Hex(unsigned long n, int width) {
  std::string out(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0; --i, n >>= 4)
    out[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[n & 0xF];
  return out;
}

// 01234567-89AB-CDEF-0123-456789ABCDEF
constexpr std::string Text(const GUID &g) {
  std::string out = Hex(g.Data1, 8) + "-" + Hex(g.Data2, 4) + "-" + Hex(g.Data3, 4) + "-" + Hex(g.Data4[0], 2) +
                    Hex(g.Data4[1], 2) + "-";
  for (int i = 2; i < 8; ++i)
    out += Hex(g.Data4[i], 2);
  return out;
}

constexpr std::string Version() { return Number(kScannerTypeLibMajor) + "." + Number(kScannerTypeLibMinor); }

constexpr const char *IdlType(Arg t) {
  switch (t) {
  case Arg::Long:
    return "long";
  case Arg::String:
    return "BSTR";
  case Arg::LongRef:
    return "long*";
  default:
    return "BSTR*";
  }
}

constexpr const char *IdlType(ValueType t) {
  switch (t) {
  case ValueType::Bool:
    return "VARIANT_BOOL";
  case ValueType::String:
    return "BSTR";
  default:
    return "long";
  }
}

constexpr std::string Parameters(const members::Params &params) {
  std::string out;
  for (const members::Param &p : params) {
    if (!out.empty()) out += ", ";
    const bool inOut = p.type == Arg::LongRef || p.type == Arg::StringRef;
    out += std::string(inOut ? "[in, out] " : "[in] ") + IdlType(p.type) + " " + Narrow(p.name);
  }
  return out;
}

constexpr std::string Idl() {
  std::string out = "// Written by the compiler from the control's member table (control/members.def) and\n"
                    "// embedding/guids.h: change those, not this file.\n"
                    "\n"
                    "// The few declarations the library needs, without the SDK's IDL files:\n"
                    "// widl knows BSTR and VARIANT_BOOL by name, and IDispatch comes from stdole2.\n"
                    "typedef short VARIANT_BOOL;\n"
                    "typedef wchar_t *BSTR;\n"
                    "[object, local, uuid(00000000-0000-0000-C000-000000000046)] interface IUnknown {}\n"
                    "[object, local, uuid(00020400-0000-0000-C000-000000000046)] interface IDispatch : IUnknown {}\n"
                    "\n";
  out += "[uuid(" + Text(kScannerTypeLibId) + "), version(" + Version() + "),\n";
  out += " helpstring(\"Quillon OPOS Scanner control object\")]\n"
         "library QuillonScannerLib\n"
         "{\n"
         "  importlib(\"stdole2.tlb\");\n"
         "\n";
  out += "  [uuid(" + Text(kScannerDispatchIid) + "), helpstring(\"OPOS Scanner control: properties and methods\")]\n";
  out += "  dispinterface IOPOSScanner {\n"
         "  properties:\n";
  for (const members::Member &m : members::kMembers)
    if (m.kind == members::Kind::Property)
      out += "    [id(" + Number(m.id) + (m.access == members::Access::ReadWrite ? ")] " : "), readonly] ") +
             IdlType(m.type) + " " + Narrow(m.name) + ";\n";
  out += "  methods:\n";
  for (const members::Member &m : members::kMembers)
    if (m.kind == members::Kind::Method)
      out += "    [id(" + Number(m.id) + ")] long " + Narrow(m.name) + "(" + Parameters(m.params) + ");\n";
  out += "  };\n"
         "\n";
  out += "  [uuid(" + Text(kScannerEventsIid) + "), helpstring(\"OPOS Scanner control: events\")]\n";
  out += "  dispinterface _IOPOSScannerEvents {\n"
         "  properties:\n"
         "  methods:\n";
  for (const members::Event &e : members::kEvents)
    out += "    [id(" + Number(e.id) + ")] void " + Narrow(e.name) + "(" + Parameters(e.params) + ");\n";
  out += "  };\n"
         "\n";
  out += "  [uuid(" + Text(kScannerClsid) + "), control, helpstring(\"OPOS Scanner control\")]\n";
  out += "  coclass OPOSScanner {\n"
         "    [default] dispinterface IOPOSScanner;\n"
         "    [default, source] dispinterface _IOPOSScannerEvents;\n"
         "  };\n"
         "};\n";
  return out;
}

constexpr std::string Defines() {
  return "ScannerClsid={" + Text(kScannerClsid) + "}\n" + "ScannerTypeLibId={" + Text(kScannerTypeLibId) + "}\n" +
         "ScannerDispatchIid={" + Text(kScannerDispatchIid) + "}\n" + "ScannerEventsIid={" + Text(kScannerEventsIid) +
         "}\n" + "ScannerTypeLibVersion=" + Version() + "\n";
}

constexpr std::size_t Padded(std::size_t n) { return (n + 63) / 64 * 64; }

// The text as a character array (no terminating zero), padded with newlines.
template <std::size_t N, class Make> constexpr std::array<char, N> Chars(Make make) {
  std::array<char, N> out{};
  const std::string text = make();
  for (std::size_t i = 0; i < N; ++i)
    out[i] = i < text.size() ? text[i] : '\n';
  return out;
}

[[gnu::section(".idl"), gnu::used]] constexpr auto kIdl = Chars<Padded(Idl().size())>(Idl);
[[gnu::section(".defines"), gnu::used]] constexpr auto kDefines = Chars<Padded(Defines().size())>(Defines);

} // namespace
} // namespace quillon::control
