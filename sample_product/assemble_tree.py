#!/usr/bin/env python3
"""Assembles the sample product's install tree: the generated data files plus
the built (signed) binaries and the files kept in the source folder.

    assemble_tree.py --out DIR [--seed N] [--epoch SECONDS] --put REL=SRC [--put REL=SRC ...]

DIR is emptied first, so the tree never keeps files of an earlier layout.
Every file and directory gets the time --epoch, so that the payload does not
change from one build to the next. The tree is checked like any product tree.
"""
import argparse
import os
import shutil
import sys

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_filler  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging"))
import product_tree  # noqa: E402


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--put", action="append", default=[],
                        help="REL=SRC: copy SRC to REL (forward slashes) in the tree")
    parser.add_argument("--stamp", help="file touched once the tree is complete")
    parser.add_argument("--epoch", type=int, help="time given to every file and directory")
    args = parser.parse_args(argv)

    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    gen_filler.generate(args.out, args.seed)
    for item in args.put:
        rel, sep, src = item.partition("=")
        if not sep or not rel or not src:
            parser.error("--put wants REL=SRC, got %r" % item)
        dst = os.path.join(args.out, *rel.split("/"))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)

    found = product_tree.problems(args.out)
    if found:
        product_tree.report(found)
        return 1
    if args.epoch is not None:
        product_tree.set_times(args.out, args.epoch)

    count = 0
    size = 0
    for root, _, files in os.walk(args.out):
        for name in files:
            count += 1
            size += os.path.getsize(os.path.join(root, name))
    print("sample product: %d files, %d bytes in %s" % (count, size, args.out))
    if args.stamp:
        with open(args.stamp, "w") as f:
            f.write("%d %d\n" % (count, size))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
