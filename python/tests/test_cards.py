"""The package on emulated cards (ZORV_EMULATE=2: the emulated signal is on input 1 at
1,024,000 bit/s). The cards keep their programming from test to test, as real ones do, so
each test programs what it reads."""

from __future__ import annotations

import datetime
import time

import pytest

from conftest import standard_setup, wait_for

import zorv


@pytest.fixture
def card(cards):
    return cards[0]


@pytest.fixture
def locked_card(card):
    card.load_bitsync_setup(standard_setup())
    assert wait_for(lambda: card.lock_status() == zorv.LockStatus.LOCKED)
    return card


def test_open_returns_every_emulated_card_with_its_bit_synchronizer(cards):
    assert [(card.index, card.bitsync_count) for card in cards] == [(0, 1), (1, 1)]


@pytest.mark.parametrize("setup", [
    standard_setup(),
    standard_setup(BitRate=2_000_000, InputCode=zorv.InputCode.BIOL,
                   OutputCode=zorv.OutputCode.RNRZ23, LoopBandwidth=zorv.LoopBandwidth.BW_0_01),
    standard_setup(BitRate=99_999_999, InputCode=zorv.InputCode.INV_RNRZ23,
                   OutputCode=zorv.OutputCode.NRZM, LoopBandwidth=zorv.LoopBandwidth.BW_2_0),
], ids=["standard", "biphase", "highest rate"])
def test_the_setup_loaded_is_the_one_read_back(card, setup):
    card.load_bitsync_setup(setup)
    assert (card.programmed_bit_rate(), card.programmed_input_code(),
            card.programmed_output_code(), card.programmed_loop_bandwidth()) == (
                setup.BitRate, setup.InputCode, setup.OutputCode, setup.LoopBandwidth)
    assert isinstance(card.programmed_input_code(), zorv.InputCode)


def test_a_card_on_the_signals_input_and_rate_locks(locked_card):
    status = locked_card.operational_status()
    assert status.signal_above_threshold and status.pll_lock


def test_a_card_on_an_input_without_signal_does_not_lock(card):
    card.load_bitsync_setup(standard_setup(InputSource=zorv.InputSource.SE_INPUT_4))
    # A lock would show within the module's 20 ms: four polls (a full round) after 100 ms.
    time.sleep(0.1)
    assert {card.lock_status() for _ in range(4)} <= {zorv.LockStatus.NO_CLOCK_NO_SIGNAL,
                                                      zorv.LockStatus.SEARCH}


def test_measurements_are_the_emulated_signals(locked_card):
    # The emulated signal: Es/No 15 dB (estimated with some spread), 1.5 V.
    assert locked_card.es_no() == pytest.approx(15.0, abs=1.0)
    assert locked_card.signal_voltage() == pytest.approx(1.5)
    assert isinstance(locked_card.offset_frequency(), float)
    assert len(locked_card.es_no_text()) <= zorv.library.TEXT_BUFFER_SIZE - 1


@pytest.mark.parametrize("text, value", [("   15.1", 15.1), ("12.3 dB", 12.3), ("-4e3Hz", -4000.0),
                                         ("+.5 V", 0.5), ("7 e", 7.0)])
def test_measurement_texts_become_numbers(text, value):
    assert zorv.measurement_value(text) == value


@pytest.mark.parametrize("text", ["", " dB", "1.2.3", "12 dB x", "--", "1,5"])
def test_a_text_that_is_no_measurement_is_refused(text):
    with pytest.raises(ValueError):
        zorv.measurement_value(text)


def test_a_bit_error_test_with_forced_errors_counts_one_error_in_a_thousand(locked_card):
    locked_card.load_bitsync_setup(standard_setup(BerTestingEnabled=1, KnownErrorMode=1))
    try:
        # Real time: the emulated module counts the bits of the PC's clock. 0.3 s is some
        # 300,000 bits and 300 errors, enough for a rate within 10 %.
        time.sleep(0.3)
        counts = locked_card.link_analysis_counts()
        assert counts.bits > 100_000
        assert counts.bit_error_rate == pytest.approx(1e-3, rel=0.1)
        assert locked_card.link_analysis_status().prn_correlator == 0
    finally:
        locked_card.load_bitsync_setup(standard_setup())


def test_the_irig_time_is_given_as_seconds_and_as_a_day_and_time(card):
    card.load_irig_setup(zorv.IrigSetup(SourceFormat=zorv.IrigCode.IRIG_B, SourceExternal=1,
                                        FlywheelEnabled=1, GeneratorFormat=zorv.IrigCode.IRIG_B))
    assert wait_for(lambda: card.irig_status() == zorv.IrigStatus.READY)
    seconds, time_of_year = card.irig_time()
    assert time_of_year == datetime.timedelta(seconds=seconds)
    assert 0 <= time_of_year.days <= 366


def test_options_and_firmware_are_the_emulated_modules(card):
    assert card.options() == zorv.BitsyncOptions(rate_20_mbit=True, ber_test=True)
    assert card.max_input_source() == 11
    high, low = card.firmware()
    assert high > 0 and low >= 0


def test_fsp_frames_are_counted_while_the_mode_is_on(locked_card):
    assert locked_card.fsp_option()
    # Frames of 1024 bits (F1), a 32-bit synchronization pattern (F2, F4), no error allowed.
    locked_card.enable_fsp_signal_quality_mode(1024, 32, 0, 0xFE6B2840 - 2**32, 0)
    try:
        time.sleep(0.1)  # real time: some 100 frames of the emulated signal
        locked_card.es_no()  # the module hands the frame count over with the Es/No
        assert locked_card.fsp_count() > 0
    finally:
        locked_card.disable_fsp_signal_quality_mode()
    locked_card.es_no()
    assert locked_card.fsp_count() == 0


def test_quick_react_mode_and_built_in_test_answer(card):
    card.set_quick_react_mode(1)
    assert len(card.built_in_test()) == 5
