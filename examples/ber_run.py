#!/usr/bin/env python3
"""Runs a bit error test with forced errors (one in a thousand bits) on a card and prints the
bit error rate: programs the card, waits for its lock, counts for the given seconds, and turns
the test off again.

    python3 examples/ber_run.py --emulate 1          # on one emulated card, 10 s
    python3 examples/ber_run.py --card 2 --seconds 60
"""

from __future__ import annotations

import argparse
import sys
import time

from example_cards import argument_parser, run_on_cards, zorv

LOCK_WAIT_SECONDS = 2.0


def arguments() -> argparse.Namespace:
    parser = argument_parser(__doc__)
    parser.add_argument("--card", type=int, default=1, help="card number, 1 for the first")
    parser.add_argument("--seconds", type=float, default=10.0, help="how long to count")
    parser.add_argument("--bit-rate", type=int, default=1024000, help="bits per second")
    parser.add_argument("--input", type=int, default=zorv.InputSource.SE_INPUT_2,
                        help="input source row (1: the simulator input)")
    return parser.parse_args()


def ber_setup(options: argparse.Namespace, testing: bool) -> zorv.BitsyncSetup:
    return zorv.BitsyncSetup(
        Model=zorv.Model.KELT_20, InputSource=options.input, InputCode=zorv.InputCode.NRZL,
        OutputCode=zorv.OutputCode.NRZL, LoopBandwidth=zorv.LoopBandwidth.BW_0_5,
        BitRate=options.bit_rate, BitDecisionDetector=1, Pattern15Bit=1,
        BerTestingEnabled=testing, KnownErrorMode=testing)


def wait_for_lock(card: zorv.Card) -> bool:
    deadline = time.monotonic() + LOCK_WAIT_SECONDS
    while card.lock_status() != zorv.LockStatus.LOCKED:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def run(card: zorv.Card, options: argparse.Namespace) -> int:
    card.load_bitsync_setup(ber_setup(options, testing=True))
    try:
        if not wait_for_lock(card):
            print(f"card {options.card} did not lock: {card.lock_status().name}", file=sys.stderr)
            return 1
        # The module counts from the setup load on.
        time.sleep(options.seconds)
        counts = card.link_analysis_counts()
    finally:
        card.load_bitsync_setup(ber_setup(options, testing=False))
    if counts.bit_error_rate is None:
        print(f"card {options.card} counted no bit", file=sys.stderr)
        return 1
    print(f"card {options.card}: {counts.bits} bits, {counts.errors} errors")
    print(f"BER {counts.bit_error_rate:.4E}")
    return 0


def main() -> int:
    options = arguments()

    def on_card(cards: list[zorv.Card]) -> int:
        if not 1 <= options.card <= len(cards):
            print(f"there is no card {options.card} ({len(cards)} found)", file=sys.stderr)
            return 1
        return run(cards[options.card - 1], options)

    return run_on_cards("ber_run", options, on_card)


if __name__ == "__main__":
    sys.exit(main())
