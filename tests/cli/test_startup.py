"""Start-up: the argument vector from the command line, from an argument block a
parent hands over, or from tilde entries; environ with one PATH entry; faults that
no code handles."""
import os
import subprocess

import pytest


class Started:
    def __init__(self, result):
        self.status = result.status
        lines = result.out.decode("utf-8", "surrogateescape").replace("\r\n", "\n").splitlines()
        self.argc = int(lines[0].split()[1])
        self.args = [l[len("arg ["):-1] for l in lines if l.startswith("arg [")]
        self.env = [l[len("env "):] for l in lines if l.startswith("env ")]
        self.no_fault_box = "no fault box yes" in lines
        self.lines = lines
        self.err = result.err

    def names(self):
        return [e.split("=", 1)[0] for e in self.env]


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def through_parent(target, mode, command_line, *block, env=None):
    """Starts probe_args from handoff_parent, which gives it exactly this command line
    and sets the variables of env in its environment."""
    parent = target.bin_dir / "handoff_parent.exe"
    settings = [f"--set={name}={value}" for name, value in (env or {}).items()]
    return Started(target.run_program(parent, *settings, mode, windows_path(target.program("probe_args")),
                                      command_line, *block))


def with_argv0(target, argv0, *args, env):
    """Runs probe_args on the host with a chosen argv[0], which starts its command line."""
    full_env = {k: v for k, v in target.environment({}).items() if not k.startswith("~")}
    full_env.update(env)
    proc = subprocess.run([argv0, *args], executable=str(target.program("probe_args")),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=full_env, timeout=60)
    return Started(target.result(proc.returncode, proc.stdout, proc.stderr))


@pytest.fixture
def windows(target):
    if not target.windows:
        pytest.skip("a parent hands a Windows program its exact command line and inherited handles")
    return target


@pytest.mark.parametrize("line, words", [
    ('probe "a b" c', ["probe", "a b", "c"]),
    ('probe a\\"b "a\\"b" \'a\\"b\'', ["probe", 'a"b', 'a"b', 'a\\"b']),
    ("probe \\\\server\\share a\\\\b", ["probe", "\\\\server\\share", "a\\\\b"]),
    ('probe "" x', ["probe", "", "x"]),
    ('probe "unclosed rest  of line', ["probe", "unclosed rest  of line"]),
    ("probe 'it''s' \"say 'hi'\"", ["probe", "its", "say 'hi'"]),
    ("probe\tx  \t y", ["probe", "x", "y"]),
])
def test_command_line_words(windows, line, words):
    started = through_parent(windows, "none", line)
    assert (started.status, started.argc, started.args) == (0, len(words), words)
    assert not started.no_fault_box


def test_quoted_wildcard_word_is_literal(windows, tmp_path):
    (tmp_path / "a.txt").write_text("x")
    started = Started(windows.run("probe_args", "*.txt", "*.none", cwd=tmp_path))
    assert started.args[1:] == ["a.txt", "*.none"]
    started = through_parent(windows, "none", 'probe "*.txt"')
    assert started.args == ["probe", "*.txt"]


def test_block_arguments_are_taken_as_they_are(windows):
    started = through_parent(windows, "block", "probe_args\tignored words", "first", "a b", '"q"', "*.txt", "")
    assert (started.status, started.argc) == (0, 5)
    assert started.args == ["first", "a b", '"q"', "*.txt", ""]
    assert "ZAVARGS" not in started.names()
    assert started.no_fault_box


def test_block_without_tab_still_counts(windows):
    started = through_parent(windows, "block", "probe_args ignored", "only")
    assert (started.argc, started.args, started.no_fault_box) == (1, ["only"], True)


def test_empty_block_gives_an_empty_vector(windows):
    started = through_parent(windows, "block", "probe_args\t")
    assert (started.status, started.argc, started.args) == (0, 0, [])


def test_block_for_another_process_is_ignored(windows):
    started = through_parent(windows, "stranger", "probe_args x y", "from block")
    assert started.args == ["probe_args", "x", "y"]
    assert "ZAVARGS" not in started.names()
    assert not started.no_fault_box


def test_block_wins_over_tilde_entries(windows):
    started = through_parent(windows, "block", "probe_args\tx", "from block", env={"~tilde": "1"})
    assert started.args == ["from block"]
    assert not any(e.startswith("~") for e in started.env)


def test_tilde_entries_become_the_arguments_after_a_tab(target):
    env = {"~first": "1", "~second": "a b", "~third": "*.txt"}
    if target.windows:
        started = through_parent(target, "none", "probe_args\tignored words", env=env)
    else:
        started = with_argv0(target, "probe_args\tignored", "words", env=env)
    assert (started.status, started.argc) == (0, 3)
    assert started.args == ["first=1", "second=a b", "third=*.txt"]
    assert not any(e.startswith("~") for e in started.env)
    assert started.no_fault_box


def test_tilde_entries_without_a_tab_are_dropped(target):
    env = {"~first": "1"}
    if target.windows:
        started = through_parent(target, "none", "probe_args x", env=env)
    else:
        started = with_argv0(target, "probe_args", "x", env=env)
    assert started.args == ["probe_args", "x"]
    assert not any(e.startswith("~") for e in started.env)
    assert not started.no_fault_box


def test_zavargs_that_names_no_mapping_is_ignored_and_dropped(target):
    started = Started(target.run("probe_args", "x", env={"ZAVARGS": "7ffc"}))
    assert (started.status, started.args[1:]) == (0, ["x"])
    assert "ZAVARGS" not in started.names()
    assert not started.no_fault_box


def test_one_path_entry_named_path_and_placed_last(target):
    started = Started(target.run("probe_args"))
    paths = [e for e in started.env if e[:5].lower() == "path="]
    assert len(paths) == 1 and paths[0].startswith("PATH=")
    assert started.env[-1] == paths[0]


@pytest.mark.parametrize("variants, expected", [
    ({"Path": "E:\\bin"}, "PATH=E:\\bin"),
    ({"Path": "mixed", "PATH": "upper"}, "PATH=upper"),
    ({"path": "x"}, None),
    ({"pAtH": "x", "Path": "kept"}, "PATH=kept"),
])
def test_path_entry_variants_on_the_host(target, variants, expected):
    if target.windows:
        pytest.skip("Wine sets the Windows search path itself")
    env = {k: v for k, v in target.environment({}).items() if k.lower() != "path" and not k.startswith("~")}
    env.update(variants)
    proc = subprocess.run([str(target.program("probe_args"))], stdout=subprocess.PIPE, env=env, timeout=60)
    started = Started(target.result(proc.returncode, proc.stdout, b""))
    paths = [e for e in started.env if e[:5].lower() == "path="]
    assert paths == ([expected] if expected else [])
    if expected:
        assert started.env[-1] == expected


def test_unhandled_fault_ends_with_its_code_and_runs_no_exit_handler(windows):
    started = through_parent(windows, "block", "probe_args\t", "probe", "fault")
    assert started.status == 0xC0000005 & 0xFF
    assert b"child exit code c0000005" in started.err
    assert "exit handler ran" not in started.lines
    assert started.args == ["probe", "fault"]


def test_arguments_no_command_line_can_carry_are_handed_over_whole(target, tmp_path):
    if target.windows:
        pytest.skip("Wine builds the Windows command line itself")
    # Under code page 932, 0x95 begins a double-byte character: on a command line
    # it would take the blank after it, and two operands would become one.
    env = {"WINAPI_CODEPAGE": "932", "~junk": "not an argument"}
    for name in (b"a\x95", b"b", b"a\x95 b", b"c\x95'd"):
        (tmp_path / os.fsdecode(name)).write_text("x")
    r = target.run("rm", "-v", b"a\x95", "b", b"c\x95'd", cwd=tmp_path, env=env)
    assert (r.status, r.out, r.err) == (0, b"a\x95\nb\nc\x95'd\n", b"")
    assert sorted(os.listdir(tmp_path)) == ["a\udc95 b"]
    started = Started(target.run("probe_args", b"x\x95", "*", env=env, cwd=tmp_path))
    assert started.args[1:] == ["x\udc95", "*"]
    assert not any(e.startswith("~") for e in started.env)
