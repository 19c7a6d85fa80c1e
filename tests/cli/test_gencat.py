"""The catalog compiler: message source files in, catalogs the runtime reads out,
and every malformed line reported with its file and line."""
import struct

import pytest

from test_messages import target_path


def read_catalog(data):
    """{(set, number): text bytes} of catalog bytes, read as the runtime reads them."""
    assert data[:9] == b"<gencat>\0"
    set_index = struct.unpack_from("<I", data, len(data) - 4)[0]
    sets = [struct.unpack_from("<iI", data, at) for at in range(set_index, len(data) - 8, 8)]
    texts = {}
    for i, (set_number, start) in enumerate(sets):
        end = sets[i + 1][1] if i + 1 < len(sets) else set_index
        for at in range(start, end, 8):
            number, offset = struct.unpack_from("<iI", data, at)
            texts[(set_number, number)] = data[offset:data.index(b"\0", offset)]
    return texts


def compile_(target, tmp_path, source, *options, existing=None):
    src, cat = tmp_path / "x.msg", tmp_path / "x.cat"
    src.write_bytes(source.encode() if isinstance(source, str) else source)
    if existing is not None:
        cat.write_bytes(existing)
    r = target.run("zav-gencat", *options, target_path(target, cat), target_path(target, src))
    return r, (cat.read_bytes() if cat.exists() else None)


GOOD = [
    ("escapes", '1 a\\tb\\nc\\\\d\\"e\\101\\v\\b\\r\\f\n', {1: b'a\tb\nc\\d"eA\v\b\r\f'}),
    ("continuation", "2 first \\\nsecond \\\n  third\n", {2: b"first second   third"}),
    ("quotes", '$quote "\n3 "  padded  "\n4 ""\n5 "say \\"hi\\"" \n6 "one \\\ntwo"\n',
     {3: b"  padded  ", 4: b"", 5: b'say "hi"', 6: b"one two"}),
    ("other quote char", "$quote '\n7 'it\\'s'\n", {7: b"it's"}),
    ("quoting ended", '$quote "\n$quote\n8 "x"\n', {8: b'"x"'}),
    ("comments and blank lines", "$ a comment\n\n   \n$\n$\ttab comment\n9 x\n", {9: b"x"}),
    ("empty, zero, blanks kept, CRLF", "10 \n0 zero\n11   two blanks\n12 crlf\r\n",
     {10: b"", 0: b"zero", 11: b"  two blanks", 12: b"crlf"}),
    ("a number alone deletes", "13 gone\n13\n14 kept\n", {14: b"kept"}),
]


@pytest.mark.parametrize("name,source,expected", GOOD, ids=[g[0] for g in GOOD])
def test_source_syntax(target, tmp_path, name, source, expected):
    r, data = compile_(target, tmp_path, source)
    assert (r.status, r.err) == (0, b""), name
    assert read_catalog(data) == {(1, n): t for n, t in expected.items()}


def test_sets_merge_with_the_existing_catalog(target, tmp_path):
    r, first = compile_(target, tmp_path, "$set 3 three\n1 c\n$set 2\n1 b\n2 b2\n$set 1\n1 a\n")
    assert r.status == 0 and read_catalog(first) == {(1, 1): b"a", (2, 1): b"b", (2, 2): b"b2", (3, 1): b"c"}
    r, merged = compile_(target, tmp_path, "$delset 3\n$set 2\n2\n3 new\n$set 1\n1 replaced\n", existing=first)
    assert r.status == 0
    assert read_catalog(merged) == {(1, 1): b"replaced", (2, 1): b"b", (2, 3): b"new"}


BAD = [
    ("$set", "$set needs a set number from 1 to 2147483647"),
    ("$set 0", "$set needs a set number from 1 to 2147483647"),
    ("$set 2x", "$set needs a set number from 1 to 2147483647"),
    ("$delset", "$delset needs a set number from 1 to 2147483647"),
    ("$quote ab", "$quote takes one character"),
    ("$frob 1", "unknown directive $frob"),
    ("x 1", "expected a message number, a $ directive or a $ comment"),
    (" 1 indented", "expected a message number, a $ directive or a $ comment"),
    ("12x y", "a blank must separate the message number from its text"),
    ("99999999999 big", "message number larger than 2147483647"),
    ("1 \\q", "unknown escape \\q"),
    ("2 a\\0", "\\0 would end the text there"),
    ("3 \\400", "an octal escape above \\377"),
    ("4 " + "x" * 2050, "the text is longer than the 2049 bytes the reader returns"),
    ("5 first", None),
    ("5 again", "message 5 of set 1 was already given on line 15"),
    ('$quote "', None),
    ('6 "open', 'no closing " before the end of the line'),
    ('7 "a" b', 'text after the closing "'),
    ("8 end\\", "the file ends where a continuation line should follow"),
]


def test_every_malformed_line_is_reported_and_nothing_written(target, tmp_path):
    r, data = compile_(target, tmp_path, "\n".join(line for line, _ in BAD))
    name = target_path(target, tmp_path / "x.msg")
    expected = [f"{name}:{n}: {reason}" for n, (_, reason) in enumerate(BAD, start=1) if reason]
    lines = r.err.decode().replace("\r\n", "\n").splitlines()
    assert lines[:-1] == expected
    assert lines[-1] == f"zav-gencat: {len(expected)} error(s); {target_path(target, tmp_path / 'x.cat')} not written"
    assert (r.status, data) == (1, None)


def test_code_page_850_for_the_windows_console(target, tmp_path):
    r, data = compile_(target, tmp_path, "1 Löschen é ß\n", "--code-page", "850")
    assert r.status == 0 and read_catalog(data) == {(1, 1): b"L\x94schen \x82 \xe1"}
    r, data = compile_(target, tmp_path, "1 ok\n2 日本\n", "--code-page", "850")
    assert r.status == 1 and b"x.msg:2: U+65E5 has no byte in code page 850" in r.err
    r, data = compile_(target, tmp_path, b"1 \xff\n", "--code-page", "850")
    assert r.status == 1 and b"x.msg:1: the text is not valid UTF-8" in r.err


@pytest.mark.parametrize("args,existing,status,message", [
    ((), None, 2, "usage: zav-gencat [--code-page 850] catalog source..."),
    (("--code-page", "437", "c", "s"), None, 2, "usage: zav-gencat"),
    (("{cat}", "{dir}/missing.msg"), None, 1, "zav-gencat: cannot read {dir}/missing.msg: "),
    (("{cat}", "{src}"), b"not a catalog", 1, "zav-gencat: {cat} is not a message catalog; nothing written"),
])
def test_refusals(target, tmp_path, args, existing, status, message):
    names = {"cat": target_path(target, tmp_path / "x.cat"), "src": target_path(target, tmp_path / "x.msg"),
             "dir": target_path(target, tmp_path)}
    (tmp_path / "x.msg").write_text("1 x\n")
    if existing is not None:
        (tmp_path / "x.cat").write_bytes(existing)
    r = target.run("zav-gencat", *(a.format(**names) for a in args))
    assert r.status == status
    assert r.err.decode().startswith(message.format(**names))
    if existing is not None:
        assert (tmp_path / "x.cat").read_bytes() == existing
