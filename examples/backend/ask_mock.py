#!/usr/bin/env python3
"""Sends one request to the database service's topic, as the UI does, and prints the answer.

    ask_mock.py getRoutes
    ask_mock.py getStopGroups 101
    ask_mock.py getFareProducts 101

With "db/mock_dbman" set, zub answers these itself from its route and fare data. Speaks just
enough MQTT 3.1.1 (QoS 0) over a plain socket to need nothing beyond Python's standard library.
"""

import argparse
import json
import os
import socket
import struct
import sys
import time

REQUEST_TOPIC = "zeto/db/request"
REQUESTER = "example"


def encode_length(n):
    out = bytearray()
    while True:
        byte, n = n % 128, n // 128
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def text(s):
    data = s.encode("utf-8")
    return struct.pack(">H", len(data)) + data


def packet(kind, body):
    return bytes([kind]) + encode_length(len(body)) + body


def read_exactly(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ConnectionError("the broker closed the connection")
        data += chunk
    return data


def read_packet(sock):
    kind = read_exactly(sock, 1)[0]
    length, shift = 0, 0
    while True:
        byte = read_exactly(sock, 1)[0]
        length += (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            break
    return kind, read_exactly(sock, length)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("method", help="getRoutes, getStopGroups or getFareProducts")
    parser.add_argument("axis", nargs="?", type=int, help="the axis id of getStopGroups and getFareProducts")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=1883, help="the OBU broker zub uses")
    parser.add_argument("--timeout", type=float, default=5.0)
    args = parser.parse_args()

    request_id = int(time.time()) % 100000
    answer_topic = f"zeto/db/response/{REQUESTER}/{request_id}"
    request = {"src": REQUESTER, "id": request_id, "method": args.method}
    if args.axis is not None:
        request["params"] = [{"name": "axis_id", "value": args.axis}]

    with socket.create_connection((args.host, args.port), timeout=args.timeout) as sock:
        client_id = f"ask-mock-{os.getpid()}"
        sock.sendall(packet(0x10, text("MQTT") + bytes([4, 0x02]) + struct.pack(">H", 30) + text(client_id)))
        kind, body = read_packet(sock)
        if kind != 0x20 or body[1] != 0:
            sys.exit(f"The broker refused the connection ({body.hex()})")
        sock.sendall(packet(0x82, struct.pack(">H", 1) + text(answer_topic) + b"\x00"))
        while read_packet(sock)[0] != 0x90:
            pass
        sock.sendall(packet(0x30, text(REQUEST_TOPIC) + json.dumps(request).encode("utf-8")))
        print(f"-> {REQUEST_TOPIC}: {json.dumps(request)}")

        deadline = time.monotonic() + args.timeout
        while time.monotonic() < deadline:
            sock.settimeout(max(0.1, deadline - time.monotonic()))
            try:
                kind, body = read_packet(sock)
            except socket.timeout:
                break
            if kind & 0xF0 != 0x30:
                continue
            (topic_length,) = struct.unpack(">H", body[:2])
            topic = body[2:2 + topic_length].decode("utf-8")
            offset = 2 + topic_length + (2 if kind & 0x06 else 0)
            if topic == answer_topic:
                answer = json.loads(body[offset:])
                print(f"<- {topic}:")
                print(json.dumps(answer, ensure_ascii=False, indent=2))
                sock.sendall(packet(0xE0, b""))
                return
        sys.exit(f"No answer on {answer_topic} within {args.timeout} s (is zub running with db/mock_dbman?)")


if __name__ == "__main__":
    main()
