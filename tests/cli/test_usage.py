"""rm and rmdir: usage texts, option errors and the exit status 2, byte for byte."""
import pytest

RM_USAGE = "Usage: rm [-firRv] [-d|-s] file ...\n"
RMDIR_USAGE = "Usage: rmdir [-p] directory ...\n"


@pytest.mark.parametrize("args, err", [
    ((), RM_USAGE),
    (("-f",), RM_USAGE),
    (("-rfiv",), RM_USAGE),
    (("-x", "a"), "rm: Unknown option -x\n" + RM_USAGE),
    (("-r", "-x", "a"), "rm: Unknown option -x\n" + RM_USAGE),
    # No long options: "--force" is a cluster whose first letter is "-".
    (("--force", "a"), "rm: Unknown option --\n" + RM_USAGE),
    (("-ds", "a"), RM_USAGE),
    (("-s", "-d", "a"), RM_USAGE),
    (("-d", "-s", "a"), RM_USAGE),
])
def test_rm_usage_errors(target, tmp_path, args, err):
    (tmp_path / "a").write_text("keep")
    r = target.run("rm", *args, cwd=tmp_path)
    assert (r.status, r.out, r.err) == (2, b"", target.text(err))
    assert (tmp_path / "a").read_text() == "keep"


@pytest.mark.parametrize("args, err", [
    ((), RMDIR_USAGE),
    (("-p",), RMDIR_USAGE),
    (("-x", "d"), "rmdir: Unknown option -x\n" + RMDIR_USAGE),
    (("-pq", "d"), "rmdir: Unknown option -q\n" + RMDIR_USAGE),
])
def test_rmdir_usage_errors(target, tmp_path, args, err):
    (tmp_path / "d").mkdir()
    r = target.run("rmdir", *args, cwd=tmp_path)
    assert (r.status, r.out, r.err) == (2, b"", target.text(err))
    assert (tmp_path / "d").is_dir()


def test_rm_options_end_at_double_dash(target, tmp_path):
    # "-f" after "--" is an operand, so this is not a usage error.
    r = target.run("rm", "--", "-f", cwd=tmp_path)
    assert r.status == 1
    assert b"-f" in r.err


@pytest.mark.parametrize("args", [("-dd", "a"), ("-fi", "a"), ("-if", "a"), ("-rR", "a")])
def test_rm_accepts_repeated_and_cancelling_options(target, tmp_path, args):
    r = target.run("rm", *args, cwd=tmp_path, stdin=b"")
    assert r.status != 2
    assert b"Usage" not in r.err


def test_rm_refuses_dot_and_dot_dot_and_goes_on(target, tmp_path):
    r = target.run("rm", ".", "..", "x", cwd=tmp_path)
    assert r.status == 1
    lines = r.err.split(target.nl)
    assert lines[0] == b"rm: not allowed to remove ."
    assert lines[1] == b"rm: not allowed to remove .."
    assert b"x" in lines[2]

