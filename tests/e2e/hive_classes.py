"""A folder of collected hives holding a user's UsrClass.dat without the
NTUSER.DAT: HKCU\\Software\\Classes is still that UsrClass.dat, as HKCR's
user side is (hives filled by hivexregedit, hive_suite's drive)."""

import os
import shutil

import hive_suite as hs


def classes_group(tally, runner, work):
    drive = os.path.join(work, "classes-drive")
    hs.make_drive(drive)
    folder = os.path.join(work, "classes-only")
    os.makedirs(folder)
    shutil.copy(os.path.join(drive, "Users", "bob", hs.CLASSES),
                os.path.join(folder, "UsrClass.dat"))
    listing = [b"HKCU\\Software\\Classes\\.user\\Content Type",
               b"hkcu\\software\\classes\\.both\\Content Type",
               b"HKCR\\.user\\Content Type",
               b"HKCU\\Control Panel\\Desktop\\Wallpaper",
               b"HKCU\\Software\\Other\\Content Type"]
    r = runner.run(folder, ["/S", "/N", "/L:list.lst"], listing=listing)
    tally.equal("hives: UsrClass.dat without NTUSER.DAT is HKCU\\Software\\Classes",
                (r[0], r[2], r[3]),
                (0, b"", hs.lines(b"Content Type=bob only", b"Content Type=bob",
                                  b"Content Type=bob only", b"Wallpaper=", b"Content Type=")))
    r = runner.run(folder, ["/S", "/W", "/N", "HKCU\\Software\\Classes\\*\\Content Type"])
    tally.equal("hives: /W walks HKCU\\Software\\Classes without NTUSER.DAT", (r[0], r[2], r[3]),
                (0, b"", hs.lines(b".both\\Content Type=bob", b".user\\Content Type=bob only")))
    version = runner.run(folder, ["--version"])[1].decode("utf-8")
    tally.check("hives: --version names it as HKCU\\Software\\Classes",
                "HKCU : pas de NTUSER.DAT\nruche HKCU\\Software\\Classes : %s\n"
                % os.path.join(folder, "UsrClass.dat") in version, version)
