"""The end-to-end cases shared by the Windows and native builds, with their
expected bytes. Console text is given per console charset where it holds
accented letters: "437" and "850" (OEM code pages under Wine), "utf8" (the
native build under a UTF-8 locale). Files always hold Windows-1252 bytes."""

from harness import Case


def con(oem, utf8, oem850=None):
    return {"437": oem, "850": oem if oem850 is None else oem850, "utf8": utf8}


HELP = con(
    b"HIVTAP 1.2.0.0 - Copyright (c) 2026 les d\x82veloppeurs de hivtap\r\n"
    b"Lit une cl\x82 du Registre et cr\x82e un fichier ANSI du r\x82sultat\r\n"
    b" \r\n"
    b"Syntaxe    : hivtap [HKEY] [/L:listkeys] [/N] [/S] [filename]\r\n"
    b" \r\n"
    b"  HKEY     : cl\x82 et nom de variable (format : HKEY\\SUBKEY\\NAME)\r\n"
    b"             NB : ignor\x82 si param\x8atre /L:listkeys utilis\x82\r\n"
    b"  /L:      : listkeys = nom d'un fichier contenant les cl\x82s \x85 lire\r\n"
    b"             NB : format identique \x85 HKEY - Une cl\x82 par ligne\r\n"
    b"  /N       : affiche le nom de variable dans le r\x82sultat\r\n"
    b"  /S       : ignore l'affichage \x82cran (= redirection ANSI)\r\n"
    b"  filename : nom du fichier \x85 cr\x82er (d\x82faut : hivTAP.txt)\r\n"
    b"             NB : si le fichier existe d\x82j\x85, le r\x82sultat est ajout\x82\r\n"
    b" \r\n"
    b'  Exemples : hivtap "HKCU\\Control Panel\\Desktop\\Wallpaper"\r\n'
    b"             hivtap /l:hivtap_winversion.txt /n /s result.txt\r\n",
    b"HIVTAP 1.2.0.0 - Copyright (c) 2026 les d\xc3\xa9veloppeurs de hivtap\r\n"
    b"Lit une cl\xc3\xa9 du Registre et cr\xc3\xa9e un fichier ANSI du r\xc3\xa9sultat\r\n"
    b" \r\n"
    b"Syntaxe    : hivtap [HKEY] [/L:listkeys] [/N] [/S] [filename]\r\n"
    b" \r\n"
    b"  HKEY     : cl\xc3\xa9 et nom de variable (format : HKEY\\SUBKEY\\NAME)\r\n"
    b"             NB : ignor\xc3\xa9 si param\xc3\xa8tre /L:listkeys utilis\xc3\xa9\r\n"
    b"  /L:      : listkeys = nom d'un fichier contenant les cl\xc3\xa9s \xc3\xa0 lire\r\n"
    b"             NB : format identique \xc3\xa0 HKEY - Une cl\xc3\xa9 par ligne\r\n"
    b"  /N       : affiche le nom de variable dans le r\xc3\xa9sultat\r\n"
    b"  /S       : ignore l'affichage \xc3\xa9cran (= redirection ANSI)\r\n"
    b"  filename : nom du fichier \xc3\xa0 cr\xc3\xa9er (d\xc3\xa9faut : hivTAP.txt)\r\n"
    b"             NB : si le fichier existe d\xc3\xa9j\xc3\xa0, le r\xc3\xa9sultat est "
    b"ajout\xc3\xa9\r\n"
    b" \r\n"
    b'  Exemples : hivtap "HKCU\\Control Panel\\Desktop\\Wallpaper"\r\n'
    b"             hivtap /l:hivtap_winversion.txt /n /s result.txt\r\n",
)

def missing_list(name):
    """Standard error of a run whose list file is missing: the native build
    names the file."""
    return {"utf8": b"hivTAP: fichier de liste introuvable : " + name + b"\n"}


def unknown_key(key):
    """Standard error of a run whose key names no root: the native build
    names it."""
    return {"utf8": b"hivTAP: cl\xc3\xa9 non reconnue : " + key + b" (racines : HKLM, HKCU, "
            b"HKCR, HKU, HKCC, HKPD, HKDD ou HKEY_..., suivies de \\)\n"}


def output_failed(name, reason):
    """Standard error of a run whose output stage failed: the native build
    names the file and the system's reason."""
    return {"utf8": b"hivTAP: fichier " + name + b" : " + reason + b"\n"}


MISSING_LIST = con(b"hivTAP: le fichier sp\x82cifi\x82 n'existe pas\r\n",
                   b"hivTAP: le fichier sp\xc3\xa9cifi\xc3\xa9 n'existe pas\r\n")
OUTPUT_FAILED = con(b"hivTAP: Erreur dans la cr\x82ation du fichier de sortie\r\n",
                    b"hivTAP: Erreur dans la cr\xc3\xa9ation du fichier de sortie\r\n")

K = b"HKCU\\Software\\hivtap-e2e"
WALL = K + b"\\Control Panel\\Desktop\\Wallpaper"
TYPES = K + b"\\Types\\"
SZ = TYPES + b"Sz"
OUT = "hivTAP.txt"

# "éۜÀØ" in each console charset, and in the file.
ACCENT = con(b"\x82?oAO", b"\xc3\xa9\xe2\x82\xac\xc5\x93\xc3\x80\xc3\x98", b"\x82?o\xb7\x9d")
ACCENT_FILE = b"\xe9\x80\x9c\xc0\xd8"


def help_cases():
    ways = [
        ("no arguments", []),
        ("an empty pair of quotes", [b""]),
        ("/?", [b"/?"]),
        ("?", [b"?"]),
        ("/N /?", [b"/N", b"/?"]),
        ("a key, then ?", [b"HKCU\\X\\Y", b"?"]),
        ("? after a list file and an output name", [b"/n", b"/s", b"/l:x.txt", b"?", b"out"]),
        ("/? with a valid key and /S", [SZ, b"/S", b"/?"]),
    ]
    cases = [Case("help screen for " + name, args=args, out=HELP) for name, args in ways]
    cases.append(Case("help screen leaves an existing list and output file alone",
                      args=[b"/L:keys.txt", b"/?", b"out.txt"],
                      files={"keys.txt": SZ + b"\r\n", "out.txt": b"old"}, out=HELP))
    return cases


def command_line_cases():
    """Arguments as the command line gives them: what each run reads and where
    it writes."""
    return [
        Case("quoted key with blanks, default output file", args=[WALL], out=b"fond.bmp\r\n",
             after={OUT: b"fond.bmp\r\n"}),
        Case("key, output name, surplus argument ignored", args=[SZ, b"out.txt", b"extra"],
             out=b"abc\r\n", after={"out.txt": b"abc\r\n"}),
        Case("options in lower case", args=[b"/n", b"/s", SZ], after={OUT: b"Sz=abc\r\n"}),
        Case("list file named in lower case, then output name",
             args=[b"/l:keys.txt", b"result.txt"], files={"keys.txt": SZ + b"\r\n"},
             out=b"abc\r\n", after={"result.txt": b"abc\r\n"}),
        Case("positional argument before /L: is the unused key",
             args=[b"result.txt", b"/l:keys.txt"], files={"keys.txt": SZ + b"\r\n"},
             out=b"abc\r\n", after={OUT: b"abc\r\n"}),
        Case("the last /L: counts", args=[b"/l:a.lst", b"/L:b.lst"],
             files={"a.lst": WALL + b"\r\n", "b.lst": SZ + b"\r\n"}, out=b"abc\r\n",
             after={OUT: b"abc\r\n"}),
        Case("/L: without a name: single mode, empty key", args=[b"/L:"], after={OUT: b""}),
        Case("/N alone: empty key, output file created", args=[b"/N"], after={OUT: b""}),
        Case("unknown options are ignored, not taken as arguments",
             args=[b"/X", b"/LIST", b"/NN", b"/", b"/X:Y", b"/L:", SZ], out=b"abc\r\n",
             after={OUT: b"abc\r\n"}),
        Case("list file name upper-cased with its accented letters",
             args=[b"/l:liste_\xe9.txt"], files={"liste_\u00e9.txt": SZ + b"\r\n"},
             out=b"abc\r\n", after={OUT: b"abc\r\n"}),
        Case("accented output file name", args=[SZ, b"sortie_\xe9.txt"], out=b"abc\r\n",
             after={"sortie_\u00e9.txt": b"abc\r\n"}),
        Case("output file name keeps its case", args=[SZ, b"Sortie.Txt"], out=b"abc\r\n",
             after={"Sortie.Txt": b"abc\r\n"}),
    ]


def raw_command_line_cases():
    """Raw command lines, split by the program itself (Windows only)."""
    cases = [
        Case("quoted stretches join the text around them",
             raw=b'HKCU\\Software\\hivtap-e2e\\Con"trol Pa"nel\\Desktop\\Wallpaper out" "x.txt',
             out=b"fond.bmp\r\n", after={"out x.txt": b"fond.bmp\r\n"}),
        Case("backslash before a closing quote escapes nothing",
             raw=b'/N "' + SZ + b'\\" out.txt', out=b"Sz=abc\r\n",
             after={"out.txt": b"Sz=abc\r\n"}),
        Case("unclosed quote runs to the end", raw=b'/N "' + WALL,
             out=b"Wallpaper=fond.bmp\r\n", after={OUT: b"Wallpaper=fond.bmp\r\n"}),
        Case("TAB and control bytes separate arguments", raw=b"\t/N\x01" + SZ + b"\x1fout.txt\x02",
             out=b"Sz=abc\r\n", after={"out.txt": b"Sz=abc\r\n"}),
        Case("empty pairs of quotes are skipped or add nothing",
             raw=b'"" /N "" HKCU\\Software\\hivtap-e2e\\Ty""pes\\Sz ""out.txt ""',
             out=b"Sz=abc\r\n", after={"out.txt": b"Sz=abc\r\n"}),
        Case("quoted program name with blanks", argv0=b'"C:\\Program Files\\hivtap.exe"',
             raw=b"/N " + SZ, out=b"Sz=abc\r\n", after={OUT: b"Sz=abc\r\n"}),
        Case("text right after a quoted program name belongs to the name",
             argv0=b'"C:\\Program Files\\hivtap.exe"/N', raw=SZ, out=b"abc\r\n",
             after={OUT: b"abc\r\n"}),
        Case("program name alone with trailing blanks", argv0=b"hivtap.exe", raw=b"  \t ",
             out=HELP),
        Case("quoted ?", raw=b'"?"', out=HELP),
        Case("/ followed by a quoted ? is /?", raw=b'/"?" ' + SZ, out=HELP),
        Case("?? is no help request but an invalid key", raw=b"??", after={OUT: b""}),
    ]
    for c in cases:
        c.only = "windows"
    return cases


def result_line_cases():
    """Single-mode key arguments and the result line each gives."""
    missing = K + b"\\Control Panel\\Desktop\\Missing"
    return [
        Case("label ignored without /N", args=[b"Fond=" + WALL], out=b"fond.bmp\r\n",
             after={OUT: b"fond.bmp\r\n"}),
        Case("/N with a label: one blank after =", args=[b"/N", b"Fond=" + WALL],
             out=b"Fond= fond.bmp\r\n", after={OUT: b"Fond= fond.bmp\r\n"}),
        Case("/N with a label ending in a blank", args=[b"/N", b"Fond = " + WALL],
             out=b"Fond = fond.bmp\r\n", after={OUT: b"Fond = fond.bmp\r\n"}),
        Case("/N with an empty label gives the value name", args=[b"/N", b"=" + WALL],
             out=b"Wallpaper=fond.bmp\r\n", after={OUT: b"Wallpaper=fond.bmp\r\n"}),
        Case("/N gives the value name as written",
             args=[b"/N",
                   b"hkey_current_user\\SOFTWARE\\hivtap-E2E\\control panel\\desktop\\WALLPAPER"],
             out=b"WALLPAPER=fond.bmp\r\n", after={OUT: b"WALLPAPER=fond.bmp\r\n"}),
        Case("missing value without /N writes nothing", args=[missing], after={OUT: b""}),
        Case("missing value with /N", args=[b"/N", missing], out=b"Missing=\r\n",
             after={OUT: b"Missing=\r\n"}),
        Case("missing key with /N and a label", args=[b"/N", b"L=" + K + b"\\Nothing\\Here"],
             out=b"L= \r\n", after={OUT: b"L= \r\n"}),
        Case("invalid key writes nothing", args=[b"/N", b"HKXX\\a\\b"], after={OUT: b""},
             err=unknown_key(b"HKXX\\a\\b")),
        Case("plain text writes nothing in single mode", args=[b"/N", b"texte"],
             after={OUT: b""}, err=unknown_key(b"texte")),
        Case("/S silences the result line only", args=[b"/N", b"/S", WALL],
             after={OUT: b"Wallpaper=fond.bmp\r\n"}),
        Case("multi-string value: one result line over several lines",
             args=[b"/N", TYPES + b"Multi"], out=b"Multi=a\r\nb\r\nc\r\n",
             after={OUT: b"Multi=a\r\nb\r\nc\r\n"}),
        Case("accented value: OEM on the console, ANSI in the file", args=[TYPES + b"SzAccent"],
             out={k: v + b"\r\n" for k, v in ACCENT.items()}, after={OUT: ACCENT_FILE + b"\r\n"}),
        Case("value directly under a root key", args=[b"HKCU\\hivtap-e2e-root"],
             out=b"racine\r\n", after={OUT: b"racine\r\n"}),
        Case("64-bit view of HKLM\\Software", args=[b"HKLM\\Software\\hivtap-e2e\\View"],
             out=b"64\r\n", after={OUT: b"64\r\n"}),
    ]


# Lines of a list file: (list line, result without /N, result with /N, and,
# where the console differs from the file, the console bytes without and with
# /N per console charset). None as a result: the line is skipped.
LIST_LINES = [
    (b";commentaire", None, None),
    (b"", b"", b""),
    (WALL, b"fond.bmp", b"Wallpaper=fond.bmp"),
    (b"Fond=" + WALL, b"fond.bmp", b"Fond= fond.bmp"),
    (b"Fond = " + WALL, b"fond.bmp", b"Fond = fond.bmp"),
    (b"=" + WALL, b"fond.bmp", b"Wallpaper=fond.bmp"),
    (b"  hkcu\\software\\HIVTAP-E2E\\control panel\\desktop\\WALLPAPER\\\\\t ", b"fond.bmp",
     b"WALLPAPER=fond.bmp"),
    (b"HKEY_CURRENT_USER\\Software\\hivtap-e2e\\Control Panel\\Desktop\\Wallpaper", b"fond.bmp",
     b"Wallpaper=fond.bmp"),
    (K + b"\\Control Panel\\Desktop\\Missing", b"", b"Missing="),
    (b"Lbl=" + K + b"\\NoSuchKey\\Wallpaper", b"", b"Lbl= "),
    (b"texte simple", b"texte simple", b"texte simple"),
    (b"Titre=", b"Titre=", b"Titre="),
    (b" ;pas un commentaire", b" ;pas un commentaire", b" ;pas un commentaire"),
    (b"\tHKXX\\a\\b", b"\tHKXX\\a\\b", b"\tHKXX\\a\\b"),
    (K + b"\\a=b\\z", K + b"\\a=b\\z", K + b"\\a=b\\z"),
    (b"=" + K + b"\\a=b\\z", b"eq", b"z=eq"),
    (b"x=y=z", b"x=y=z", b"x=y=z"),
    (TYPES + b"Multi", b"a\r\nb\r\nc", b"Multi=a\r\nb\r\nc"),
    (b"Liste=" + TYPES + b"Multi", b"a\r\nb\r\nc", b"Liste= a\r\nb\r\nc"),
    (b"HKCU \\Software\\hivtap-e2e\\Types", b"HKCU \\Software\\hivtap-e2e\\Types",
     b"HKCU \\Software\\hivtap-e2e\\Types"),
    (b"HKCU", b"HKCU", b"HKCU"),
    (b"HKCU\\\\\\", b"HKCU\\\\\\", b"HKCU\\\\\\"),
    (b"\\HKCU\\Software", b"\\HKCU\\Software", b"\\HKCU\\Software"),
    (b"HKCU\\hivtap-e2e-root", b"racine", b"hivtap-e2e-root=racine"),
    (K + b"\\Types\\", b"valeur Types", b"Types=valeur Types"),
    (K + b"\\Names\\ Y", b"blanc Y", b" Y=blanc Y"),
    (K + b"\\Names\\ \\", b"un blanc", b" =un blanc"),
    (b"Hkey_Users\\.Default\\Software\\hivtap-e2e\\Defaut", b"d\xe9faut", b"Defaut=d\xe9faut",
     con(b"d\x82faut", b"d\xc3\xa9faut"), con(b"Defaut=d\x82faut", b"Defaut=d\xc3\xa9faut")),
    (b"hkcr\\.hivtap-e2e\\Content Type", b"text/x-hivtap", b"Content Type=text/x-hivtap"),
    (b"HKEY_CLASSES_ROOT\\.hivtap-e2e\\Content Type", b"text/x-hivtap",
     b"Content Type=text/x-hivtap"),
    (b"HKCC\\Software\\hivtap-e2e\\Config", b"cc", b"Config=cc"),
    (b"HKLM\\System\\CurrentControlSet\\Services\\hivtap-e2e\\Start", b"3", b"Start=3"),
    (b"HKLM\\Software\\hivtap-e2e\\View", b"64", b"View=64"),
    (b"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\hivtap-e2e\\View", b"32", b"View=32"),
    (K + b"\\Accentu\xe9\\Cl\xe9", b"valeur \xe9", b"Cl\xe9=valeur \xe9",
     con(b"valeur \x82", b"valeur \xc3\xa9"),
     con(b"Cl\x82=valeur \x82", b"Cl\xc3\xa9=valeur \xc3\xa9")),
    (K + b"\\ACCENTU\xc9\\CL\xc9", b"valeur \xe9", b"CL\xc9=valeur \xe9",
     con(b"valeur \x82", b"valeur \xc3\xa9"),
     con(b"CL\x90=valeur \x82", b"CL\xc3\x89=valeur \xc3\xa9")),
    (b"fin", b"fin", b"fin"),
]


def _list_outputs(show_name):
    """The expected file and console bytes of the list above."""
    column = 2 if show_name else 1
    file_bytes = b""
    console = {"437": b"", "850": b"", "utf8": b""}
    for entry in LIST_LINES:
        result = entry[column]
        if result is None:
            continue
        file_bytes += result + b"\r\n"
        override = entry[column + 2] if len(entry) > 3 else None
        for charset in console:
            console[charset] += (override[charset] if override else result) + b"\r\n"
    return file_bytes, console


def list_cases():
    listing = b"".join(entry[0] + b"\r\n" for entry in LIST_LINES)
    plain_file, plain_console = _list_outputs(False)
    named_file, named_console = _list_outputs(True)
    return [
        Case("list of key lines without /N", args=[b"/L:keys.lst"], files={"keys.lst": listing},
             out=plain_console, after={OUT: plain_file}),
        Case("list of key lines with /N", args=[b"/N", b"/L:keys.lst", b"out.txt"],
             files={"keys.lst": listing}, out=named_console, after={"out.txt": named_file}),
        Case("list of key lines with /N and /S", args=[b"/s", b"/n", b"/l:keys.lst"],
             files={"keys.lst": listing}, after={OUT: named_file}),
    ]


def list_file_cases():
    """How list files are read: line ends, Ctrl-Z, comments, empty lines."""
    # Imported here: those cases are built from this module's names.
    import list_encoding_cases
    x127 = b"x" * 127
    x126 = b"x" * 126
    y300 = b"y" * 300
    return [
        Case("LF, CR LF, lone CR, comments, Ctrl-Z inside a line, last line without end",
             args=[b"/L:l.lst"],
             files={"l.lst": b"un\r\ndeux\ntr\rois\r\n;commentaire\r\n\r\n ;pas un commentaire"
                             b"\r\n\t;tab\r\ncinq\x1aignor\xe9\r\nsix\nsept"},
             out=b"un\r\ndeux\r\ntrois\r\n\r\n ;pas un commentaire\r\n\t;tab\r\ncinq\r\nsix\r\n"
                 b"sept\r\n",
             after={OUT: b"un\r\ndeux\r\ntrois\r\n\r\n ;pas un commentaire\r\n\t;tab\r\ncinq\r\n"
                         b"six\r\nsept\r\n"}),
        Case("Ctrl-Z at the start of a line ends the text", args=[b"/L:l.lst"],
             files={"l.lst": b"un\r\n\x1adeux\r\ntrois\r\n"}, out=b"un\r\n",
             after={OUT: b"un\r\n"}),
        Case("Ctrl-Z after the last line end is no line", args=[b"/L:l.lst"],
             files={"l.lst": b"un\r\ndeux\r\n\x1a"}, out=b"un\r\ndeux\r\n",
             after={OUT: b"un\r\ndeux\r\n"}),
        Case("a second Ctrl-Z in the skipped rest of a line ends the text", args=[b"/L:l.lst"],
             files={"l.lst": b"un\x1ax\x1adeux\r\ntrois\r\n"}, out=b"un\r\n",
             after={OUT: b"un\r\n"}),
        Case("empty list file", args=[b"/L:l.lst"], files={"l.lst": b""}, after={OUT: b""}),
        Case("list file of one CR LF: one empty line", args=[b"/L:l.lst"],
             files={"l.lst": b"\r\n"}, out=b"\r\n", after={OUT: b"\r\n"}),
        Case("CR before CR LF and CR at the end of the file are dropped", args=[b"/L:l.lst"],
             files={"l.lst": b"\r\r\na\r"}, out=b"\r\na\r\n", after={OUT: b"\r\na\r\n"}),
        Case("long lines across the read buffer", args=[b"/L:l.lst"],
             files={"l.lst": x127 + b"\r\n" + y300 + b"\nk\x1a"},
             out=x127 + b"\r\n" + y300 + b"\r\nk\r\n",
             after={OUT: x127 + b"\r\n" + y300 + b"\r\nk\r\n"}),
        Case("Ctrl-Z at a line start after the first buffer", args=[b"/L:l.lst"],
             files={"l.lst": x126 + b"\r\n\x1amore\r\n"}, out=x126 + b"\r\n",
             after={OUT: x126 + b"\r\n"}),
        Case("key line cut by Ctrl-Z, then the next line", args=[b"/N", b"/L:l.lst"],
             files={"l.lst": SZ + b"\x1aXYZ\r\n" + WALL}, out=b"Sz=abc\r\nWallpaper=fond.bmp\r\n",
             after={OUT: b"Sz=abc\r\nWallpaper=fond.bmp\r\n"}),
    ] + list_encoding_cases.encoded_list_cases()


# Every value type through a list file with /N: (value name, file text,
# console text where it differs).
TYPE_LINES = [
    (b"Sz", b"abc"),
    (b"SzNoNul", b"abc"),
    (b"SzMidNul", b"ab"),
    (b"SzEmpty", b""),
    (b"SzAccent", ACCENT_FILE, ACCENT),
    (b"Expand", b"%SystemRoot%\\x;%PATH%"),
    (b"ExpandEmpty", b""),
    (b"Dw0", b"0"),
    (b"DwMax", b"2147483647"),
    (b"DwMin", b"-2147483648"),
    (b"DwM1", b"-1"),
    (b"Dw1234", b"305419896"),
    (b"Dw8", b""),
    (b"Qw0", b"0"),
    (b"QwMin", b"-9223372036854775808"),
    (b"QwMax", b"9223372036854775807"),
    (b"QwM1", b"-1"),
    (b"Qw1234", b"81985529216486895"),
    (b"Qw16", b""),
    (b"Bin0", b""),
    (b"Bin3", b"00AB0F"),
    (b"Bin254", b"009AFF10" * 63 + b"0102"),
    (b"Bin255", b""),
    (b"Multi", b"a\r\nb\r\nc"),
    (b"MultiGap", b"a\r\n\r\nb"),
    (b"MultiNul1", b""),
    (b"MultiNul2", b""),
    (b"MultiEmpty", b""),
    (b"MultiAccent", b"\xe9t\xe9\r\n\x9cuf",
     con(b"\x82t\x82\r\nouf", b"\xc3\xa9t\xc3\xa9\r\n\xc5\x93uf")),
    (b"None", b""),
    (b"BigEndian", b""),
    (b"Link", b""),
    (b"ResList", b""),
    (b"FullRes", b""),
    (b"ResReq", b""),
    (b"Type12", b""),
    (b"TypeBig", b""),
    (b"Missing", b""),
]


def value_type_cases():
    listing = b"".join(TYPES + entry[0] + b"\r\n" for entry in TYPE_LINES)
    file_bytes = b""
    console = {"437": b"", "850": b"", "utf8": b""}
    for entry in TYPE_LINES:
        file_bytes += entry[0] + b"=" + entry[1] + b"\r\n"
        for charset in console:
            text = entry[2][charset] if len(entry) > 2 else entry[1]
            console[charset] += entry[0] + b"=" + text + b"\r\n"
    return [
        Case("one value of every type with /N", args=[b"/N", b"/L:types.lst", b"types.txt"],
             files={"types.lst": listing}, out=console, after={"types.txt": file_bytes}),
        Case("every type without /N, appended to an existing file",
             args=[b"/S", b"/L:types.lst", b"types.txt"],
             files={"types.lst": listing, "types.txt": b"avant\r\n"},
             after={"types.txt": b"avant\r\nabc\r\nabc\r\nab\r\n\r\n" + ACCENT_FILE +
                    b"\r\n%SystemRoot%\\x;%PATH%\r\n\r\n0\r\n2147483647\r\n-2147483648\r\n-1\r\n"
                    b"305419896\r\n\r\n0\r\n-9223372036854775808\r\n9223372036854775807\r\n-1\r\n"
                    b"81985529216486895\r\n\r\n\r\n00AB0F\r\n" + b"009AFF10" * 63 +
                    b"0102\r\n\r\na\r\nb\r\nc\r\na\r\n\r\nb\r\n\r\n\r\n\r\n\xe9t\xe9\r\n\x9cuf"
                    b"\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"}),
        # A list whose final NUL is missing loses no string: at most two
        # trailing NULs end the list. Wine delivers "a", NUL, "b" as "a", NUL,
        # "b", NUL.
        Case("multi-string lists without their final NUL", args=[b"/N", b"/L:multi.lst"],
             files={"multi.lst": K + b"\\Multi\\NoListEnd\r\n" + K + b"\\Multi\\OneString\r\n" +
                    K + b"\\Multi\\NoEnd\r\n"},
             out=b"NoListEnd=a\r\nbc\r\nOneString=abc\r\nNoEnd=a\r\nb\r\n",
             after={OUT: b"NoListEnd=a\r\nbc\r\nOneString=abc\r\nNoEnd=a\r\nb\r\n"}),
    ]


def shared_cases(sep):
    # Imported here: those cases are built from this module's names.
    from output_cases import output_file_cases
    return (help_cases() + command_line_cases() + result_line_cases() + list_cases() +
            list_file_cases() + value_type_cases() + output_file_cases(sep))
