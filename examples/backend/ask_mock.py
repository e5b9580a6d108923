#!/usr/bin/env python3
"""Sends one request to the database service's topic, as the UI does, and prints the answer.

    ask_mock.py getRoutes
    ask_mock.py getStopGroups 101
    ask_mock.py getFareProducts 101

With "db/mock_dbman" set, zub answers these itself from its route and fare data. Needs nothing
beyond Python's standard library.
"""

import argparse
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from mqttlite import connect, unheard  # noqa: E402

REQUEST_TOPIC = "zeto/db/request"
REQUESTER = "example"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("method", help="getRoutes, getStopGroups or getFareProducts")
    parser.add_argument("axis", nargs="?", type=int, help="the axis id of getStopGroups and getFareProducts")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=1883, help="the OBU broker zub uses")
    parser.add_argument("--timeout", type=float, default=5.0)
    args = parser.parse_args()

    # The answer comes on a topic named after the id: no two requesters running at once share a
    # process id.
    request_id = os.getpid()
    answer_topic = f"zeto/db/response/{REQUESTER}/{request_id}"
    request = {"src": REQUESTER, "id": request_id, "method": args.method}
    if args.axis is not None:
        request["params"] = [{"name": "axis_id", "value": args.axis}]

    client = connect(args.host, args.port, "ask-mock", args.timeout)
    try:
        client.subscribe(answer_topic)
        client.publish(REQUEST_TOPIC, json.dumps(request))
        print(f"-> {REQUEST_TOPIC}: {json.dumps(request)}")
        got = client.wait_for(answer_topic, args.timeout)
    finally:
        client.close()
    if not got:
        sys.exit(unheard(f"No answer on {answer_topic}", args.host, args.port, args.timeout)
                 + " zub answers these with db/mock_dbman set, as scripts/run --backend runs it.")
    print(f"<- {got[0]}:")
    print(json.dumps(json.loads(got[1]), ensure_ascii=False, indent=2))

if __name__ == "__main__":
    main()
