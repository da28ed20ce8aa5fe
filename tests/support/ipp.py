"""A small IPP client for the CUPS scheduler the program prints through: the default queue and
its margins, the jobs of a queue, and the document of a job as it was handed over.

The document is what a test reads the printout from: cups-pdf's own PDF goes through PostScript
and ghostscript, which turn the text into outlines, while CUPS keeps the submitted document with
the job, text and all (CUPS-Get-Document)."""

import http.client
import os
import pwd
import socket
import struct

from checks import CheckFailed

# Operations
GET_JOBS, GET_DEFAULT, GET_DOCUMENT = 0x000A, 0x4001, 0x4027
# Group tags (delimiters below 0x10)
OPERATION_GROUP, JOB_GROUP, END, PRINTER_GROUP = 0x01, 0x02, 0x03, 0x04
# Value tags
INTEGER, ENUM = 0x21, 0x23
URI, KEYWORD, NAME, CHARSET, LANGUAGE = 0x45, 0x44, 0x42, 0x47, 0x48
TEXTUAL = range(0x40, 0x50)  # the string types, read as UTF-8


def encode_attribute(tag, name, value):
    """One attribute: an int as a 4-byte integer, anything else as a UTF-8 string."""
    v = struct.pack(">i", value) if isinstance(value, int) else value.encode()
    n = name.encode()
    return bytes([tag]) + struct.pack(">H", len(n)) + n + struct.pack(">H", len(v)) + v


def encode_request(operation, user, attrs):
    """An IPP/2.0 request (request id 1) with the operation attributes attrs, a list of
    (tag, name, value or list of values)."""
    body = struct.pack(">BBHI", 2, 0, operation, 1) + bytes([OPERATION_GROUP])
    body += encode_attribute(CHARSET, "attributes-charset", "utf-8")
    body += encode_attribute(LANGUAGE, "attributes-natural-language", "en")
    body += encode_attribute(NAME, "requesting-user-name", user)
    for tag, name, value in attrs:
        for i, v in enumerate(value if isinstance(value, list) else [value]):
            # The further values of a multi-valued attribute come without a name.
            body += encode_attribute(tag, name if i == 0 else "", v)
    return body + bytes([END])


def decode_response(data):
    """(status, [(group tag, {name: [values]})], the data after the attributes)."""
    status = struct.unpack(">H", data[2:4])[0]
    pos, groups, current, last = 8, [], None, None
    while True:
        tag = data[pos]
        pos += 1
        if tag == END:
            break
        if tag < 0x10:
            current = {}
            groups.append((tag, current))
            continue
        (length,) = struct.unpack(">H", data[pos:pos + 2])
        name = data[pos + 2:pos + 2 + length].decode()
        pos += 2 + length
        (length,) = struct.unpack(">H", data[pos:pos + 2])
        raw = data[pos + 2:pos + 2 + length]
        pos += 2 + length
        if tag in (INTEGER, ENUM):
            value = struct.unpack(">i", raw)[0]
        elif tag in TEXTUAL:
            value = raw.decode("utf-8", "replace")
        else:
            value = raw
        if name:
            last = name
            current.setdefault(name, []).append(value)
        else:
            current[last].append(value)
    return status, groups, data[pos:]


def user_name():
    """The name CUPS knows this user by, so that Get-Jobs and Get-Document show the user's jobs."""
    try:
        return pwd.getpwuid(os.getuid()).pw_name
    except KeyError:
        return os.environ.get("USER") or str(os.getuid())


class Cups:
    """A few IPP operations on the scheduler the program prints through (CUPS_SERVER, else the
    local socket)."""

    def __init__(self):
        self.server = os.environ.get("CUPS_SERVER") or "/run/cups/cups.sock"
        self.user = user_name()

    def _connection(self):
        if self.server.startswith("/"):
            path = self.server

            class UnixConnection(http.client.HTTPConnection):
                def connect(self):
                    self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    self.sock.settimeout(self.timeout)
                    self.sock.connect(path)

            return UnixConnection("localhost", timeout=20)
        host, _, port = self.server.partition(":")
        return http.client.HTTPConnection(host, int(port or 631), timeout=20)

    def call(self, operation, attrs, path="/"):
        """The response groups and trailing data of one operation; an error status fails."""
        conn = self._connection()
        try:
            conn.request("POST", path, body=encode_request(operation, self.user, attrs),
                         headers={"Content-Type": "application/ipp"})
            data = conn.getresponse().read()
        finally:
            conn.close()
        status, groups, rest = decode_response(data)
        if status >= 0x0100:
            raise CheckFailed(f"IPP operation {operation:#06x} on {self.server}: status {status:#06x} {groups}")
        return groups, rest

    def default_printer(self):
        """(name, left margin pt, top margin pt) of the default queue."""
        groups, _ = self.call(GET_DEFAULT, [(KEYWORD, "requested-attributes", [
            "printer-name", "media-left-margin-supported", "media-top-margin-supported"])])
        printer = next((g for tag, g in groups if tag == PRINTER_GROUP), {})
        if "printer-name" not in printer:
            raise CheckFailed("CUPS names no default printer")
        # hundredths of a millimetre
        left = min(printer.get("media-left-margin-supported", [0])) / 2540 * 72
        top = min(printer.get("media-top-margin-supported", [0])) / 2540 * 72
        return printer["printer-name"][0], left, top

    def jobs(self, printer):
        """{job id: job state} of every job of a queue, finished or not."""
        groups, _ = self.call(GET_JOBS, [
            (URI, "printer-uri", f"ipp://localhost/printers/{printer}"),
            (KEYWORD, "which-jobs", "all"),
            (KEYWORD, "requested-attributes", ["job-id", "job-state"])])
        return {g["job-id"][0]: g.get("job-state", [0])[0] for tag, g in groups if tag == JOB_GROUP and "job-id" in g}

    def document(self, job_id):
        """The first document of a job, as the program submitted it."""
        _, doc = self.call(GET_DOCUMENT, [
            (URI, "job-uri", f"ipp://localhost/jobs/{job_id}"), (INTEGER, "document-number", 1)],
            path=f"/jobs/{job_id}")
        return doc
