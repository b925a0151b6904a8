"""Strict reader of multipart/form-data bodies, as the photo service's front end parses them.

Anything a real server would refuse raises FormError with a short reason: a missing or
malformed boundary, a body that does not open with the first delimiter, a part whose head
is not terminated or lacks a form-data disposition with a name, a body that ends before
the closing delimiter, bytes after the closing delimiter other than one line end.
"""

import re

_BOUNDARY_CHARS = re.compile(rb"^[0-9A-Za-z'()+_,\-./:=? ]{1,70}$")
_DISPOSITION = re.compile(
    r'^form-data; name="(?P<name>[^"]*)"(?:; filename="(?P<filename>[^"]*)")?$')


class FormError(Exception):
    pass


class Part:
    def __init__(self, name, filename, content_type, data):
        self.name = name              # str, decoded as UTF-8
        self.filename = filename      # str or None
        self.content_type = content_type
        self.data = data              # bytes

    def text(self):
        return self.data.decode("utf-8")


def boundary_of(content_type):
    """The boundary named by a Content-Type header value, or FormError."""
    if content_type is None:
        raise FormError("no Content-Type")
    kind, _, rest = content_type.partition(";")
    if kind.strip().lower() != "multipart/form-data":
        raise FormError("not multipart/form-data")
    params = [p.strip() for p in rest.split(";") if p.strip()]
    for p in params:
        key, _, value = p.partition("=")
        if key.strip().lower() == "boundary":
            value = value.strip()
            if len(value) >= 2 and value[0] == value[-1] == '"':
                value = value[1:-1]
            raw = value.encode("latin-1", "replace")
            if not _BOUNDARY_CHARS.match(raw) or raw.endswith(b" "):
                raise FormError("malformed boundary")
            return raw
    raise FormError("no boundary")


def parse(body, boundary):
    """Parts of `body` in order. `boundary` is bytes without the leading dashes."""
    opening = b"--" + boundary
    delimiter = b"\r\n--" + boundary
    if not body.startswith(opening):
        raise FormError("body does not start with the boundary")
    pos = len(opening)
    parts = []
    while True:
        tail = body[pos:pos + 2]
        if tail == b"--":
            rest = body[pos + 2:]
            if rest not in (b"", b"\r\n"):
                raise FormError("bytes after the closing delimiter")
            return parts
        if tail != b"\r\n":
            raise FormError("delimiter not followed by a line end")
        pos += 2
        head_end = body.find(b"\r\n\r\n", pos)
        if head_end < 0:
            raise FormError("part head not terminated")
        head = body[pos:head_end]
        data_start = head_end + 4
        data_end = body.find(delimiter, data_start)
        if data_end < 0:
            raise FormError("no closing delimiter")
        parts.append(_part(head, body[data_start:data_end]))
        pos = data_end + len(delimiter)


def _part(head, data):
    headers = {}
    for line in head.split(b"\r\n"):
        if b":" not in line:
            raise FormError("malformed part header")
        key, _, value = line.partition(b":")
        try:
            headers[key.strip().lower().decode("ascii")] = value.strip().decode("utf-8")
        except UnicodeDecodeError:
            raise FormError("part header not UTF-8")
    disposition = headers.get("content-disposition")
    if disposition is None:
        raise FormError("part without Content-Disposition")
    m = _DISPOSITION.match(disposition)
    if not m or not m.group("name"):
        raise FormError("malformed Content-Disposition")
    return Part(m.group("name"), m.group("filename"), headers.get("content-type"), data)
