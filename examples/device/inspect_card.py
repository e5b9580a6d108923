#!/usr/bin/env python3
"""Switches zub into inspection mode, taps a sample card and prints the inspection result.

    inspect_card.py desv3            # then inspection mode stays on
    inspect_card.py desv3 --off      # and switch it off again afterwards

Inspection mode is the setting "zub/inspection_mode", set here over zub's config-set topic.
"""

import sys

from tap_card import arguments, connect, tap


def set_mode(args, client, on):
    client.publish(f"{args.zub_base}/config/set", {"zub": {"inspection_mode": on}})
    print(f"-> {args.zub_base}/config/set: inspection_mode {'on' if on else 'off'}")
    # zub answers every configuration set with its whole configuration.
    client.wait_for(f"{args.zub_base}/config", args.timeout)


def main():
    parser = arguments(__doc__.splitlines()[0])
    parser.add_argument("--off", action="store_true", help="switch inspection mode off afterwards")
    args = parser.parse_args()
    client = connect(args.host, args.port, "inspect-card", args.timeout)
    try:
        client.subscribe(f"{args.zub_base}/config")
        set_mode(args, client, True)
        verdict = tap(args, client)
        if args.off:
            set_mode(args, client, False)
        sys.exit(0 if verdict is not None else 1)
    finally:
        client.close()


if __name__ == "__main__":
    main()
