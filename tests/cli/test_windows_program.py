"""What a Windows program carries: a version resource and an application
manifest; with the manifest's UTF-8 code page, names outside the OEM code page
are removed like any other."""
import struct
import xml.etree.ElementTree as ET

import pytest

RT_VERSION, RT_MANIFEST = 16, 24
NAMES = ["日本.txt", "\U0001F600.txt"]


def resources(image):
    """{type id: first resource of that type} of a PE image."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
    table = pe + 24 + optional_size
    for i in range(sections):
        name, _, virtual, _, raw = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            break
    else:
        return {}

    def entries(offset):
        named, ids = struct.unpack_from("<HH", image, raw + offset + 12)
        for k in range(named + ids):
            key, target = struct.unpack_from("<II", image, raw + offset + 16 + 8 * k)
            yield key, target

    def first_leaf(target):
        while target & 0x80000000:
            target = next(entries(target & 0x7FFFFFFF))[1]
        rva, size = struct.unpack_from("<II", image, raw + target)
        return image[rva - virtual + raw:rva - virtual + raw + size]

    return {key: first_leaf(target) for key, target in entries(0)}


def version_strings(block):
    """The StringFileInfo values of a VS_VERSIONINFO block, and the fixed file version."""
    fixed = block.index(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<II", block, fixed + 8)
    values = {}
    text = block.decode("utf-16-le", errors="replace")
    for key in ("CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "OriginalFilename",
                "ProductName", "ProductVersion"):
        after = text.index(key + "\0") + len(key)
        values[key] = text[after:].lstrip("\0").split("\0")[0]
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), values


@pytest.fixture
def windows(target):
    if not target.windows:
        pytest.skip("only Windows programs carry resources")
    return target


@pytest.mark.parametrize("program,description", [
    ("rm", "Removes files and directory trees"),
    ("rmdir", "Removes empty directories"),
    ("zav-gencat", "Compiles message catalogs"),
])
def test_version_resource_and_manifest(windows, program, description):
    found = resources(windows.program(program).read_bytes())
    version, values = version_strings(found[RT_VERSION])
    assert version == (1, 0, 0, 0)
    assert values == {"CompanyName": "the zav-rm developers", "FileDescription": description,
                      "FileVersion": "1.0.0", "LegalCopyright": "Copyright (C) 2026 the zav-rm developers",
                      "OriginalFilename": program + ".exe", "ProductName": "zav-rm", "ProductVersion": "1.0.0"}
    manifest = ET.fromstring(found[RT_MANIFEST])
    level = manifest.find(".//{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
    assert (level.get("level"), level.get("uiAccess")) == ("asInvoker", "false")
    assert len(manifest.findall(".//{urn:schemas-microsoft-com:compatibility.v1}supportedOS")) == 5
    code_page = manifest.find(".//{http://schemas.microsoft.com/SMI/2019/WindowsSettings}activeCodePage")
    assert code_page.text == "UTF-8"


def test_names_outside_the_oem_code_page_are_removed(target, tmp_path):
    for name in NAMES:
        (tmp_path / name).write_text("x")
    r = target.run("rm", "-v", *NAMES, cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert r.out == b"".join(target.text(name + "\n") for name in NAMES)
    (tmp_path / "tree" / NAMES[0]).mkdir(parents=True)
    for name in NAMES:
        (tmp_path / "tree" / NAMES[0] / name).write_text("x")
    r = target.run("rm", "-r", "tree", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert list(tmp_path.iterdir()) == []
