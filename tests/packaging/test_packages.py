"""Builds every package of one build tree with CPack and checks what each holds:
the programs (stripped), the catalogs, the message sources and the documentation,
and on Linux nothing that could shadow the system's rm and rmdir."""
import os
import struct
import subprocess
import tarfile
import zipfile
from pathlib import Path

import pytest

BUILD = Path(os.environ.get("ZAV_BUILD_DIR", "build/host")).resolve()
VERSION = "1.0.0"
SHARED = ["etc/nls/locale/de/zav.cat", "etc/nls/locale/fr/zav.cat", "share/nls/de.msg", "share/nls/fr.msg"]
WINDOWS = sorted(["bin/rm.exe", "bin/rmdir.exe", "bin/zav-gencat.exe", "doc/README.md", "doc/rm.html",
                  "doc/rmdir.html", "doc/zav-gencat.html", *SHARED])
LINUX = sorted([*(f"lib/zav/{p}" for p in ["bin/rm", "bin/rmdir", "bin/zav-gencat", *SHARED,
                                              "share/man/man1/rm.1", "share/man/man1/rmdir.1",
                                              "share/man/man1/zav-gencat.1"]),
                "share/doc/zav-rm/README.md"])


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    out = tmp_path_factory.mktemp("packages")
    run = subprocess.run(["cpack", "--config", str(BUILD / "CPackConfig.cmake"), "-B", str(out)],
                         capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr
    made = {p.name: p for p in out.iterdir() if p.is_file()}
    report = [f"{name}: {path.stat().st_size} bytes" for name, path in sorted(made.items())]
    (BUILD / "package-sizes.txt").write_text("\n".join(report) + "\n")
    return made


def files_of(names, top):
    return sorted(n[len(top):] for n in names if n.startswith(top) and not n.endswith("/"))


def pe_is_stripped(data):
    coff = struct.unpack_from("<I", data, 0x3C)[0] + 4
    symbol_table, symbols = struct.unpack_from("<II", data, coff + 8)
    return (symbol_table, symbols) == (0, 0)


def elf_sections(data):
    """Names of an ELF64 little-endian file's sections."""
    shoff, = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
    names_at, = struct.unpack_from("<Q", data, shoff + shstrndx * shentsize + 0x18)
    result = []
    for i in range(shnum):
        name, = struct.unpack_from("<I", data, shoff + i * shentsize)
        start = names_at + name
        result.append(data[start:data.index(b"\0", start)].decode())
    return result


def test_windows_zip(packages):
    if not (BUILD / "bin" / "rm.exe").exists():
        pytest.skip("a Linux build makes no ZIP")
    name = f"zav-rm-{VERSION}-win64.zip"
    assert sorted(packages) == [name]
    with zipfile.ZipFile(packages[name]) as z:
        top = f"zav-rm-{VERSION}-win64/"
        assert files_of(z.namelist(), top) == WINDOWS
        for program in ("rm", "rmdir", "zav-gencat"):
            assert pe_is_stripped(z.read(f"{top}bin/{program}.exe")), program
        assert b"<h1" in z.read(f"{top}doc/rm.html") or b"<table" in z.read(f"{top}doc/rm.html")


def linux_only():
    if (BUILD / "bin" / "rm.exe").exists():
        pytest.skip("a Windows build makes only the ZIP")


def test_linux_tar_gz(packages):
    linux_only()
    name = f"zav-rm-{VERSION}-Linux.tar.gz"
    assert name in packages
    with tarfile.open(packages[name]) as t:
        top = f"zav-rm-{VERSION}-Linux/"
        assert files_of([m.name for m in t.getmembers() if m.isfile()], top) == LINUX
        for program in ("rm", "rmdir", "zav-gencat"):
            member = t.getmember(f"{top}lib/zav/bin/{program}")
            assert member.mode & 0o111, program
            assert ".symtab" not in elf_sections(t.extractfile(member).read()), program


def test_linux_deb(packages):
    linux_only()
    (name,) = [n for n in packages if n.endswith(".deb")]
    assert name.startswith(f"zav-rm_{VERSION}_")
    listing = subprocess.run(["dpkg-deb", "-c", str(packages[name])], capture_output=True, text=True, check=True)
    names = [line.split()[-1] for line in listing.stdout.splitlines()]
    assert files_of(names, "./usr/") == LINUX
    assert not [n for n in names if n.startswith(("./usr/bin/", "./bin/", "./usr/share/man/"))]
    fields = subprocess.run(["dpkg-deb", "-f", str(packages[name]), "Package", "Version", "Depends"],
                            capture_output=True, text=True, check=True).stdout
    assert f"Package: zav-rm\nVersion: {VERSION}\nDepends: libc6" in fields
