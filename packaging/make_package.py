#!/usr/bin/env python3
"""Turns the linked setup executable into the package: appends the scrambled
payload behind the image, fills in the payload record, signs, and checks the
result.

Build a package:
  make_package.py --exe in.exe (--payload-dir DIR | --payload-7z FILE) --out out.exe
                  [--unsigned-out FILE] [--sign-conf signing.conf | --no-sign] [--key 0x5A]
Check one:
  make_package.py --check out.exe [--ca test_ca.pem]

Layout of the output, in file order: the image (its last section ends where
the payload starts), the payload (PayloadLength bytes at PayloadOffset), zero
padding to a multiple of 8, the Authenticode signature. The record is the
24-byte resource "SETUPDATA" 215: PayloadOffset u32, PayloadLength u32, MD5 of
the payload as stored. The payload is a 7z archive scrambled with key byte K:
stored byte 0 is K (= plain byte 0), every later byte is XORed with K.

Everything before the signature depends only on the image and the tree (file
order is sorted, times are the tree's): the same inputs give the same bytes.
"""
import argparse
import hashlib
import lzma
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_image  # noqa: E402
import sign_pe  # noqa: E402

RECORD_TYPE = "SETUPDATA"
RECORD_ID = 215
RECORD_SIZE = 24
UNFILLED = 0xCCCCCCCC

# Payload compression, chosen by measurement (docs/benchmarks.md). Every file
# goes into one solid block by kind, and each kind gets the method that
# decodes fastest for its size:
#  - "stored": files that do not compress (a fast LZMA trial keeps more than
#    STORE_RATIO of their size), such as packed assets and images. Copy costs
#    nothing to decode and is smaller than LZMA2's uncompressed chunks.
#  - "x86": PE images, behind BCJ2 (call and jump targets made absolute).
#  - "data": the rest, mostly text. Deflate: on the sample product the whole
#    install was faster with it in both full benchmark runs (0.510 s against
#    0.532 s, and 0.539 s against 0.613 s) than with LZMA2 in independent
#    3 MiB blocks decoded on two threads ("-m0=LZMA2:d=4m:c=3m:lc=4:pb=0"),
#    for 199 KB more: the setup's time goal outweighs its size goal.
# Blocks are extracted in this order.
STORE_RATIO = 0.97
PAYLOAD_KINDS = ("stored", "data", "x86")
PAYLOAD_METHODS = {
    "stored": ["-m0=Copy"],
    "data": ["-m0=Deflate", "-mx=9"],
    "x86": ["-mf=BCJ2", "-m0=LZMA2:d=4m", "-mx=9"],
}
PAYLOAD_COMMON_ARGS = ["-t7z", "-mmt=on", "-mtc=off", "-mta=off", "-scsUTF-8"]
# Bytes of a file that the trial compression looks at.
TRIAL_BYTES = 1 << 20
# Smaller files stay in the solid data block whatever they hold: a stored
# file is a block of its own, and a trial on a few bytes says little.
SMALL_FILE = 4096


class PackageError(Exception):
    pass


# Scrambling ---------------------------------------------------------------

def scramble(plain, key=None):
    """Stored form of `plain`. K defaults to plain byte 0; a different K
    replaces plain byte 0 (which breaks a 7z archive: only tests want that)."""
    if not plain:
        raise PackageError("empty payload")
    k = plain[0] if key is None else key
    if not 0 <= k <= 255:
        raise PackageError("key byte out of range: %r" % k)
    body = _xor(plain[1:], k)
    return bytes([k]) + body


def unscramble(stored):
    if not stored:
        raise PackageError("empty payload")
    k = stored[0]
    return bytes([k]) + _xor(stored[1:], k)


def _xor(data, k):
    if not data or k == 0:
        return bytes(data)
    # One big-integer XOR is far faster in Python than a per-byte loop.
    mask = bytes([k]) * len(data)
    n = int.from_bytes(data, "little") ^ int.from_bytes(mask, "little")
    return n.to_bytes(len(data), "little")


# The record ----------------------------------------------------------------

def find_record(image_bytes):
    """(file offset, size) of resource SETUPDATA 215."""
    pe = pe_image.PeImage(image_bytes)
    found = pe.find_resource(RECORD_TYPE, RECORD_ID)
    if not found:
        raise PackageError("resource %s %d not found" % (RECORD_TYPE, RECORD_ID))
    offset, size, _ = found
    if size != RECORD_SIZE:
        raise PackageError("resource %s %d is %d bytes, not %d" % (RECORD_TYPE, RECORD_ID, size,
                                                                    RECORD_SIZE))
    return offset, size


def pack_record(payload_offset, payload_length, digest):
    if len(digest) != 16:
        raise PackageError("digest must be 16 bytes")
    return struct.pack("<II", payload_offset, payload_length) + digest


def unpack_record(raw):
    if len(raw) != RECORD_SIZE:
        raise PackageError("record is %d bytes" % len(raw))
    offset, length = struct.unpack_from("<II", raw)
    return offset, length, raw[8:]


# Assembly --------------------------------------------------------------

def assemble(image_bytes, stored_payload):
    """The unsigned package: image + payload + padding, record filled in."""
    pe = pe_image.PeImage(image_bytes)
    end = pe.end_of_sections()
    if len(image_bytes) != end:
        raise PackageError("the image has %d bytes behind its last section (symbols, a "
                           "signature or an earlier payload?); strip it first"
                           % (len(image_bytes) - end))
    if pe.directory(pe_image.IMAGE_DIRECTORY_ENTRY_SECURITY)[1]:
        raise PackageError("the image is already signed")
    record_offset, _ = find_record(image_bytes)
    placeholder = image_bytes[record_offset:record_offset + RECORD_SIZE]
    if placeholder != b"\xCC" * RECORD_SIZE:
        raise PackageError("the record is already filled in")
    payload_offset = len(image_bytes)
    if payload_offset + len(stored_payload) > 0xFFFFFFFF:
        raise PackageError("package would exceed 4 GiB")
    out = bytearray(image_bytes)
    out += stored_payload
    out += bytes(-len(out) % 8)
    out[record_offset:record_offset + RECORD_SIZE] = pack_record(
        payload_offset, len(stored_payload), hashlib.md5(stored_payload).digest())
    return bytes(out)


def payload_kind(path):
    """Which solid block the file at `path` belongs in (see PAYLOAD_METHODS)."""
    with open(path, "rb") as f:
        head = f.read(TRIAL_BYTES)
    if head[:2] == b"MZ" and _is_pe(head):
        return "x86"
    if len(head) >= SMALL_FILE and len(lzma.compress(
            head, format=lzma.FORMAT_RAW,
            filters=[{"id": lzma.FILTER_LZMA1, "preset": 0}])) > STORE_RATIO * len(head):
        return "stored"
    return "data"


def _is_pe(head):
    if len(head) < 0x40:
        return False
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    return head[pe:pe + 4] == b"PE\0\0"


def classify_payload(folder):
    """{kind: [paths relative to `folder`, '/'-separated]} of every file."""
    kinds = {kind: [] for kind in PAYLOAD_KINDS}
    for dirpath, dirnames, filenames in os.walk(folder):
        dirnames.sort()
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, folder).replace(os.sep, "/")
            kinds[payload_kind(path)].append(rel)
    return kinds


def _run_7zz(args, folder):
    result = subprocess.run(["7zz"] + args, cwd=folder, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise PackageError("7zz failed:\n" + result.stdout.decode(errors="replace"))


def make_payload_7z(folder, archive):
    """7z of everything in `folder`, items relative to it (files, and empty directories),
    one solid block per kind of file. Returns the seconds it took."""
    entries = sorted(os.listdir(folder))
    if not entries:
        raise PackageError("payload folder %s is empty" % folder)
    archive = os.path.abspath(archive)
    if os.path.exists(archive):
        os.remove(archive)
    started = time.monotonic()
    kinds = classify_payload(folder)
    with tempfile.TemporaryDirectory() as tmp:
        for kind in PAYLOAD_KINDS:
            if not kinds[kind]:
                continue
            listfile = os.path.join(tmp, kind + ".lst")
            with open(listfile, "w", encoding="utf-8") as f:
                f.write("".join(rel + "\n" for rel in kinds[kind]))
            # Each pass adds a block of its own and keeps the earlier ones.
            _run_7zz(["a", "-bd", "-y"] + PAYLOAD_COMMON_ARGS + PAYLOAD_METHODS[kind]
                     + [archive, "@" + listfile], folder)
    # Only empty directories become items of their own: the others come with
    # their files, and the setup's progress counts toward the item count, so
    # an item that places nothing would keep it from reaching its end.
    empty = sorted(os.path.relpath(root, folder).replace(os.sep, "/")
                   for root, dirs, files in os.walk(folder) if not dirs and not files and root != folder)
    if empty:
        _run_7zz(["u", "-bd", "-y"] + PAYLOAD_COMMON_ARGS + ["-m0=Copy", archive, "--"] + empty, folder)
    return time.monotonic() - started


def sign(conf_path, path_in, path_out):
    """Signs and verifies; returns how the signer is to be shown."""
    try:
        conf = sign_pe.read_conf(conf_path)
        return sign_pe.describe(conf, sign_pe.sign(conf, path_in, path_out, "Pelorix"))
    except sign_pe.SignError as e:
        raise PackageError("signing failed: %s" % e)


# Checking ---------------------------------------------------------------

def check_package(path, ca=None, require_signature=True, list_archive=True):
    """Checks a package; returns a dict of what it found, raises PackageError."""
    with open(path, "rb") as f:
        data = f.read()
    pe = pe_image.PeImage(data)
    record_offset, _ = find_record(data)
    payload_offset, payload_length, digest = unpack_record(
        data[record_offset:record_offset + RECORD_SIZE])
    if UNFILLED in (payload_offset, payload_length):
        raise PackageError("the record was never filled in")
    if payload_offset != pe.end_of_sections():
        raise PackageError("payload offset 0x%x is not the end of the last section 0x%x"
                           % (payload_offset, pe.end_of_sections()))
    if payload_length == 0 or payload_offset + payload_length > len(data):
        raise PackageError("payload (0x%x + 0x%x) runs past the end of the file (0x%x)"
                           % (payload_offset, payload_length, len(data)))
    stored = data[payload_offset:payload_offset + payload_length]
    if hashlib.md5(stored).digest() != digest:
        raise PackageError("payload digest mismatch")

    cert_offset, cert_size = pe.directory(pe_image.IMAGE_DIRECTORY_ENTRY_SECURITY)
    if cert_size:
        # The certificate table starts behind the payload and its padding.
        if cert_offset != payload_offset + payload_length + (-(payload_offset + payload_length) % 8):
            raise PackageError("certificate table at 0x%x does not follow the payload" % cert_offset)
        if data[payload_offset + payload_length:cert_offset].strip(b"\0"):
            raise PackageError("non-zero bytes between payload and signature")
    elif require_signature:
        raise PackageError("the package is not signed")

    plain = unscramble(stored)
    if scramble(plain) != stored:
        raise PackageError("scrambling does not round-trip")
    if plain[:6] != b"7z\xbc\xaf\x27\x1c":
        raise PackageError("the unscrambled payload is not a 7z archive")
    found = {"payload_offset": payload_offset, "payload_length": payload_length,
             "key": stored[0], "signed": bool(cert_size)}
    if list_archive:
        found["items"] = list_7z(plain)
    if cert_size and ca:
        verify_signature(path, ca)
        found["signature"] = "verified"
    return found


def list_7z(archive_bytes):
    """Item paths of a 7z archive (tested by 7zz as it lists)."""
    with tempfile.TemporaryDirectory() as tmp:
        archive = os.path.join(tmp, "payload.7z")
        with open(archive, "wb") as f:
            f.write(archive_bytes)
        result = subprocess.run(["7zz", "l", "-slt", "-ba", archive], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)
        if result.returncode != 0:
            raise PackageError("7zz cannot list the payload:\n"
                               + result.stdout.decode(errors="replace"))
    return [line[7:] for line in result.stdout.decode("utf-8", "replace").splitlines()
            if line.startswith("Path = ")]


def verify_signature(path, ca):
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    text = result.stdout.decode(errors="replace")
    if result.returncode != 0 or "Signature verification: ok" not in text:
        raise PackageError("signature does not verify:\n" + text)


# Command line -------------------------------------------------------------

def build(args):
    with open(args.exe, "rb") as f:
        image = f.read()
    with tempfile.TemporaryDirectory() as tmp:
        if args.payload_dir:
            archive = os.path.join(tmp, "payload.7z")
            seconds = make_payload_7z(args.payload_dir, archive)
            print("payload 7z built in %.1f s" % seconds)
        else:
            archive = args.payload_7z
        with open(archive, "rb") as f:
            plain = f.read()
        stored = scramble(plain, args.key)
        package = assemble(image, stored)
        unsigned = args.unsigned_out or os.path.join(tmp, "unsigned.exe")
        os.makedirs(os.path.dirname(os.path.abspath(unsigned)), exist_ok=True)
        with open(unsigned, "wb") as f:
            f.write(package)
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
        if args.no_sign:
            shutil.copyfile(unsigned, args.out)
            signer = "none (unsigned)"
        else:
            signer = sign(args.sign_conf, unsigned, args.out)
    with open(args.out, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    print("package %s: payload at 0x%08X, %d bytes (plain 7z %d bytes), key 0x%02X, %s"
          % (args.out, len(image), len(stored), len(plain), stored[0],
             "unsigned" if args.no_sign else "signed"))
    print("  image %d bytes (resources %d), payload %d bytes, package %d bytes"
          % (len(image), resource_bytes(image), len(stored), os.path.getsize(args.out)))
    print("  signer: %s" % signer)
    print("  sha256: %s" % digest)


def resource_bytes(image):
    """Size of the resource directory and its data."""
    return pe_image.PeImage(image).directory(pe_image.IMAGE_DIRECTORY_ENTRY_RESOURCE)[1]


def parse_key(text):
    value = int(text, 0)
    if not 0 <= value <= 255:
        raise argparse.ArgumentTypeError("key must be one byte")
    return value


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", help="linked setup executable (stripped, unsigned)")
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--payload-dir", help="product tree to pack")
    source.add_argument("--payload-7z", help="ready-made 7z archive to carry")
    parser.add_argument("--out", help="package to write")
    parser.add_argument("--unsigned-out", help="also keep the package as it was before signing")
    parser.add_argument("--sign-conf", help="signing configuration (see sign_pe.py)")
    parser.add_argument("--no-sign", action="store_true")
    parser.add_argument("--key", type=parse_key, help="force key byte K (tests only)")
    parser.add_argument("--check", metavar="PACKAGE", help="check a package and exit")
    parser.add_argument("--ca", help="CA the signature must chain to (with --check)")
    parser.add_argument("--allow-unsigned", action="store_true", help="with --check")
    args = parser.parse_args(argv)

    try:
        if args.check:
            found = check_package(args.check, ca=args.ca,
                                  require_signature=not args.allow_unsigned)
            print("%s: payload at 0x%08X, %d bytes, key 0x%02X, %d items, signature %s"
                  % (args.check, found["payload_offset"], found["payload_length"], found["key"],
                     len(found["items"]), found.get("signature", "present" if found["signed"]
                                                             else "absent")))
            return 0
        if not args.exe or not args.out or not (args.payload_dir or args.payload_7z):
            parser.error("--exe, --out and one of --payload-dir/--payload-7z are required")
        if not args.no_sign and not args.sign_conf:
            parser.error("--sign-conf is required unless --no-sign")
        build(args)
        return 0
    except (PackageError, pe_image.PeError, OSError) as e:
        sys.stderr.write("make_package: %s\n" % e)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
