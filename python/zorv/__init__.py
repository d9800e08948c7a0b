"""Zorv cards from Python: the card library ZORVDLL through ctypes.

    import zorv
    with zorv.Library() as library:
        for card in library.open():
            print(card.index, card.lock_status().name, card.es_no())

Library() finds the library (see zorv.search), takes the machine-wide name that ZorvApp and
zorvctl take, loads the library and binds its 27 exports; open() returns the cards. Every
failing call raises ZorvError with the library's result code and its name.
"""

from .instance import CardsInUse
from .library import (BitsyncOptions, Card, IrigTime, Library, LinkAnalysisCounts,
                      LinkAnalysisStatus, OperationalStatus, ZorvError, measurement_value)
from .names import (InputCode, InputSource, IrigCode, IrigStatus, LockStatus, LoopBandwidth,
                    Model, OutputCode, ResultCode)
from .records import BitsyncSetup, IrigSetup
from .search import LibraryNotFound

__all__ = [
    "BitsyncOptions", "BitsyncSetup", "Card", "CardsInUse", "InputCode", "InputSource",
    "IrigCode", "IrigSetup", "IrigStatus", "IrigTime", "Library", "LibraryNotFound",
    "LinkAnalysisCounts", "LinkAnalysisStatus", "LockStatus", "LoopBandwidth", "Model",
    "OperationalStatus", "OutputCode", "ResultCode", "ZorvError", "measurement_value",
]
