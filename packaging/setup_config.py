"""The setup configuration carried in the package (resource "SETUPCONFIG"):
FileList.xml, PRODUCT.VNKPRJ and UninstallRootDirFileList.xml, derived from
the product tree. The setup does not read them; they describe the package
for the maker's tools, so their values must agree with the setup's constants.
"""
import hashlib
import os
from xml.sax.saxutils import quoteattr

import pe_image

# Files the setup itself puts in the install root; the uninstaller removes them too.
SETUP_ROOT_FILES = ["setup.log", "quillop.dll"]


def read_list(path):
    with open(path, encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip() and not line.startswith("#")]


def count_files(tree):
    return sum(len(files) for _, _, files in os.walk(tree))


def every_file(tree):
    """Relative paths (backslash separators) of every file in `tree`, sorted."""
    names = []
    for root, _, files in os.walk(tree):
        for name in files:
            names.append(os.path.relpath(os.path.join(root, name), tree).replace(os.sep, "\\"))
    return sorted(names)


def file_list_xml(tree, names, default_version):
    """One unclosed <file> element per line, ASCII, no declaration or root."""
    lines = []
    for name in names:
        path = os.path.join(tree, *name.split("\\"))
        if not os.path.isfile(path):
            raise OSError("%s is in the file list but not in the product tree" % name)
        with open(path, "rb") as f:
            data = f.read()
        version = None
        if pe_image.is_pe(data):
            version = pe_image.PeImage(data).file_version()
        lines.append("<file name=%s version=%s md5=%s>" % (
            quoteattr(name), quoteattr(version or default_version),
            quoteattr(hashlib.md5(data).hexdigest())))
    # ASCII as the format asks; other characters of a name as references.
    return ("\r\n".join(lines) + "\r\n").encode("ascii", "xmlcharrefreplace")


def _utf16_document(lines):
    text = '<?xml version="1.0" encoding="utf-16"?>\r\n' + "\r\n".join(lines) + "\r\n"
    return b"\xff\xfe" + text.encode("utf-16-le")


def product_project_xml(version, file_count):
    return _utf16_document([
        "<Setup>",
        '  <Main Version=%s Executable="setup.exe" SetupTemplate="Install.exe" '
        'UninstTemplate="uninst.exe" MinimizeSpace="100" />' % quoteattr(version),
        '  <Application MainApp="pelorix_ui.exe" />',
        '  <RegAppPath HKEY="HKEY_LOCAL_MACHINE" SubKey="SOFTWARE\\\\Pelorix" Value="Setup Path" />',
        '  <FileList RootDir="BIN\\\\Pelorix" FileCount="%d" File="FileList.xml" PackInstall="1" />'
        % file_count,
        '  <PidFile File="Pids.xml" />',
        '  <UninstallRootDirFileList File="UninstallRootDirFileList.xml" PackUninstall="1" '
        'PackInstall="1" />',
        "  <CheckFileOnInstCopy>",
        '    <CheckFile FileName="pelorix_ui.exe" />',
        "  </CheckFileOnInstCopy>",
        "</Setup>",
    ])


def uninstall_root_xml(tree):
    entries = os.listdir(tree)
    return uninstall_root_xml_of([e for e in entries if os.path.isdir(os.path.join(tree, e))],
                                 [e for e in entries if os.path.isfile(os.path.join(tree, e))])


def uninstall_root_xml_of(root_dirs, root_files):
    """UninstallRootDirFileList.xml for a tree with these root directories and
    root files (names, any order). The sample uninstaller carries the same
    document, made from the names before the tree exists."""
    dirs = sorted(root_dirs, key=str.lower)
    files = sorted(root_files, key=str.lower)
    files += [f for f in SETUP_ROOT_FILES if f not in files]
    lines = ["<RootDirFiles>", "  <Dir>"]
    lines += ["    <Item Name=%s />" % quoteattr(d) for d in dirs]
    lines += ["  </Dir>", "  <File>"]
    lines += ["    <Item Name=%s />" % quoteattr(f) for f in files]
    lines += ["  </File>", "</RootDirFiles>"]
    return _utf16_document(lines)


def write_config(tree, list_path, version, out_dir):
    """Writes the three files into out_dir; returns their paths. Without a
    list, FileList.xml names every file of the tree."""
    os.makedirs(out_dir, exist_ok=True)
    names = read_list(list_path) if list_path else every_file(tree)
    outputs = {
        "FileList.xml": file_list_xml(tree, names, version),
        "PRODUCT.VNKPRJ": product_project_xml(version, count_files(tree)),
        "UninstallRootDirFileList.xml": uninstall_root_xml(tree),
    }
    paths = []
    for name, data in outputs.items():
        path = os.path.join(out_dir, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths
