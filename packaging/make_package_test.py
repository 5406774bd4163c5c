"""Tests of the packaging scripts: scrambling, the PE resource lookup, record
patching, and checks that catch a truncated or altered package.

Run by CTest (PackagingScripts). PELORIX_TEST_IMAGE names a stripped,
unsigned Install.exe that carries the placeholder record; PELORIX_SIGN_CONF the
signing configuration of the build. Tests that need one of them are skipped without it.
"""
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_package as mp  # noqa: E402
import pe_image  # noqa: E402
import sign_pe  # noqa: E402

IMAGE = os.environ.get("PELORIX_TEST_IMAGE", "")
SIGN_CONF = os.environ.get("PELORIX_SIGN_CONF", "")
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_package.py")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def small_7z(tmp, files):
    """A 7z archive of {relative name: bytes}."""
    src = os.path.join(tmp, "src")
    for name, data in files.items():
        path = os.path.join(src, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    archive = os.path.join(tmp, "payload.7z")
    mp.make_payload_7z(src, archive)
    return archive


class ScrambleTest(unittest.TestCase):
    def test_byte_zero_is_the_key_and_the_rest_is_xored(self):
        plain = bytes([0x37, 0x7A, 0x00, 0xFF, 0x37])
        stored = mp.scramble(plain)
        self.assertEqual(stored, bytes([0x37, 0x7A ^ 0x37, 0x37, 0xFF ^ 0x37, 0x00]))

    def test_round_trip_for_every_key(self):
        body = bytes(range(256)) * 3 + b"tail"
        for k in range(256):
            plain = bytes([k]) + body
            self.assertEqual(mp.unscramble(mp.scramble(plain)), plain, "key 0x%02X" % k)

    def test_one_byte_payload(self):
        self.assertEqual(mp.scramble(b"\x5a"), b"\x5a")
        self.assertEqual(mp.unscramble(b"\x5a"), b"\x5a")

    def test_forced_key_replaces_plain_byte_zero(self):
        stored = mp.scramble(b"7z\xbc", key=0x5A)
        self.assertEqual(stored, bytes([0x5A, ord("z") ^ 0x5A, 0xBC ^ 0x5A]))
        self.assertEqual(mp.unscramble(stored), b"Zz\xbc")

    def test_empty_payload_is_refused(self):
        with self.assertRaises(mp.PackageError):
            mp.scramble(b"")
        with self.assertRaises(mp.PackageError):
            mp.unscramble(b"")


class RecordTest(unittest.TestCase):
    def test_layout_is_offset_length_digest_little_endian(self):
        digest = bytes(range(16))
        raw = mp.pack_record(0x0027C600, 0x0176C3EA, digest)
        self.assertEqual(raw[:8], bytes([0x00, 0xC6, 0x27, 0x00, 0xEA, 0xC3, 0x76, 0x01]))
        self.assertEqual(raw[8:], digest)
        self.assertEqual(mp.unpack_record(raw), (0x0027C600, 0x0176C3EA, digest))

    def test_wrong_sizes_are_refused(self):
        for size in (23, 25):
            with self.assertRaises(mp.PackageError):
                mp.unpack_record(b"\0" * size)
        with self.assertRaises(mp.PackageError):
            mp.pack_record(0, 0, b"\0" * 15)


class PeImageTest(unittest.TestCase):
    def test_not_a_pe(self):
        for data in (b"", b"MZ" + b"\0" * 10, b"ZM" + b"\0" * 100):
            with self.assertRaises(pe_image.PeError):
                pe_image.PeImage(data)

    def test_truncated_headers(self):
        if not IMAGE:
            self.skipTest("PELORIX_TEST_IMAGE not set")
        data = read(IMAGE)
        pe_image.PeImage(data)
        headers = pe_image._u32(data, 0x3C)
        # Cut inside the COFF header, then inside the section table.
        for cut in (headers + 10, headers + 24 + 96 + 40):
            with self.assertRaises(pe_image.PeError):
                pe_image.PeImage(data[:cut])


@unittest.skipUnless(IMAGE and os.path.exists(IMAGE), "PELORIX_TEST_IMAGE not set")
class SetupImageTest(unittest.TestCase):
    """On the real linked setup executable."""

    @classmethod
    def setUpClass(cls):
        cls.image = read(IMAGE)
        cls.pe = pe_image.PeImage(cls.image)

    def test_stripped_image_ends_at_its_last_section(self):
        self.assertEqual(self.pe.end_of_sections(), len(self.image))
        self.assertEqual(self.pe.directory(pe_image.IMAGE_DIRECTORY_ENTRY_SECURITY), (0, 0))

    def test_placeholder_record_is_found(self):
        offset, size, lang = self.pe.find_resource("SETUPDATA", 215)
        self.assertEqual((size, lang), (24, 2052))
        self.assertEqual(self.image[offset:offset + 24], b"\xCC" * 24)
        # Names compare without case, as FindResource does.
        self.assertEqual(self.pe.find_resource("setupdata", 215)[0], offset)

    def test_other_package_resources(self):
        offset, size, lang = self.pe.find_resource("DLL_7Z", 203)
        self.assertEqual(lang, 2052)
        self.assertEqual(self.image[offset:offset + 4], b"MSCF")
        for rtype, rid in (("EDGE_INST", 305), ("SETUPCONFIG", 213)):
            offset, size, lang = self.pe.find_resource(rtype, rid)
            self.assertEqual(lang, 2052)
            self.assertEqual(self.image[offset:offset + 6], b"7z\xbc\xaf\x27\x1c")

    def test_missing_resources(self):
        self.assertIsNone(self.pe.find_resource("SETUPDATA", 216))
        self.assertIsNone(self.pe.find_resource("NOSUCHTYPE", 215))
        self.assertIsNone(self.pe.find_resource("SETUPDATA", 215, lang=1033))

    def test_version(self):
        self.assertEqual(self.pe.file_version(), "1.1026.1135.306")


@unittest.skipUnless(IMAGE and os.path.exists(IMAGE), "PELORIX_TEST_IMAGE not set")
class AssembleTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.image = read(IMAGE)
        self.plain = read(small_7z(self.tmp, {"a.txt": b"hello\n", "Sub Dir/b.bin": os.urandom(999)}))
        self.stored = mp.scramble(self.plain)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_payload_follows_the_image_and_the_record_locates_it(self):
        package = mp.assemble(self.image, self.stored)
        self.assertEqual(len(package) % 8, 0)
        self.assertEqual(package[:len(self.image)][:0x200], self.image[:0x200])
        record_offset, _ = mp.find_record(package)
        offset, length, digest = mp.unpack_record(package[record_offset:record_offset + 24])
        self.assertEqual(offset, len(self.image))
        self.assertEqual(length, len(self.stored))
        self.assertEqual(package[offset:offset + length], self.stored)
        self.assertEqual(digest, hashlib.md5(self.stored).digest())
        self.assertFalse(package[offset + length:].strip(b"\0"))
        # Only the record changed inside the image.
        changed = [i for i in range(len(self.image)) if package[i] != self.image[i]]
        self.assertTrue(changed)
        self.assertTrue(all(record_offset <= i < record_offset + 24 for i in changed))

    def test_check_accepts_an_unsigned_package_and_lists_the_archive(self):
        path = self.write("pkg.exe", mp.assemble(self.image, self.stored))
        found = mp.check_package(path, require_signature=False)
        self.assertEqual(found["payload_offset"], len(self.image))
        self.assertEqual(found["key"], ord("7"))
        self.assertEqual(sorted(found["items"]), ["Sub Dir/b.bin", "a.txt"])
        with self.assertRaises(mp.PackageError):
            mp.check_package(path)  # a signature is required by default

    def test_image_with_trailing_data_is_refused(self):
        with self.assertRaises(mp.PackageError):
            mp.assemble(self.image + b"\0" * 16, self.stored)

    def test_packaging_twice_is_refused(self):
        package = mp.assemble(self.image, self.stored)
        with self.assertRaises(mp.PackageError):
            mp.assemble(package, self.stored)
        # Even with the payload cut off again, the filled record gives it away.
        with self.assertRaises(mp.PackageError):
            mp.assemble(package[:len(self.image)], self.stored)

    def test_truncated_package_fails_the_check(self):
        package = mp.assemble(self.image, self.stored)
        cut = len(self.image) + len(self.stored) - 1
        path = self.write("cut.exe", package[:cut])
        with self.assertRaisesRegex(mp.PackageError, "past the end"):
            mp.check_package(path, require_signature=False)

    def test_altered_payload_fails_the_digest(self):
        package = bytearray(mp.assemble(self.image, self.stored))
        package[len(self.image) + len(self.stored) // 2] ^= 0x01
        path = self.write("altered.exe", bytes(package))
        with self.assertRaisesRegex(mp.PackageError, "digest"):
            mp.check_package(path, require_signature=False)

    def test_altered_record_fails_the_check(self):
        package = bytearray(mp.assemble(self.image, self.stored))
        record_offset, _ = mp.find_record(bytes(package))
        package[record_offset:record_offset + 4] = struct.pack("<I", len(self.image) + 8)
        path = self.write("moved.exe", bytes(package))
        with self.assertRaisesRegex(mp.PackageError, "end of the last section"):
            mp.check_package(path, require_signature=False)
        package[record_offset:record_offset + 8] = b"\xCC" * 8
        path = self.write("unfilled.exe", bytes(package))
        with self.assertRaisesRegex(mp.PackageError, "never filled"):
            mp.check_package(path, require_signature=False)

    def test_forced_key_passes_the_digest_but_is_no_7z(self):
        package = mp.assemble(self.image, mp.scramble(self.plain, key=0x5A))
        path = self.write("key.exe", package)
        with self.assertRaisesRegex(mp.PackageError, "not a 7z"):
            mp.check_package(path, require_signature=False)


@unittest.skipUnless(IMAGE and os.path.exists(IMAGE) and SIGN_CONF, "image or signing material missing")
class PayloadArchiveTest(unittest.TestCase):
    """Which block each kind of file lands in, and that the archive still
    holds every file of the tree, and its empty directories."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.src = os.path.join(self.tmp, "src")
        pe = bytearray(4096)
        pe[:2] = b"MZ"
        struct.pack_into("<I", pe, 0x3C, 0x80)
        pe[0x80:0x84] = b"PE\0\0"
        pe[0x200:] = (b"\xe8\x10\x00\x00\x00\x55\x8b\xec" * 512)[:4096 - 0x200]
        self.files = {
            "app.exe": bytes(pe),
            "Utils/engine.dll": bytes(pe),
            "Themes/Default Blue/skin.pak": os.urandom(300000),
            "Themes/Default Blue/theme.css": b"body { color: red; }\n" * 4000,
            "config.ini": b"[a]\npath=x\n",
            "mz.txt": b"MZ but not an executable " * 100,
            "empty.dat": b"",
        }
        for name, data in self.files.items():
            path = os.path.join(self.src, *name.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        os.makedirs(os.path.join(self.src, "Log"))  # only empty directories are items

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_files_are_sorted_by_kind(self):
        kinds = mp.classify_payload(self.src)
        self.assertEqual(sorted(kinds["x86"]), ["Utils/engine.dll", "app.exe"])
        self.assertEqual(kinds["stored"], ["Themes/Default Blue/skin.pak"])
        self.assertEqual(sorted(kinds["data"]),
                         ["Themes/Default Blue/theme.css", "config.ini", "empty.dat", "mz.txt"])

    def test_each_kind_gets_its_method_and_nothing_is_lost(self):
        archive = os.path.join(self.tmp, "payload.7z")
        mp.make_payload_7z(self.src, archive)
        listing = subprocess.run(["7zz", "l", "-slt", "-ba", archive], stdout=subprocess.PIPE,
                                 check=True).stdout.decode()
        items = {}
        for block in listing.split("\n\n"):
            fields = dict(line.split(" = ", 1) for line in block.splitlines() if " = " in line)
            if "Path" in fields:
                items[fields["Path"]] = fields
        self.assertEqual(sorted(items), sorted(list(self.files) + ["Log"]))
        self.assertTrue(items["Log"]["Attributes"].startswith("D"))
        self.assertEqual(items["Themes/Default Blue/skin.pak"]["Method"], "Copy")
        self.assertTrue(items["app.exe"]["Method"].startswith("BCJ2 "))
        self.assertEqual(items["Themes/Default Blue/theme.css"]["Method"], "Deflate")
        # The executables share one solid block, the text another.
        self.assertEqual(items["app.exe"]["Block"], items["Utils/engine.dll"]["Block"])
        self.assertEqual(items["config.ini"]["Block"], items["mz.txt"]["Block"])
        out = os.path.join(self.tmp, "out")
        subprocess.run(["7zz", "x", "-y", "-o" + out, archive], stdout=subprocess.DEVNULL, check=True)
        for name, data in self.files.items():
            self.assertEqual(read(os.path.join(out, *name.split("/"))), data, name)

    def test_text_stays_one_deflate_block_and_round_trips(self):
        rng = random.Random(7)
        words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(8)) for _ in range(5000)]
        src = os.path.join(self.tmp, "text")
        os.makedirs(src)
        texts = {}
        for name in ("a.js", "b.css", "c.ini"):
            texts[name] = b" ".join(rng.choice(words) for _ in range(60000))
            with open(os.path.join(src, name), "wb") as f:
                f.write(texts[name])
        archive = os.path.join(self.tmp, "text.7z")
        mp.make_payload_7z(src, archive)
        self.assertLess(os.path.getsize(archive), sum(map(len, texts.values())) // 2)
        out = os.path.join(self.tmp, "out")
        subprocess.run(["7zz", "x", "-bd", "-o" + out, archive], stdout=subprocess.PIPE, check=True)
        for name, data in texts.items():
            self.assertEqual(read(os.path.join(out, name)), data, name)


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def run_script(self, *args):
        return subprocess.run([sys.executable, SCRIPT] + list(args), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)

    def test_signed_package_from_a_folder_verifies_and_tampering_is_seen(self):
        src = os.path.join(self.tmp, "product")
        os.makedirs(os.path.join(src, "Utils"))
        with open(os.path.join(src, "Utils", "x.ini"), "w") as f:
            f.write("[a]\npath=x\n")
        out = os.path.join(self.tmp, "Install.exe")
        result = self.run_script("--exe", IMAGE, "--payload-dir", src, "--out", out,
                                 "--sign-conf", SIGN_CONF)
        self.assertEqual(result.returncode, 0, result.stdout)
        ca = sign_pe.read_conf(SIGN_CONF)["CA"]
        result = self.run_script("--check", out, "--ca", ca)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn(b"signature verified", result.stdout)

        # One byte of the payload changed after signing: both the digest and
        # the signature catch it.
        data = bytearray(read(out))
        record_offset, _ = mp.find_record(bytes(data))
        offset, length, _ = mp.unpack_record(bytes(data[record_offset:record_offset + 24]))
        data[offset + length - 1] ^= 0xFF
        bad = os.path.join(self.tmp, "bad.exe")
        with open(bad, "wb") as f:
            f.write(bytes(data))
        result = self.run_script("--check", bad, "--ca", ca)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"digest", result.stdout)
        with self.assertRaises(mp.PackageError):
            mp.verify_signature(bad, ca)

    def test_unsigned_package_with_forced_key_from_a_7z(self):
        archive = small_7z(self.tmp, {"f.txt": b"x" * 100})
        out = os.path.join(self.tmp, "k.exe")
        result = self.run_script("--exe", IMAGE, "--payload-7z", archive, "--out", out,
                                 "--no-sign", "--key", "0x5A")
        self.assertEqual(result.returncode, 0, result.stdout)
        data = read(out)
        self.assertEqual(pe_image.PeImage(data).directory(pe_image.IMAGE_DIRECTORY_ENTRY_SECURITY),
                         (0, 0))
        self.assertEqual(data[len(read(IMAGE))], 0x5A)

    def test_missing_arguments(self):
        self.assertNotEqual(self.run_script("--exe", IMAGE).returncode, 0)
        self.assertNotEqual(self.run_script("--exe", IMAGE, "--payload-7z", "x", "--out",
                                            os.path.join(self.tmp, "o.exe")).returncode, 0)


if __name__ == "__main__":
    unittest.main()
