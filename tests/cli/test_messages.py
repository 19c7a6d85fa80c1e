"""Translated usage and option texts from a catalog found along NLSPATH; English without one."""
import pytest

TRANSLATIONS = (
    "0 Aufruf: rm [-firRv] [-d|-s] Datei ...\\n\n"
    "1289 Aufruf: rmdir [-p] Verzeichnis ...\\n\n"
    "6402 %s: unbekannte Option %c%c\\n\n"
)
RM_USAGE = "Usage: rm [-firRv] [-d|-s] file ...\n"
RMDIR_USAGE = "Usage: rmdir [-p] directory ...\n"


def target_path(target, path):
    # Wine maps drive Z: to the host's root.
    return "Z:" + str(path) if target.windows else str(path)


@pytest.fixture
def catalog_dir(target, tmp_path):
    (tmp_path / "de").mkdir()
    out = tmp_path / "de" / "zav.cat"
    r = target.run("zav-gencat", target_path(target, out), "-", stdin=TRANSLATIONS.encode())
    assert r.status == 0, r.err
    return tmp_path


def env_for(target, directory):
    return {"NLSPATH": target_path(target, directory) + "/%L/%N.cat", "LC_ALL": "de"}


def test_catalog_translates_usage_and_option_texts(target, catalog_dir):
    env = env_for(target, catalog_dir)
    r = target.run("rm", env=env)
    assert (r.status, r.err) == (2, target.text("Aufruf: rm [-firRv] [-d|-s] Datei ...\n"))
    r = target.run("rm", "-x", env=env)
    assert r.status == 2
    assert r.err.startswith(target.text("rm: unbekannte Option -x\n"))
    r = target.run("rmdir", env=env)
    assert (r.status, r.err) == (2, target.text("Aufruf: rmdir [-p] Verzeichnis ...\n"))


def test_without_catalog_english_texts(target, tmp_path):
    env = env_for(target, tmp_path)
    assert target.run("rm", env=env).err == target.text(RM_USAGE)
    assert target.run("rmdir", env=env).err == target.text(RMDIR_USAGE)
    r = target.run("rm", "-x", env=env)
    assert r.status == 2 and r.err.startswith(target.text("rm: Unknown option -x\n"))


def damaged(data):
    yield "past-end", data[:-4] + (len(data) + 100).to_bytes(4, "little")
    for cut in range(0, len(data), max(1, len(data) // 12)):
        yield f"cut-{cut}", data[:cut]


def test_damaged_catalog_gives_english_and_no_crash(target, catalog_dir):
    data = (catalog_dir / "de" / "zav.cat").read_bytes()
    env = env_for(target, catalog_dir)
    for name, content in damaged(data):
        (catalog_dir / "de" / "zav.cat").write_bytes(content)
        r = target.run("rm", env=env)
        assert r.status == 2, name
        assert r.err in (target.text(RM_USAGE), target.text("Aufruf: rm [-firRv] [-d|-s] Datei ...\n")), name
        if name == "past-end" or len(content) < 9:
            assert r.err == target.text(RM_USAGE), name


@pytest.mark.parametrize("kind,tail", [
    ("plain", "probe: plain words\n"),
    ("bang", "probe: memory allocation failure: {t2}\n"),
    ("numbered", "probe: memory allocation failure: {t2}\n"),
])
def test_fatal_error_writes_one_line_and_exits_1(target, kind, tail):
    r = target.run("probe_fatal", kind, "2")
    assert r.status == 1
    lines = r.err.decode().replace("\r\n", "\n").splitlines(keepends=True)
    assert lines[-1] == "exit handler: errno 2\n"
    first = lines[0]
    if "{t2}" in tail:
        prefix = tail.split("{t2}")[0]
        assert first.startswith(prefix) and len(first) > len(prefix) + 1, first
    else:
        assert first == tail


# Every numbered text of both programs and of the runtime.
MESSAGE_NUMBERS = [0, 404, 641, 695, 696, 697, 698, 699, 1280, 1282, 1283, 1286, 1287, 1289, 3193, 3194,
                   3195, 3196, 3197, 3581, 3642, 4029, 4837, 5078, 5271, 5784, 5785, 6402, 6403]


@pytest.mark.parametrize("hostile", ["%s" * 20 + "\\n", "%n%n%s%c%c%n\\n", "%s: %c%c %x %n\\n"])
def test_catalog_texts_that_do_not_fit_their_arguments_are_not_used(target, tmp_path, hostile):
    (tmp_path / "de").mkdir()
    lines = "".join(f"{n} {hostile}\n" for n in MESSAGE_NUMBERS)
    r = target.run("zav-gencat", target_path(target, tmp_path / "de" / "zav.cat"), "-", stdin=lines.encode())
    assert r.status == 0, r.err
    work = tmp_path / "work"
    (work / "dir" / "sub").mkdir(parents=True)
    (work / "file").write_text("x")
    (work / "ro").write_text("x")
    (work / "ro").chmod(0o444)
    runs = [("rm",), ("rm", "-x"), ("rm", "missing"), ("rm", "dir"), ("rm", "-i", "file"), ("rm", "-i", "ro"),
            ("rm", "-ri", "dir"), ("rmdir",), ("rmdir", "-q"), ("rmdir", "dir"), ("rmdir", "missing")]
    for run in runs:
        english = target.run(*run, cwd=work, stdin=b"n\n", env=env_for(target, tmp_path / "none"))
        with_catalog = target.run(*run, cwd=work, stdin=b"n\n", env=env_for(target, tmp_path))
        assert (with_catalog.status, with_catalog.out, with_catalog.err) == \
            (english.status, english.out, english.err), run
        assert english.status in (1, 2) or b"? " in english.err, run
