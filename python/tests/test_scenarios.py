"""Cards that cannot answer, as scenario files describe them, each read in a new process (the
library finds its cards as it loads)."""

from __future__ import annotations

import pytest

from conftest import run_python

# Cards the scenario gives, read in a new process: (scenario lines, call, result code).
SCENARIOS = [
    ("Module=absent", "lock_status()", "NO_BITSYNC"),
    ("Readback=NO", "programmed_bit_rate()", "NOT_READBACK_CAPABLE"),
    ("Readback=NO", "fsp_count()", "NOT_READBACK_CAPABLE"),
    ("Module=silent", "programmed_bit_rate()", "PROGRAMMED_BIT_RATE_FAILED"),
]

SCENARIO_CALL = """
import zorv
with zorv.Library() as library:
    card = library.open()[0]
    try:
        card.{call}
    except zorv.ZorvError as error:
        print(error.name)
"""


@pytest.mark.parametrize("card_lines, call, name", SCENARIOS,
                         ids=[f"{lines} {call}" for lines, call, _ in SCENARIOS])
def test_cards_that_cannot_answer_raise_their_result_code(tmp_path, card_lines, call, name):
    scenario = tmp_path / "cards.ini"
    scenario.write_text(f"[Bus]\nCards=1\n[Card0]\n{card_lines}\n")
    finished = run_python(SCENARIO_CALL.format(call=call), ZORV_EMULATE=str(scenario))
    assert finished.returncode == 0, finished.stderr
    assert finished.stdout.strip() == name
