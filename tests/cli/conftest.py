"""Runs the programs of one build: the host programs directly, the Windows ones under Wine."""
import os
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
        # Line end that the standard streams write in text mode.
        self.nl = b"\r\n" if self.windows else b"\n"

    def program(self, name):
        return self.bin_dir / (name + ".exe" if self.windows else name)

    def command(self, name, args):
        prog = str(self.program(name))
        return [str(WINE_RUN), prog, *args] if self.windows else [prog, *args]

    def run(self, name, *args, stdin=b"", cwd=None, env=None, timeout=60):
        full_env = dict(os.environ)
        full_env.update(env or {})
        stdin_arg = subprocess.DEVNULL if stdin is None else subprocess.PIPE
        proc = subprocess.run(self.command(name, args), input=stdin if stdin is not None else None,
                              stdin=None if stdin is not None else stdin_arg,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=cwd, env=full_env, timeout=timeout)
        return Result(proc.returncode, proc.stdout, proc.stderr)

    def text(self, s):
        """The bytes a text-mode stream writes for s."""
        return s.encode().replace(b"\n", self.nl)


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
    server = wineserver() if t.windows else None
    if server:
        # One Wine server for the whole run: starting one per program costs seconds.
        env = dict(os.environ, WINEPREFIX=os.environ.get("WINEPREFIX", str(REPO / "build" / "wineprefix")))
        subprocess.run([server, "-p"], env=env, check=False)
        # The first program starts Wine's background services, which keep the
        # descriptors they inherit: let them inherit nothing of a test's pipes.
        subprocess.run(t.command("rm", []), env=env, check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        yield t
        subprocess.run([server, "-k"], env=env, check=False)
    else:
        yield t
