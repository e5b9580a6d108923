#!/usr/bin/env python3
"""Plays the QR scanner service: scans one ticket and prints zub's verdict.

    scan_ticket.py                         # an urban ticket for axis 1, issued now, 60 minutes
    scan_ticket.py '1|7|3|ABC|1|2|...'     # any ticket text
    scan_ticket.py --key-file /secure/place/qr.key

The text is enciphered as the device's tickets are (Triple-DES under the build's QR master key
and two random key pieces, then Base64); the default key is the all-zero key of a build made
without one. Needs the openssl command for the cipher. Reports the scanner up (so that zub
switches it on) unless the scanner's status that an earlier run left on the broker says it is
on already, scans, and prints what zub publishes on "<zub base>/barcode/scanned".
"""

import argparse
import base64
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from mqttlite import connect, unheard  # noqa: E402


def urban_ticket(now):
    # axis|user|device|reservation|from zone|to zone|issued|ticket id|route execution|seat|open|
    # type|parcel|fare product|passenger type|expiry|validity start|life span (min)|carrier
    fields = [1, 7, 3, "EX1", 1, 2, now, 4242, 0, 0, "false", "PASSENGER", 0, 1, 1, 0, now, 60, 1]
    return "|".join(str(f) for f in fields)


def encipher(text, master_key):
    data = text.encode("latin-1")
    pad = 8 - len(data) % 8
    data += bytes([pad]) * pad
    piece_a, piece_b = os.urandom(4), os.urandom(4)
    key = (master_key + piece_a + piece_b).hex()
    cipher = subprocess.run(["openssl", "enc", "-des-ede3", "-K", key, "-nopad"],
                            input=data, capture_output=True, check=True).stdout
    return base64.b64encode(piece_a + cipher + piece_b).decode("ascii")


def read_key(path):
    if not path:
        return bytes(16)
    raw = open(path, "rb").read()
    return raw if len(raw) == 16 else bytes.fromhex(raw.decode("ascii").strip())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("text", nargs="?", help="the ticket text (default: an urban ticket issued now)")
    parser.add_argument("--key-file", help="the QR master key the build was given (16 bytes or 32 hex digits)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=1883, help="the local broker zub uses")
    parser.add_argument("--qr-base", default="zeto/barcodeman")
    parser.add_argument("--zub-base", default="zeto/zub")
    parser.add_argument("--timeout", type=float, default=5.0)
    args = parser.parse_args()

    text = args.text or urban_ticket(int(time.time()))
    payload = encipher(text, read_key(args.key_file))
    qr, result = args.qr_base, f"{args.zub_base}/barcode/scanned"
    client = connect(args.host, args.port, "scan-ticket", args.timeout)
    try:
        client.subscribe(f"{qr}/status", f"{qr}/enable", result)
        # Kept on the broker as a scanner service keeps it, once a zub has enabled the scanner:
        # zub enables a scanner only when off.
        on = {"service": True, "device": {"active": True, "enabled": True}}
        if client.retained(f"{qr}/status") == on:
            print("(the scanner is on already)")
        else:
            client.publish(f"{qr}/status", {"service": True, "device": {"active": True, "enabled": False}})
            if client.wait_for(f"{qr}/enable", 2.0):
                print(f"<- {qr}/enable")
                client.publish(f"{qr}/status", on, retain=True)
        print(f"-> {qr}/barcode: {text}")
        print(f"   enciphered: {payload}")
        client.publish(f"{qr}/barcode", {"data": payload})
        got = client.wait_for(result, args.timeout)
    finally:
        client.close()
    if not got:
        sys.exit(unheard(f"No verdict on {result}", args.host, args.port, args.timeout))
    print(f"<- {got[0]}: {json.dumps(json.loads(got[1]), ensure_ascii=False)}")


if __name__ == "__main__":
    main()
