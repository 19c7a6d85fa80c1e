"""The ways a process ends: exit handlers, exit statuses, stream flushing, abort, signals."""
import subprocess

import pytest


def test_handlers_run_newest_first_and_late_registrations_run_next(target):
    r = target.run("probe_exit", "handlers")
    assert r.status == 0
    assert r.out == target.text("registering\nlate\ng\nf\n")


@pytest.mark.parametrize("returned, status", [("0", 0), ("1", 1), ("256", 0), ("-1", 255), ("258", 2)])
def test_only_the_low_eight_bits_of_mains_result_survive(target, returned, status):
    assert target.run("probe_exit", "return", returned).status == status


def test_exit_status_from_exit(target):
    assert target.run("probe_exit", "exit", "300").status == 300 & 0xFF


def test_thirty_two_handler_slots(target):
    r = target.run("probe_exit", "slots")
    assert r.status == 0
    assert r.out == target.text("32 registered\n") + b"." * 32


def test_buffered_output_reaches_the_file_on_exit(target, tmp_path):
    # stdout is a file here, so the stream is fully buffered until exit closes it.
    out_file = tmp_path / "out"
    with open(out_file, "wb") as out:
        proc = subprocess.run(target.command("probe_exit", ["buffered", "exit"]),
                              stdout=out, stderr=subprocess.PIPE, env=target.environment({}), timeout=60)
    assert proc.returncode == 3
    assert out_file.read_bytes() == b"buffered output"
    assert proc.stderr == target.text("exit handler ran\n")


def test_returning_from_main_flushes_like_exit(target):
    r = target.run("probe_exit", "buffered", "return")
    assert (r.status, r.out) == (5, b"buffered output")


@pytest.mark.parametrize("how, status", [("_exit", 4), ("raise", 256 + 15)])
def test_immediate_endings_drop_buffers_and_skip_handlers(target, how, status):
    r = target.run("probe_exit", "buffered", how)
    assert r.status == status & 0xFF
    assert r.out == b""
    assert r.err == b""


def test_abort_writes_its_note_and_ends_with_all_bits_set(target):
    r = target.run("probe_exit", "buffered", "abort")
    assert r.err == b"ABORT\r\n"
    assert r.out == b""
    # ExitProcess(-1): the host keeps the low eight bits, and so does Wine's
    # report of the Windows exit code to its Unix parent.
    assert r.status == 255


def test_raise_above_32_is_einval(target):
    r = target.run("probe_exit", "raise", "33")
    assert r.status == 0
    assert r.out == target.text("raise -1 errno 1\n")


def test_write_to_a_pipe_without_reader_is_sigpipe(target):
    proc = subprocess.Popen(target.command("probe_exit", ["pipe"]),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=target.environment({}))
    proc.stdout.close()
    err = proc.stderr.read()
    status = proc.wait(timeout=60)
    # 256 + 13, of which the parent sees the low eight bits; no exit handler runs.
    assert status == 13
    assert err == b""
