#!/usr/bin/env python3
"""Watches the cards' lock: polls each card's lock status four times a second, as the operator
program does, and prints a line whenever a card's status changes, with its Es/No.

    python3 examples/watch_lock.py --emulate 2      # until Ctrl+C
    python3 examples/watch_lock.py --seconds 60
"""

from __future__ import annotations

import argparse
import datetime
import sys
import time

from example_cards import argument_parser, run_on_cards, zorv

POLL_SECONDS = 0.25


def arguments() -> argparse.Namespace:
    parser = argument_parser(__doc__)
    parser.add_argument("--seconds", type=float, help="stop after this long (else at Ctrl+C)")
    return parser.parse_args()


def es_no_text(card: zorv.Card) -> str:
    try:
        return f"Es/No {card.es_no():.1f} dB"
    except (zorv.ZorvError, ValueError):
        return "no Es/No"


def watch(cards: list[zorv.Card], seconds: float | None) -> int:
    last: dict[int, zorv.LockStatus] = {}
    deadline = None if seconds is None else time.monotonic() + seconds
    while deadline is None or time.monotonic() < deadline:
        for card in cards:
            try:
                status = card.lock_status()
            except zorv.ZorvError as error:
                status = error.name
            if last.get(card.index) != status:
                last[card.index] = status
                name = status.name if isinstance(status, zorv.LockStatus) else status
                now = datetime.datetime.now().strftime("%H:%M:%S.%f")[:-3]
                print(f"{now} card {card.index + 1}: {name} ({es_no_text(card)})", flush=True)
        time.sleep(POLL_SECONDS)
    return 0


def main() -> int:
    options = arguments()

    def on_cards(cards: list[zorv.Card]) -> int:
        print(f"{len(cards)} card(s); watching their lock", flush=True)
        return watch(cards, options.seconds)

    return run_on_cards("watch_lock", options, on_cards)


if __name__ == "__main__":
    sys.exit(main())
