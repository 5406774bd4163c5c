"""Just enough of the PE format to package the setup: the section table, the
certificate table entry, and lookups in the resource directory.

Everything is read from bytes; nothing is written here. Errors raise
PeError with what was wrong.
"""
import struct

RT_VERSION = 16
IMAGE_DIRECTORY_ENTRY_RESOURCE = 2
IMAGE_DIRECTORY_ENTRY_SECURITY = 4


class PeError(Exception):
    pass


def _u16(data, offset):
    if offset + 2 > len(data):
        raise PeError("truncated at 0x%x" % offset)
    return struct.unpack_from("<H", data, offset)[0]


def _u32(data, offset):
    if offset + 4 > len(data):
        raise PeError("truncated at 0x%x" % offset)
    return struct.unpack_from("<I", data, offset)[0]


class Section:
    def __init__(self, name, virtual_address, virtual_size, raw_offset, raw_size):
        self.name = name
        self.virtual_address = virtual_address
        self.virtual_size = virtual_size
        self.raw_offset = raw_offset
        self.raw_size = raw_size


class PeImage:
    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise PeError("not an MZ executable")
        pe = _u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature at 0x%x" % pe)
        coff = pe + 4
        section_count = _u16(data, coff + 2)
        self.symbol_table_offset = _u32(data, coff + 8)
        optional_size = _u16(data, coff + 16)
        optional = coff + 20
        magic = _u16(data, optional)
        if magic == 0x10B:
            dirs = optional + 96
        elif magic == 0x20B:
            dirs = optional + 112
        else:
            raise PeError("unknown optional header magic 0x%x" % magic)
        dir_count = _u32(data, dirs - 4)
        self.directories = []
        for i in range(min(dir_count, 16)):
            self.directories.append((_u32(data, dirs + 8 * i), _u32(data, dirs + 8 * i + 4)))
        self.security_entry_offset = dirs + 8 * IMAGE_DIRECTORY_ENTRY_SECURITY
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            s = table + 40 * i
            if s + 40 > len(data):
                raise PeError("section table truncated")
            name = data[s:s + 8].rstrip(b"\0").decode("ascii", "replace")
            self.sections.append(Section(name, _u32(data, s + 12), _u32(data, s + 8),
                                         _u32(data, s + 20), _u32(data, s + 16)))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def end_of_sections(self):
        """File offset just past the raw data of the last section."""
        return max((s.raw_offset + s.raw_size for s in self.sections if s.raw_size), default=0)

    def rva_to_offset(self, rva):
        for s in self.sections:
            if s.virtual_address <= rva < s.virtual_address + max(s.virtual_size, s.raw_size):
                delta = rva - s.virtual_address
                if delta >= s.raw_size:
                    raise PeError("rva 0x%x lies in the zero-filled tail of %s" % (rva, s.name))
                return s.raw_offset + delta
        raise PeError("rva 0x%x is in no section" % rva)

    # Resource directory -------------------------------------------------

    def _resource_entries(self, base, offset):
        """(key, is_directory, target offset) of one directory; key is an int
        id or an upper-case name string."""
        named = _u16(self.data, base + offset + 12)
        ids = _u16(self.data, base + offset + 14)
        entries = []
        for i in range(named + ids):
            e = base + offset + 16 + 8 * i
            name_field = _u32(self.data, e)
            target = _u32(self.data, e + 4)
            if name_field & 0x80000000:
                n = base + (name_field & 0x7FFFFFFF)
                length = _u16(self.data, n)
                raw = self.data[n + 2:n + 2 + 2 * length]
                if len(raw) != 2 * length:
                    raise PeError("resource name truncated")
                key = raw.decode("utf-16-le").upper()
            else:
                key = name_field & 0xFFFF
            entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
        return entries

    @staticmethod
    def _match(key, wanted):
        if isinstance(wanted, str):
            return isinstance(key, str) and key == wanted.upper()
        return key == wanted

    def find_resource(self, rtype, rid, lang=None):
        """File offset, size and language of a resource, or None.

        `rtype` and `rid` are ints or names (compared without case, as
        FindResource does). With `lang` None the first language is taken.
        """
        rva, size = self.directory(IMAGE_DIRECTORY_ENTRY_RESOURCE)
        if not rva or not size:
            return None
        base = self.rva_to_offset(rva)
        for key, is_dir, target in self._resource_entries(base, 0):
            if not (is_dir and self._match(key, rtype)):
                continue
            for key2, is_dir2, target2 in self._resource_entries(base, target):
                if not (is_dir2 and self._match(key2, rid)):
                    continue
                for key3, is_dir3, target3 in self._resource_entries(base, target2):
                    if is_dir3 or (lang is not None and key3 != lang):
                        continue
                    data_rva = _u32(self.data, base + target3)
                    data_size = _u32(self.data, base + target3 + 4)
                    offset = self.rva_to_offset(data_rva)
                    if offset + data_size > len(self.data):
                        raise PeError("resource data runs past the end of the file")
                    return offset, data_size, key3
        return None

    def file_version(self):
        """The fixed file version "a.b.c.d" of RT_VERSION 1, or None."""
        found = self.find_resource(RT_VERSION, 1)
        if not found:
            return None
        offset, size, _ = found
        block = self.data[offset:offset + size]
        at = block.find(struct.pack("<I", 0xFEEF04BD))
        if at < 0 or at + 16 > len(block):
            return None
        ms, ls = struct.unpack_from("<II", block, at + 8)
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def is_pe(data):
    try:
        PeImage(data)
        return True
    except PeError:
        return False
