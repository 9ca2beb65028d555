#!/usr/bin/env python3
"""Finishes a package wixl built from packaging/quillon.wxs: writes what wixl
leaves out or gets wrong, with msitools (msiinfo export, msibuild -i).

  Upgrade      the flags wixl drops: the replacing rows include their maximum
               and migrate the features; the detecting rows only detect
  Feature      the attributes wixl drops: no feature can be advertised, the
               consoles cannot be set absent
  Registry     HKMU rows (wixl writes root 4 for them, Windows knows -1)
  File         8.3 short names beside long ones, and the version and
               language of every program file (from its version resource),
               so that Windows' file versioning rules apply; no hash for them
  Directory    distinct source names for the two Program Files folders, so
               that an administrative image keeps the 64-bit and 32-bit files
               apart
  CustomAction the guards and the refusal:
               - after AppSearch, each group of class registration rows whose
                 key is no longer ours (another server holds the class, the
                 interface names another type library, the type library
                 another DLL) is pointed at a key of nobody's: uninstall and
                 upgrade leave the group alone; an upgrade keeps the user's
                 statistics
               - after costing and feature migration, the simulated scanner
                 feature about to be
                 installed, reinstalled or advertised (whatever asked for it:
                 ADDLOCAL, ADDDEFAULT, ADDSOURCE, INSTALLLEVEL, a transform,
                 feature migration, REINSTALL) while another server holds the
                 class in either view (or the interfaces, to another type
                 library) stops the install with a message naming that server
  _Validation  the column rules of every table

Usage: finish_msi.py PACKAGE.msi --arch=x64|x86 --wxs=quillon.wxs --tree64=DIR --tree32=DIR
       --typelib={LIBID}
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

# A key of nobody's: rows pointed here neither write nor remove anything of another installation.
NOT_OURS = "SOFTWARE\\Quillon\\Held by another installation\\"
USERDATA_KEPT = "Software\\Quillon\\SimulatedScanner\\(kept by an upgrade)"
FEATURE = "SimulatedScanner"
INTERFACE_REFUSAL = ("The Simulated scanner feature cannot be installed: the OPOS Scanner interfaces are registered in the "
                     "{view} registry view to the type library [{prop}] of another installation. Nothing was changed. "
                     "Install Quillon without that feature.")
REFUSAL = ("The Simulated scanner feature cannot be installed: the OPOS Scanner control class is registered in the "
           "{view} registry view to [{prop}], a control object of another installation. Nothing was changed. "
           "Install Quillon without that feature.")


def foreign_class(view):
    prop = f"OPOS_SCANNER_{view}"
    return f'({prop} AND NOT ({prop} ~>> "\\QuillonScanner.dll"))'


def foreign_typelib():
    return " OR ".join(f'(QUILLON_TLB_{v} AND NOT (QUILLON_TLB_{v} ~>> "\\QuillonScanner.dll"))' for v in (64, 32))


def foreign_interface(view, libid):
    return f'(QUILLON_IFACE_{view} AND NOT (QUILLON_IFACE_{view} ~= "{libid}"))'


# ---- tables as msitools reads and writes them ----------------------------------------------

class Table:
    def __init__(self, name, columns, types, keys, rows):
        self.name, self.columns, self.types, self.keys, self.rows = name, columns, types, keys, rows

    def col(self, name):
        return self.columns.index(name)

    def idt(self):
        lines = ["\t".join(self.columns), "\t".join(self.types), "\t".join([self.name] + self.keys)]
        lines += ["\t".join(r) for r in self.rows]
        return "\r\n".join(lines) + "\r\n"


def export(msi, name):
    # msiinfo writes a binary table's streams into a folder of the table's name: not here.
    with tempfile.TemporaryDirectory() as scratch:
        text = subprocess.run(["msiinfo", "export", os.path.abspath(msi), name], check=True, capture_output=True,
                              cwd=scratch).stdout.decode("utf-8")
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    head = lines[2].split("\t")
    columns = lines[0].split("\t")
    rows = [(l.split("\t") + [""] * len(columns))[:len(columns)] for l in lines[3:]]
    return Table(head[0], columns, lines[1].split("\t"), head[1:], rows)


def tables(msi):
    out = subprocess.run(["msiinfo", "tables", msi], check=True, capture_output=True).stdout.decode()
    return [t for t in out.split() if not t.startswith("_")]


def import_tables(msi, changed):
    with tempfile.TemporaryDirectory() as work:
        for t in changed:
            with open(os.path.join(work, f"{t.name}.idt"), "w", encoding="utf-8", newline="") as f:
                f.write(t.idt())
        for t in changed:
            subprocess.run(["msibuild", msi, "-i", f"{t.name}.idt"], check=True, cwd=work)


# ---- program files -------------------------------------------------------------------------

def pe_version(path):
    """FILEVERSION of a PE file's version resource, "a.b.c.d", or None."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def short_name(long_name, taken):
    """An 8.3 name for a long one (the long one itself when it is already 8.3)."""
    base, dot, ext = long_name.rpartition(".") if "." in long_name else (long_name, "", "")
    legal = lambda s: re.sub(r"[^A-Z0-9_\-!#$%&'()@^`{}~]", "", s.upper())
    if re.fullmatch(r"[^.\s+,;=\[\]/\\:*?\"<>|]{1,8}(\.[^.\s+,;=\[\]/\\:*?\"<>|]{1,3})?", long_name):
        return long_name
    stem, ext = legal(base), legal(ext)[:3]
    for n in range(1, 100):
        candidate = f"{stem[:8 - 1 - len(str(n))]}~{n}" + (f".{ext}" if ext else "")
        if candidate.upper() not in taken:
            return candidate
    raise SystemExit(f"finish_msi: no short name left for {long_name}")


def file_sources(wxs, tree64, tree32):
    """File Id -> staged path, from the package source."""
    with open(wxs, encoding="utf-8") as f:
        text = f.read()
    found = {}
    for m in re.finditer(r'<File\s[^>]*?Id="([^"]+)"[^>]*?Source="([^"]+)"', text):
        found[m.group(1)] = m.group(2).replace("$(var.Tree64)", tree64).replace("$(var.Tree32)", tree32)
    return found


# ---- _Validation ----------------------------------------------------------------------------

ANY_INT = ("-2147483647", "2147483647")
SEQUENCE = {"Action": ("N", "", "", "", "", "Identifier", ""),
            "Condition": ("Y", "", "", "", "", "Condition", ""),
            "Sequence": ("Y", "-4", "32767", "", "", "", "")}
# Table -> column -> (Nullable, MinValue, MaxValue, KeyTable, KeyColumn, Category, Set), as Windows
# Installer's own schema describes them.
SCHEMA = {
    "_Validation": {
        "Table": ("N", "", "", "", "", "Identifier", ""), "Column": ("N", "", "", "", "", "Identifier", ""),
        "Nullable": ("N", "", "", "", "", "", "Y;N;@"), "MinValue": ("Y", *ANY_INT, "", "", "", ""),
        "MaxValue": ("Y", *ANY_INT, "", "", "", ""), "KeyTable": ("Y", "", "", "", "", "Identifier", ""),
        "KeyColumn": ("Y", "1", "32", "", "", "", ""),
        "Category": ("Y", "", "", "", "", "", "Text;Formatted;Template;Condition;Guid;Path;Version;Language;"
                     "Identifier;Binary;UpperCase;LowerCase;Filename;Paths;AnyPath;WildCardFilename;RegPath;"
                     "CustomSource;Property;Cabinet;Shortcut;FormattedSDDLText;Integer;DoubleInteger;TimeDate;"
                     "DefaultDir"),
        "Set": ("Y", "", "", "", "", "Text", ""), "Description": ("Y", "", "", "", "", "Text", "")},
    "AdminExecuteSequence": SEQUENCE, "AdminUISequence": SEQUENCE, "AdvtExecuteSequence": SEQUENCE,
    "InstallExecuteSequence": SEQUENCE, "InstallUISequence": SEQUENCE,
    "AppSearch": {"Property": ("N", "", "", "", "", "Identifier", ""),
                  "Signature_": ("N", "", "", "Signature;RegLocator;IniLocator;DrLocator;CompLocator", "1",
                                 "Identifier", "")},
    "Binary": {"Name": ("N", "", "", "", "", "Identifier", ""), "Data": ("N", "", "", "", "", "Binary", "")},
    "Icon": {"Name": ("N", "", "", "", "", "Identifier", ""), "Data": ("N", "", "", "", "", "Binary", "")},
    "Component": {"Component": ("N", "", "", "", "", "Identifier", ""), "ComponentId": ("Y", "", "", "", "", "Guid", ""),
                  "Directory_": ("N", "", "", "Directory", "1", "Identifier", ""),
                  "Attributes": ("N", "", "", "", "", "", ""), "Condition": ("Y", "", "", "", "", "Condition", ""),
                  "KeyPath": ("Y", "", "", "File;Registry;ODBCDataSource", "1", "Identifier", "")},
    "CreateFolder": {"Directory_": ("N", "", "", "Directory", "1", "Identifier", ""),
                     "Component_": ("N", "", "", "Component", "1", "Identifier", "")},
    "CustomAction": {"Action": ("N", "", "", "", "", "Identifier", ""), "Type": ("N", "1", "32767", "", "", "", ""),
                     "Source": ("Y", "", "", "", "", "CustomSource", ""), "Target": ("Y", "", "", "", "", "Formatted", ""),
                     "ExtendedType": ("Y", "", "", "", "", "DoubleInteger", "")},
    "Directory": {"Directory": ("N", "", "", "", "", "Identifier", ""),
                  "Directory_Parent": ("Y", "", "", "Directory", "1", "Identifier", ""),
                  "DefaultDir": ("N", "", "", "", "", "DefaultDir", "")},
    "Error": {"Error": ("N", "0", "32767", "", "", "", ""), "Message": ("Y", "", "", "", "", "Template", "")},
    "Feature": {"Feature": ("N", "", "", "", "", "Identifier", ""),
                "Feature_Parent": ("Y", "", "", "Feature", "1", "Identifier", ""),
                "Title": ("Y", "", "", "", "", "Text", ""), "Description": ("Y", "", "", "", "", "Text", ""),
                "Display": ("Y", "0", "32767", "", "", "", ""), "Level": ("N", "0", "32767", "", "", "", ""),
                "Directory_": ("Y", "", "", "Directory", "1", "UpperCase", ""),
                "Attributes": ("N", "", "", "", "", "", "0;1;2;4;5;6;8;9;10;16;17;18;20;21;22;24;25;26;32;33;34;"
                               "36;37;38;48;49;50;52;53;54")},
    "FeatureComponents": {"Feature_": ("N", "", "", "Feature", "1", "Identifier", ""),
                          "Component_": ("N", "", "", "Component", "1", "Identifier", "")},
    "File": {"File": ("N", "", "", "", "", "Identifier", ""), "Component_": ("N", "", "", "Component", "1", "Identifier", ""),
             "FileName": ("N", "", "", "", "", "Filename", ""), "FileSize": ("N", "0", "2147483647", "", "", "", ""),
             "Version": ("Y", "", "", "File", "1", "Version", ""), "Language": ("Y", "", "", "", "", "Language", ""),
             "Attributes": ("Y", "0", "32767", "", "", "", ""), "Sequence": ("N", "1", "2147483647", "", "", "", "")},
    "LaunchCondition": {"Condition": ("N", "", "", "", "", "Condition", ""),
                        "Description": ("N", "", "", "", "", "Formatted", "")},
    "Media": {"DiskId": ("N", "1", "32767", "", "", "", ""), "LastSequence": ("N", "0", "2147483647", "", "", "", ""),
              "DiskPrompt": ("Y", "", "", "", "", "Text", ""), "Cabinet": ("Y", "", "", "", "", "Cabinet", ""),
              "VolumeLabel": ("Y", "", "", "", "", "Text", ""), "Source": ("Y", "", "", "", "", "Property", "")},
    "MsiFileHash": {"File_": ("N", "", "", "File", "1", "Identifier", ""), "Options": ("N", "0", "0", "", "", "", ""),
                    "HashPart1": ("N", "", "", "", "", "", ""), "HashPart2": ("N", "", "", "", "", "", ""),
                    "HashPart3": ("N", "", "", "", "", "", ""), "HashPart4": ("N", "", "", "", "", "", "")},
    "Property": {"Property": ("N", "", "", "", "", "Identifier", ""), "Value": ("N", "", "", "", "", "Text", "")},
    "RegLocator": {"Signature_": ("N", "", "", "", "", "Identifier", ""), "Root": ("N", "0", "3", "", "", "", ""),
                   "Key": ("N", "", "", "", "", "RegPath", ""), "Name": ("Y", "", "", "", "", "Formatted", ""),
                   "Type": ("Y", "0", "18", "", "", "", "")},
    "Registry": {"Registry": ("N", "", "", "", "", "Identifier", ""), "Root": ("N", "-1", "3", "", "", "", ""),
                 "Key": ("N", "", "", "", "", "RegPath", ""), "Name": ("Y", "", "", "", "", "Formatted", ""),
                 "Value": ("Y", "", "", "", "", "Formatted", ""),
                 "Component_": ("N", "", "", "Component", "1", "Identifier", "")},
    "RemoveFile": {"FileKey": ("N", "", "", "", "", "Identifier", ""),
                   "Component_": ("N", "", "", "Component", "1", "Identifier", ""),
                   "FileName": ("Y", "", "", "", "", "WildCardFilename", ""),
                   "DirProperty": ("N", "", "", "", "", "Identifier", ""), "InstallMode": ("N", "", "", "", "", "", "1;2;3")},
    "ServiceControl": {"ServiceControl": ("N", "", "", "", "", "Identifier", ""), "Name": ("N", "", "", "", "", "Formatted", ""),
                       "Event": ("N", "0", "187", "", "", "", ""), "Arguments": ("Y", "", "", "", "", "Formatted", ""),
                       "Wait": ("Y", "0", "1", "", "", "", ""),
                       "Component_": ("N", "", "", "Component", "1", "Identifier", "")},
    "ServiceInstall": {"ServiceInstall": ("N", "", "", "", "", "Identifier", ""), "Name": ("N", "", "", "", "", "Formatted", ""),
                       "DisplayName": ("Y", "", "", "", "", "Formatted", ""), "ServiceType": ("N", *ANY_INT, "", "", "", ""),
                       "StartType": ("N", "0", "4", "", "", "", ""), "ErrorControl": ("N", *ANY_INT, "", "", "", ""),
                       "LoadOrderGroup": ("Y", "", "", "", "", "Formatted", ""),
                       "Dependencies": ("Y", "", "", "", "", "Formatted", ""), "StartName": ("Y", "", "", "", "", "Formatted", ""),
                       "Password": ("Y", "", "", "", "", "Formatted", ""), "Arguments": ("Y", "", "", "", "", "Formatted", ""),
                       "Component_": ("N", "", "", "Component", "1", "Identifier", ""),
                       "Description": ("Y", "", "", "", "", "Text", "")},
    "Shortcut": {"Shortcut": ("N", "", "", "", "", "Identifier", ""),
                 "Directory_": ("N", "", "", "Directory", "1", "Identifier", ""),
                 "Name": ("N", "", "", "", "", "Filename", ""), "Component_": ("N", "", "", "Component", "1", "Identifier", ""),
                 "Target": ("N", "", "", "", "", "Shortcut", ""), "Arguments": ("Y", "", "", "", "", "Formatted", ""),
                 "Description": ("Y", "", "", "", "", "Text", ""), "Hotkey": ("Y", "0", "32767", "", "", "", ""),
                 "Icon_": ("Y", "", "", "Icon", "1", "Identifier", ""), "IconIndex": ("Y", "-32767", "32767", "", "", "", ""),
                 "ShowCmd": ("Y", "", "", "", "", "", "1;3;7"), "WkDir": ("Y", "", "", "", "", "Identifier", ""),
                 "DisplayResourceDLL": ("Y", "", "", "", "", "Formatted", ""),
                 "DisplayResourceId": ("Y", "0", "32767", "", "", "", ""),
                 "DescriptionResourceDLL": ("Y", "", "", "", "", "Formatted", ""),
                 "DescriptionResourceId": ("Y", "0", "32767", "", "", "", "")},
    "Signature": {"Signature": ("N", "", "", "", "", "Identifier", ""), "FileName": ("N", "", "", "", "", "Filename", ""),
                  "MinVersion": ("Y", "", "", "", "", "Text", ""), "MaxVersion": ("Y", "", "", "", "", "Text", ""),
                  "MinSize": ("Y", "0", "2147483647", "", "", "", ""), "MaxSize": ("Y", "0", "2147483647", "", "", "", ""),
                  "MinDate": ("Y", "0", "2147483647", "", "", "", ""), "MaxDate": ("Y", "0", "2147483647", "", "", "", ""),
                  "Languages": ("Y", "", "", "", "", "Language", "")},
    "Upgrade": {"UpgradeCode": ("N", "", "", "", "", "Guid", ""), "VersionMin": ("Y", "", "", "", "", "Text", ""),
                "VersionMax": ("Y", "", "", "", "", "Text", ""), "Language": ("Y", "", "", "", "", "Language", ""),
                "Attributes": ("N", "0", "2147483647", "", "", "", ""), "Remove": ("Y", "", "", "", "", "Formatted", ""),
                "ActionProperty": ("N", "", "", "", "", "UpperCase", "")},
}


def validation(names, msi):
    rows = []
    for name in sorted(set(names) | {"_Validation"}):
        if name not in SCHEMA:
            raise SystemExit(f"finish_msi: no column rules for the table {name}")
        columns = ["Table", "Column", "Nullable", "MinValue", "MaxValue", "KeyTable", "KeyColumn", "Category", "Set",
                   "Description"] if name == "_Validation" else export(msi, name).columns
        for c in columns:
            if c not in SCHEMA[name]:
                raise SystemExit(f"finish_msi: no rule for the column {name}.{c}")
            rows.append([name, c, *SCHEMA[name][c], ""])
    return Table("_Validation", ["Table", "Column", "Nullable", "MinValue", "MaxValue", "KeyTable", "KeyColumn",
                                 "Category", "Set", "Description"],
                 ["s32", "s32", "s4", "I4", "I4", "S255", "I2", "S32", "S255", "S255"], ["Table", "Column"], rows)


# ---- the package ----------------------------------------------------------------------------

def main():
    p = argparse.ArgumentParser()
    p.add_argument("msi")
    p.add_argument("--arch", choices=["x64", "x86"], required=True)
    p.add_argument("--wxs", required=True)
    p.add_argument("--tree64", required=True)
    p.add_argument("--tree32", required=True)
    p.add_argument("--typelib", required=True)
    a = p.parse_args()
    msi = a.msi
    changed = []

    upgrade = export(msi, "Upgrade")
    flags = {"QUILLON_OLDER": 256 | 512 | 1, "QUILLON_X86": 256 | 512 | 1, "QUILLON_NEWER": 2, "QUILLON_X64": 2 | 256}
    for r in upgrade.rows:
        prop = r[upgrade.col("ActionProperty")]
        if prop not in flags:
            raise SystemExit(f"finish_msi: an upgrade row sets {prop}, which this script does not know")
        r[upgrade.col("Attributes")] = str(flags[prop])
    changed.append(upgrade)

    # wixl lists the upgrade properties as secure, one of them twice.
    properties = export(msi, "Property")
    for r in properties.rows:
        if r[0] == "SecureCustomProperties":
            r[1] = ";".join(dict.fromkeys(r[1].split(";")))
    changed.append(properties)

    feature = export(msi, "Feature")
    for r in feature.rows:
        # 8: never advertised; 16: the consoles cannot be set absent.
        r[feature.col("Attributes")] = "24" if r[0] == "Consoles" else "8"
    changed.append(feature)

    registry = export(msi, "Registry")
    for r in registry.rows:
        if r[registry.col("Root")] == "4":
            r[registry.col("Root")] = "-1"
    changed.append(registry)

    directory = export(msi, "Directory")
    source_names = {"ProgramFiles64Folder": "PFiles64", "ProgramFilesFolder": "PFiles"}
    for r in directory.rows:
        if r[0] in source_names:
            r[2] = source_names[r[0]]
        elif r[0] != "TARGETDIR" and "|" not in r[2] and r[2] != ".":
            short = short_name(r[2], set())
            if short != r[2]:
                r[2] = f"{short}|{r[2]}"
    changed.append(directory)

    files = export(msi, "File")
    sources = file_sources(a.wxs, a.tree64, a.tree32)
    components = {r[0]: r[2] for r in export(msi, "Component").rows}
    taken = {}
    versioned = set()
    for r in files.rows:
        name = r[files.col("FileName")]
        folder = components[r[files.col("Component_")]]
        taken.setdefault(folder, set())
        if "|" not in name:
            short = short_name(name, taken[folder])
            taken[folder].add(short.upper())
            if short != name:
                r[files.col("FileName")] = f"{short}|{name}"
        version = pe_version(sources[r[0]]) if r[0] in sources and re.search(r"\.(exe|dll)$", name, re.I) else None
        if version:
            r[files.col("Version")] = version
            r[files.col("Language")] = "1033"
            versioned.add(r[0])
    changed.append(files)
    file_hash = export(msi, "MsiFileHash")
    file_hash.rows = [r for r in file_hash.rows if r[0] not in versioned]
    changed.append(file_hash)

    views = (64, 32) if a.arch == "x64" else (32,)
    actions = Table("CustomAction", ["Action", "Type", "Source", "Target", "ExtendedType"],
                    ["s72", "i2", "S72", "S255", "I4"], ["Action"], [])
    early, late = [], []  # (action, condition): after AppSearch, after CostFinalize

    def guard(action, prop, value, condition):
        actions.rows.append([action, "51", prop, value, ""])
        early.append((action, condition))

    any_foreign = " OR ".join(foreign_class(v) for v in (64, 32))
    for v in views:
        guard(f"QuillonForeignClass{v}", f"QUILLON_CLASS{v}_ROOT", NOT_OURS, foreign_class(v))
        guard(f"QuillonForeignInterface{v}", f"QUILLON_IFACE{v}_ROOT", NOT_OURS, foreign_interface(v, a.typelib))
    guard("QuillonForeignProgId", "QUILLON_PROGID_ROOT", NOT_OURS, any_foreign)
    guard("QuillonForeignTypeLib", "QUILLON_TYPELIB_ROOT", NOT_OURS, foreign_typelib())
    guard("QuillonUpgradeKeepsUserData", "QUILLON_USERDATA_KEY", USERDATA_KEPT, "UPGRADINGPRODUCTCODE")
    # Both views in either package: the ProgID and the type library are shared between them.
    for v in (64, 32):
        action = f"QuillonRefuse{v}"
        actions.rows.append([action, "19", "", REFUSAL.format(view=f"{v}-bit", prop=f"OPOS_SCANNER_{v}"), ""])
        late.append((action, f"(&{FEATURE} = 1 OR &{FEATURE} >= 3) AND {foreign_class(v)}"))
    # The interfaces another installation holds while the class is free: refused too, rather than
    # registered half.
    for v in views:
        action = f"QuillonRefuseInterface{v}"
        actions.rows.append([action, "19", "", INTERFACE_REFUSAL.format(view=f"{v}-bit", prop=f"QUILLON_IFACE_{v}"), ""])
        late.append((action, f"(&{FEATURE} = 1 OR &{FEATURE} >= 3) AND {foreign_interface(v, a.typelib)}"))
    changed.append(actions)

    for name in ("InstallUISequence", "InstallExecuteSequence"):
        seq = export(msi, name)
        at = {r[0]: int(r[2]) for r in seq.rows}
        for n, (action, condition) in enumerate(early, 1):
            seq.rows.append([action, condition, str(at["AppSearch"] + n)])
        # After the feature states are final: costing, and an upgrade's migrated states.
        after = max(at["CostFinalize"], at.get("MigrateFeatureStates", 0))
        for n, (action, condition) in enumerate(late, 1):
            seq.rows.append([action, condition, str(after + n)])
        changed.append(seq)

    import_tables(msi, changed)
    import_tables(msi, [validation(tables(msi), msi)])


if __name__ == "__main__":
    main()
