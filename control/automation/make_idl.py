#!/usr/bin/env python3
"""Writes the control's type library source (IDL) from its member table.

The dispatch IDs, names, kinds and types come from control/automation/members.h
and control/automation/members.cpp (types and access from the device
core's control/core/properties.cpp), the identifiers from
control/embedding/guids.h: the type library
says what IDispatch::Invoke does, because both read the same table. Fails,
naming the row, when the table cannot be read completely.

Usage: make_idl.py CONTROL_DIR OUTPUT.idl   writes the IDL
       make_idl.py CONTROL_DIR --defines    prints NAME=VALUE lines (the
                                            identifiers and the library
                                            version) for the installer build
"""
import re
import sys

# Parameter names, for the people and tools that read the type library
# (object browsers, .NET and PowerShell imports); calls go by position.
PARAMETERS = {
    "CheckHealth": ["Level"],
    "ClaimDevice": ["Timeout"],
    "DirectIO": ["Command", "pData", "pString"],
    "Open": ["DeviceName"],
    "ResetStatistics": ["StatisticsBuffer"],
    "RetrieveStatistics": ["pStatisticsBuffer"],
    "UpdateStatistics": ["StatisticsBuffer"],
    "DataEvent": ["Status"],
    "DirectIOEvent": ["EventNumber", "pData", "pString"],
    "ErrorEvent": ["ResultCode", "ResultCodeExtended", "ErrorLocus", "pErrorResponse"],
    "OutputCompleteEvent": ["OutputID"],
    "StatusUpdateEvent": ["Data"],
}

# members::Type as the table abbreviates it, in IDL.
TYPES = {"L": "long", "B": "VARIANT_BOOL", "S": "BSTR", "LR": "long*", "SR": "BSTR*"}

LIBRARY_VERSION = "1.0"


def fail(message):
    sys.exit("make_idl: " + message)


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError as e:
        fail(f"cannot read {path}: {e.strerror}")


def block(text, start, what):
    """The text between the line that matches start and the next '};'."""
    m = re.search(start + r"(.*?)\n\};", text, re.S)
    if not m:
        fail(f"no {what} found")
    return m.group(1)


def dispatch_ids(members_h):
    body = block(members_h, r"enum Id : DISPID \{", "enum Id in members.h")
    ids = {name: int(value) for name, value in rows_of(body, r"(\w+)\s*=\s*(\d+)", "enum Id")}
    if not ids:
        fail("enum Id in members.h has no entries")
    return ids


def without_comments(text):
    return re.sub(r"//[^\n]*", "", text)


def rows_of(body, pattern, what):
    """Every match of pattern in body, which must hold nothing else but commas."""
    body = without_comments(body)
    found = list(re.finditer(pattern, body))
    rest = re.sub(pattern, "", body)
    if rest.replace(",", "").strip():
        fail(f"cannot read this part of {what}: {rest.replace(',', ' ').split()[0]}...")
    return [m.groups() for m in found]


def property_rules(properties_cpp):
    """Each property's type (L, B or S) and whether it is writable, from the
    device core's table of property rules."""
    body = block(properties_cpp, r"constexpr PropertyRule kRules\[\] = \{", "kRules table in properties.cpp")
    pattern = r"\{Prop::(\w+),\s*([LBS]),\s*(kWritable|kReadOnly),\s*(?:kNeedsOpen|kAlways)\}"
    return {name: (t, access == "kWritable") for name, t, access in rows_of(body, pattern, "kRules")}


def member_rows(members_cpp, ids, rules):
    body = block(members_cpp, r"constexpr Member kMembers\[\] = \{", "kMembers table in members.cpp")
    pattern = r"PROP\((\w+)\)|METHOD\((\w+),\s*(\d+)((?:,\s*\w+)*)\)"
    rows = []
    for prop, method, count, args in rows_of(body, pattern, "kMembers"):
        if prop:
            if prop not in rules:
                fail(f"property {prop} has no rule in properties.cpp")
            t, writable = rules[prop]
            rows.append({"name": prop, "kind": "property", "type": t, "writable": writable, "args": []})
            continue
        args = [a.strip() for a in args.split(",") if a.strip()]
        if args == ["N"]:
            args = []
        if len(args) != int(count):
            fail(f"member {method}: {count} arguments announced, {len(args)} types given")
        rows.append({"name": method, "kind": "method", "type": "L", "writable": False, "args": args})
    for row in rows:
        if row["name"] not in ids:
            fail(f"member {row['name']} has no dispatch ID in enum Id")
        row["id"] = ids[row["name"]]
    missing = set(ids) - {r["name"] for r in rows}
    if missing:
        fail("dispatch IDs without a row in kMembers: " + ", ".join(sorted(missing)))
    return rows


def event_rows(members_cpp):
    body = block(members_cpp, r"constexpr Event kEvents\[\] = \{", "kEvents table in members.cpp")
    rows = []
    for dispid, name, args, count in rows_of(body, r'\{(\d+),\s*L"(\w+)",\s*\{([^}]*)\},\s*(\d+)\}', "kEvents"):
        args = [a.strip() for a in args.split(",") if a.strip()]
        if len(args) != int(count):
            fail(f"event {name}: {count} arguments announced, {len(args)} types given")
        rows.append({"name": name, "id": int(dispid), "args": args})
    return rows


def guids(guids_h):
    found = {}
    pattern = (r"inline constexpr (?:CLSID|IID|GUID) (\w+) =\s*\{\s*0x(\w+),\s*0x(\w+),\s*0x(\w+),\s*"
               r"\{((?:\s*0x\w+,?){8})\s*\}\s*\};")
    for name, d1, d2, d3, rest in re.findall(pattern, guids_h):
        b = [int(x, 16) for x in re.findall(r"0x(\w+)", rest)]
        found[name] = "%08X-%04X-%04X-%02X%02X-%s" % (int(d1, 16), int(d2, 16), int(d3, 16), b[0], b[1],
                                                       "".join("%02X" % x for x in b[2:]))
    for name in ("kScannerClsid", "kScannerTypeLibId", "kScannerDispatchIid", "kScannerEventsIid"):
        if name not in found:
            fail(f"{name} not found in guids.h")
    m = re.search(r"kScannerTypeLibMajor = (\d+);.*kScannerTypeLibMinor = (\d+);", guids_h, re.S)
    if not m or f"{m.group(1)}.{m.group(2)}" != LIBRARY_VERSION:
        fail(f"guids.h does not give the type library version {LIBRARY_VERSION}")
    return found


def parameters(name, types):
    names = PARAMETERS.get(name, [])
    if len(names) != len(types):
        fail(f"{name} takes {len(types)} arguments; give their names in PARAMETERS")
    out = []
    for n, t in zip(names, types):
        if t not in TYPES:
            fail(f"{name}: unknown argument type {t}")
        out.append(f"[{'in, out' if t.endswith('R') else 'in'}] {TYPES[t]} {n}")
    return ", ".join(out)


def idl(rows, events, ids):
    lines = [
        "// Generated by control/automation/make_idl.py from the member table (automation/members.h,",
        "// automation/members.cpp) and embedding/guids.h: change those, not this file.",
        "",
        "// The few declarations the library needs, without the SDK's IDL files:",
        "// widl knows BSTR and VARIANT_BOOL by name, and IDispatch comes from stdole2.",
        "typedef short VARIANT_BOOL;",
        "typedef wchar_t *BSTR;",
        "[object, local, uuid(00000000-0000-0000-C000-000000000046)] interface IUnknown {}",
        "[object, local, uuid(00020400-0000-0000-C000-000000000046)] interface IDispatch : IUnknown {}",
        "",
        f"[uuid({ids['kScannerTypeLibId']}), version({LIBRARY_VERSION}),",
        ' helpstring("Quillon OPOS Scanner control object")]',
        "library QuillonScannerLib",
        "{",
        '  importlib("stdole2.tlb");',
        "",
        f"  [uuid({ids['kScannerDispatchIid']}), helpstring(\"OPOS Scanner control: properties and methods\")]",
        "  dispinterface IOPOSScanner {",
        "  properties:",
    ]
    for r in rows:
        if r["kind"] == "property":
            attrs = f"id({r['id']})" + ("" if r["writable"] else ", readonly")
            lines.append(f"    [{attrs}] {TYPES[r['type']]} {r['name']};")
    lines.append("  methods:")
    for r in rows:
        if r["kind"] == "method":
            lines.append(f"    [id({r['id']})] long {r['name']}({parameters(r['name'], r['args'])});")
    lines += [
        "  };",
        "",
        f"  [uuid({ids['kScannerEventsIid']}), helpstring(\"OPOS Scanner control: events\")]",
        "  dispinterface _IOPOSScannerEvents {",
        "  properties:",
        "  methods:",
    ]
    for e in events:
        lines.append(f"    [id({e['id']})] void {e['name']}({parameters(e['name'], e['args'])});")
    lines += [
        "  };",
        "",
        f"  [uuid({ids['kScannerClsid']}), control, helpstring(\"OPOS Scanner control\")]",
        "  coclass OPOSScanner {",
        "    [default] dispinterface IOPOSScanner;",
        "    [default, source] dispinterface _IOPOSScannerEvents;",
        "  };",
        "};",
        "",
    ]
    return "\n".join(lines)


def main(argv):
    if len(argv) != 3:
        fail("usage: make_idl.py CONTROL_DIR OUTPUT.idl | --defines")
    control, output = argv[1], argv[2]
    ids = guids(read(f"{control}/embedding/guids.h"))
    if output == "--defines":
        print(f"ScannerClsid={{{ids['kScannerClsid']}}}")
        print(f"ScannerTypeLibId={{{ids['kScannerTypeLibId']}}}")
        print(f"ScannerDispatchIid={{{ids['kScannerDispatchIid']}}}")
        print(f"ScannerEventsIid={{{ids['kScannerEventsIid']}}}")
        print(f"ScannerTypeLibVersion={LIBRARY_VERSION}")
        return
    members_cpp = read(f"{control}/automation/members.cpp")
    rules = property_rules(read(f"{control}/core/properties.cpp"))
    rows = member_rows(members_cpp, dispatch_ids(read(f"{control}/automation/members.h")), rules)
    text = idl(rows, event_rows(members_cpp), ids)
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main(sys.argv)
