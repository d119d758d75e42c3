#!/usr/bin/env python3
"""Compiler launcher of the fuzz build: clang in place of gcc's Shift_JIS literals.

The project compiles with -fexec-charset=CP932, so that every narrow literal
holds Shift_JIS bytes. clang accepts no execution character set but UTF-8. For
clang this launcher drops the option and, for a source file whose narrow
literals hold characters beyond ASCII, compiles a copy in which those
characters are written as octal escapes of their code page 932 bytes (encoded
by iconv, as gcc does), with a #line directive naming the original file. The
object code then holds the same bytes as gcc's. Wide, char16/32 and u8
literals are left as they are, as the option does not touch them.

Usage (CMAKE_<LANG>_COMPILER_LAUNCHER): cp932_launcher.py <compiler> <arguments...>
"""
import os
import re
import subprocess
import sys

CHARSET_OPTION = "-fexec-charset=CP932"
SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".cxx")


def encode(text):
    """Code page 932 bytes of `text` through iconv, as gcc converts literals."""
    done = subprocess.run(["iconv", "-f", "UTF-8", "-t", "CP932"], input=text.encode("utf-8"),
                          capture_output=True)
    if done.returncode != 0:
        raise SystemExit("cp932_launcher: cannot convert %r to CP932" % text)
    return done.stdout


def escape_body(body):
    """A literal's body with every character beyond ASCII as octal escapes."""
    out = []
    for ch in body:
        if ord(ch) < 0x80:
            out.append(ch)
        else:
            out.extend("\\%03o" % b for b in encode(ch))
    return "".join(out)


def raw_as_ordinary(body):
    """The contents of a raw literal as an ordinary literal's escaped body."""
    out = []
    for ch in body:
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif ch == "\n":
            out.append("\\n")
        elif ord(ch) < 0x80:
            out.append(ch)
        else:
            out.extend("\\%03o" % b for b in encode(ch))
    return "".join(out)


IDENT = re.compile(r"[A-Za-z0-9_]*$")


def transcode(src):
    """`src` with its narrow literals' non-ASCII characters escaped; None when unchanged."""
    out = []
    i, n, changed = 0, len(src), False
    while i < n:
        c = src[i]
        if src.startswith("//", i):
            j = src.find("\n", i)
            j = n if j < 0 else j
            out.append(src[i:j])
            i = j
            continue
        if src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(src[i:j])
            i = j
            continue
        if c in "\"'":
            prefix = IDENT.search(src, 0, i).group(0) if i > 0 else ""
            raw = c == '"' and prefix.endswith("R") and prefix[:-1] in ("", "u8", "u", "U", "L")
            encoding_prefix = prefix[:-1] if raw else prefix
            if c == "'" and prefix and encoding_prefix not in ("u8", "u", "U", "L"):
                out.append(c)  # a digit separator
                i += 1
                continue
            narrow = encoding_prefix == "" or encoding_prefix not in ("u8", "u", "U", "L")
            if raw:
                m = re.compile(r'"([^()\\ \t\n]{0,16})\(').match(src, i)
                end = src.find(")" + m.group(1) + '"', m.end())
                body = src[m.end():end]
                j = end + len(m.group(1)) + 2
                if narrow and any(ord(ch) > 0x7F for ch in body):
                    # Drop the R of the prefix already written and write an ordinary literal.
                    out[-1] = out[-1][:-1] if out and out[-1].endswith("R") else out[-1]
                    out.append('"' + raw_as_ordinary(body) + '"')
                    changed = True
                else:
                    out.append(src[i:j])
                i = j
                continue
            j = i + 1
            while j < n and src[j] != c and src[j] != "\n":
                j += 2 if src[j] == "\\" else 1
            body = src[i + 1:j]
            if narrow and any(ord(ch) > 0x7F for ch in body):
                out.append(c + escape_body(body) + c)
                changed = True
            else:
                out.append(src[i:j + 1])
            i = j + 1
            continue
        # Identifiers go out whole, so that a prefix is seen with its literal.
        m = re.compile(r"[A-Za-z0-9_]+").match(src, i)
        if m:
            out.append(m.group(0))
            i = m.end()
            continue
        out.append(c)
        i += 1
    return "".join(out) if changed else None


def main(argv):
    compiler, args = argv[1], argv[2:]
    if "clang" not in os.path.basename(compiler):
        os.execvp(compiler, [compiler] + args)
    args = [a for a in args if a != CHARSET_OPTION]
    source_index = next((k for k, a in enumerate(args)
                         if a.endswith(SOURCE_SUFFIXES) and os.path.isfile(a)
                         and (k == 0 or args[k - 1] not in ("-o", "-MF", "-MT", "-MQ"))), None)
    obj = args[args.index("-o") + 1] if "-o" in args else None
    if source_index is not None and obj:
        source = args[source_index]
        with open(source, "rb") as f:
            data = f.read()
        if any(b > 0x7F for b in data):
            text = transcode(data.decode("utf-8"))
            if text is not None:
                copy = obj + ".cp932" + os.path.splitext(source)[1]
                original = os.path.abspath(source)
                with open(copy, "w", encoding="utf-8") as f:
                    f.write('#line 1 "%s"\n' % original.replace("\\", "\\\\"))
                    f.write(text)
                args[source_index] = copy
                args = ["-iquote", os.path.dirname(original)] + args
    os.execvp(compiler, [compiler] + args)


if __name__ == "__main__":
    main(sys.argv)
