#!/usr/bin/env python3
"""Assembles the sample product's install tree: the generated data files plus
the built (signed) binaries and the files kept in the source folder.

    assemble_tree.py --out DIR [--seed N] [--epoch SECONDS] [--root-list FILE]
                     --put REL=SRC [--put REL=SRC ...]
    assemble_tree.py --write-root-list FILE [--seed N] --put REL=SRC [...]

DIR is emptied first, so the tree never keeps files of an earlier layout.
Every file and directory gets the time --epoch, so that the payload does not
change from one build to the next. The tree is checked like any product tree.

The uninstaller (uninst.exe) carries the package's uninstall list
(UninstallRootDirFileList.xml), but it is itself a file of the tree that list
is computed from. --write-root-list therefore makes the list from the same
inputs before the tree exists: the generated file names and the --put names
(their sources need not exist yet). --root-list checks the assembled tree
against it, so that the two can never drift apart.
"""
import argparse
import random
import os
import shutil
import sys

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_filler  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging"))
import product_tree  # noqa: E402
import setup_config  # noqa: E402


def root_list_of(seed, put_names):
    """The uninstall list of the tree that generate(seed) and `put_names`
    (relative paths, forward slashes) make."""
    names = [rel for rel, _, _ in gen_filler.plan(random.Random(seed))] + list(put_names)
    dirs = {n.split("/", 1)[0] for n in names if "/" in n}
    files = {n for n in names if "/" not in n}
    return setup_config.uninstall_root_xml_of(sorted(dirs), sorted(files))


def write_if_changed(path, data):
    """Leaves an unchanged file alone, so that what depends on it is not rebuilt."""
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out")
    parser.add_argument("--write-root-list", help="write the uninstall list and stop")
    parser.add_argument("--root-list", help="fail unless the tree's uninstall list is this file")
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--put", action="append", default=[],
                        help="REL=SRC: copy SRC to REL (forward slashes) in the tree")
    parser.add_argument("--stamp", help="file touched once the tree is complete")
    parser.add_argument("--epoch", type=int, help="time given to every file and directory")
    args = parser.parse_args(argv)

    puts = []
    for item in args.put:
        rel, sep, src = item.partition("=")
        if not sep or not rel or not src:
            parser.error("--put wants REL=SRC, got %r" % item)
        puts.append((rel, src))
    if args.write_root_list:
        write_if_changed(args.write_root_list, root_list_of(args.seed, [rel for rel, _ in puts]))
        return 0
    if not args.out:
        parser.error("--out is required")

    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    gen_filler.generate(args.out, args.seed)
    for rel, src in puts:
        dst = os.path.join(args.out, *rel.split("/"))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)

    found = product_tree.problems(args.out)
    if found:
        product_tree.report(found)
        return 1
    if args.root_list:
        with open(args.root_list, "rb") as f:
            if f.read() != setup_config.uninstall_root_xml(args.out):
                print("%s: the uninstaller's list differs from the tree's uninstall list; "
                      "the tree has other root entries than its inputs say" % args.root_list,
                      file=sys.stderr)
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
