"""/W stops at 1,000,000 values, over a generated Wine prefix whose two keys
hold one value more than that; /F at 1,000,000 records, keys counted."""

import json
import os

from hive_suite import Runner

HEADER = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n"
MESSAGE = "hivTAP: plus de 1000000 valeurs, liste arr\u00eat\u00e9e \u00e0 1000000"


def write_prefix(path, counts):
    os.makedirs(path)
    with open(os.path.join(path, "system.reg"), "w", encoding="ascii") as f:
        f.write(HEADER)
        for key, count in counts:
            f.write("[Software\\\\Big\\\\%s] 1\n" % key)
            f.write("".join('"%s%07d"=dword:%08x\n' % (key, i, i) for i in range(count)))


def cap_group(tally, hivtap, work):
    runner = Runner(hivtap, work)
    for name, counts, capped in (("over", [("A", 600000), ("B", 400001)], True),
                                 ("at", [("A", 600000), ("B", 400000)], False)):
        prefix = os.path.join(work, "wildcard-cap-" + name)
        write_prefix(prefix, counts)
        directory = prefix + "-run"
        os.makedirs(directory)
        code, out, err, data = runner.run(prefix, ["/W", "HKLM\\Software\\Big\\*\\*"],
                                          directory=directory)
        label = "wildcard cap: %s 1,000,000 values" % name
        tally.equal(label + " [exit code]", code, 0)
        result = data.split(b"\r\n")
        tally.equal(label + " [lines written]", len(result) - 1, 1000000)
        tally.equal(label + " [the last]", result[-2], b"399999")
        # The console's line end is the platform's own.
        message = MESSAGE.encode("utf-8")
        tally.equal(label + " [console ends]", out.rstrip(b"\r\n").endswith(message), capped)
        tally.equal(label + " [standard error]", err,
                    (MESSAGE + "\n").encode("utf-8") if capped else b"")

    # With /F every record counts, each key's too: the three keys of the
    # prefix at 1,000,000 values put it over.
    directory = os.path.join(work, "wildcard-cap-export")
    os.makedirs(directory)
    code, out, err, _ = runner.run(os.path.join(work, "wildcard-cap-at"),
                                   ["/W", "/F:json", "HKLM\\Software\\Big\\**\\*", "cap.json"],
                                   directory=directory)
    with open(os.path.join(directory, "cap.json"), "rb") as f:
        records = f.read().split(b"\n")
    label = "wildcard cap: /F:json counts key records"
    tally.equal(label + " [records written]", (code, len(records) - 1), (0, 1000000))
    tally.equal(label + " [keys, then the last]",
                [json.loads(records[i])["key"] for i in (0, 1, 600002)] +
                [json.loads(records[-2]).get("name")],
                ["HKLM\\Software\\Big", "HKLM\\Software\\Big\\A", "HKLM\\Software\\Big\\B",
                 "B0399996"])
    tally.equal(label + " [standard error]", err, (MESSAGE + "\n").encode("utf-8"))
