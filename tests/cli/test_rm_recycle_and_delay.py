"""rm -s puts files into the trash; rm -d leaves them until the next start removes them."""
import configparser
import os
import shutil
import subprocess
from pathlib import Path
from urllib.parse import unquote

import pytest

from conftest import WINE_RUN


def trash_entries(trash):
    info = {}
    for record in sorted((trash / "info").glob("*.trashinfo")):
        parser = configparser.ConfigParser(interpolation=None)
        parser.read(record)
        info[record.stem] = parser["Trash Info"]
    return info


def test_recycled_file_lands_in_the_trash_with_its_record(target, tmp_path):
    data_home = tmp_path / "data"
    data_home.mkdir()
    work = tmp_path / "work"
    (work / "sub").mkdir(parents=True)
    (work / "sub" / "notes.txt").write_text("keep me")
    ro = work / "ro.txt"
    ro.write_text("read only")
    ro.chmod(0o444)
    r = target.run("rm", "-s", "sub/notes.txt", "ro.txt", cwd=work, env={"XDG_DATA_HOME": str(data_home)})
    assert (r.status, r.err) == (0, b""), r.err
    assert not (work / "sub" / "notes.txt").exists() and not ro.exists()
    trash = data_home / "Trash"
    assert (trash / "files" / "notes.txt").read_text() == "keep me"
    assert (trash / "files" / "ro.txt").read_text() == "read only"
    entries = trash_entries(trash)
    assert Path(unquote(entries["notes.txt"]["Path"])) == work / "sub" / "notes.txt"
    assert entries["notes.txt"]["DeletionDate"][:4].isdigit()
    # A file manager's view of the same trash: trash-cli reads the records itself.
    if shutil.which("trash-list") is None:
        pytest.skip("trash-cli is not installed (scripts/setup installs it)")
    listing = subprocess.run(["trash-list"], env=dict(os.environ, XDG_DATA_HOME=str(data_home)),
                             capture_output=True, text=True, check=True)
    assert sorted(line.split(" ", 2)[2] for line in listing.stdout.splitlines()) == [
        str(work / "ro.txt"), str(work / "sub" / "notes.txt")]


# The shell is handed the name in the form it reads, so names outside ASCII go to
# the trash too: through the wide call, through the narrow one that Windows 95/98
# makes (QV_WIN95_DEBUG), and, on the host, under the 95/98 personality itself.
@pytest.mark.parametrize("env", [{}, {"QV_WIN95_DEBUG": "1"}, {"WINAPI_VERSION": "95"}],
                         ids=["wide", "narrow", "windows-95"])
def test_names_outside_ascii_are_recycled(target, tmp_path, env):
    if target.windows and "WINAPI_VERSION" in env:
        pytest.skip("a setting of the host's Windows API layer")
    data_home = tmp_path / "data"
    data_home.mkdir()
    work = tmp_path / "work"
    (work / "arbre" / "sous").mkdir(parents=True)
    # Wine's code pages hold accents; the host's hold every script.
    files = {"été": "1", "arbre/naïve": "2", "arbre/sous/ça": "3"}
    if not target.windows:
        files.update({"arbre/жук": "4", "arbre/sous/漢字": "5"})
    for name, text in files.items():
        (work / name).write_text(text)
    env = dict(env, XDG_DATA_HOME=str(data_home))
    r = target.run("rm", "-s", "été", cwd=work, env=env)
    assert (r.status, r.err) == (0, b""), r.err
    r = target.run("rm", "-rs", "arbre", cwd=work, env=env)
    assert (r.status, r.err) == (0, b""), r.err
    assert list(work.iterdir()) == []
    trash = data_home / "Trash"
    entries = trash_entries(trash)
    for name, text in files.items():
        leaf = Path(name).name
        assert (trash / "files" / leaf).read_text() == text
        assert Path(unquote(entries[leaf]["Path"])) == work / name


def test_narrow_shell_call_refuses_a_name_the_ansi_code_page_lacks(target, tmp_path):
    if not target.windows:
        pytest.skip("the host's ANSI and OEM code pages are one, so every name has an ANSI form")
    # Sigma is in the OEM code page (437) and not in the ANSI one (1252), whose
    # best fit for it is S: handing that on would recycle the file S instead.
    # Those are the code pages of a system that ignores the manifest's UTF-8.
    work = tmp_path / "work"
    work.mkdir()
    (work / "S").write_text("other file")
    (work / "\u03a3").write_text("sigma")
    data_home = tmp_path / "data"
    data_home.mkdir()
    rm = target.program_with_legacy_code_pages("rm", tmp_path)
    r = target.run_program(rm, "-s", "[!S]", cwd=work, env={"QV_WIN95_DEBUG": "1", "XDG_DATA_HOME": str(data_home)})
    assert r.status == 1
    assert r.err.startswith(b'rm: cannot unlink entry "\xe4": '), r.err
    assert (work / "S").read_text() == "other file"
    assert (work / "\u03a3").read_text() == "sigma"
    assert not (data_home / "Trash" / "files" / "S").exists()


def test_recycling_a_missing_file_is_reported_unless_forced(target, tmp_path):
    env = {"XDG_DATA_HOME": str(tmp_path / "data")}
    r = target.run("rm", "-s", "missing", cwd=tmp_path, env=env)
    assert r.status == 1
    assert r.err.startswith(b'rm: cannot unlink entry "missing": ')
    r = target.run("rm", "-sf", "missing", cwd=tmp_path, env=env)
    assert (r.status, r.err) == (0, b"")


def simulate_next_start(target, tmpfiles_dir):
    if target.windows:
        subprocess.run([str(WINE_RUN), "wineboot", "-r"], check=True, capture_output=True, timeout=120)
        return
    tool = shutil.which("systemd-tmpfiles")
    if tool is None:
        pytest.skip("systemd-tmpfiles is not installed")
    for drop_in in sorted(Path(tmpfiles_dir).glob("*.conf")):
        subprocess.run([tool, "--remove", "--boot", str(drop_in)], check=True, capture_output=True)


def test_delayed_deletion_waits_for_the_next_start(target, tmp_path):
    tmpfiles = tmp_path / "tmpfiles.d"
    tmpfiles.mkdir()
    work = tmp_path / "work"
    work.mkdir()
    names = ["later.txt", "with space.txt", "100% sure.txt"]
    for name in names:
        (work / name).write_text("x")
    env = {"WINAPI_TMPFILES_DIR": str(tmpfiles)}
    r = target.run("rm", "-d", *names, cwd=work, env=env)
    assert (r.status, r.err) == (0, b""), r.err
    for name in names:
        assert (work / name).exists(), "a delayed deletion must not remove the file now"
    if not target.windows:
        assert len(list(tmpfiles.glob("*.conf"))) == len(names)
    simulate_next_start(target, tmpfiles)
    for name in names:
        assert not (work / name).exists()
    if not target.windows:
        assert list(tmpfiles.iterdir()) == [], "the requests must not outlive the start"
