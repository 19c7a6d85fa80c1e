"""Runs the programs of one build: the host programs directly, the Windows ones under Wine."""
import os
import re
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
WINE_RUN = REPO / "scripts" / "wine-run"


def pytest_addoption(parser):
    parser.addoption("--target", default="host", choices=("host", "windows"))
    parser.addoption("--bin-dir", default=None, help="folder that holds the programs")


# Wine's own notes about the host (such as an unreadable volume label), not
# anything the program wrote; one can land in the middle of a prompt's line.
WINE_NOTE = re.compile(rb"wine: [^\n]*\n")


@dataclass
class Result:
    status: int
    out: bytes
    err: bytes


class Target:
    def __init__(self, name, bin_dir):
        self.name = name
        self.bin_dir = Path(bin_dir).resolve()
        self.windows = name == "windows"
        # Where the current test's programs keep the trash, the Windows directory
        # and deletions at the next start, unless the test names its own.
        self.sandbox = {}
        # Line end that the standard streams write in text mode.
        self.nl = b"\r\n" if self.windows else b"\n"

    def program(self, name):
        return self.bin_dir / (name + ".exe" if self.windows else name)

    def command(self, name, args):
        return self.program_command(self.program(name), args)

    def program_command(self, path, args):
        return [str(WINE_RUN), str(path), *args] if self.windows else [str(path), *args]

    def run(self, name, *args, stdin=b"", cwd=None, env=None, timeout=60):
        return self.run_program(self.program(name), *args, stdin=stdin, cwd=cwd, env=env, timeout=timeout)

    def environment(self, env):
        full_env = dict(os.environ, **self.sandbox)
        if self.windows:
            full_env["WINEPREFIX"] = str(wine_prefix())
        full_env.update(env or {})
        return full_env

    def run_program(self, path, *args, stdin=b"", cwd=None, env=None, timeout=60):
        full_env = self.environment(env)
        stdin_arg = subprocess.DEVNULL if stdin is None else subprocess.PIPE
        proc = subprocess.run(self.program_command(path, args), input=stdin if stdin is not None else None,
                              stdin=None if stdin is not None else stdin_arg,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=cwd, env=full_env, timeout=timeout)
        return self.result(proc.returncode, proc.stdout, proc.stderr)

    def run_tty(self, name, *args, answers=(), cwd=None, env=None, timeout=60):
        """Runs with a pseudo-terminal as standard input. Each answer is typed once
        one more question (a text ending in "? ") has reached standard error: a
        program may flush terminal input that arrives before it asks. An answer
        may be a function, called when its question has come, that returns it."""
        import pty
        import threading
        import time
        full_env = self.environment(env)
        master, slave = pty.openpty()
        proc = subprocess.Popen(self.command(name, args), stdin=slave, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=cwd, env=full_env)
        os.close(slave)
        out, err = bytearray(), bytearray()

        def drain(stream, sink):
            for chunk in iter(lambda: stream.read1(4096), b""):
                sink.extend(chunk)

        readers = [threading.Thread(target=drain, args=(proc.stdout, out), daemon=True),
                   threading.Thread(target=drain, args=(proc.stderr, err), daemon=True)]
        for t in readers:
            t.start()
        deadline = time.monotonic() + timeout
        typed = b""
        # Wine puts the terminal into raw mode around its first read and may
        # flush an answer typed a moment too early. Only the first answer can be
        # lost so: it waits a moment after its question, and when the next
        # question is long in coming, it is typed again.
        first_typed_at = None
        try:
            for asked, answer in enumerate(answers, start=1):
                while bytes(err).count(b"? ") < asked and proc.poll() is None:
                    if time.monotonic() > deadline:
                        raise TimeoutError(f"no question {asked} after {timeout}s: {bytes(err)!r}")
                    if asked == 2 and time.monotonic() - first_typed_at > 10:
                        os.write(master, typed)
                        first_typed_at = time.monotonic()
                    time.sleep(0.02)
                if asked == 1 and self.windows:
                    time.sleep(0.3)
                typed = answer() if callable(answer) else answer
                os.write(master, typed)
                if asked == 1:
                    first_typed_at = time.monotonic()
            # Once no question is left, typing the last answer again is harmless,
            # so do that while waiting.
            while proc.poll() is None:
                if time.monotonic() > deadline:
                    raise TimeoutError(f"still running after {timeout}s: {bytes(err)!r}")
                try:
                    proc.wait(timeout=1)
                except subprocess.TimeoutExpired:
                    if answers and bytes(err).count(b"? ") == len(answers):
                        os.write(master, typed)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            for t in readers:
                t.join(timeout=5)
            os.close(master)
        return self.result(proc.returncode, bytes(out), bytes(err))

    def result(self, status, out, err):
        if self.windows:
            err = WINE_NOTE.sub(b"", err)
        return Result(status, out, err)

    def program_with_legacy_code_pages(self, name, folder):
        """A copy of a Windows program whose manifest asks for no code page, so that
        it runs with the system's ANSI and OEM code pages, as before Windows 10."""
        original = self.program(name)
        data = original.read_bytes()
        asked = b">UTF-8</activeCodePage>"
        assert data.count(asked) == 1, "the manifest asks for UTF-8 once"
        copy = Path(folder) / original.name
        copy.write_bytes(data.replace(asked, b"></activeCodePage>" + b" " * len(b"UTF-8")))
        return copy

    def text(self, s):
        """The bytes a text-mode stream writes for s."""
        return s.encode().replace(b"\n", self.nl)


def wine_prefix():
    # The project's own prefix, whatever WINEPREFIX the caller has.
    return REPO / "build" / "wineprefix"


def wineserver():
    for path in ("/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver", shutil.which("wineserver")):
        if path and os.access(path, os.X_OK):
            return path
    return None


@pytest.fixture(scope="session")
def target(request):
    name = request.config.getoption("--target")
    bin_dir = request.config.getoption("--bin-dir") or REPO / "build" / name / "bin"
    t = Target(name, bin_dir)
    if not t.program("rm").exists():
        pytest.exit(f"no programs in {bin_dir}: build the '{name}' preset first", returncode=2)
    # Under ctest the run keeps one Wine server for all its tests.
    server = wineserver() if t.windows and not os.environ.get("ZAV_WINE_SERVER_KEPT") else None
    if server:
        # One Wine server for the whole run: starting one per program costs seconds.
        env = dict(os.environ, WINEPREFIX=str(wine_prefix()))
        subprocess.run([server, "-p"], env=env, check=False)
        # The first program starts Wine's background services, which keep the
        # descriptors they inherit: let them inherit nothing of a test's pipes.
        subprocess.run(t.command("rm", []), env=env, check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        yield t
        subprocess.run([server, "-k"], env=env, check=False)
    else:
        yield t


@pytest.fixture(autouse=True)
def sandbox(target, tmp_path_factory):
    """Every program a test runs writes only into folders of the test's own."""
    home = tmp_path_factory.mktemp("sandbox")
    places = {"WINAPI_TMPFILES_DIR": home / "tmpfiles.d", "XDG_DATA_HOME": home / "data",
              "WINAPI_WINDIR": home / "windows"}
    for place in places.values():
        place.mkdir()
    target.sandbox = {name: str(place) for name, place in places.items()}
    target.sandbox["WINAPI_WINDIR"] = "Z:" + str(places["WINAPI_WINDIR"])  # the layer takes a Windows name
    yield places
    target.sandbox = {}
