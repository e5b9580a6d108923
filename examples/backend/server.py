#!/usr/bin/env python3
"""A local stand-in for the fare back-end, serving the example data of this folder.

It answers the paths zub calls under any base path (http://127.0.0.1:PORT/bo/web/api/...):

  POST web/api/sync_bo                 route tables, fare tables or device parameters
  POST web/api/customers/get_details   a customer of customers.json, with a small picture
  POST web/api/deviceManager/save      accepts the device-management report
  GET  web/abt/client/action           the actions of actions.json after "actionId"
  POST web/abt/client/action/complete  accepts a report of an applied action

A sync since a date answers empty tables unless a data file changed after that date, so
editing a file in data/ while zub runs makes the next sync carry it. Standard library only.
"""

import argparse
import base64
import datetime
import json
import os
import struct
import sys
import time
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DATE_FORMAT = "%d/%m/%Y %H:%M:%S"  # the back-end's dates, device-local time

ROUTE_TABLES = ["Axis", "AxisStops", "Stops", "StopGroups", "StopGroupStops"]
FARE_TABLES = ["TicketMaterials", "PassengerTypes", "PaymentChannels", "PaymentMethods", "BaseFares",
               "FareProducts", "FareProductBaseFares", "FareProductPassengerTypes",
               "FareProductTicketMaterials", "FareProductPaymentMethods", "FareProductPaymentChannels",
               "CappingRules", "CappingRuleStopGroups"]
ROUTE_TABLE_NUMBERS = {1, 2, 3, 19}
FARE_TABLE_NUMBERS = {7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 41, 42}
DEVICE_PARAM_TABLE = 20


def log(text):
    stamp = datetime.datetime.now().strftime("%H:%M:%S")
    print(f"[backend {stamp}] {text}", file=sys.stderr, flush=True)


def small_png(rgb=(30, 136, 229), size=8):
    """A plain square picture, made here so that no image file has to be kept."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    row = b"\x00" + bytes(rgb) * size
    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(row * size))
            + chunk(b"IEND", b""))


class Data:
    """The files of the data folder, read afresh at every request."""

    def __init__(self, folder):
        self.folder = folder

    def path(self, name):
        return os.path.join(self.folder, name)

    def load(self, name):
        with open(self.path(name), encoding="utf-8") as f:
            return json.load(f)

    def changed_since(self, name, since):
        if since is None:
            return True
        changed = datetime.datetime.fromtimestamp(os.path.getmtime(self.path(name)))
        return changed.replace(microsecond=0) >= since


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "zub-example-backend/1"

    # -- plumbing -------------------------------------------------------------------------

    def log_message(self, fmt, *args):  # the summary lines below say more
        pass

    def send_json(self, status, document):
        body = json.dumps(document, ensure_ascii=False).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length > 0 else b""
        if not raw:
            return {}
        try:
            document = json.loads(raw)
        except ValueError:
            return None
        return document if isinstance(document, dict) else None

    def authorised(self):
        expected = self.server.api_key
        if expected is None or self.headers.get("x-api-key") == expected:
            return True
        log(f"{self.command} {self.path} refused: wrong x-api-key")
        self.send_json(401, {"status": "ERROR", "errorCode": "401", "errorMessage": "Unknown API key"})
        return False

    def route(self):
        parsed = urllib.parse.urlsplit(self.path)
        return parsed.path, urllib.parse.parse_qs(parsed.query)

    # -- requests ---------------------------------------------------------------------------

    def guarded(self, work):
        """A data file being edited must not cost the device its answer: it gets a 500."""
        try:
            work()
        except (OSError, ValueError) as error:
            log(f"{self.command} {self.path} failed: {error}")
            self.send_json(500, {"status": "ERROR", "errorCode": "500", "errorMessage": str(error)})

    def do_GET(self):
        self.guarded(self.get)

    def do_POST(self):
        self.guarded(self.post)

    def get(self):
        if not self.authorised():
            return
        path, query = self.route()
        if path.endswith("/web/abt/client/action"):
            return self.action_list(query)
        log(f"GET {path}: unknown path")
        self.send_json(404, {"status": "ERROR", "errorMessage": "Unknown path"})

    def post(self):
        body = self.read_body()
        if not self.authorised():
            return
        path, _ = self.route()
        if body is None:
            log(f"POST {path}: body is not a JSON object")
            return self.send_json(400, {"status": "ERROR", "errorMessage": "Body is not a JSON object"})
        handlers = [
            ("/web/api/sync_bo", self.sync),
            ("/web/api/customers/get_details", self.customer),
            ("/web/api/deviceManager/save", self.device_management),
            ("/web/abt/client/action/complete", self.action_complete),
        ]
        for suffix, handler in handlers:
            if path.endswith(suffix):
                return handler(body)
        log(f"POST {path}: unknown path")
        self.send_json(404, {"status": "ERROR", "errorMessage": "Unknown path"})

    def sync(self, body):
        tables = {t for t in body.get("syncTables") or [] if isinstance(t, int)}
        since_text = body.get("lastSyncDate")
        since = None
        if isinstance(since_text, str):
            try:
                since = datetime.datetime.strptime(since_text, DATE_FORMAT)
            except ValueError:
                pass
        reply = {"resp": "OK", "newsyncdate": datetime.datetime.now().strftime(DATE_FORMAT)}
        parts = []
        for numbers, name, keys in ((ROUTE_TABLE_NUMBERS, "routes.json", ROUTE_TABLES),
                                    (FARE_TABLE_NUMBERS, "fares.json", FARE_TABLES)):
            if not tables & numbers:
                continue
            fresh = self.server.data.changed_since(name, since)
            content = self.server.data.load(name) if fresh else {}
            for key in keys:
                reply[key] = content.get(key, [])
            parts.append(f"{name[:-5]} {'changed' if fresh else 'unchanged'}")
        if DEVICE_PARAM_TABLE in tables:
            fresh = self.server.data.changed_since("device-params.json", since)
            params = self.server.data.load("device-params.json").get("DeviceTypeKeyValues", []) if fresh else []
            reply["DeviceTypeKeyValues"] = params
            parts.append(f"{len(params)} device parameter(s)")
        log(f"sync_bo device={body.get('devicesUuid')!r} since={since_text}: " + (", ".join(parts) or "nothing asked"))
        self.send_json(200, reply)

    def customer(self, body):
        time.sleep(self.server.customer_delay_ms / 1000.0)
        wanted_id, wanted_card = body.get("id"), body.get("smartCardUuid")
        for customer in self.server.data.load("customers.json").get("customers", []):
            if (wanted_id is not None and customer.get("id") == wanted_id) or \
                    (wanted_card is not None and customer.get("smartCardUuid") == wanted_card):
                found = dict(customer)
                found["customerImageBase64"] = base64.b64encode(small_png()).decode("ascii")
                log(f"customer id={wanted_id} card={wanted_card}: {found['name']} {found['surname']}")
                return self.send_json(200, {"status": "OK", "customerDetailsDtoList": [found]})
        log(f"customer id={wanted_id} card={wanted_card}: not found")
        self.send_json(200, {"status": "ERROR", "errorCode": "404", "errorMessage": "Customer not found"})

    def device_management(self, body):
        log("device-management report: " + ", ".join(sorted(body.keys())))
        self.send_json(200, {"status": "OK", "successMessage": "Report saved", "errorCode": "", "errorMessage": ""})

    def action_list(self, query):
        try:
            after = int(query.get("actionId", ["0"])[0])
        except ValueError:
            after = 0
        actions = [a for a in self.server.data.load("actions.json").get("actions", []) if a.get("id", 0) > after]
        log(f"action list after {after}: {len(actions)} action(s)")
        self.send_json(200, actions)

    def action_complete(self, body):
        log("action completed: " + json.dumps(body, ensure_ascii=False)[:200])
        self.send_json(200, {"code": "OK", "message": "Action completion recorded"})


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0 takes a free port")
    parser.add_argument("--data", default=os.path.join(here, "data"), help="folder of the example files")
    parser.add_argument("--api-key", default=None, help="refuse requests without this x-api-key")
    parser.add_argument("--port-file", default=None, help="write the port here once listening")
    parser.add_argument("--customer-delay-ms", type=int, default=0, help="answer customer look-ups this much later")
    args = parser.parse_args()

    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    server.data = Data(args.data)
    server.api_key = args.api_key
    server.customer_delay_ms = max(0, args.customer_delay_ms)
    port = server.server_address[1]
    log(f"serving {args.data} on http://{args.host}:{port}/")
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(f"{port}\n")
        os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
