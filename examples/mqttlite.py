"""Just enough MQTT 3.1.1 (QoS 0, no TLS) over a plain socket for the example scripts, so that
they need nothing beyond Python's standard library."""

import json
import os
import socket
import struct
import sys
import time


def _length(n):
    out = bytearray()
    while True:
        byte, n = n % 128, n // 128
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def _text(s):
    data = s.encode("utf-8")
    return struct.pack(">H", len(data)) + data


def _packet(kind, body):
    return bytes([kind]) + _length(len(body)) + body


def _message(kind, body):
    """(retained, topic, payload) of a PUBLISH packet."""
    (topic_length,) = struct.unpack(">H", body[:2])
    topic = body[2:2 + topic_length].decode("utf-8")
    offset = 2 + topic_length + (2 if kind & 0x06 else 0)
    return bool(kind & 0x01), topic, body[offset:]


def topic_matches(pattern, topic):
    """MQTT filter matching with "+" and "#"."""
    parts, names = pattern.split("/"), topic.split("/")
    for i, part in enumerate(parts):
        if part == "#":
            return True
        if i >= len(names) or (part != "+" and part != names[i]):
            return False
    return len(parts) == len(names)


PORT_HINT = "When port 1883 is taken, scripts/run picks another and prints it: name that one with --port."


def unheard(what, host, port, seconds):
    """The line for an example that heard nothing: which broker it tried and how to name another."""
    return f"{what} within {seconds} s on the broker at {host}:{port}: is zub running on it? {PORT_HINT}"


def connect(host, port, name, timeout):
    """A client of the broker at host:port; the process ends with a clear line when it cannot be one."""
    try:
        return Client(host, port, name, timeout)
    except OSError as error:
        sys.exit(f"Cannot connect to an MQTT broker at {host}:{port} ({error}). Is zub running (scripts/run)? "
                 + PORT_HINT)


class Client:
    def __init__(self, host="127.0.0.1", port=1883, name="example", timeout=5.0):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self._pending = []  # (retained, topic, payload) read while waiting for something else
        client_id = f"{name}-{os.getpid()}"
        self.sock.sendall(_packet(0x10, _text("MQTT") + bytes([4, 0x02]) + struct.pack(">H", 30) + _text(client_id)))
        kind, body = self._read()
        if kind != 0x20 or body[1] != 0:
            raise ConnectionError(f"the broker refused the connection ({body.hex()})")
        self._packet_id = 0

    def close(self):
        try:
            self.sock.sendall(_packet(0xE0, b""))
        finally:
            self.sock.close()

    def subscribe(self, *filters):
        self._packet_id += 1
        body = struct.pack(">H", self._packet_id) + b"".join(_text(f) + b"\x00" for f in filters)
        self.sock.sendall(_packet(0x82, body))
        self._read_until(0x90)

    def sync(self):
        """Returns once the broker answers a ping: what it sent before, the retained messages of
        the subscriptions made so far among them, is then at hand."""
        self.sock.sendall(_packet(0xC0, b""))
        self._read_until(0xD0)

    def retained(self, topic):
        """The JSON the broker keeps on `topic` (subscribed to before); None when it keeps none."""
        self.sync()
        kept = [payload for retained, name, payload in self._pending if retained and name == topic]
        try:
            return json.loads(kept[-1]) if kept else None
        except ValueError:
            return None

    def publish(self, topic, payload, retain=False):
        if not isinstance(payload, (bytes, str)):
            payload = json.dumps(payload, separators=(",", ":"))
        if isinstance(payload, str):
            payload = payload.encode("utf-8")
        self.sock.sendall(_packet(0x31 if retain else 0x30, _text(topic) + payload))

    def messages(self, seconds):
        """Yields (topic, payload bytes) until `seconds` have passed."""
        deadline = time.monotonic() + seconds
        while self._pending:
            yield self._pending.pop(0)[1:]
        timeout = self.sock.gettimeout()
        try:
            while True:
                left = deadline - time.monotonic()
                if left <= 0:
                    return
                self.sock.settimeout(left)
                try:
                    kind, body = self._read()
                except socket.timeout:
                    return
                if kind & 0xF0 == 0x30:
                    yield _message(kind, body)[1:]
        finally:
            self.sock.settimeout(timeout)

    def wait_for(self, pattern, seconds):
        """The first message on a topic matching `pattern`, or None."""
        for topic, payload in self.messages(seconds):
            if topic_matches(pattern, topic):
                return topic, payload
        return None

    def _read_until(self, wanted):
        """Reads up to the packet of kind `wanted`, keeping the messages that come before it."""
        while True:
            kind, body = self._read()
            if kind == wanted:
                return
            if kind & 0xF0 == 0x30:
                self._pending.append(_message(kind, body))

    def _read_exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("the broker closed the connection")
            data += chunk
        return data

    def _read(self):
        kind = self._read_exactly(1)[0]
        length, shift = 0, 0
        while True:
            byte = self._read_exactly(1)[0]
            length += (byte & 0x7F) << shift
            shift += 7
            if not byte & 0x80:
                break
        return kind, self._read_exactly(length)
