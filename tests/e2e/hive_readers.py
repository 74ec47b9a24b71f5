"""What two readers nobody here wrote read of a hive: regfexport (libregf)
the keys' exact names and every value, reglookup (libregfi) the key times,
joined key by key."""

import os
import re
import subprocess

# regfexport: the keys' exact names, and every value.
REG_TYPES = {"REG_NONE": 0, "REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3,
             "REG_DWORD_LITTLE_ENDIAN": 4, "REG_DWORD_BIG_ENDIAN": 5, "REG_LINK": 6,
             "REG_MULTI_SZ": 7, "REG_RESOURCE_LIST": 8, "REG_FULL_RESOURCE_DESCRIPTOR": 9,
             "REG_RESOURCE_REQUIREMENTS_LIST": 10, "REG_QWORD_LITTLE_ENDIAN": 11}


def regfexport(hive):
    """{key path tuple: [value dicts]}, every key, with what regfexport
    shows of each value: name, type, size, and its data as a hex dump, a
    number or a text."""
    r = subprocess.run(["regfexport", hive], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       env=dict(os.environ, LC_ALL="C.UTF-8"), check=True)
    keys, values, value = {}, None, None
    dump = None
    text = False
    for line in r.stdout.decode("utf-8", "surrogateescape").split("\n"):
        if text and line:
            value["shown"] += "\n" + line
            continue
        text = False
        if dump is not None:
            if re.match(r"^[0-9a-f]{8}: ", line):
                dump.extend(bytes.fromhex("".join(line[10:60].split())))
                continue
            value["dump"] = bytes(dump)
            dump = None
        if line.startswith("Key path: "):
            path = tuple(line[len("Key path: "):].split("\\")[1:])
            values = keys.setdefault(path, [])
        elif line.startswith("Value: "):
            name = line.split(" ", 2)[2]
            value = {"name": "" if name == "(default)" else name}
            values.append(value)
        elif line.startswith("Type: "):
            m = re.search(r"\((REG_\w+)\)$", line) or re.search(r"unknown: (0x[0-9a-f]+)", line)
            value["type"] = REG_TYPES[m.group(1)] if m.group(1) in REG_TYPES else int(
                m.group(1), 16)
        elif line.startswith("Data size: "):
            value["size"] = int(line.split(": ")[1])
        elif line == "Data:":
            dump = bytearray()
        elif line.startswith("Data: "):
            value["shown"] = line[len("Data: "):]
            text = True
    return keys


def unquote(text):
    """reglookup's %XX quoting undone, as bytes."""
    raw = text.encode("latin-1")
    return re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), raw)


def reglookup(hive):
    """[(quoted key path, MTIME)] and {(quoted key path, quoted value name):
    quoted value} as reglookup prints them."""
    r = subprocess.run(["reglookup", "-H", "-i", hive], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, check=True)
    keys, values = [], {}
    for line in r.stdout.decode("latin-1").split("\n"):
        if not line:
            continue
        parts = line.split(",")
        path, kind, mtime = parts[0], parts[1], parts[-1]
        if kind == "KEY":
            keys.append((tuple(path.split("/")[1:]) if path != "/" else (), mtime))
        else:
            head, _, name = path.rpartition("/")
            values[(tuple(head.split("/")[1:]) if head else (), name)] = ",".join(parts[2:-1])
    return keys, values


def resolve(raw, names):
    """(regfexport's name, the exact name) of a name reglookup writes as
    `raw`, its stored bytes (UTF-16LE, or one byte a character) where ASCII
    cannot hold it. regfexport decodes names of one byte a character through
    Windows-1252, where Windows stores them as Latin-1: the exact name of such
    a name is reglookup's."""
    for name in names:
        if raw == name.encode("utf-16-le", "surrogatepass"):
            return name, name
    latin = raw.decode("latin-1")
    for name in names:
        if name in (latin, raw.decode("cp1252", "replace")):
            return name, latin
    return None


def read_tree(tally, label, hive):
    """{exact key path: (reglookup's MTIME, [values], subkey count)}, the
    values as regfexport shows them, each with its exact name and
    reglookup's quoted text of it."""
    exported = regfexport(hive)
    children = {}
    for path in exported:
        if path:
            children.setdefault(path[:-1], []).append(path[-1])
    quoted_keys, quoted_values = reglookup(hive)
    by_key = {}
    for (k, n), v in quoted_values.items():
        by_key.setdefault(k, {})[unquote(n)] = v
    keys, unknown = {}, []
    for quoted, mtime in quoted_keys:
        there, path = (), ()
        for q in quoted:
            found = resolve(unquote(q), children.get(there, []))
            if found is None:
                break
            there, path = there + (found[0],), path + (found[1],)
        if len(path) != len(quoted):
            unknown.append(quoted)
            continue
        values = []
        raw_values = by_key.get(quoted, {})
        for v in exported[there]:
            names = [r for r in raw_values if resolve(r, [v["name"]])]
            if len(names) != 1:
                unknown.append((quoted, v["name"]))
                continue
            values.append(dict(v, name=resolve(names[0], [v["name"]])[1],
                               quoted=raw_values[names[0]]))
        keys[path] = (mtime, values, len(children.get(there, [])))
    tally.equal("%s: reglookup and regfexport read the same keys and values" % label,
                (unknown, len(keys)), ([], len(exported)))
    return keys
