"""Wildcard words: the Windows programs expand the unquoted ones themselves; the host
programs take every argument as the shell left it."""
import pytest


def touch(root, *names):
    for name in names:
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("x")


def names_in(root):
    return sorted(str(p.relative_to(root)) for p in root.rglob("*") if p.is_file())


@pytest.fixture
def windows(target):
    # Wine passes a word without blanks or quotes onto the Windows command line as it is.
    if not target.windows:
        pytest.skip("the host shell expands wildcards; the host layer quotes what it leaves")
    return target


def test_bare_word_gives_the_matches_sorted_and_case_blind(windows, tmp_path):
    touch(tmp_path, "a.txt", "B.TXT", "c.c", ".hidden.txt", "sub/d.txt")
    r = windows.run("rm", "-v", "*.txt", cwd=tmp_path)
    assert (r.status, r.out, r.err) == (0, windows.text("B.TXT\na.txt\n"), b"")
    assert names_in(tmp_path) == [".hidden.txt", "c.c", "sub/d.txt"]


def test_star_dot_star_leaves_dot_names_alone(windows, tmp_path):
    touch(tmp_path, "a.txt", "b", ".git/config", ".profile")
    r = windows.run("rm", "-rv", "*.*", cwd=tmp_path)
    assert (r.status, r.out, r.err) == (0, windows.text("a.txt\n"), b"")
    assert names_in(tmp_path) == [".git/config", ".profile", "b"]


def test_dualcase_even_empty_makes_matching_exact(windows, tmp_path):
    touch(tmp_path, "a.txt", "B.TXT")
    r = windows.run("rm", "-v", "*.txt", cwd=tmp_path, env={"DUALCASE": ""})
    assert (r.status, r.out) == (0, windows.text("a.txt\n"))
    assert names_in(tmp_path) == ["B.TXT"]


def test_quoted_and_unmatched_words_are_passed_on_unchanged(windows, tmp_path):
    touch(tmp_path, "a.txt", "a b.txt")
    # Wine writes the second word in double quotes, because of its blank.
    words = ["'*.txt'", "a b*", "*.none", "[z-a]*", "missing/*.txt"]
    r = windows.run("rm", "-v", *words, cwd=tmp_path)
    assert r.status == 1
    assert r.out == windows.text("*.txt\na b*\n*.none\n[z-a]*\nmissing/*.txt\n")
    for word in ["*.txt", "a b*", "*.none", "[z-a]*"]:
        assert f'rm: cannot unlink entry "{word}": '.encode() in r.err
    assert names_in(tmp_path) == ["a b.txt", "a.txt"]


def test_words_keep_their_order_and_their_prefix(windows, tmp_path):
    touch(tmp_path, "b.txt", "a.txt", "e.c", "sub/y.c", "sub/x.c", "sub/z.txt", "d1/note", "d2/keep")
    r = windows.run("rm", "-v", "sub\\*.c", "*.txt", "z:*.c", "sub/*.txt", "d*/note", cwd=tmp_path)
    # rm writes each operand with slashes; d2/note is made up and missing.
    assert r.out == windows.text("sub/x.c\nsub/y.c\na.txt\nb.txt\nz:e.c\nsub/z.txt\nd1/note\nd2/note\n")
    assert r.status == 1 and b'rm: cannot unlink entry "d2/note": ' in r.err
    assert names_in(tmp_path) == ["d2/keep"]


def test_host_takes_a_word_with_wildcards_literally(target, tmp_path):
    if target.windows:
        pytest.skip("Windows names cannot hold '*'")
    touch(tmp_path, "*.txt", "a.txt", "b.txt")
    r = target.run("rm", "-v", "*.txt", "[ab].txt", cwd=tmp_path)
    assert r.out == target.text("*.txt\n[ab].txt\n")
    assert r.status == 1
    assert 'rm: cannot unlink entry "[ab].txt": '.encode() in r.err
    assert names_in(tmp_path) == ["a.txt", "b.txt"]
