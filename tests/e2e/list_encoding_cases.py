"""The shared end-to-end cases of list files' encodings: a byte order mark,
UTF-8 without one, Windows-1252."""

from cases import OUT, SZ
from harness import Case


# A list whose label, key and copied line hold accents, and what it gives.
ACCENTED_LIST = ("; commentaire \u00e9\r\n" + SZ.decode() + "\r\n"
                 "\u00c9tiquette=HKCU\\Software\\hivtap-e2e\\Accentu\u00e9\\Cl\u00e9\r\n"
                 "libre \u00e9 \u20ac \u0153")
ACCENTED_RESULT = b"Sz=abc\r\n\xc9tiquette= valeur \xe9\r\nlibre \xe9 \x80 \x9c\r\n"


def encoded_list_cases():
    """List files as today's editors write them: Notepad's UTF-8 with a byte
    order mark, PowerShell 5's UTF-16LE with one (both builds); UTF-8
    without a mark, the Linux default (native build)."""
    args = [b"/S", b"/N", b"/L:l.lst"]
    utf16 = ACCENTED_LIST.replace("\r\n", "\n", 1).encode("utf-16-le")
    return [
        Case("UTF-8 list file with a byte order mark", args=args,
             files={"l.lst": b"\xef\xbb\xbf" + ACCENTED_LIST.encode("utf-8")},
             after={OUT: ACCENTED_RESULT}),
        Case("UTF-16LE list file with a byte order mark", args=args,
             files={"l.lst": b"\xff\xfe" + utf16 + "\r\n\x1aapr\u00e8s".encode("utf-16-le")},
             after={OUT: ACCENTED_RESULT}),
        Case("UTF-16LE list file whose lines cross the read buffer", args=args,
             files={"l.lst": b"\xff\xfe" + ("x" * 63 + "\r\n" + SZ.decode() + "\r\n" + "y" * 200)
                    .encode("utf-16-le")},
             after={OUT: b"x" * 63 + b"\r\nSz=abc\r\n" + b"y" * 200 + b"\r\n"}),
        Case("UTF-8 list file without a mark", args=args, only="native",
             files={"l.lst": ACCENTED_LIST.encode("utf-8")}, after={OUT: ACCENTED_RESULT}),
        Case("Windows-1252 list file", args=args,
             files={"l.lst": ACCENTED_LIST.encode("cp1252")}, after={OUT: ACCENTED_RESULT}),
    ]
