"""The German and French catalogs: they hold every text users can see, in the
shape the programs use it, and the installed programs find and speak them."""
import codecs
import re
import subprocess

import pytest

from conftest import REPO
from test_gencat import read_catalog
from test_messages import target_path

LANGUAGES = ("de", "fr")
# A number, an English default and a descriptor: every text_message call, and
# the option parser's reports.
NUMBERED = re.compile(r'(\d+), "((?:[^"\\]|\\.)*)", "([EPU][^"]*)"')
OWN_ERROR = re.compile(r'ZAV_ERROR_VALUE\(-\d+, \w+, (\d+), "([^"]*)"\)')
CONVERSION = re.compile(r"%[-#0-9.]*[a-zA-Z%]")


def english_texts():
    """{number: (default text, descriptor)} of the programs and the runtime."""
    texts = {}
    for path in [*REPO.glob("rm/*.cpp"), *REPO.glob("rmdir/*.cpp"), *REPO.glob("libc/**/*.cpp")]:
        for number, text, descriptor in NUMBERED.findall(path.read_text()):
            texts[int(number)] = (codecs.decode(text, "unicode_escape"), descriptor)
    for number, text in OWN_ERROR.findall((REPO / "libc/include/zav/error_values.def").read_text()):
        # Message 0 is also rm's usage, which the catalog holds under it.
        texts.setdefault(int(number), (text, "E"))
    return texts


def encoding(target):
    return "cp850" if target.windows else "utf-8"


def catalog(target, language):
    data = (target.bin_dir.parent / "nls" / language / "zav.cat").read_bytes()
    return {number: text.decode(encoding(target)) for (set_number, number), text in read_catalog(data).items()
            if set_number == 1}


@pytest.mark.parametrize("language", LANGUAGES)
def test_catalog_holds_every_text_in_its_shape(target, language):
    english = english_texts()
    assert len(english) > 25
    translated = catalog(target, language)
    assert sorted(translated) == sorted(english)
    for number, (default, descriptor) in english.items():
        text = translated[number]
        assert text != default, number
        assert CONVERSION.findall(text) == CONVERSION.findall(default), number
        for mark in ("!", "rm: "):
            assert text.startswith(mark) == default.startswith(mark), number
        assert text.endswith("\n") == default.endswith("\n"), number
        if descriptor.startswith("P"):
            assert text.endswith("? ") and "(y/n)" in text, number


@pytest.fixture(scope="session")
def installed(target, tmp_path_factory):
    """The build installed into an empty prefix; its programs' root for ROOTDIR."""
    prefix = tmp_path_factory.mktemp("prefix")
    run = subprocess.run(["cmake", "--install", str(target.bin_dir.parent), "--prefix", str(prefix)],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stdout + run.stderr
    return prefix if target.windows else prefix / "lib" / "zav"


def test_install_lays_out_programs_catalogs_and_documents(target, installed):
    files = sorted(str(p.relative_to(installed)) for p in installed.rglob("*") if p.is_file())
    shared = ["etc/nls/locale/de/zav.cat", "etc/nls/locale/fr/zav.cat", "share/nls/de.msg", "share/nls/fr.msg"]
    if target.windows:
        expected = ["bin/rm.exe", "bin/rmdir.exe", "bin/zav-gencat.exe", "doc/README.md", "doc/rm.html",
                    "doc/rmdir.html", "doc/zav-gencat.html", *shared]
    else:
        expected = ["bin/rm", "bin/rmdir", "bin/zav-gencat", *shared,
                    *(f"share/man/man1/{page}" for page in ("rm.1", "rmdir.1", "zav-gencat.1"))]
        assert (installed.parent.parent / "share/doc/zav-rm/README.md").is_file()
        assert not (installed.parent.parent / "bin").exists(), "nothing may shadow the system's rm"
    assert files == sorted(expected)


LONG = "n" * 300


@pytest.mark.parametrize("language", LANGUAGES)
def test_installed_programs_speak_the_language(target, installed, tmp_path, language):
    texts = catalog(target, language)
    (tmp_path / "dir").mkdir()
    (tmp_path / "file").write_text("x")
    (tmp_path / "tree" / "sub").mkdir(parents=True)
    env = {"ROOTDIR": target_path(target, installed), "LANG": language}
    program = "bin/{}.exe" if target.windows else "bin/{}"

    def run(name, *args, answers=b""):
        r = target.run_program(installed / program.format(name), *args, cwd=tmp_path, env=env, stdin=answers)
        return r.status, r.err.decode(encoding(target)).replace("\r\n", "\n")

    assert run("rm") == (2, texts[0])
    assert run("rmdir") == (2, texts[1289])
    status, err = run("rm", "-x", "file")
    assert status == 2 and err.startswith(texts[6402] % ("rm", "-", "x"))
    assert run("rm", ".") == (1, texts[1280] % ".")
    assert run("rm", "dir") == (1, texts[1282] % "dir")
    assert run("rm", LONG) == (1, "rm: " + texts[3195] % LONG + ": " + texts[4029] + "\n")
    status, err = run("rmdir", "tree")
    assert status == 1 and err.startswith("rmdir: " + texts[404] % "tree" + ": ")
    # Only y answers yes, whatever the language: j (ja) and o (oui) do not.
    for answer, kept in ((b"j\n", True), (b"o\n", True), (b"y\n", False)):
        assert run("rm", "-i", "file", answers=answer) == (0, texts[3194] % "file")
        assert (tmp_path / "file").exists() == kept, answer
    assert run("rm", "-ri", "tree", answers=b"n\n") == (0, texts[5271] % "tree")
    assert (tmp_path / "tree" / "sub").is_dir()
