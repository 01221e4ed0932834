#!/usr/bin/python3
"""Checks a Tavrel MSI's own tables for what Windows Installer holds a package to and
Wine forgives. Prints one line per broken rule, "<rule>: <why>", and exits 1 if any.

    check-msi-tables.py PACKAGE"""
import os
import re
import subprocess
import sys
import tempfile

IN_SCRIPT, ROLLBACK, NO_IMPERSONATE, EXE = 0x400, 0x100, 0x800, 2
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def table(package, name):
    """The rows of a table, as dictionaries by column name (msiinfo's export format)."""
    lines = subprocess.run(["msiinfo", "export", package, name], capture_output=True,
                           text=True, check=True).stdout.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def exe_version(package, work):
    """The version resource of the exe the package installs."""
    with open(f"{work}/tavrel.cab", "wb") as cab:
        subprocess.run(["msiinfo", "extract", package, "tavrel.cab"], stdout=cab, check=True)
    subprocess.run(["gcab", "-x", "-C", work, f"{work}/tavrel.cab"], capture_output=True, check=True)
    return subprocess.run([sys.executable, f"{ROOT}/packaging/exe-version.py", f"{work}/TavrelExe"],
                          capture_output=True, text=True, check=True).stdout.split()


def holds(condition, properties):
    """Whether a sequence condition holds where the properties (and component states,
    "$Name") have the given values; unset ones are empty. Knows what Tavrel's use:
    AND, OR, NOT, = and parentheses."""
    words = []
    for token in re.findall(r"\$?\w+|[()=]", condition):
        upper = token.upper()
        if upper in ("AND", "OR", "NOT"):
            words.append(upper.lower())
        elif token in "()":
            words.append(token)
        elif token == "=":
            words.append("==")
        elif token.isdigit():
            words.append(repr(token))
        else:
            words.append(repr(properties.get(token, "")))
    return not words or bool(eval(" ".join(words), {"__builtins__": {}}))


def check(package, work):
    sequence = {row["Action"]: int(row["Sequence"]) for row in table(package, "InstallExecuteSequence")}
    actions = {row["Action"]: row for row in table(package, "CustomAction")}
    start, end = sequence.get("InstallInitialize", -1), sequence.get("InstallFinalize", -1)
    scheduled = sorted((number, name) for name, number in sequence.items())
    faults = []

    def kind(name):
        return int(actions[name]["Type"]) if name in actions else 0

    def is_task(name):
        return "/tn Tavrel" in actions.get(name, {}).get("Target", "")

    for number, name in scheduled:
        if kind(name) & IN_SCRIPT and not start < number < end:
            faults.append(f"transaction: the deferred {name} ({number}) runs outside {start}-{end}")

    upgrade = sequence.get("RemoveExistingProducts", -1)
    if not start < upgrade < sequence.get("InstallFiles", -1):
        faults.append(f"upgrade-inside: RemoveExistingProducts ({upgrade}) is not between "
                      f"InstallInitialize and InstallFiles")
    # It runs the older version's removal at once: what the script holds before it must
    # have run, or it would run after the removal.
    before = [name for number, name in scheduled if number < upgrade]
    if start < upgrade and before[-1] not in ("InstallInitialize", "InstallExecute", "InstallExecuteAgain"):
        faults.append(f"upgrade-alone: {before[-1]} comes between the script and RemoveExistingProducts")

    # Each step that changes the task, the older version's removal among them, has a
    # rollback action of the task since the previous step, on the same condition (the
    # removal: one that registers the task again), run as the local system account.
    conditions = {row["Action"]: row["Condition"] for row in table(package, "InstallExecuteSequence")}
    previous = start
    for number, name in scheduled:
        step = name == "RemoveExistingProducts" or (
            kind(name) & IN_SCRIPT and not kind(name) & ROLLBACK and is_task(name))
        if not step or number <= start:
            continue
        undo = [other for at, other in scheduled if previous < at < number and is_task(other)
                and kind(other) & (IN_SCRIPT | ROLLBACK | NO_IMPERSONATE) == IN_SCRIPT | ROLLBACK | NO_IMPERSONATE
                and ("/create" in actions[other]["Target"] if name == "RemoveExistingProducts"
                     else conditions[other] == conditions[name])]
        if not undo:
            faults.append(f"rollback: {name} ({number}) has no deferred, not impersonated rollback "
                          f"of the task before it on its condition")
        previous = number

    files = {row["File"]: row for row in table(package, "File")}
    version = exe_version(package, work)
    if files["TavrelExe"]["Version"] != version[0]:
        faults.append(f"version: the exe's File Version is {files['TavrelExe']['Version']!r}, "
                      f"its version resource {version[0]}")
    if any(row["File_"] == "TavrelExe" for row in table(package, "MsiFileHash")):
        faults.append("hash: the versioned exe has an MsiFileHash row")
    properties = {row["Property"]: row["Value"] for row in table(package, "Property")}
    if not properties.get("MsiLogging"):
        faults.append("logging: MsiLogging is not set")
    # Restart Manager may force-close what holds the files, the installer's last say
    # before it would ask for a restart.
    if properties.get("MSIRMSHUTDOWN") != "1" or properties.get("MSIRESTARTMANAGERCONTROL", "0") != "0":
        faults.append("restart-manager: MSIRMSHUTDOWN is not 1 (or the Restart Manager is disabled)")

    def started_as_system(name):
        """A console program, deferred and not impersonated: it runs as the system."""
        return kind(name) & 0x7 == EXE and kind(name) & (IN_SCRIPT | NO_IMPERSONATE) == IN_SCRIPT | NO_IMPERSONATE

    # A removal ends a run once more after the task is gone and before the exe is: the
    # task may have started one since the first end.
    removal = {"Installed": "1", "REMOVE": "ALL", "$TavrelExe": "2", "AdminUser": "1", "Privileged": "1"}
    ends = [(number, name) for number, name in scheduled if started_as_system(name)
            and "/im Tavrel.exe" in actions[name]["Target"] and holds(conditions.get(name, ""), removal)]
    deleted, removed = sequence.get("DeleteTask", -1), sequence.get("RemoveFiles", -1)
    if not any(deleted < number < removed for number, _ in ends):
        faults.append(f"end-run: no end of a run in a removal between DeleteTask ({deleted}) "
                      f"and RemoveFiles ({removed})")
    # A standard user's repair of what an administrator installed: Privileged and, unless
    # the real token decides, AdminUser are set. Nothing may start a console as the system.
    repairs = [{"Installed": "1", "REINSTALL": "ALL", "$TavrelExe": "3", "Privileged": "1",
                "VersionNT64": bits, "TAVRELTESTFAIL": "1",
                "AdminUser": "" if properties.get("MSIUSEREALADMINDETECTION") == "1" else "1"}
               for bits in ("", "601")]
    for number, name in scheduled:
        if started_as_system(name) and any(holds(conditions.get(name, ""), repair) for repair in repairs):
            faults.append(f"console-as-system: a standard user's repair starts {name} ({number}) as the system")
    summary = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, text=True, check=True).stdout
    code = re.search(r"^Revision number \(UUID\): (.*)$", summary, re.M).group(1)
    derived = subprocess.run(["/usr/bin/python3", f"{ROOT}/packaging/set-summary.py", "--derive", package],
                             capture_output=True, text=True, check=True).stdout.strip()
    if code != derived:
        faults.append(f"package-code: {code} is not the code of the package's content, {derived}")
    source = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavrel"
    values = {row["Name"]: row["Value"] for row in table(package, "Registry")
              if row["Root"] == "2" and row["Key"] == source and row["Component_"] == "TavrelExe"}
    if (values.get("EventMessageFile"), values.get("TypesSupported"), "-" in values) != ("#%[#TavrelExe]", "#7", True) \
            or not {"WriteRegistryValues", "RemoveRegistryValues"} <= sequence.keys():
        faults.append(f"event-source: HKLM\\{source} is not written with the exe and removed: {values}")
    return faults


with tempfile.TemporaryDirectory() as folder:
    problems = check(sys.argv[1], folder)
if problems:
    print("\n".join(problems))
sys.exit(1 if problems else 0)
