"""rm refuses an operand that names a root, a drive's current directory, or ends in . or ..,
as typed, whatever its separators: nothing of it is touched and the later operands still go."""
import pytest

from conftest import wine_prefix


@pytest.fixture
def drive_q(target, tmp_path):
    """Drive Q: on a folder of the test, with a file at its root, a working folder that holds
    a file and a folder with a file, and the later operand: all that a refused operand would
    take away with it."""
    root = tmp_path / "q"
    work = root / "work"
    (work / "a").mkdir(parents=True)
    for kept in (root / "kept", work / "kept", work / "a" / "kept"):
        kept.write_text("kept")
    (work / "later").write_text("x")
    if not target.windows:
        yield work, {"WINAPI_DRIVE_Q": str(root)}
        return
    # Wine looks drive letters up in the prefix's dosdevices at each open.
    link = wine_prefix() / "dosdevices" / "q:"
    if link.is_symlink() or link.exists():
        pytest.skip(f"drive Q: of the Wine prefix is in use ({link})")
    link.symlink_to(root)
    try:
        yield work, {}
    finally:
        link.unlink()


def refused(target, operand):
    return target.text(f"rm: not allowed to remove {operand}\n")


# Every one of these reaches only into drive Q:, so a check that lets one through
# loses a file the test sees.
@pytest.mark.parametrize("operand", [
    ".", "..", "./", ".//", "./.", ".\\", "a/..", "a/../", "a\\..\\", "..\\", "../", "a/./.",
    "Q:/", "Q:\\", "Q:", "q:", "Q:.", "Q:/work/..", "/q=/", "/q=",
])
def test_refused_under_rv_and_nothing_of_it_goes(target, drive_q, operand):
    work, env = drive_q
    r = target.run("rm", "-rv", operand, "later", cwd=work, env=env)
    assert (r.status, r.out, r.err) == (1, target.text("later\n"), refused(target, operand))
    assert not (work / "later").exists()
    for kept in (work.parent / "kept", work / "kept", work / "a" / "kept"):
        assert kept.read_text() == "kept"


# Roots of the machine itself: the runs below cannot remove anything even with the
# check gone (no -r, or every question answered no), and show that it is there.
@pytest.mark.parametrize("operand", [
    "/", "\\", "//", "///", "c:/", "c:\\", "c:", "C:", "/c=/", "//server/share", "//server/share/",
    "\\\\server\\share", "\\\\server\\share\\",
])
def test_roots_are_refused_before_any_question(target, tmp_path, operand):
    (tmp_path / "later").write_text("x")
    r = target.run("rm", "-v", operand, "later", cwd=tmp_path)
    assert (r.status, r.out, r.err) == (1, target.text("later\n"), refused(target, operand))
    assert not (tmp_path / "later").exists()
    r = target.run("rm", "-ri", operand, cwd=tmp_path, stdin=b"n\n" * 4)
    assert (r.status, r.out, r.err) == (1, b"", refused(target, operand))


# Names that only look like those above are removed as any other.
@pytest.mark.parametrize("operand, name", [
    ("...", "..."), ("x.", "x."), (".x", ".x"), ("..x", "..x"), ("a/.x", "a/.x"), ("a\\..x\\", "a/..x"),
    ("Q:/work/..x", "..x"), ("/q=/work/.x", ".x"),
])
def test_names_with_dots_of_their_own_are_not_refused(target, drive_q, operand, name):
    work, env = drive_q
    if target.windows and name.endswith("."):
        pytest.skip("Windows takes the dots off the end of a name")
    (work / name).write_text("x")
    r = target.run("rm", "-r", operand, cwd=work, env=env)
    assert (r.status, r.err) == (0, b""), r.err
    assert not (work / name).exists()
