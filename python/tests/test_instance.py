"""The package drives the cards only when no other program does."""

from __future__ import annotations

import subprocess

import pytest

from conftest import built_file

import zorv


def test_a_second_library_in_the_same_process_is_refused_until_the_first_closes(library):
    with pytest.raises(zorv.CardsInUse):
        zorv.Library()
    library.close()
    zorv.Library().close()


def test_zorvctl_refuses_the_cards_while_a_library_holds_them(library):
    finished = subprocess.run([built_file("ZORVCTL"), "list"], capture_output=True, text=True,
                              timeout=60)
    assert finished.returncode != 0
    assert "ZorvApp or another zorvctl is running" in finished.stderr


def test_after_close_a_card_raises_not_open(library, cards):
    library.close()
    with pytest.raises(zorv.ZorvError) as raised:
        cards[0].lock_status()
    assert raised.value.code == zorv.ResultCode.NOT_OPEN
