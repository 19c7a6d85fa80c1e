"""rmdir: empty directories, -p and its parents, and the diagnostics of each failure."""
import re

import pytest


def diagnostic(target, err, path):
    text = err.decode(errors="replace")
    pattern = 'rmdir: directory "' + re.escape(path) + '": .+' + re.escape(target.nl.decode())
    return re.fullmatch(pattern, text, re.S) is not None


def test_removes_empty_directories(target, tmp_path):
    for name in ("a", "b c", "dir"):
        (tmp_path / name).mkdir()
    r = target.run("rmdir", "a", "b c", "dir/", cwd=tmp_path)
    assert (r.status, r.out, r.err) == (0, b"", b"")
    assert list(tmp_path.iterdir()) == []


def test_parents_are_removed_one_by_one(target, tmp_path):
    (tmp_path / "a" / "b" / "c").mkdir(parents=True)
    r = target.run("rmdir", "-p", "a/b/c", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert not (tmp_path / "a").exists()


def test_first_parent_that_stays_ends_the_operand(target, tmp_path):
    (tmp_path / "a" / "b" / "c").mkdir(parents=True)
    (tmp_path / "a" / "b" / "other").write_text("x")
    r = target.run("rmdir", "-p", "a/b/c", cwd=tmp_path)
    assert r.status == 1
    assert diagnostic(target, r.err, "a/b"), r.err
    assert not (tmp_path / "a" / "b" / "c").exists()
    assert (tmp_path / "a" / "b" / "other").exists()


def test_a_run_of_slashes_is_cut_as_one(target, tmp_path):
    (tmp_path / "a" / "b").mkdir(parents=True)
    r = target.run("rmdir", "-p", "a//b", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert not (tmp_path / "a").exists()


def test_absolute_path_stops_at_the_first_directory_that_stays(target, tmp_path):
    (tmp_path / "keep").write_text("x")
    (tmp_path / "a" / "b").mkdir(parents=True)
    path = str(tmp_path / "a" / "b")
    r = target.run("rmdir", "-p", path, cwd=tmp_path)
    assert r.status == 1
    assert not (tmp_path / "a").exists()
    assert diagnostic(target, r.err, str(tmp_path)), r.err


def test_three_character_operand_keeps_its_slash_under_p(target, tmp_path):
    (tmp_path / "ab").mkdir()
    r = target.run("rmdir", "-p", "ab/", cwd=tmp_path)
    assert not (tmp_path / "ab").exists()
    assert r.status == 1
    assert diagnostic(target, r.err, "ab"), r.err


def test_file_operand_is_not_a_directory_and_stays(target, tmp_path):
    (tmp_path / "f").write_text("x")
    r = target.run("rmdir", "f", cwd=tmp_path)
    assert r.status == 1 and diagnostic(target, r.err, "f"), r.err
    assert (tmp_path / "f").read_text() == "x"


def test_not_empty_and_missing_are_reported_and_the_rest_goes_on(target, tmp_path):
    (tmp_path / "full").mkdir()
    (tmp_path / "full" / "x").write_text("x")
    (tmp_path / "empty").mkdir()
    r = target.run("rmdir", "full", "missing", "empty", cwd=tmp_path)
    assert r.status == 1
    lines = r.err.split(target.nl)
    assert lines[0].startswith(b'rmdir: directory "full": ')
    assert lines[1].startswith(b'rmdir: directory "missing": ')
    assert not (tmp_path / "empty").exists()
    assert (tmp_path / "full" / "x").exists()


def test_read_only_empty_directory_is_removed(target, tmp_path):
    d = tmp_path / "ro"
    d.mkdir()
    d.chmod(0o555)
    r = target.run("rmdir", "ro", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert not d.exists()


def test_backslashes_are_separators(target, tmp_path):
    (tmp_path / "a" / "b").mkdir(parents=True)
    r = target.run("rmdir", "-p", "a\\b", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert not (tmp_path / "a").exists()
