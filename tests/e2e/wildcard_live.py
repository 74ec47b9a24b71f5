"""/W against Wine's own registry: the values a pattern matches must be the
ones `reg query KEY /s` lists, in Windows' order of names."""

import os
import re
import subprocess

# (key reg queries, pattern beneath it, how many key levels the pattern has)
PATTERNS = [
    ("HKLM\\System\\CurrentControlSet\\Services", "*\\*", 1),
    ("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", "*", 0),
    # Default values, many of them. (Keys Wine makes volatile, as beneath
    # Windows NT\CurrentVersion\NetworkCards, are in no file the native
    # build reads: no pattern here reaches one.)
    ("HKLM\\Software\\Classes\\CLSID", "*\\*\\*", 2),
    ("HKCU\\Control Panel", "*\\*", 1),
]
LONG_ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
# Marks result lines apart from the continuation lines of list values.
LABEL = b"@@wild@@"
VALUE_LINE = re.compile(r"^    (.*?)    (REG_\w+)(    .*)?$")


def reg_values(prefix, key):
    """[(key path below `key`, value name)] as reg query /s lists them."""
    r = prefix.wine(["reg", "query", key, "/s"], stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE)
    root, _, rest = key.partition("\\")
    head = LONG_ROOTS[root] + "\\" + rest
    found, current = [], None
    for line in r.stdout.decode("utf-8", "replace").split("\r\n"):
        if not line:
            continue
        if not line.startswith(" "):
            if line.lower() == head.lower():
                current = ""
            elif line.lower().startswith(head.lower() + "\\"):
                current = line[len(head) + 1:]
            else:
                current = None
            continue
        m = VALUE_LINE.match(line)
        if m and current is not None:
            found.append((current, "" if m.group(1) == "(Default)" else m.group(1)))
    return found


def unescape(shown):
    if shown == "@":
        return ""
    return re.sub(r"%([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), shown)


def hivtap_values(output):
    """[(key path, value name)] from the prefixes of the labelled lines."""
    found = []
    for line in output.split(b"\r\n"):
        if not line.startswith(LABEL + b"= "):
            continue
        path = line[len(LABEL) + 2:].split(b"=", 1)[0].decode("cp1252")
        parts = path.split("\\")
        found.append(("\\".join(parts[:-1]), unescape(parts[-1])))
    return found


def level(key):
    return 0 if key == "" else key.count("\\") + 1


def live_group(tally, label, run):
    """`run(list bytes)` runs hivtap /W /N /S on that list and returns its
    output file and a reg_values for the same prefix."""
    listing = b"".join(LABEL + b"=" + (key + "\\" + pattern).encode("cp1252") + b"\r\n"
                       for key, pattern, _ in PATTERNS)
    output, reg = run(listing)
    tally.check("%s: live /W ran" % label, len(output) > 0)
    got = hivtap_values(output)
    start = 0
    for key, pattern, depth in PATTERNS:
        expected = [(k, n) for k, n in reg(key) if level(k) == depth]
        count = len(expected)
        mine = got[start:start + count]
        start += count
        name = "%s: live /W %s\\%s" % (label, key, pattern)
        tally.check(name + " matches what reg query lists", count > 0 and
                    sorted(mine) == sorted(expected),
                    "reg: %r\n    hivtap: %r" % (sorted(expected)[:20], sorted(mine)[:20]))
        order = sorted(mine, key=lambda kn: ([p.upper() for p in kn[0].split("\\")],
                                             kn[1].upper()))
        tally.check(name + " in Windows' order of names", mine == order,
                    "%r" % mine[:20])
    tally.equal("%s: live /W no more lines" % label, len(got), start)


# Wine's links: Wow6432Node\Protocols leads to Software\Classes\Protocols.
LINKED = b"HKLM\\Software\\Classes\\Wow6432Node\\Protocols\\*\\*\\*"
TARGET = b"HKLM\\Software\\Classes\\Protocols\\*\\*\\*"
STARRED = b"HKLM\\Software\\Classes\\Wow6432Node\\P*\\*\\*\\*"


def link_group(tally, label, run):
    """A link named literally is followed; a star that matches it is not."""
    outputs = [run(line + b"\r\n")[0] for line in (LINKED, TARGET, STARRED)]
    tally.check("%s: live /W through a link named literally" % label,
                outputs[0] == outputs[1] and outputs[0].count(b"\r\n") > 2,
                "%r\n    %r" % (outputs[0][:200], outputs[1][:200]))
    tally.equal("%s: live /W, a star does not enter a link" % label, outputs[2], b"*=\r\n")


def live_run(prefix, work, name, invoke):
    """A run of the list given, in its own directory, through `invoke(argv,
    directory)`: its output file, and how to ask reg query for a key."""
    def run(listing):
        directory = os.path.join(work, name)
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, "live.lst"), "wb") as f:
            f.write(listing)
        # The tool appends: each run starts from no file.
        if os.path.exists(os.path.join(directory, "live.txt")):
            os.remove(os.path.join(directory, "live.txt"))
        invoke(["/S", "/W", "/N", "/L:live.lst", "live.txt"], directory)
        with open(os.path.join(directory, "live.txt"), "rb") as f:
            return f.read(), lambda key: reg_values(prefix, key)
    return run


def windows_run(prefix, hivtap, work):
    def invoke(args, directory):
        prefix.wine([hivtap] + args, cwd=directory, stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE)
    return live_run(prefix, work, "wild-live-win", invoke)


def native_run(prefix, hivtap, work):
    def invoke(args, directory):
        prefix.sync()
        env = dict(os.environ, WINEPREFIX=prefix.path, LC_ALL="C.UTF-8")
        env.pop("HIVTAP_REGISTRY", None)
        subprocess.run([hivtap] + args, cwd=directory, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    return live_run(prefix, work, "wild-live-native", invoke)
