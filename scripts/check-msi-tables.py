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


class Unreadable(ValueError):
    """A condition read only in part: its meaning is unknown, so no rule may take it as false."""


# A string literal, an integer, a comparison (with ~, without regard to case), a
# parenthesis, or a name: a property, %environment, $component's action, ?component's
# state, &feature's action, !feature's state.
TOKEN = re.compile(r'\s*(?:(?P<text>"[^"]*")|(?P<number>-?\d+)|(?P<compare>~?(?:<>|><|<<|>>|<=|>=|=|<|>))'
                   r'|(?P<paren>[()])|(?P<name>[$?&!%]?[A-Za-z_][\w.]*))')
LOGIC = ("IMP", "EQV", "XOR", "OR", "AND")  # loosest first; NOT binds tightest


def compare(left, operator, right):
    """A comparison as Windows Installer makes it: integers by value (the substring
    operators as bitwise and, high word and low word), strings by text, and an integer
    against a string equal to nothing and different from everything."""
    if isinstance(left, int) != isinstance(right, int):
        return operator.lstrip("~") == "<>"
    if isinstance(left, str) and operator.startswith("~"):
        left, right = left.lower(), right.lower()
    operator = operator.lstrip("~")
    if operator in ("=", "<>", "<", ">", "<=", ">="):
        return {"=": left == right, "<>": left != right, "<": left < right, ">": left > right,
                "<=": left <= right, ">=": left >= right}[operator]
    if isinstance(left, int):
        return {"><": left & right != 0, "<<": left >> 16 == right, ">>": left & 0xFFFF == right}[operator]
    return {"><": right in left, "<<": left.startswith(right), ">>": left.endswith(right)}[operator]


def holds(condition, properties):
    """Whether a sequence condition holds where the properties (and "$Name", "%NAME" and
    the like) have the given values; unset ones are empty. Raises Unreadable for a
    condition it cannot read to its end: guessing would let a broken rule pass."""
    tokens, at = [], 0
    while condition[at:].strip():
        match = TOKEN.match(condition, at)
        if not match:
            raise Unreadable(f"cannot read {condition[at:].strip()!r}")
        kind = match.lastgroup
        word = match.group(kind)
        if kind == "name" and word.upper() in (*LOGIC, "NOT"):
            kind, word = "logic", word.upper()
        tokens.append((kind, word))
        at = match.end()
    if not tokens:
        return True
    position = 0

    def peek():
        return tokens[position] if position < len(tokens) else (None, None)

    def take(kind):
        nonlocal position
        if peek()[0] != kind:
            raise Unreadable(f"expected {kind} at {' '.join(word for _, word in tokens[position:]) or 'the end'!r}")
        position += 1
        return tokens[position - 1][1]

    def value(kind, word):
        """A term's value: a property's is an integer where its text is one."""
        if kind == "text":
            return word[1:-1]
        if kind == "number":
            return int(word)
        raw = properties.get(word, "")
        return int(raw) if re.fullmatch(r"-?\d+", raw) else raw

    def term():
        if peek() == ("paren", "("):
            take("paren")
            inner = logic(0)
            if peek() != ("paren", ")"):
                raise Unreadable("a parenthesis is not closed")
            take("paren")
            return inner
        kind, word = peek()
        if kind not in ("text", "number", "name"):
            raise Unreadable(f"expected a value, not {word or 'the end'!r}")
        take(kind)
        if peek()[0] == "compare":
            operator = take("compare")
            right_kind, right_word = peek()
            if right_kind not in ("text", "number", "name"):
                raise Unreadable(f"nothing to compare after {operator!r}")
            take(right_kind)
            return compare(value(kind, word), operator, value(right_kind, right_word))
        # Alone, a name holds when it has a value, "0" too; an integer when it is not 0.
        return word != "0" if kind == "number" else (
            word != '""' if kind == "text" else properties.get(word, "") != "")

    def negation():
        if peek() == ("logic", "NOT"):
            take("logic")
            return not negation()
        return term()

    def logic(level):
        if level == len(LOGIC):
            return negation()
        left = logic(level + 1)
        while peek() == ("logic", LOGIC[level]):
            take("logic")
            right = logic(level + 1)
            left = {"IMP": not left or right, "EQV": left == right, "XOR": left != right,
                    "OR": left or right, "AND": left and right}[LOGIC[level]]
        return left

    result = logic(0)
    if position != len(tokens):
        raise Unreadable(f"left over: {' '.join(word for _, word in tokens[position:])!r}")
    return result


def check(package, work):
    sequence = {row["Action"]: int(row["Sequence"]) for row in table(package, "InstallExecuteSequence")}
    actions = {row["Action"]: row for row in table(package, "CustomAction")}
    start, end = sequence.get("InstallInitialize", -1), sequence.get("InstallFinalize", -1)
    scheduled = sorted((number, name) for name, number in sequence.items())
    conditions = {row["Action"]: row["Condition"] for row in table(package, "InstallExecuteSequence")}
    faults = []
    for name, condition in conditions.items():
        try:
            holds(condition, {})
        except Unreadable as why:
            faults.append(f"condition: {name}'s condition {condition!r} cannot be read: {why}")

    def holds_in(name, context, unreadable):
        """Whether the action's condition holds in the context; an unreadable one counts
        as the answer that breaks the rule asking, which is faulted above anyway."""
        try:
            return holds(conditions.get(name, ""), context)
        except Unreadable:
            return unreadable

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
            and "/im Tavrel.exe" in actions[name]["Target"] and holds_in(name, removal, False)]
    deleted, removed = sequence.get("DeleteTask", -1), sequence.get("RemoveFiles", -1)
    if not any(deleted < number < removed for number, _ in ends):
        faults.append(f"end-run: no end of a run in a removal between DeleteTask ({deleted}) "
                      f"and RemoveFiles ({removed})")
    # A run in progress holds the exe that the older version's removal and the files'
    # replacement take: ended first, inside the script, neither needs a restart.
    first_change = min(upgrade, sequence.get("InstallFiles", -1))
    replacing = {f"{what} on {'64' if bits else '32'}-bit Windows":
                 {**context, "VersionNT64": bits, "AdminUser": "1", "Privileged": "1", "$TavrelExe": "3"}
                 for what, context in (("an upgrade", {"WIX_UPGRADE_DETECTED": "{0}"}),
                                       ("an administrator's repair", {"Installed": "1", "REINSTALL": "ALL"}))
                 for bits in ("", "601")}
    for what, context in replacing.items():
        if not any(start < number < first_change and started_as_system(name) and not kind(name) & ROLLBACK
                   and "/im Tavrel.exe" in actions[name]["Target"] and holds_in(name, context, False)
                   for number, name in scheduled):
            faults.append(f"end-before-files: in {what} no run is ended between InstallInitialize "
                          f"({start}) and RemoveExistingProducts or InstallFiles ({first_change})")
    # A standard user's repair of what an administrator installed: Privileged and, unless
    # the real token decides, AdminUser are set. Nothing may start a console as the system.
    repairs = [{"Installed": "1", "REINSTALL": "ALL", "$TavrelExe": "3", "Privileged": "1",
                "VersionNT64": bits, "TAVRELTESTFAIL": "1",
                "AdminUser": "" if properties.get("MSIUSEREALADMINDETECTION") == "1" else "1"}
               for bits in ("", "601")]
    for number, name in scheduled:
        if started_as_system(name) and any(holds_in(name, repair, True) for repair in repairs):
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


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as folder:
        problems = check(sys.argv[1], folder)
    if problems:
        print("\n".join(problems))
    sys.exit(1 if problems else 0)
