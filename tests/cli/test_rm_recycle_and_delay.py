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
