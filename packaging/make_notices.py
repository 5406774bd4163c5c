#!/usr/bin/env python3
"""Writes NOTICES.txt: the licences of the third-party code the deliverables
carry or are built from.
    make_notices.py OUT (--notice TITLE=LICENCE_FILE)...
"""
import sys


def main(argv):
    if len(argv) < 2 or len(argv) % 2 == 0:
        raise SystemExit(__doc__)
    out = argv[0]
    parts = ["Third-party notices for Install.exe and Palinst.dll\n"]
    for flag, spec in zip(argv[1::2], argv[2::2]):
        if flag != "--notice":
            raise SystemExit(__doc__)
        title, _, path = spec.partition("=")
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read().replace("\r\n", "\n").rstrip()
        parts.append("\n%s\n%s\n\n%s\n" % (title, "=" * len(title), text))
    with open(out, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("".join(parts))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
