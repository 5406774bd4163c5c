#!/usr/bin/env python3
"""The product tree a package carries: checks that the setup can install it,
and stages a copy for the build.

  product_tree.py --check TREE
  product_tree.py --stage TREE --out DIR --stamp FILE [--epoch SECONDS]

Every problem is reported with the file it concerns; the exit code is 1 when
there is any. Staging copies the tree (files in sorted order, modification
times kept, or set to --epoch) so that the build does not see later changes
half-way, and touches the stamp when the copy is complete.
"""
import argparse
import os
import shutil
import stat
import sys

# The install registers these: the product's main program (started, pinned in
# shortcuts, named in the product key) and the uninstaller of the program list.
REQUIRED_FILES = ("Nexhub/pelorix/pelorix_ui.exe", "uninst.exe")

# A relative path is staged under the common application data folder in a
# 38-character GUID folder, and installed below a folder the user may choose:
# Windows' MAX_PATH of 260 must hold both. This leaves 109 characters for the
# base, enough for XP's "C:\Documents and Settings\All Users\Application Data".
MAX_RELATIVE_PATH = 150

_DEVICES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}
_FORBIDDEN = set('<>:"|?*\\')


def name_problem(component):
    """Why the extraction would refuse this path component, or None."""
    if not component:
        return "empty name"
    if component[-1] in ". ":
        return "ends in a dot or a space, which Windows strips"
    if any(ord(c) < 0x20 for c in component):
        return "contains a control character"
    bad = sorted(set(component) & _FORBIDDEN)
    if bad:
        return "contains %s, which Windows does not allow in a name" % " ".join(bad)
    stem = component.split(".", 1)[0].rstrip(" ").upper()
    if stem in _DEVICES or (len(stem) == 4 and stem[:3] in ("COM", "LPT")
                            and stem[3] in "123456789\u00b9\u00b2\u00b3"):
        return "is a device name on Windows"
    return None


def _relative(tree, path):
    return os.path.relpath(path, tree).replace(os.sep, "/")


def problems(tree):
    """[(relative path, reason)] of everything that keeps `tree` from being packaged."""
    found = []
    if not os.path.isdir(tree):
        return [(tree, "is not a directory")]
    seen = {}
    files = 0
    for root, dirs, names in os.walk(tree, followlinks=False):
        dirs.sort()
        for name in sorted(dirs + names):
            path = os.path.join(root, name)
            rel = _relative(tree, path)
            try:
                name.encode("utf-8")
            except UnicodeEncodeError:
                found.append((rel, "has a name that is not valid UTF-8"))
                continue
            reason = name_problem(name)
            if reason:
                found.append((rel, reason))
            if len(rel) > MAX_RELATIVE_PATH:
                found.append((rel, "path is %d characters long; at most %d fit below the "
                                   "install and staging folders" % (len(rel), MAX_RELATIVE_PATH)))
            folded = rel.lower()
            if folded in seen:
                found.append((rel, "differs from %s only in case; Windows would place one "
                                   "over the other" % seen[folded]))
            seen[folded] = rel
            mode = os.lstat(path).st_mode
            if stat.S_ISLNK(mode):
                found.append((rel, "is a symbolic link; put the file itself in the tree"))
                if name in dirs:
                    dirs.remove(name)
            elif name in names:
                if not stat.S_ISREG(mode):
                    found.append((rel, "is not a regular file"))
                    continue
                try:
                    with open(path, "rb") as f:
                        f.read(1)
                    files += 1
                except OSError as e:
                    found.append((rel, "cannot be read: %s" % (e.strerror or e)))
    for required in REQUIRED_FILES:
        if not os.path.isfile(os.path.join(tree, *required.split("/"))):
            found.append((required.replace("/", "\\"), "is missing; the install needs it"))
    if files == 0 and not found:
        found.append((tree, "holds no files"))
    return found


def stage(tree, out, epoch=None):
    """Copies `tree` into a fresh `out`; returns (files, bytes)."""
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    count = size = 0
    for root, dirs, names in os.walk(tree):
        dirs.sort()
        target = os.path.join(out, os.path.relpath(root, tree))
        os.makedirs(target, exist_ok=True)
        for name in sorted(names):
            dst = os.path.join(target, name)
            shutil.copy2(os.path.join(root, name), dst)
            os.chmod(dst, 0o644)
            count += 1
            size += os.path.getsize(dst)
    if epoch is not None:
        set_times(out, epoch)
    else:
        # Directory times move as files are copied in; take them from the tree.
        for root, dirs, _ in os.walk(tree):
            for name in dirs:
                src = os.path.join(root, name)
                st = os.stat(src)
                os.utime(os.path.join(out, os.path.relpath(src, tree)), ns=(st.st_atime_ns, st.st_mtime_ns))
    return count, size


def set_times(folder, epoch):
    """Gives every file and directory below `folder` the time `epoch`."""
    for root, dirs, names in os.walk(folder, topdown=False):
        for name in names + dirs:
            os.utime(os.path.join(root, name), (epoch, epoch))


def report(found, out=sys.stderr):
    out.write("the product tree cannot be packaged:\n")
    for rel, reason in found:
        out.write("  %s: %s\n" % (rel, reason))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    action = parser.add_mutually_exclusive_group(required=True)
    action.add_argument("--check", metavar="TREE")
    action.add_argument("--stage", metavar="TREE")
    parser.add_argument("--out")
    parser.add_argument("--stamp")
    parser.add_argument("--epoch", type=int)
    args = parser.parse_args(argv)
    tree = args.check or args.stage
    found = problems(tree)
    if found:
        report(found)
        return 1
    if args.check:
        return 0
    if not args.out or not args.stamp:
        parser.error("--stage needs --out and --stamp")
    count, size = stage(tree, args.out, args.epoch)
    print("product tree: %d files, %d bytes from %s" % (count, size, tree))
    with open(args.stamp, "w") as f:
        f.write("%d %d\n" % (count, size))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
