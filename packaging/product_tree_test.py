"""Tests of the product-tree checks: every kind of tree the setup could not
install is named with its file and reason; a good tree is staged as it is.

Run by CTest (PackagingScripts).
"""
import os
import shutil
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import product_tree as pt  # noqa: E402
import setup_config  # noqa: E402


def write(root, rel, data=b"x"):
    path = os.path.join(root, *rel.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


class ProductTreeTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.tree = os.path.join(self.tmp, "tree")
        for rel in pt.REQUIRED_FILES:
            write(self.tree, rel, b"MZ")
        write(self.tree, "docs/readme.txt", b"hello")
        os.makedirs(os.path.join(self.tree, "empty"))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_a_good_tree_has_no_problems_and_is_staged_whole(self):
        write(self.tree, "资料/说明.txt", "中文".encode("utf-8"))
        self.assertEqual(pt.problems(self.tree), [])
        out = os.path.join(self.tmp, "staged")
        write(out, "left/over.txt")  # from an earlier staging
        self.assertEqual(pt.stage(self.tree, out, epoch=1700000000), (4, 15))
        self.assertFalse(os.path.exists(os.path.join(out, "left")))
        self.assertTrue(os.path.isdir(os.path.join(out, "empty")))
        self.assertEqual(os.path.getmtime(os.path.join(out, "资料", "说明.txt")), 1700000000)
        # Without a list, the file list names every file.
        self.assertEqual(setup_config.every_file(out),
                         ["Nexhub\\pelorix\\pelorix_ui.exe", "docs\\readme.txt", "uninst.exe",
                          "资料\\说明.txt"])
        # The file list stays ASCII and keeps such a name as character references.
        listed = setup_config.file_list_xml(out, ["资料\\说明.txt"], "1.2.3.4")
        self.assertIn(b'name="&#36164;&#26009;\\&#35828;&#26126;.txt"', listed)

    def test_each_unpackable_tree_names_the_file_and_the_reason(self):
        long_name = "d/" + "n" * (pt.MAX_RELATIVE_PATH - 1)
        cases = [
            # (what to do to the good tree, relative path named, words of the reason)
            (lambda t: os.remove(os.path.join(t, "Nexhub", "pelorix", "pelorix_ui.exe")),
             "Nexhub\\pelorix\\pelorix_ui.exe", "missing"),
            (lambda t: os.remove(os.path.join(t, "uninst.exe")), "uninst.exe", "missing"),
            (lambda t: write(t, "bin/con.txt"), "bin/con.txt", "device name"),
            (lambda t: write(t, "bin/LPT1"), "bin/LPT1", "device name"),
            (lambda t: write(t, "a:b.txt"), "a:b.txt", "does not allow"),
            (lambda t: write(t, "back\\slash.txt"), "back\\slash.txt", "does not allow"),
            (lambda t: write(t, "trail."), "trail.", "dot or a space"),
            (lambda t: write(t, "dir /x.txt"), "dir ", "dot or a space"),
            (lambda t: write(t, "tab\there.txt"), "tab\there.txt", "control character"),
            (lambda t: write(t, long_name), long_name, "characters long"),
            (lambda t: write(t, "Docs/README.TXT"), "docs/readme.txt", "only in case"),
            (lambda t: os.symlink("/etc/hostname", os.path.join(t, "link.txt")), "link.txt",
             "symbolic link"),
            (lambda t: os.mkfifo(os.path.join(t, "fifo")), "fifo", "not a regular file"),
        ]
        for index, (spoil, rel, reason) in enumerate(cases):
            with self.subTest(rel=rel):
                tree = os.path.join(self.tmp, "case%d" % index)
                shutil.copytree(self.tree, tree)
                spoil(tree)
                found = pt.problems(tree)
                self.assertTrue(any(r == rel and reason in why for r, why in found),
                                "%r not reported for %r: %r" % (reason, rel, found))

    def test_the_command_reports_problems_and_stages_nothing(self):
        write(self.tree, "aux.dat")
        out = os.path.join(self.tmp, "out")
        stamp = os.path.join(self.tmp, "stamp")
        code = pt.main(["--stage", self.tree, "--out", out, "--stamp", stamp])
        self.assertEqual(code, 1)
        self.assertFalse(os.path.exists(out) or os.path.exists(stamp))
        self.assertEqual(pt.main(["--check", self.tree.replace("tree", "nothing")]), 1)


if __name__ == "__main__":
    unittest.main()
