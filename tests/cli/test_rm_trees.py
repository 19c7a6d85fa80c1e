"""rm -r: the order of questions and removals over a tree, and what each answer leaves."""
import os
from pathlib import Path

import pytest


def build(root, entries):
    """entries: paths relative to root; a trailing slash makes a directory."""
    for item in entries:
        path = root / item
        if item.endswith("/"):
            path.mkdir(parents=True, exist_ok=True)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(item)
    return root


def listing(root):
    return sorted(str(p.relative_to(root)).replace(os.sep, "/") + ("/" if p.is_dir() else "")
                  for p in root.rglob("*"))


TREE = ["D/f1", "D/S/g", "D/S/T/h", "D/f2", "D/E/"]


def test_redirected_input_removes_the_tree_without_a_question(target, tmp_path):
    build(tmp_path, TREE)
    r = target.run("rm", "-r", "D", cwd=tmp_path, stdin=b"n\nn\nn\n")
    assert (r.status, r.out, r.err) == (0, b"", b"")
    assert listing(tmp_path) == []


def test_verbose_names_the_operand_and_every_file_but_no_subdirectory(target, tmp_path):
    build(tmp_path, TREE)
    r = target.run("rm", "-rv", "D", cwd=tmp_path)
    assert r.status == 0
    lines = r.out.split(target.nl)
    assert lines[-1] == b""
    assert lines[0] == b"D"
    assert sorted(lines[1:-1]) == [b"D/S/T/h", b"D/S/g", b"D/f1", b"D/f2"]


def test_files_go_before_subdirectories_and_directories_after_their_contents(target, tmp_path):
    build(tmp_path, ["D/a", "D/S/b"])
    # Every question answered yes, in the order the walk asks them.
    r = target.run("rm", "-ri", "D", cwd=tmp_path, stdin=b"y\n" * 6)
    assert r.err == (b"enter directory D ? remove D/a ? enter directory D/S ? remove D/S/b ? "
                     b"remove directory D/S ? remove directory D ? ")
    assert (r.status, listing(tmp_path)) == (0, [])


def test_declined_subdirectory_stays_and_its_parent_is_reported(target, tmp_path):
    build(tmp_path, ["D/a", "D/S/b"])
    r = target.run("rm", "-ri", "D", cwd=tmp_path, stdin=b"y\ny\nn\ny\n")
    assert r.err.startswith(b"enter directory D ? remove D/a ? enter directory D/S ? remove directory D ? ")
    tail = r.err[len(b"enter directory D ? remove D/a ? enter directory D/S ? remove directory D ? "):]
    assert tail.startswith(b'rm: cannot remove directory "D": ') and tail.endswith(target.nl)
    assert r.status == 1
    assert listing(tmp_path) == ["D/", "D/S/", "D/S/b"]


def test_declining_a_file_or_the_directory_itself_is_not_a_failure(target, tmp_path):
    build(tmp_path, ["D/a"])
    r = target.run("rm", "-ri", "D", cwd=tmp_path, stdin=b"y\nn\nn\n")
    assert r.status == 0
    assert listing(tmp_path) == ["D/", "D/a"]
    r = target.run("rm", "-ri", "D", cwd=tmp_path, stdin=b"n\n")
    assert (r.status, r.err) == (0, b"enter directory D ? ")


def test_force_removes_read_only_files_and_directories(target, tmp_path):
    build(tmp_path, ["D/ro", "D/R/inner", "D/R/ro2"])
    for p in ("D/ro", "D/R/ro2", "D/R/inner"):
        (tmp_path / p).chmod(0o444)
    (tmp_path / "D" / "R").chmod(0o555)
    r = target.run_tty("rm", "-rf", "D", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert listing(tmp_path) == []


def test_read_only_directory_at_a_terminal_is_asked_about(target, tmp_path):
    if target.windows:
        pytest.skip("Wine does not show the read-only attribute of directories")
    build(tmp_path, ["D/R/x"])
    (tmp_path / "D" / "R").chmod(0o555)
    r = target.run_tty("rm", "-r", "D", answers=[b"n\r"], cwd=tmp_path)
    assert r.err.startswith(b"directory D/R is read only. Remove anyway ? ")
    assert r.status == 1
    assert listing(tmp_path) == ["D/", "D/R/", "D/R/x"]


def test_recycle_sends_each_file_to_the_trash_and_removes_the_folders(target, tmp_path):
    build(tmp_path / "work", ["D/a", "D/S/b"])
    data = tmp_path / "data"
    data.mkdir()
    r = target.run("rm", "-rs", "D", cwd=tmp_path / "work", env={"XDG_DATA_HOME": str(data)})
    assert (r.status, r.err) == (0, b"")
    assert listing(tmp_path / "work") == []
    assert sorted(p.name for p in (data / "Trash" / "files").iterdir()) == ["a", "b"]


def test_delayed_deletion_schedules_files_and_reports_each_folder_it_cannot_remove(target, tmp_path):
    build(tmp_path / "work", ["D/a", "D/S/b"])
    tmpfiles = tmp_path / "tmpfiles.d"
    tmpfiles.mkdir()
    r = target.run("rm", "-rd", "D", cwd=tmp_path / "work", env={"WINAPI_TMPFILES_DIR": str(tmpfiles)})
    assert r.status == 1
    lines = [line for line in r.err.split(target.nl) if line]
    assert [line.split(b": ")[1] for line in lines] == [b'cannot remove directory "D/S"',
                                                        b'cannot remove directory "D"']
    assert listing(tmp_path / "work") == ["D/", "D/S/", "D/S/b", "D/a"]


def test_links_in_a_tree_are_removed_as_links(target, tmp_path):
    if target.windows:
        pytest.skip("Wine 8 shows host symbolic links as what they lead to, not as reparse points")
    build(tmp_path, ["outside/keep", "D/f"])
    os.symlink(tmp_path / "outside", tmp_path / "D" / "dirlink")
    os.symlink(tmp_path / "outside" / "keep", tmp_path / "D" / "filelink")
    r = target.run("rm", "-r", "D", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert listing(tmp_path) == ["outside/", "outside/keep"]


def test_many_operands_and_a_missing_one(target, tmp_path):
    build(tmp_path, ["A/x", "B/y/z"])
    r = target.run("rm", "-r", "A", "missing", "B", cwd=tmp_path)
    assert r.status == 1
    assert r.err.startswith(b'rm: cannot unlink entry "missing": ')
    assert listing(tmp_path) == []
    r = target.run("rm", "-rf", "missing", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
