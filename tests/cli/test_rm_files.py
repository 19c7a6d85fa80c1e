"""rm on single entries: which primitive, when it asks, what it reports, and its status."""
import os
import re
import stat

import pytest


def make(path, text="data", read_only=False):
    path.write_text(text)
    if read_only:
        path.chmod(0o444)
    return path


def failure_line(target, err, message):
    """The one diagnostic line: the message, then ': ' and the platform's error text."""
    text = err.decode(errors="replace")
    pattern = "^rm: " + re.escape(message) + ": .+" + re.escape(target.nl.decode()) + "$"
    return re.fullmatch(pattern, text, re.S) is not None


def test_removes_files_and_reports_nothing(target, tmp_path):
    # Windows names cannot hold a double quote, and Wine passes it's unquoted on the
    # Windows command line, where a single quote opens a quote.
    names = ["a", "b c"] + ([] if target.windows else ["it's", 'say "hi"'])
    for name in names:
        make(tmp_path / name)
    r = target.run("rm", *names, cwd=tmp_path)
    assert (r.status, r.out, r.err) == (0, b"", b"")
    assert list(tmp_path.iterdir()) == []


def test_missing_file_is_reported_unless_forced(target, tmp_path):
    r = target.run("rm", "nothing", cwd=tmp_path)
    assert r.status == 1
    assert failure_line(target, r.err, 'cannot unlink entry "nothing"'), r.err
    r = target.run("rm", "-f", "nothing", "no/such/dir/file", cwd=tmp_path)
    assert (r.status, r.out, r.err) == (0, b"", b"")


def test_failure_does_not_stop_later_operands(target, tmp_path):
    make(tmp_path / "x")
    r = target.run("rm", "missing", "x", cwd=tmp_path)
    assert r.status == 1 and not (tmp_path / "x").exists()


def test_directory_needs_r_and_is_never_silenced(target, tmp_path):
    (tmp_path / "d").mkdir()
    r = target.run("rm", "-f", "d", cwd=tmp_path)
    assert (r.status, r.err) == (1, target.text('rm: use "-r" to remove directory "d"\n'))
    r = target.run("rm", "-v", "d/", cwd=tmp_path)
    assert (r.status, r.out) == (1, target.text("d\n"))
    assert r.err == target.text('rm: use "-r" to remove directory "d"\n')
    assert (tmp_path / "d").is_dir()


def test_verbose_names_each_operand_as_taken_up(target, tmp_path):
    make(tmp_path / "a")
    make(tmp_path / "b")
    r = target.run("rm", "-v", "a", "missing", "b", cwd=tmp_path)
    assert r.out == target.text("a\nmissing\nb\n")
    assert r.status == 1


def test_read_only_files_go_without_a_question_when_input_is_redirected(target, tmp_path):
    make(tmp_path / "ro", read_only=True)
    r = target.run("rm", "ro", cwd=tmp_path, stdin=b"n\n")
    assert (r.status, r.err) == (0, b"")
    assert not (tmp_path / "ro").exists()


@pytest.mark.parametrize("answer, removed", [(b"y\n", True), (b"Yes please\n", True), (b"n\n", False),
                                             (b"\n", False), (b"ok\n", False), (b"", False)])
def test_interactive_answers(target, tmp_path, answer, removed):
    make(tmp_path / "f")
    r = target.run("rm", "-i", "f", cwd=tmp_path, stdin=answer)
    assert r.err == b"remove f ? "
    assert r.status == 0
    assert (tmp_path / "f").exists() != removed


def test_an_overlong_answer_answers_one_question_only(target, tmp_path):
    make(tmp_path / "a")
    make(tmp_path / "b")
    # 9000 bytes beginning with "n": the tail must not answer the question about b.
    answer = b"n" + b"y" * 9000 + b"\n" + b"n\n"
    r = target.run("rm", "-i", "a", "b", cwd=tmp_path, stdin=answer)
    assert r.err == b"remove a ? remove b ? "
    assert (tmp_path / "a").exists() and (tmp_path / "b").exists()


def test_later_of_f_and_i_wins(target, tmp_path):
    make(tmp_path / "f")
    r = target.run("rm", "-fi", "f", cwd=tmp_path, stdin=b"n\n")
    assert r.err == b"remove f ? " and (tmp_path / "f").exists()
    r = target.run("rm", "-if", "f", cwd=tmp_path, stdin=b"n\n")
    assert r.err == b"" and not (tmp_path / "f").exists()


def test_interactive_read_only_prompt(target, tmp_path):
    make(tmp_path / "ro", read_only=True)
    r = target.run("rm", "-i", "ro", cwd=tmp_path, stdin=b"n\n")
    assert r.err == b"ro is read only. Remove anyway ? "
    assert (tmp_path / "ro").exists()
    r = target.run("rm", "-i", "ro", cwd=tmp_path, stdin=b"y\n")
    assert not (tmp_path / "ro").exists()


# A terminal's Enter key sends a carriage return; the line discipline makes it a
# line end for the program.
@pytest.mark.parametrize("answer, removed", [(b"y\r", True), (b"n\r", False)])
def test_read_only_file_at_a_terminal_is_asked_about(target, tmp_path, answer, removed):
    make(tmp_path / "ro", read_only=True)
    make(tmp_path / "rw")
    r = target.run_tty("rm", "ro", "rw", answers=[answer], cwd=tmp_path)
    assert r.err == b"ro is read only. Remove anyway ? "
    assert (tmp_path / "ro").exists() != removed
    assert not (tmp_path / "rw").exists()


def test_force_removes_read_only_files_at_a_terminal_without_asking(target, tmp_path):
    make(tmp_path / "ro", read_only=True)
    r = target.run_tty("rm", "-f", "ro", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert not (tmp_path / "ro").exists()


@pytest.mark.parametrize("operand", ["sub/f/", "sub\\f", "sub//f"])
def test_operand_separators_and_trailing_slash(target, tmp_path, operand):
    (tmp_path / "sub").mkdir()
    make(tmp_path / "sub" / "f")
    r = target.run("rm", "-v", operand, cwd=tmp_path)
    assert r.status == 0, r.err
    normalised = operand.replace("\\", "/")
    if normalised.endswith("/"):
        normalised = normalised[:-1]
    assert r.out == target.text(normalised + "\n")
    assert not (tmp_path / "sub" / "f").exists()


def test_three_character_operand_keeps_its_slash(target, tmp_path):
    make(tmp_path / "ab")
    r = target.run("rm", "-v", "ab/", cwd=tmp_path)
    assert r.out == target.text("ab/\n")


def test_drive_form_operand(target, tmp_path):
    make(tmp_path / "x")
    if target.windows:
        operand = "/z=" + str(tmp_path) + "/x"
        env = None
    else:
        operand = "/c=/x"
        env = {"WINAPI_DRIVE_C": str(tmp_path)}
    r = target.run("rm", "-v", operand, cwd=tmp_path, env=env)
    assert r.status == 0, r.err
    assert r.out.startswith(b"z:" if target.windows else b"c:/x")
    assert not (tmp_path / "x").exists()


def test_link_to_directory_is_removed_and_target_keeps_its_files(target, tmp_path):
    if target.windows:
        pytest.skip("Wine 8 shows host symbolic links as what they lead to, not as reparse points")
    (tmp_path / "real").mkdir()
    make(tmp_path / "real" / "kept")
    os.symlink(tmp_path / "real", tmp_path / "link")
    os.symlink(tmp_path / "real" / "kept", tmp_path / "filelink")
    r = target.run("rm", "link", "filelink", cwd=tmp_path)
    assert (r.status, r.err) == (0, b"")
    assert not os.path.lexists(tmp_path / "link") and not os.path.lexists(tmp_path / "filelink")
    assert (tmp_path / "real" / "kept").read_text() == "data"


def test_names_that_are_not_utf8_are_removed(target, tmp_path):
    if target.windows:
        pytest.skip("Wine maps host names through its own code page; the byte-exact case is the host's")
    name = b"caf\xe9 \xff"
    path = os.path.join(bytes(tmp_path), name)
    with open(path, "wb") as f:
        f.write(b"x")
    r = target.run("rm", "-v", os.fsdecode(name), cwd=tmp_path)
    assert (r.status, r.err) == (0, b""), r.err
    assert r.out == name + b"\n"
    assert not os.path.lexists(path)

