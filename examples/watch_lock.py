#!/usr/bin/env python3
"""Watches the cards' lock: polls each card's lock status four times a second, as the operator
program does, and prints a line whenever a card's status changes, with its Es/No.

    python3 examples/watch_lock.py --emulate 2      # until Ctrl+C
    python3 examples/watch_lock.py --seconds 60
"""

from __future__ import annotations

import argparse
import datetime
import os
import sys
import time
from pathlib import Path

# Run from the source tree without installing the package.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))

import zorv  # noqa: E402

POLL_SECONDS = 0.25


def arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--emulate", metavar="N|FILE",
                        help="emulated cards: a count or a scenario file (sets ZORV_EMULATE)")
    parser.add_argument("--seconds", type=float, help="stop after this long (else at Ctrl+C)")
    return parser.parse_args()


def es_no_text(card: zorv.Card) -> str:
    try:
        return f"Es/No {card.es_no():.1f} dB"
    except (zorv.ZorvError, ValueError):
        return "no Es/No"


def watch(cards: list[zorv.Card], seconds: float | None) -> None:
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


def main() -> int:
    options = arguments()
    if options.emulate:
        os.environ["ZORV_EMULATE"] = options.emulate  # read by the library as it loads
    try:
        with zorv.Library() as library:
            cards = library.open()
            print(f"{len(cards)} card(s); watching their lock", flush=True)
            watch(cards, options.seconds)
    except KeyboardInterrupt:
        pass
    except (zorv.ZorvError, zorv.CardsInUse, zorv.LibraryNotFound) as error:
        print(f"watch_lock: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
