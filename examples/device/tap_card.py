#!/usr/bin/env python3
"""Plays the card reader service: taps a sample card and prints what zub answers.

    tap_card.py desv3            # one of: desv3 desv2 luc lucv2 desv4 emv (cards/<layout>.json)
    tap_card.py luc --uid 0455AA --port 1884

Reports the reader up (so that zub switches it on) and answers the enable request, unless the
reader's status that an earlier run left on the broker says it is on already; publishes the
card as found and auto-read, answers any write request as completed, and prints the LED request and the verdict
zub publishes ("<zub base>/rfid/scanned", or "card/inspected" in inspection mode).
"""

import argparse
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from mqttlite import connect, topic_matches, unheard  # noqa: E402

# The reader's status, kept on the broker as a reader service keeps it once zub has enabled
# it: a "state" above 1 is an enabled reader, which zub does not enable again.
READER_UP = {"service": True, "device": {"state": 1, "active": True, "sams": [1]}}
READER_ON = {"service": True, "device": {"state": 2, "active": True, "sams": [1]}}


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


def reader_on(status):
    """Whether a reader status (JSON, or None) is an enabled reader's."""
    try:
        return status["device"]["state"] > 1
    except (TypeError, KeyError):
        return False


def tap(args, client):
    """Taps the card; returns the verdict payload (a dict) or None."""
    with open(os.path.join(HERE, "cards", args.layout + ".json")) as f:
        card = json.load(f)
    if args.uid:
        card["uid"] = args.uid
    rfid, zub = args.rfid_base, args.zub_base
    results = (f"{zub}/rfid/scanned", f"{zub}/card/inspected")
    client.subscribe(f"{rfid}/status", f"{rfid}/enable/request/+", f"{rfid}/led/set/request/+",
                     f"{rfid}/card/write/request/+", *results)

    if reader_on(client.retained(f"{rfid}/status")):
        print("(the reader is on already)")
    else:
        client.publish(f"{rfid}/status", READER_UP)
        got = client.wait_for(f"{rfid}/enable/request/+", 2.0)
        if got:
            show("<-", *got)
            client.publish(got[0].replace("/request/", "/response/"), {"completed": True})
            # Kept only where a zub answered: a broker without one gets nothing to keep.
            client.publish(f"{rfid}/status", READER_ON, retain=True)
        else:
            print("(no enable request: zub had the reader on already, is in inspection mode, or is not on this broker)")

    client.publish(f"{rfid}/card/found", {"uid": card["uid"], "type": card["type"]})
    client.publish(f"{rfid}/card/autoread", card)
    print(f"-> {rfid}/card/autoread: {card['template']} card {card['uid']}")

    verdict, seconds = None, args.timeout
    for topic, payload in client.messages(seconds):
        if topic_matches(f"{rfid}/card/write/request/+", topic):
            show("<-", topic, payload)
            # As the reader answers: the written card's uid and template, by which zub finds
            # the tap and the validator the answer belongs to.
            written = json.loads(payload)
            data = {key: written.get(key, card[key]) for key in ("uid", "template")}
            client.publish(topic.replace("/request/", "/response/"), {"completed": True, "data": data})
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
        print(unheard("No verdict", args.host, args.port, args.timeout))
    return verdict


def main():
    args = arguments(__doc__.splitlines()[0]).parse_args()
    client = connect(args.host, args.port, "tap-card", args.timeout)
    try:
        sys.exit(0 if tap(args, client) is not None else 1)
    finally:
        client.close()


if __name__ == "__main__":
    main()
