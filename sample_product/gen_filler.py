#!/usr/bin/env python3
"""Writes the sample product's data files (everything but the built binaries
and updatecfg.ini) into a directory.

The output depends only on the seed: the same seed gives byte-identical files,
so packages built on different machines carry the same payload. The mix is
meant to compress like a real product: a few large, nearly incompressible
packs, code-like text that LZMA halves, and many small configuration files.
"""
import argparse
import json
import os
import random
import sys

KEYWORDS = ["function", "return", "local", "var", "const", "if", "else", "for",
            "while", "end", "then", "self", "this", "new", "null", "true", "false"]


def packed_blob(rng, size):
    """Bytes like compressed assets: random blocks behind small fixed headers."""
    out = bytearray()
    while len(out) < size:
        block = min(size - len(out), rng.randint(4096, 65536))
        header = b"PAK\x01" + block.to_bytes(4, "little") + bytes(24)
        out += header[:block]
        out += rng.randbytes(max(0, block - len(header)))
    return bytes(out[:size])


def identifier(rng):
    return "".join(rng.choice("abcdefghijklmnopqrstuvwxyz_") for _ in range(rng.randint(3, 12)))


def code_text(rng, size, comment="//"):
    """Script-like text whose names and literals vary enough to compress ~2x."""
    lines = []
    total = 0
    depth = 0
    while total < size:
        kind = rng.random()
        if kind < 0.08:
            line = "%s %s" % (comment, " ".join(identifier(rng) for _ in range(rng.randint(3, 9))))
        elif kind < 0.2:
            line = "%s %s(%s) {" % (rng.choice(KEYWORDS[:3]), identifier(rng),
                                    ", ".join(identifier(rng) for _ in range(rng.randint(0, 4))))
            depth = min(depth + 1, 5)
        elif kind < 0.3 and depth > 0:
            line = "}"
            depth -= 1
        else:
            line = "%s %s = %s(%s, 0x%08x, %d);" % (
                rng.choice(KEYWORDS), identifier(rng), identifier(rng), identifier(rng),
                rng.getrandbits(32), rng.randint(0, 1 << 20))
        line = "  " * depth + line + "\n"
        lines.append(line)
        total += len(line)
    return "".join(lines)[:size].encode("ascii")


def config_text(rng, size):
    out = []
    total = 0
    section = 0
    while total < size:
        if section == 0 or rng.random() < 0.15:
            line = "[%s_%d]\n" % (identifier(rng), section)
            section += 1
        else:
            line = "%s=%s\n" % (identifier(rng), rng.choice(
                [str(rng.randint(0, 10000)), identifier(rng), "true", "false"]))
        out.append(line)
        total += len(line)
    return "".join(out)[:size].encode("ascii")


def json_text(rng, size):
    items = []
    text = ""
    while len(text) < size:
        items.append({"id": rng.randint(1, 99999), "name": identifier(rng),
                      "enabled": rng.random() < 0.5, "weight": round(rng.random(), 4)})
        if len(items) % 16 == 0:
            text = json.dumps({"items": items}, indent=2)
    text = json.dumps({"items": items}, indent=2)
    return text.encode("ascii")


def plan(rng):
    """(relative path, kind, size) for every file, in a fixed order."""
    files = []
    # Large packs: most of the product's bytes, and nearly incompressible.
    files += [("Nexhub/pelorix/resources/ui.pak", "blob", 6_860_000),
              ("Utils/engine/engine.bin", "blob", 5_600_000),
              ("game/data/game_db.dat", "blob", 3_300_000),
              ("Themes/Default Blue/skin.pak", "blob", 1_900_000)]
    # Code-like files.
    for i in range(8):
        files.append(("Nexhub/pelorix/scripts/module_%02d.js" % i, "code", rng.randint(250_000, 450_000)))
    for i in range(6):
        files.append(("Plugin/%s/main.lua" % ["cleaner", "booster", "guard", "report", "tray", "net"][i],
                      "lua", rng.randint(180_000, 320_000)))
    for i in range(4):
        files.append(("game/scripts/rule_%d.js" % i, "code", rng.randint(120_000, 220_000)))
    files.append(("Themes/Default Blue/theme.css", "code", 160_000))
    # Small text and configuration files.
    for name in ["pelorix.set", "po.db", "skip_list", "white.conf"]:
        files.append(("Nexhub/pelorix/" + name, "config", rng.randint(800, 6000)))
    for lang in ["zh-CN", "zh-TW", "en-US", "ja-JP", "ko-KR", "ru-RU", "de-DE", "fr-FR", "vi-VN"]:
        files.append(("Nexhub/pelorix/locale/%s.json" % lang, "json", rng.randint(3000, 20000)))
    for i in range(12):
        files.append(("Nexhub/pelorix/res/icon_%02d.png" % i, "blob", rng.randint(1500, 9000)))
    for plugin in ["cleaner", "booster", "guard", "report", "tray", "net"]:
        files.append(("Plugin/%s/manifest.json" % plugin, "json", rng.randint(400, 1500)))
        files.append(("Plugin/%s/plugin.ini" % plugin, "config", rng.randint(300, 1200)))
    for i in range(6):
        files.append(("Utils/engine/locales/%02d.pak" % i, "blob", rng.randint(40_000, 90_000)))
    files.append(("Utils/engine/engine.cfg", "config", 2400))
    for i in range(5):
        files.append(("game/boost/profile_%d.json" % i, "json", rng.randint(1000, 4000)))
    files.append(("game/game.ini", "config", 1800))
    for i in range(4):
        files.append(("update/patch_%d.cfg" % i, "config", rng.randint(300, 1500)))
    files.append(("update/channel.json", "json", 900))
    files.append(("Log/readme.txt", "config", 200))
    for i in range(4):
        files.append(("Themes/Default Blue/images/bg_%d.png" % i, "blob", rng.randint(20_000, 60_000)))
    files.append(("Themes/Default Blue/theme.xml", "config", 3000))
    files.append(("Themes/themes.ini", "config", 500))
    # Files directly in the install root (the built uninst.exe and
    # updatecfg.ini join them).
    for name in ["config.ini", "crashreport.ini", "feedback.ini", "pelsvc.cfg", "driver.cfg",
                 "runtime.cfg", "license.txt", "readme.txt"]:
        files.append((name, "config", rng.randint(300, 4000)))
    files.append(("update.cache", "blob", 12_000))
    files.append(("board.dat", "blob", 48_000))
    files.append(("version.json", "json", 600))
    return files


def generate(out_dir, seed):
    rng = random.Random(seed)
    written = []
    for rel, kind, size in plan(rng):
        if kind == "blob":
            data = packed_blob(rng, size)
        elif kind == "code":
            data = code_text(rng, size)
        elif kind == "lua":
            data = code_text(rng, size, comment="--")
        elif kind == "json":
            data = json_text(rng, size)
        else:
            data = config_text(rng, size)
        path = os.path.join(out_dir, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        written.append(rel)
    return written


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="directory to write into (created)")
    parser.add_argument("--seed", type=int, default=20261208)
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    generate(args.out, args.seed)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
