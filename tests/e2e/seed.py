"""Registry values the end-to-end tests read, written to a Wine prefix by
hivtap_seed.exe with their exact bytes. Every scratch key is deleted first,
so seeding again gives the same registry."""

import struct

HKCU = "HKEY_CURRENT_USER"
HKLM = "HKEY_LOCAL_MACHINE"
SCRATCH = HKCU + "\\Software\\hivtap-e2e"

REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 0, 1, 2, 3, 4
REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_RESOURCE_LIST = 5, 6, 7, 8
REG_FULL_RESOURCE_DESCRIPTOR, REG_RESOURCE_REQUIREMENTS_LIST, REG_QWORD = 9, 10, 11


def utf16(text):
    """Stored bytes of a text, without a terminating NUL."""
    return text.encode("utf-16-le")


def sz(text):
    """Stored bytes of a text with its terminating NUL."""
    return utf16(text + "\0")


def dword(n):
    return struct.pack("<I", n)


def qword(n):
    return struct.pack("<Q", n)


# Keys deleted before the values are written.
SCRATCH_KEYS = [
    SCRATCH,
    HKLM + "\\Software\\hivtap-e2e",
    HKLM + "\\Software\\Wow6432Node\\hivtap-e2e",
    HKLM + "\\Software\\Classes\\Wow6432Node\\.hivtap-e2e",
    HKLM + "\\System\\CurrentControlSet\\Services\\hivtap-e2e",
    "HKEY_CLASSES_ROOT\\.hivtap-e2e",
    HKCU + "\\Software\\Classes\\.hivtap-e2e-user",
    "HKEY_USERS\\.DEFAULT\\Software\\hivtap-e2e",
    "HKEY_CURRENT_CONFIG\\Software\\hivtap-e2e",
    "HKEY_CLASSES_ROOT\\" + ".hivtap-e2e-" + "n" * 244,
]

# Binary data of 254 bytes: "009AFF10" 63 times, then "0102".
BIN254 = b"\x00\x9a\xff\x10" * 63 + b"\x01\x02"

# (key, value name, type, stored data)
VALUES = [
    # A value directly under a root key.
    (HKCU, "hivtap-e2e-root", REG_SZ, sz("racine")),
    (SCRATCH, "Types", REG_SZ, sz("valeur Types")),
    (SCRATCH + "\\Control Panel\\Desktop", "Wallpaper", REG_SZ, sz("fond.bmp")),
    (SCRATCH + "\\a=b", "z", REG_SZ, sz("eq")),
    (SCRATCH + "\\Names", " Y", REG_SZ, sz("blanc Y")),
    (SCRATCH + "\\Names", " ", REG_SZ, sz("un blanc")),
    (SCRATCH + "\\Lines", "L9", REG_SZ, sz("123456789")),
    # One value of every type.
    (SCRATCH + "\\Types", "Sz", REG_SZ, sz("abc")),
    (SCRATCH + "\\Types", "SzNoNul", REG_SZ, utf16("abc")),
    (SCRATCH + "\\Types", "SzMidNul", REG_SZ, utf16("ab\0cd\0")),
    (SCRATCH + "\\Types", "SzEmpty", REG_SZ, b""),
    (SCRATCH + "\\Types", "SzAccent", REG_SZ, sz("\u00e9\u20ac\u0153\u00c0\u00d8")),
    (SCRATCH + "\\Types", "Expand", REG_EXPAND_SZ, sz("%SystemRoot%\\x;%PATH%")),
    (SCRATCH + "\\Types", "ExpandEmpty", REG_EXPAND_SZ, b""),
    (SCRATCH + "\\Types", "Dw0", REG_DWORD, dword(0)),
    (SCRATCH + "\\Types", "DwMax", REG_DWORD, dword(0x7FFFFFFF)),
    (SCRATCH + "\\Types", "DwMin", REG_DWORD, dword(0x80000000)),
    (SCRATCH + "\\Types", "DwM1", REG_DWORD, dword(0xFFFFFFFF)),
    (SCRATCH + "\\Types", "Dw1234", REG_DWORD, dword(0x12345678)),
    (SCRATCH + "\\Types", "Dw8", REG_DWORD, dword(1) + dword(0)),
    (SCRATCH + "\\Types", "Qw0", REG_QWORD, qword(0)),
    (SCRATCH + "\\Types", "QwMin", REG_QWORD, qword(0x8000000000000000)),
    (SCRATCH + "\\Types", "QwMax", REG_QWORD, qword(0x7FFFFFFFFFFFFFFF)),
    (SCRATCH + "\\Types", "QwM1", REG_QWORD, qword(0xFFFFFFFFFFFFFFFF)),
    (SCRATCH + "\\Types", "Qw1234", REG_QWORD, qword(0x0123456789ABCDEF)),
    (SCRATCH + "\\Types", "Qw16", REG_QWORD, qword(1) + qword(0)),
    (SCRATCH + "\\Types", "Bin0", REG_BINARY, b""),
    (SCRATCH + "\\Types", "Bin3", REG_BINARY, b"\x00\xab\x0f"),
    (SCRATCH + "\\Types", "Bin254", REG_BINARY, BIN254),
    (SCRATCH + "\\Types", "Bin255", REG_BINARY, BIN254 + b"\x03"),
    (SCRATCH + "\\Types", "Multi", REG_MULTI_SZ, utf16("a\0b\0c\0\0")),
    (SCRATCH + "\\Types", "MultiGap", REG_MULTI_SZ, utf16("a\0\0b\0\0")),
    (SCRATCH + "\\Types", "MultiNul1", REG_MULTI_SZ, utf16("\0")),
    (SCRATCH + "\\Types", "MultiNul2", REG_MULTI_SZ, utf16("\0\0")),
    (SCRATCH + "\\Types", "MultiEmpty", REG_MULTI_SZ, b""),
    (SCRATCH + "\\Types", "MultiAccent", REG_MULTI_SZ, utf16("\u00e9t\u00e9\0\u0153uf\0\0")),
    (SCRATCH + "\\Types", "None", REG_NONE, b"abc"),
    (SCRATCH + "\\Types", "BigEndian", REG_DWORD_BIG_ENDIAN, b"\x00\x00\x00\x01"),
    (SCRATCH + "\\Types", "Link", REG_LINK, utf16("\\Registry\\Machine\\Software")),
    (SCRATCH + "\\Types", "ResList", REG_RESOURCE_LIST, b"\x01\x00\x00\x00"),
    (SCRATCH + "\\Types", "FullRes", REG_FULL_RESOURCE_DESCRIPTOR, b"\x01\x02"),
    (SCRATCH + "\\Types", "ResReq", REG_RESOURCE_REQUIREMENTS_LIST, b"\x01"),
    (SCRATCH + "\\Types", "Type12", 12, b"\x01\x02\x03\x04"),
    (SCRATCH + "\\Types", "TypeBig", 0x7FFF0000, b"\x01"),
    # Multi-string lists whose final NULs are missing.
    (SCRATCH + "\\Multi", "NoListEnd", REG_MULTI_SZ, utf16("a\0bc\0")),
    (SCRATCH + "\\Multi", "OneString", REG_MULTI_SZ, utf16("abc\0")),
    (SCRATCH + "\\Multi", "NoEnd", REG_MULTI_SZ, utf16("a\0b")),
    # Other roots.
    ("HKEY_USERS\\.DEFAULT\\Software\\hivtap-e2e", "Defaut", REG_SZ, sz("d\u00e9faut")),
    ("HKEY_CLASSES_ROOT\\.hivtap-e2e", "Content Type", REG_SZ, sz("text/x-hivtap")),
    (HKCU + "\\Software\\Classes\\.hivtap-e2e-user", "Content Type", REG_SZ, sz("user")),
    ("HKEY_CURRENT_CONFIG\\Software\\hivtap-e2e", "Config", REG_SZ, sz("cc")),
    (HKLM + "\\System\\CurrentControlSet\\Services\\hivtap-e2e", "Start", REG_DWORD, dword(3)),
    # The same name in the 64-bit view and in the 32-bit (redirected) one.
    (HKLM + "\\Software\\hivtap-e2e", "View", REG_SZ, sz("64")),
    (HKLM + "\\Software\\Wow6432Node\\hivtap-e2e", "View", REG_SZ, sz("32")),
    (HKLM + "\\Software\\Classes\\Wow6432Node\\.hivtap-e2e", "Lien", REG_SZ, sz("par le lien")),
    # Accented key and value names.
    (SCRATCH + "\\Accentu\u00e9", "Cl\u00e9", REG_SZ, sz("valeur \u00e9")),
]

# Every type code, each with data of several sizes, for comparing two
# readers of the same registry.
DIFF_TYPES = list(range(13)) + [0x7FFF0000, 0xFFFFFFFF]
DIFF_SIZES = [0, 1, 2, 3, 4, 5, 8, 9, 254, 255]
# "A", "é", NUL, "€", "œ", "中", "Ā", NUL as UTF-16 code units.
DIFF_PATTERN = bytes.fromhex("4100e9000000ac2053012d4e00010000")


def diff_data(size):
    return (DIFF_PATTERN * (size // len(DIFF_PATTERN) + 1))[:size]


for _type in DIFF_TYPES:
    for _size in DIFF_SIZES:
        VALUES.append((SCRATCH + "\\Diff", "T%X_S%d" % (_type, _size), _type, diff_data(_size)))
VALUES += [
    (SCRATCH + "\\Diff", "Text", REG_SZ, sz("\u00e9\u20ac\u0153 \u0100 \u4e2d \u00df\u00ff")),
    (SCRATCH + "\\Diff", "Expand", REG_EXPAND_SZ, sz("%TEMP%\\\u00e9\u0100")),
    (SCRATCH + "\\Diff", "Multi", REG_MULTI_SZ, utf16("\u00e9\0\u0100\0\u4e2d\0\u20ac\0\0")),
    (SCRATCH + "\\Diff", "MixedCase", REG_SZ, sz("casse")),
    (SCRATCH + "\\Diff\\Accentu\u00e9", "Cl\u00e9", REG_SZ, sz("\u00e9")),
    (SCRATCH + "\\Diff\\\u4e2d", "Name\u0100", REG_SZ, sz("hors code page")),
]


# Key paths at the ANSI key-open limit: the subkey path of
# HKCU\Software\hivtap-e2e\Long\<LONG_A>\<name>\v, its final backslash
# included, is 260 characters for LONG_260 and 261 for LONG_261; and a key name
# of 256 characters, the longest Wine stores.
LONG_A = "a" * 200
LONG_260 = "b" * (260 - len("Software\\hivtap-e2e\\Long\\" + LONG_A + "\\\\"))
LONG_261 = LONG_260 + "b"
NAME_256 = ".hivtap-e2e-" + "n" * 244
VALUES += [
    (SCRATCH + "\\Long\\" + LONG_A + "\\" + LONG_260, "v", REG_SZ, sz("260")),
    (SCRATCH + "\\Long\\" + LONG_A + "\\" + LONG_261, "v", REG_SZ, sz("261")),
    ("HKEY_CLASSES_ROOT\\" + NAME_256, "v", REG_SZ, sz("256")),
]


def _hex(data):
    return data.hex() if data else "-"


def seed_records(deletes, values):
    """The input of hivtap_seed.exe: deletes first, then the values, each
    name as the hexadecimal of its UTF-16LE bytes."""
    lines = []
    for key in deletes:
        root, _, subkey = key.partition("\\")
        lines.append("D %s %s" % (root, _hex(utf16(subkey))))
    for key, name, kind, data in values:
        root, _, subkey = key.partition("\\")
        lines.append("V %s %s %s %x %s" % (root, _hex(utf16(subkey)), _hex(utf16(name)), kind,
                                           _hex(data)))
    return "".join(line + "\r\n" for line in lines).encode("ascii")
