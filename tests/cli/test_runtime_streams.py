"""The standard streams through real redirection: line ends, prompts before reads, descriptors."""
import subprocess


def test_text_mode_line_ends_on_stdout_and_stderr(target):
    r = target.run("probe_streams", "lines")
    assert r.status == 0
    assert r.out == target.text("one\ntwo\n")
    assert r.err == target.text("err 3\n")


def test_answers_are_read_as_lines_with_crlf_folded(target):
    r = target.run("probe_streams", "ask", stdin=target.text("yes\nno\n"))
    assert r.status == 0
    assert r.out == target.text("[yes\n][no\n]")
    assert r.err == b"remove file? again? again? "


def test_a_prompt_is_shown_before_the_answer_is_read(target):
    # With both streams on one pipe, a prompt that waited for exit would come out
    # after the fully buffered stdout, which is closed first.
    proc = subprocess.run(target.command("probe_streams", ["ask"]), input=target.text("y\n"),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=target.environment({}), timeout=60)
    assert proc.returncode == 0
    assert proc.stdout == b"remove file? again? " + target.text("[y\n]")


def test_pipes_and_files_are_not_terminals(target):
    r = target.run("probe_streams", "isatty", stdin=b"")
    assert r.out == target.text("0 0 0\n")


def test_closing_descriptor_2_leaves_stdout_working(target):
    r = target.run("probe_streams", "close2")
    assert r.status == 0
    assert r.out == target.text("close 0\n")
