"""/W over the virtual keys of a generated drive: HKLM's mounted hives, HKU's
profiles, HKCR merged from the user's classes and the machine's, and the
links Windows makes (CurrentControlSet) or stores (a loop, a link to
another hive)."""

import os

from hive_suite import ANNA, BOB, make_drive

CASES = [
    ("the mounted hives", b"HKLM\\S*\\Select\\Current", b"SYSTEM\\Select\\Current=2"),
    ("the profiles", b"HKU\\*\\Control Panel\\Desktop\\Wallpaper",
     b"\r\n".join(sid + b"\\Control Panel\\Desktop\\Wallpaper=" + text for sid, text in [
         (b".DEFAULT", b"default.bmp"), (b"S-1-5-18", b"default.bmp"),
         (ANNA.encode(), b"anna.bmp"), (BOB.encode(), b"bob.bmp")])),
    ("a user's classes", b"HKU\\*_Classes\\.user\\Content Type",
     b"\r\n".join([ANNA.encode() + b"_Classes\\.user\\Content Type=anna only",
                   BOB.encode() + b"_Classes\\.user\\Content Type=bob only"])),
    ("HKCR merged", b"HKCR\\.*\\Content Type",
     b".both\\Content Type=anna\r\n.machine\\Content Type=machine only\r\n"
     b".user\\Content Type=anna only"),
    ("HKCR merged, each key's values from one side", b"HKCR\\.both\\*", b"Content Type=anna"),
    ("CurrentControlSet is not entered",
     b"HKLM\\SYSTEM\\*\\Control\\ComputerName\\ComputerName\\ComputerName",
     b"ControlSet001\\Control\\ComputerName\\ComputerName\\ComputerName=SET001\r\n"
     b"ControlSet002\\Control\\ComputerName\\ComputerName\\ComputerName=PC42"),
    ("CurrentControlSet named is followed",
     b"HKLM\\SYSTEM\\CurrentControlSet\\Control\\*\\*\\ComputerName",
     b"ComputerName\\ComputerName\\ComputerName=PC42"),
    ("a stored link is not entered", b"HKLM\\SOFTWARE\\L*\\Control\\*\\*\\ComputerName",
     b"ComputerName="),
    ("a stored link named is followed", b"HKLM\\SOFTWARE\\Lien\\Control\\*\\*\\ComputerName",
     b"ComputerName\\ComputerName\\ComputerName=PC42"),
    ("a loop of links ends", b"HKLM\\SYSTEM\\Boucle\\*\\*", b"*="),
]


def hives_group(tally, runner, work):
    drive = os.path.join(work, "wildcard-drive")
    make_drive(drive)
    for i, (name, line, expected) in enumerate(CASES):
        directory = os.path.join(work, "wildcard-hives-%d" % i)
        os.makedirs(directory)
        code, _, err, out = runner.run(drive, ["/S", "/W", "/N", line.decode("latin-1")],
                                       user="anna", directory=directory)
        tally.equal("hives /W: %s" % name, (code, out, err), (0, expected + b"\r\n", b""))
