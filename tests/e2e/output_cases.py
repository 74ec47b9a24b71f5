"""The shared end-to-end cases of output files and standard output: names
that fail, appending, and standard output that cannot be written."""

from cases import K, MISSING_LIST, OUT, OUTPUT_FAILED, SZ, WALL, missing_list, output_failed
from harness import FAILURE_REPORT, Case


def output_file_cases(sep):
    """Output files; sep is the directory separator of the build's file names."""
    a100 = "A" * 100
    b100 = "B" * 100
    deep = a100 + "/" + b100 + "/"
    name259 = (a100 + sep + b100 + sep + "c" * 57).encode("ascii")
    name258 = (a100 + sep + b100 + sep + "c" * 56).encode("ascii")
    name300 = (a100 + sep + b100 + sep + "c" * 98).encode("ascii")
    native_name = lambda name: name.replace(b"\\", b"/")  # noqa: E731
    return [
        Case("appending continues a last line without line end",
             args=[WALL], files={OUT: b"old\r\nno-eol"}, out=b"fond.bmp\r\n",
             after={OUT: b"old\r\nno-eolfond.bmp\r\n"}),
        Case("appending after a trailing Ctrl-Z", args=[WALL, b"out.txt"],
             files={"out.txt": b"old\r\n\x1a"}, out=b"fond.bmp\r\n",
             after={"out.txt": b"old\r\n\x1afond.bmp\r\n"}),
        Case("existing output file found in another letter case", args=[WALL, b"out.txt"],
             files={"OUT.TXT": b"x\r\n"}, out=b"fond.bmp\r\n",
             after={"OUT.TXT": b"x\r\nfond.bmp\r\n"}),
        Case("missing list file", args=[b"/L:absent.lst"], out=MISSING_LIST,
             err=missing_list(b"absent.lst"), after={OUT: b""}),
        Case("missing list file with /S and an output name, existing file kept",
             args=[b"/S", b"/L:absent.lst", b"out.txt"], files={"out.txt": b"old"},
             out=MISSING_LIST, err=missing_list(b"absent.lst")),
        Case("/L: with a wildcard pattern that matches nothing", args=[b"/L:*.lst"],
             files={"keys.txt": SZ + b"\r\n"}, out=MISSING_LIST, err=missing_list(b"*.lst"),
             after={OUT: b""}),
        Case("/L: with a wildcard pattern that matches a file", args=[b"/L:*.txt"],
             files={"keys.txt": SZ + b"\r\n"}, out=MISSING_LIST, err=missing_list(b"*.txt"),
             after={OUT: b""}),
        Case("/L: naming a directory", args=[b"/L:keys"], dirs=["keys"], out=MISSING_LIST,
             err=missing_list(b"keys"), after={OUT: b""}),
        Case("output file in a missing directory",
             args=[WALL, ("nodir" + sep + "out.txt").encode("ascii")],
             code=1, out=OUTPUT_FAILED,
             err=output_failed(b"nodir/out.txt", b"No such file or directory")),
        Case("output file name is a directory", args=[WALL, b"outdir"], dirs=["outdir"], code=1,
             out=OUTPUT_FAILED, err=output_failed(b"outdir", b"Is a directory")),
        Case("output name of 259 bytes", args=[WALL, name259], dirs=[deep], code=1,
             out=OUTPUT_FAILED, err=output_failed(native_name(name259), b"File name too long")),
        Case("output name of 300 bytes", args=[b"/L:keys.lst", name300], dirs=[deep],
             files={"keys.lst": SZ + b"\r\n"}, code=1, out=OUTPUT_FAILED,
             err=output_failed(native_name(name300), b"File name too long")),
        Case("output name of 258 bytes", args=[WALL, name258], dirs=[deep], out=b"fond.bmp\r\n",
             after={deep + "c" * 56: b"fond.bmp\r\n"}),
        Case("list file is the output file", args=[b"/L:same.txt", b"same.txt"],
             files={"same.txt": WALL + b"\r\n"}, code=1, out=OUTPUT_FAILED,
             err=output_failed(b"same.txt", b"Resource temporarily unavailable")),
    ]


L9_LIST = (K + b"\\Lines\\L9\r\n") * 20
L9_LINE = b"123456789\r\n"


def stream_cases(modes, native=False):
    """Standard output that cannot be written, and redirections. The native
    console's lines end with LF, one byte shorter."""
    cases = []
    for mode in modes:
        if mode in ("closed", "invalid"):
            cases.append(Case("standard output %s at start: unhandled failure" % mode,
                              args=[WALL], mode=mode, code=1, err=FAILURE_REPORT))
        elif mode == "brokenpipe":
            # The console is written each time its 128-byte buffer fills: the
            # twelfth line of 11 bytes fails (natively the thirteenth of 10),
            # and those before it stay in the file; the failure message cannot
            # be written either.
            cases.append(Case("broken pipe during list mode stops the run",
                              args=[b"/L:l9.lst"], files={"l9.lst": L9_LIST}, mode=mode,
                              code=1, err=FAILURE_REPORT,
                              after={OUT: L9_LINE * (12 if native else 11)}))
            cases.append(Case("broken pipe noticed when standard output is closed",
                              args=[WALL], mode=mode, code=1, err=FAILURE_REPORT,
                              after={OUT: b"fond.bmp\r\n"}))
        elif mode == "pipe":
            cases.append(Case("standard output to a pipe gets every line",
                              args=[b"/L:l9.lst"], files={"l9.lst": L9_LIST}, mode=mode,
                              out=L9_LINE * 20, after={OUT: L9_LINE * 20}))
        elif mode == "full":
            # A character device is flushed at every line end.
            cases.append(Case("console write fails on the first line",
                              args=[b"/L:l9.lst"], files={"l9.lst": L9_LIST}, mode=mode,
                              code=1, err=FAILURE_REPORT, after={OUT: b""}))
    cases.append(Case("standard output to a file gets every line", args=[b"/L:l9.lst"],
                      files={"l9.lst": L9_LIST}, out=L9_LINE * 20, after={OUT: L9_LINE * 20}))
    return cases
