#!/usr/bin/env python3
"""Reads built packages' tables (msitools) and checks them against the rules
Windows Installer and its validation (ICE) apply, which Wine's msiexec does
not: each check prints ok or what breaks it.

With --self-test, each check is also run on a copy of the first package's
tables broken the way the check exists to catch, and must fail there.

Usage: validate_msi.py [--self-test] [--signed=CA.pem] PACKAGE.msi...
  --signed  the packages must carry an Authenticode signature that verifies
            against CA.pem; without it they must carry none
The last line says how many checks passed and failed.
"""
import copy
import os
import re
import subprocess
import sys
import tempfile

CLASSES = "software\\classes\\"
SHARED_EXCEPT = ("clsid\\", "interface\\", "wow6432node\\")
DEVICE_KEY = re.compile(r"^software\\oleforretail\\serviceopos\\scanner\\quillon", re.I)
FIXED_DEVICE_VALUES = {"", "description", "model"}
FEATURE = "SimulatedScanner"
HKCU, HKMU = "1", "-1"


class Package:
    def __init__(self, path):
        self.path = path
        self.t = {}
        names = subprocess.run(["msiinfo", "tables", path], check=True, capture_output=True, text=True).stdout.split()
        # msiinfo writes a binary table's streams into a folder of the table's name.
        scratch = tempfile.TemporaryDirectory()
        for name in names:
            if name.startswith("_") and name != "_Validation":
                continue
            text = subprocess.run(["msiinfo", "export", os.path.abspath(path), name], check=True, capture_output=True,
                                  cwd=scratch.name).stdout
            lines = text.decode("utf-8").replace("\r\n", "\n").rstrip("\n").split("\n")
            columns = lines[0].split("\t")
            rows = [dict(zip(columns, (l.split("\t") + [""] * len(columns))[:len(columns)])) for l in lines[3:]]
            self.t[name] = {"columns": columns, "types": dict(zip(columns, lines[1].split("\t"))),
                            "keys": lines[2].split("\t")[1:], "rows": rows}
        self.streams = subprocess.run(["msiinfo", "streams", path], check=True, capture_output=True,
                                      text=True).stdout.split("\n")

    def rows(self, table):
        return self.t.get(table, {"rows": []})["rows"]

    def prop(self, name):
        return next((r["Value"] for r in self.rows("Property") if r["Property"] == name), None)

    def resolve(self, text):
        """A formatted text with the properties' default values."""
        return re.sub(r"\[([A-Za-z_][A-Za-z0-9_.]*)\]", lambda m: self.prop(m.group(1)) or "", text)

    def component(self, name):
        return next(r for r in self.rows("Component") if r["Component"] == name)

    def is64(self, component):
        return int(self.component(component)["Attributes"] or 0) & 256 != 0

    def sequence(self, table, action):
        return next((int(r["Sequence"]) for r in self.rows(table) if r["Action"] == action), None)

    def action(self, name):
        return next((r for r in self.rows("CustomAction") if r["Action"] == name), None)

    def condition(self, table, action):
        return next((r["Condition"] for r in self.rows(table) if r["Action"] == action), None)

    def arch(self):
        return "x64" if self.rows("Component") and any(self.is64(c["Component"]) for c in self.rows("Component")) else "x86"

    def views(self):
        return (64, 32) if self.arch() == "x64" else (32,)


def version_tuple(v):
    return tuple(int(x) for x in (v.split(".") + ["0"] * 4)[:4])


# ---- rule 1: never touch a foreign registration ----------------------------------------------

def check_refusal(p):
    problems = []
    for v in (64, 32):  # either package: the ProgID and the type library are shared by the views
        found = [a for a in p.rows("CustomAction") if int(a["Type"]) & 0x3F == 19 and f"OPOS_SCANNER_{v}" in a["Target"]]
        if not found:
            problems.append(f"no error action names the {v}-bit server")
            continue
        name = found[0]["Action"]
        for table in ("InstallExecuteSequence", "InstallUISequence"):
            at, cond = p.sequence(table, name), p.condition(table, name) or ""
            final = max(p.sequence(table, "CostFinalize"), p.sequence(table, "MigrateFeatureStates") or 0)
            if at is None or not final < at < (p.sequence(table, "InstallValidate") or p.sequence(table, "ExecuteAction")):
                problems.append(f"{name} does not run in {table} after costing and feature migration, "
                                "before anything changes")
            if not re.search(rf"&{FEATURE}\s*=\s*1\b", cond) or not re.search(rf"&{FEATURE}\s*>=\s*3\b", cond) or \
                    f"OPOS_SCANNER_{v}" not in cond:
                problems.append(f"{name}'s condition in {table} is not the feature's action state with the {v}-bit server: {cond}")
    for r in p.rows("LaunchCondition") + [{"Condition": r["Condition"] or ""} for t in
                                          ("InstallExecuteSequence", "InstallUISequence") for r in p.rows(t)]:
        if re.search(r"\b(ADDLOCAL|INSTALLLEVEL)\b", r["Condition"]):
            problems.append(f"a condition reads the command line instead of the action state: {r['Condition']}")
    return problems


def guarded_groups(p):
    """Registry rows of the class, interface, ProgID and type library: (row, group, view)."""
    clsid = p.rows("RegLocator") and next(r["Key"] for r in p.rows("RegLocator")
                                          if r["Signature_"] == "OposScanner32").split("\\")[3].lower()
    for r in p.rows("Registry"):
        key = p.resolve(r["Key"]).lower()
        if not key.startswith(CLASSES):
            continue
        rest = key[len(CLASSES):]
        view = 64 if p.is64(r["Component_"]) else 32
        if rest.startswith(f"clsid\\{clsid}"):
            yield r, "class", view
        elif rest.startswith("interface\\"):
            yield r, "interface", view
        elif rest.startswith("opos.scanner"):
            yield r, "progid", None
        elif rest.startswith("typelib\\"):
            yield r, "typelib", None


def check_guards(p):
    problems = []
    expected = {"class": "OPOS_SCANNER_{v}", "interface": "QUILLON_IFACE_{v}", "progid": "OPOS_SCANNER_",
                "typelib": "QUILLON_TLB_"}
    seen = set()
    for r, group, view in guarded_groups(p):
        m = re.match(r"\[([A-Z0-9_]+)\]", r["Key"])
        if not m or p.prop(m.group(1)) is None or p.prop(m.group(1)).lower() != CLASSES:
            problems.append(f"{group} row {r['Key']} is written and removed whoever holds it now")
            continue
        prop = m.group(1)
        if prop in seen:
            continue
        seen.add(prop)
        setters = [a for a in p.rows("CustomAction") if int(a["Type"]) & 0x3F == 51 and a["Source"] == prop]
        if not setters or setters[0]["Target"].lower().startswith(CLASSES):
            problems.append(f"nothing turns {prop} away from SOFTWARE\\Classes when another installation holds the {group}")
            continue
        a = setters[0]["Action"]
        cond = p.condition("InstallExecuteSequence", a) or ""
        at = p.sequence("InstallExecuteSequence", a)
        if at is None or not p.sequence("InstallExecuteSequence", "AppSearch") < at < \
                p.sequence("InstallExecuteSequence", "CostInitialize"):
            problems.append(f"{a} does not run between the searches and costing")
        if expected[group].format(v=view) not in cond:
            problems.append(f"{a} ({group}) does not look at {expected[group].format(v=view)}: {cond}")
    if not seen:
        problems.append("no class registration rows found")
    return problems


def check_no_advertising(p):
    return [f"feature {f['Feature']} can be advertised (attributes {f['Attributes']})"
            for f in p.rows("Feature") if not int(f["Attributes"]) & 8]


# ---- rule 2: rebuilds and versions -----------------------------------------------------------

def check_versions(p):
    problems = []
    v = p.prop("ProductVersion") or ""
    m = re.fullmatch(r"(\d+)\.(\d+)\.(\d+)\.(\d+)", v)
    if not m:
        return [f"ProductVersion {v} is not A.B.C.D"]
    a, b, c, d = map(int, m.groups())
    if a > 255 or b > 255 or c > 65535 or not 1 <= d <= 65535:
        problems.append(f"ProductVersion {v} is out of the scheme (A, B up to 255, C up to 65535, build 1 to 65535)")
    release = f"{a}.{b}.{c}"
    own = p.prop("UpgradeCode")
    rows = [r for r in p.rows("Upgrade") if r["UpgradeCode"] == own]
    remove = [r for r in rows if not int(r["Attributes"]) & 2]
    detect = [r for r in rows if int(r["Attributes"]) & 2]
    if len(remove) != 1:
        problems.append("not exactly one row replaces installed builds")
    for r in remove:
        if r["VersionMax"] != release or int(r["Attributes"]) & (256 | 512 | 1) != 256 | 512 | 1:
            problems.append(f"the replacing row does not take every build up to release {release}, included, "
                            f"with its features: {r}")
        if version_tuple(r["VersionMax"]) >= version_tuple(v):
            problems.append(f"the replacing row reaches this product's own version {v} (ICE61)")
    if not any(r["VersionMin"] == release and not int(r["Attributes"]) & 256 and not r["VersionMax"] for r in detect):
        problems.append(f"no row detects a release newer than {release}")
    for r in detect:
        if not any(re.fullmatch(rf"NOT {r['ActionProperty']}", lc["Condition"]) for lc in p.rows("LaunchCondition")):
            problems.append(f"a newer release found ({r['ActionProperty']}) does not stop the install")
    rep = p.sequence("InstallExecuteSequence", "RemoveExistingProducts")
    if rep is None or not p.sequence("InstallExecuteSequence", "InstallValidate") < rep < \
            p.sequence("InstallExecuteSequence", "InstallInitialize"):
        problems.append("RemoveExistingProducts is not between InstallValidate and InstallInitialize")
    return problems


def check_other_architecture(p):
    codes = {r["UpgradeCode"] for r in p.rows("Upgrade")} - {p.prop("UpgradeCode")}
    if len(codes) != 1:
        return ["no rows for the other architecture's package"]
    rows = [r for r in p.rows("Upgrade") if r["UpgradeCode"] in codes]
    if p.arch() == "x64":
        return [] if any(not int(r["Attributes"]) & 2 for r in rows) else ["the x64 package does not replace the x86 one"]
    problems = []
    for r in rows:
        prop = r["ActionProperty"]
        if not int(r["Attributes"]) & 2 or r["VersionMax"]:
            problems.append("the x86 package does not detect every x64 one")
        lc = [c for c in p.rows("LaunchCondition") if c["Condition"] == f"NOT {prop}"]
        if not lc or f"[{prop}]" not in lc[0]["Description"] or "x64" not in lc[0]["Description"]:
            problems.append("the x86 package does not refuse with a message naming the installed x64 product")
    return problems


# ---- rule 3: validation rules ---------------------------------------------------------------

IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_.]*$")
GUID = re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")
SHORT = re.compile(r"[^\\/:*?\"<>|+,;=\[\]\s.]{1,8}(\.[^\\/:*?\"<>|+,;=\[\]\s.]{1,3})?$")
LONG = re.compile(r"[^\\/:*?\"<>|]{1,255}$")


def filename_ok(v):
    short, _, long = v.partition("|")
    return bool(SHORT.match(short)) and (not long or bool(LONG.match(long)))


def defaultdir_ok(v):
    return v == "SourceDir" or all(x == "." or filename_ok(x) for x in v.split(":"))


CATEGORY = {
    "Identifier": lambda v: bool(IDENTIFIER.match(v)), "Guid": lambda v: bool(GUID.match(v)),
    "UpperCase": lambda v: v == v.upper(), "Filename": filename_ok, "DefaultDir": defaultdir_ok,
    "Version": lambda v: bool(re.fullmatch(r"\d+(\.\d+){0,3}", v)),
    "Language": lambda v: bool(re.fullmatch(r"\d+(,\d+)*", v)),
    "RegPath": lambda v: not v.startswith("\\"), "Cabinet": lambda v: bool(re.fullmatch(r"#?[^\\/:*?\"<>|]+", v)),
    "Formatted": lambda v: v.count("[") == v.count("]"), "Condition": lambda v: v.count("(") == v.count(")"),
}


def check_ice03(p):
    if "_Validation" not in p.t:
        return ["no _Validation table (ICE01-03)"]
    rules = {(r["Table"], r["Column"]): r for r in p.rows("_Validation")}
    problems = []
    for name, table in p.t.items():
        keys = {}
        for col in table["columns"]:
            rule = rules.get((name, col))
            if rule is None:
                problems.append(f"ICE03: {name}.{col} has no _Validation row")
                continue
            kind = table["types"][col]
            for row in table["rows"]:
                v = row[col]
                where = f"ICE03: {name}.{col} = {v!r}"
                if v == "":
                    if rule["Nullable"] == "N":
                        problems.append(f"{where}: may not be empty")
                    continue
                if kind[0] in "vV":
                    continue
                if kind[0] in "iI":
                    if not re.fullmatch(r"-?\d+", v):
                        problems.append(f"{where}: not a number")
                        continue
                    lo, hi = rule["MinValue"], rule["MaxValue"]
                    if (lo and int(v) < int(lo)) or (hi and int(v) > int(hi)):
                        problems.append(f"{where}: outside {lo}..{hi}")
                elif kind[0] in "sSlL" and kind[1:] != "0" and len(v) > int(kind[1:]):
                    problems.append(f"{where}: longer than the column's {kind[1:]}")
                if rule["Set"] and v not in rule["Set"].split(";"):
                    problems.append(f"{where}: not one of {rule['Set']}")
                # A key table may be a list of tables.
                parts = v.split(";") if (name, col) == ("_Validation", "KeyTable") else [v]
                if rule["Category"] in CATEGORY and not all(CATEGORY[rule["Category"]](x) for x in parts):
                    problems.append(f"{where}: not a valid {rule['Category']}")
                if rule["KeyTable"] and rule["KeyColumn"]:
                    targets = rule["KeyTable"].split(";")
                    index = int(rule["KeyColumn"]) - 1
                    if not any(t in p.t and any(r[p.t[t]["columns"][index]] == v for r in p.t[t]["rows"])
                               for t in targets) and not (name == "File" and col == "Version"):
                        problems.append(f"{where}: names no row of {rule['KeyTable']}")
        keys = [tuple(r[k] for k in table["keys"]) for r in table["rows"]]
        if len(keys) != len(set(keys)):
            problems.append(f"ICE03: {name} has duplicate primary keys")
    return problems


def keypath_row(p, component):
    key = component["KeyPath"]
    if int(component["Attributes"] or 0) & 4:
        return "Registry", next((r for r in p.rows("Registry") if r["Registry"] == key), None)
    return "File", next((r for r in p.rows("File") if r["File"] == key), None) if key else None


def check_keypaths(p):
    problems = []
    for c in p.rows("Component"):
        table, row = keypath_row(p, c)
        if c["KeyPath"] and (row is None or row["Component_"] != c["Component"]):
            problems.append(f"ICE02: {c['Component']}'s key path {c['KeyPath']} is not its own {table} row")
    return problems


def check_ice43(p):
    problems = []
    features = {f["Feature"] for f in p.rows("Feature")}
    for s in p.rows("Shortcut"):
        if s["Target"] in features:
            continue
        table, row = keypath_row(p, p.component(s["Component_"]))
        if table != "Registry" or row is None or row["Root"] not in (HKCU, HKMU):
            problems.append(f"ICE43: shortcut {s['Shortcut']} is in {s['Component_']}, whose key path is not an HKCU or HKMU value")
    return problems


def check_ice57(p):
    problems = []
    for c in p.rows("Component"):
        name = c["Component"]
        per_user = [r for r in p.rows("Registry") if r["Component_"] == name and r["Root"] == HKCU]
        if not per_user:
            continue
        table, row = keypath_row(p, c)
        machine = [r for r in p.rows("Registry") if r["Component_"] == name and r["Root"] not in (HKCU, HKMU)]
        machine += [f for f in p.rows("File") if f["Component_"] == name]
        if table != "Registry" or row is None or row["Root"] != HKCU or machine:
            problems.append(f"ICE57: {name} holds per-user data beside per-machine data or a per-machine key path")
    return problems


def check_ice61(p):
    problems = []
    secure = (p.prop("SecureCustomProperties") or "").split(";")
    for r in p.rows("Upgrade"):
        prop = r["ActionProperty"]
        if prop != prop.upper() or prop not in secure:
            problems.append(f"ICE61: {prop} is not a public property in SecureCustomProperties")
        if r["UpgradeCode"] == p.prop("UpgradeCode") and not int(r["Attributes"]) & 2 and \
                (not r["VersionMax"] or version_tuple(r["VersionMax"]) >= version_tuple(p.prop("ProductVersion"))):
            problems.append(f"ICE61: the row setting {prop} would remove this very product")
    return problems


def paths(p, source):
    dirs = {d["Directory"]: d for d in p.rows("Directory")}

    def name(d):
        target, _, src = d["DefaultDir"].partition(":")
        part = (src or target) if source else target
        return [x for x in part.split("|") if x != "."]

    def resolve(d_id):
        d = dirs[d_id]
        if not d["Directory_Parent"] or d["Directory_Parent"] == d_id:
            return [("SourceDir" if source else d_id,)]
        if not source and d_id.startswith("ProgramFiles"):
            return [(d_id,)]
        names = name(d) or [None]
        return [parent + ((n,) if n else ()) for parent in resolve(d["Directory_Parent"]) for n in names]

    out = {}
    for f in p.rows("File"):
        folder = p.component(f["Component_"])["Directory_"]
        for base in resolve(folder):
            for n in f["FileName"].split("|"):
                out.setdefault("\\".join(base + (n,)).lower(), set()).add(f["File"])
    return out


def check_ice30(p):
    problems = []
    for source, what in ((False, "ICE30: installed"), (True, "administrative image:")):
        for path, files in paths(p, source).items():
            if len(files) > 1:
                problems.append(f"{what} {', '.join(sorted(files))} land on {path}")
    return problems


def check_file_versions(p):
    problems = []
    hashed = {h["File_"] for h in p.rows("MsiFileHash")}
    for f in p.rows("File"):
        if re.search(r"\.(exe|dll)$", f["FileName"], re.I):
            if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", f["Version"]) or not f["Language"]:
                problems.append(f"{f['File']} carries no version and language")
            if f["File"] in hashed:
                problems.append(f"{f['File']} is versioned and hashed")
    return problems


def check_shared_values(p):
    owners = {}
    for r in p.rows("Registry"):
        key = p.resolve(r["Key"]).lower()
        if r["Name"] in ("-", "+", "*"):
            continue
        shared = r["Root"] in (HKCU, HKMU) or (key.startswith(CLASSES) and not key[len(CLASSES):].startswith(SHARED_EXCEPT))
        view = "both" if shared else (64 if p.is64(r["Component_"]) else 32)
        owners.setdefault((view, r["Root"], key, r["Name"].lower()), set()).add(r["Component_"])
    return [f"{k[2]} {k[3]!r} ({'shared by both views' if k[0] == 'both' else f'{k[0]}-bit view'}) belongs to "
            f"{', '.join(sorted(c))}" for k, c in owners.items() if len(c) > 1]


# ---- rule 4: what technicians change survives -------------------------------------------------

def check_device_settings(p):
    problems = []
    searches = {a["Property"]: a["Signature_"] for a in p.rows("AppSearch")}
    locators = {r["Signature_"]: r for r in p.rows("RegLocator")}
    count = 0
    for r in p.rows("Registry"):
        if not DEVICE_KEY.match(r["Key"]) or r["Name"].lower() in FIXED_DEVICE_VALUES:
            continue
        count += 1
        m = re.fullmatch(r"\[([A-Z0-9_]+)\]", r["Value"])
        loc = m and locators.get(searches.get(m.group(1)))
        bits = 16 if p.is64(r["Component_"]) else 0
        if not m or not loc or p.prop(m.group(1)) is None or \
                (loc["Root"], loc["Key"].lower(), loc["Name"].lower(), int(loc["Type"])) != \
                (r["Root"], r["Key"].lower(), r["Name"].lower(), 2 | bits):
            problems.append(f"{r['Key']}\\{r['Name']} is written from the package, not from what is installed now")
    if not count:
        problems.append("no device settings found")
    return problems


def check_user_data(p):
    problems = []
    rows = [r for r in p.rows("Registry") if r["Root"] == HKCU and r["Name"] == "-"]
    if len(rows) != 1:
        return ["not one row removes the user's statistics with the product"]
    m = re.fullmatch(r"\[([A-Z0-9_]+)\]", rows[0]["Key"])
    setter = m and next((a for a in p.rows("CustomAction") if int(a["Type"]) & 0x3F == 51 and a["Source"] == m.group(1)), None)
    if not setter or (p.condition("InstallExecuteSequence", setter["Action"]) or "").strip() != "UPGRADINGPRODUCTCODE" or \
            setter["Target"].lower() == (p.prop(m.group(1)) or "").lower():
        problems.append("an upgrade removes the user's statistics with the product it replaces")
    return problems


# ---- rule 5: signed when a certificate is given ----------------------------------------------

def check_signature(p, ca):
    signed = any("DigitalSignature" in s for s in p.streams)
    if ca is None:
        return ["signed, though no certificate was given"] if signed else []
    if not signed:
        return ["not signed"]
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", p.path], capture_output=True, text=True)
    return [] if r.returncode == 0 else ["the signature does not verify: " + r.stdout.strip().splitlines()[-1]]


# ---- checks, and how each is broken for the self-test -----------------------------------------

def first(p, table, **match):
    return next(r for r in p.rows(table) if all(re.search(v, r[k]) for k, v in match.items()))


def break_refusal(p):
    for t in ("InstallExecuteSequence", "InstallUISequence"):
        first(p, t, Action="QuillonRefuse32")["Condition"] = '(ADDLOCAL ~>< "SimulatedScanner") AND OPOS_SCANNER_32'
        # and before an upgrade's feature states are known
        first(p, t, Action="QuillonRefuse64")["Sequence"] = str(p.sequence(t, "CostFinalize") + 1)


def break_guards(p):
    r = first(p, "Registry", Key=r"CLSID.*InprocServer32")
    r["Key"] = p.resolve(r["Key"])


def break_shared(p):
    r = copy.deepcopy(first(p, "Registry", Key=r"OPOS\.Scanner\\CLSID"))
    r["Registry"], r["Component_"] = r["Registry"] + "x", "Console32"
    p.rows("Registry").append(r)


def break_version(p):
    first(p, "Property", Property="^ProductVersion$")["Value"] = re.sub(r"\.\d+$", ".0", p.prop("ProductVersion"))


def break_other_arch(p):
    if p.arch() == "x64":
        for r in p.rows("Upgrade"):
            if r["UpgradeCode"] != p.prop("UpgradeCode"):
                r["Attributes"] = "2"
    else:
        p.t["LaunchCondition"]["rows"] = [c for c in p.rows("LaunchCondition") if "QUILLON_X64" not in c["Condition"]]


def break_ice30(p):
    if p.arch() == "x64":  # the two Program Files folders' source names, as wixl writes them
        for d in p.rows("Directory"):
            if d["Directory"].startswith("ProgramFiles"):
                d["DefaultDir"] = "."
    else:  # a second file of the same name in the same folder
        r = copy.deepcopy(first(p, "File", File="^Console32$"))
        r["File"], r["Component_"] = "Console32x", "Inject32"
        p.rows("File").append(r)


CHECKS = [
    ("1 refusal on the feature's action state, after costing and migration", check_refusal, break_refusal),
    ("1 class, interface, ProgID, type library left alone when not ours", check_guards, break_guards),
    ("1 no feature can be advertised", check_no_advertising,
     lambda p: first(p, "Feature", Feature=FEATURE).update(Attributes="0")),
    ("2 version scheme, rebuilds replace, no downgrade", check_versions, break_version),
    ("2 the other architecture's package", check_other_architecture, break_other_arch),
    ("3 ICE01-03 _Validation and column rules", check_ice03,
     lambda p: first(p, "File", FileName=r"\|QuillonScanner").update(FileName="QuillonScanner.dll")),
    ("3 ICE02 key paths", check_keypaths, lambda p: first(p, "Component", Component="^Console32$").update(KeyPath="Control32")),
    ("3 ICE43 shortcuts", check_ice43, lambda p: first(p, "Shortcut", Shortcut="Shortcut32").update(Component_="Console32")),
    ("3 ICE57 per-user data", check_ice57,
     lambda p: first(p, "Registry", Root="^1$", Name="^-$").update(Component_="Control32")),
    ("3 ICE61 upgrade rows", check_ice61,
     lambda p: first(p, "Property", Property="SecureCustomProperties").update(Value="QUILLON_OLDER")),
    ("3 ICE30 and the administrative image", check_ice30, break_ice30),
    ("3 File.Version of program files", check_file_versions,
     lambda p: first(p, "File", FileName=r"scaninject").update(Version="")),
    ("3 values WOW64 shares belong to one component", check_shared_values, break_shared),
    ("4 device settings written back from what is installed", check_device_settings,
     lambda p: first(p, "Registry", Name="^DemoInterval$").update(Value="#3000")),
    ("4 the user's statistics survive an upgrade", check_user_data,
     lambda p: p.t["CustomAction"].update(rows=[a for a in p.rows("CustomAction") if "UserData" not in a["Action"]])),
]


def main(argv):
    self_test = "--self-test" in argv
    ca = next((a.split("=", 1)[1] for a in argv if a.startswith("--signed=")), None)
    packages = [Package(a) for a in argv if not a.startswith("--")]
    if not packages:
        sys.exit(__doc__)
    passed = failed = 0

    def report(ok, text):
        nonlocal passed, failed
        print(f"validate: {'ok' if ok else 'FAILED'}: {text}")
        passed, failed = passed + ok, failed + (not ok)

    for p in packages:
        name = p.path.rsplit("/", 1)[-1]
        for title, check, _ in CHECKS:
            problems = check(p)
            report(not problems, f"{name}: rule {title}" + "".join(f"\n    {x}" for x in problems[:8]))
        problems = check_signature(p, ca)
        report(not problems, f"{name}: rule 5 {'signed, verifies' if ca else 'unsigned'}" +
               "".join(f"\n    {x}" for x in problems))
    if self_test:
        for p in packages:
            name = p.path.rsplit("/", 1)[-1]
            for title, check, breaker in CHECKS:
                broken = copy.deepcopy(p)
                broken.t, broken.path = copy.deepcopy(p.t), p.path
                breaker(broken)
                problems = check(broken)
                report(bool(problems), f"{name}: broken, rule {title} fails: {problems[0] if problems else 'it passed'}")
            problems = check_signature(p, None if ca else "/dev/null")
            report(bool(problems), f"{name}: broken, rule 5 fails: {problems[0] if problems else 'it passed'}")
    print(f"validate: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
