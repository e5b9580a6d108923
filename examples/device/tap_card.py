#!/usr/bin/env python3
"""Plays the card reader service: taps a sample card and prints what zub answers.

    tap_card.py desv3            # one of: desv3 desv2 luc lucv2 desv4 emv (cards/<layout>.json)
    tap_card.py luc --uid 0455AA --port 1884

Reports the reader up (so that zub switches it on), answers the enable request, publishes the
card as found and auto-read, answers any write request as completed, and prints the LED request
and the verdict zub publishes ("<zub base>/rfid/scanned", or "card/inspected" in inspection mode).
"""

import argparse
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from mqttlite import Client, topic_matches  # noqa: E402

READER_UP = {"service": True, "device": {"state": 1, "active": True, "sams": [1]}}


def arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("layout", choices=sorted(f[:-5] for f in os.listdir(os.path.join(HERE, "cards"))))
    parser.add_argument("--uid", help="the card's uid (default: the sample's own)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=1883, help="the local broker zub uses")
    parser.add_argument("--rfid-base", default="zeto/rfid")
    parser.add_argument("--zub-base", default="zeto/zub")
    parser.add_argument("--timeout", type=float, default=5.0)
    return parser


def show(direction, topic, payload):
    try:
        payload = json.dumps(json.loads(payload), ensure_ascii=False)
    except ValueError:
        payload = payload.decode("utf-8", "replace")
    print(f"{direction} {topic}: {payload}")


def tap(args, client):
    """Taps the card; returns the verdict payload (a dict) or None."""
    with open(os.path.join(HERE, "cards", args.layout + ".json")) as f:
        card = json.load(f)
    if args.uid:
        card["uid"] = args.uid
    rfid, zub = args.rfid_base, args.zub_base
    results = (f"{zub}/rfid/scanned", f"{zub}/card/inspected")
    client.subscribe(f"{rfid}/enable/request/+", f"{rfid}/led/set/request/+",
                     f"{rfid}/card/write/request/+", *results)

    client.publish(f"{rfid}/status", READER_UP)
    got = client.wait_for(f"{rfid}/enable/request/+", 2.0)
    if got:
        show("<-", *got)
        client.publish(got[0].replace("/request/", "/response/"), {"completed": True})
    else:
        print("(no enable request: the reader was on already, or zub is in inspection mode)")

    client.publish(f"{rfid}/card/found", {"uid": card["uid"], "type": card["type"]})
    client.publish(f"{rfid}/card/autoread", card)
    print(f"-> {rfid}/card/autoread: {card['template']} card {card['uid']}")

    verdict, seconds = None, args.timeout
    for topic, payload in client.messages(seconds):
        if topic_matches(f"{rfid}/card/write/request/+", topic):
            show("<-", topic, payload)
            client.publish(topic.replace("/request/", "/response/"),
                           {"completed": True, "data": {"uid": card["uid"]}})
        elif topic_matches(f"{rfid}/led/set/request/+", topic):
            show("<-", topic, payload)
        elif topic in results:
            show("<-", topic, payload)
            verdict = json.loads(payload)
            break
    if verdict is not None:
        # The lights may follow the verdict.
        for topic, payload in client.messages(0.5):
            if topic_matches(f"{rfid}/led/set/request/+", topic):
                show("<-", topic, payload)
    if verdict is None:
        print(f"No verdict within {args.timeout} s")
    return verdict


def main():
    args = arguments(__doc__.splitlines()[0]).parse_args()
    client = Client(args.host, args.port, "tap-card", args.timeout)
    try:
        sys.exit(0 if tap(args, client) is not None else 1)
    finally:
        client.close()


if __name__ == "__main__":
    main()
