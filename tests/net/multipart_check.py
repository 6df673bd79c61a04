#!/usr/bin/env python3
"""Checks multipart bodies with Python's own email parser.

Usage: multipart_check.py DIR BOUNDARY

DIR holds pairs NAME.body (the raw body) and NAME.expect, one line per item:
"part" starts a part, "h NAMEHEX VALUEHEX" is one of its headers in order, "b BODYHEX" its
body, "p KEYHEX VALUEHEX" a Content-Disposition parameter whose quoted text, percent-decoded as
browsers encode names, must give VALUE back. Exits 0 when every body parses back into exactly the expected parts.
"""
import email
import email.policy
import pathlib
import sys
import urllib.parse


def expected_parts(path):
    parts = []
    for line in path.read_text().splitlines():
        fields = line.split(" ")
        if fields[0] == "part":
            parts.append({"headers": [], "body": b"", "params": []})
        elif fields[0] == "h":
            name = bytes.fromhex(fields[1]).decode("ascii")
            value = bytes.fromhex(fields[2] if len(fields) > 2 else "").decode("ascii")
            parts[-1]["headers"].append((name, value))
        elif fields[0] == "p":
            parts[-1]["params"].append((bytes.fromhex(fields[1]).decode("ascii"),
                                        bytes.fromhex(fields[2] if len(fields) > 2 else "")))
        elif fields[0] == "b":
            parts[-1]["body"] = bytes.fromhex(fields[1] if len(fields) > 1 else "")
    return parts


def parsed_parts(body, boundary):
    head = ('Content-Type: multipart/form-data; boundary="%s"\r\n\r\n' % boundary).encode()
    message = email.message_from_bytes(head + body, policy=email.policy.compat32)
    if not message.is_multipart():
        raise ValueError("not parsed as multipart")
    if message.defects:
        raise ValueError("defects: %r" % message.defects)
    return message.get_payload()


def as_expected(part, want):
    params = []
    for key, _ in want["params"]:
        value = part.get_param(key, header="content-disposition")
        params.append((key, None if value is None else urllib.parse.unquote_to_bytes(value)))
    return {"headers": list(part.items()), "body": part.get_payload(decode=True) or b"",
            "params": params}


def main():
    directory, boundary = pathlib.Path(sys.argv[1]), sys.argv[2]
    failures = 0
    cases = sorted(directory.glob("*.body"))
    for body_path in cases:
        want = expected_parts(body_path.with_suffix(".expect"))
        try:
            got = parsed_parts(body_path.read_bytes(), boundary)
            if len(got) != len(want):
                raise ValueError("%d parts, expected %d" % (len(got), len(want)))
            got = [as_expected(part, expected) for part, expected in zip(got, want)]
        except ValueError as error:
            print("%s: %s" % (body_path.name, error))
            failures += 1
            continue
        if got != want:
            print("%s: expected %r\n  parsed %r" % (body_path.name, want, got))
            failures += 1
    print("%d of %d bodies parsed back exactly" % (len(cases) - failures, len(cases)))
    return 1 if failures or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
