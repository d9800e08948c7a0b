"""What the examples share: the package from the source tree, the --emulate option, and the
cards opened with failures reported as one line."""

from __future__ import annotations

import argparse
import os
import sys
from pathlib import Path
from typing import Callable

# Run from the source tree without installing the package.
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))

import zorv  # noqa: E402


def argument_parser(doc: str) -> argparse.ArgumentParser:
    # The docstring's first paragraph, which may run over several lines.
    parser = argparse.ArgumentParser(description=" ".join(doc.split("\n\n")[0].split()))
    parser.add_argument("--emulate", metavar="N|FILE",
                        help="emulated cards: a count or a scenario file (sets ZORV_EMULATE)")
    return parser


def run_on_cards(program: str, options: argparse.Namespace,
                 work: Callable[[list[zorv.Card]], int]) -> int:
    """Opens the cards and runs the work on them; its exit code, or 1 after a failure line."""
    if options.emulate:
        os.environ["ZORV_EMULATE"] = options.emulate  # read by the library as it loads
    try:
        with zorv.Library() as library:
            return work(library.open())
    except KeyboardInterrupt:
        return 0
    except (zorv.ZorvError, zorv.CardsInUse, zorv.LibraryNotFound) as error:
        print(f"{program}: {error}", file=sys.stderr)
        return 1
