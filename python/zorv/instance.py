"""The machine-wide name that the operator program, zorvctl and this package take before they
drive the cards, so that two programs never drive them at once: on Windows a named kernel
mutex, elsewhere a lock on a file in the lock folder that every user of the machine may write
(the system drops it when the process ends, however it ends)."""

from __future__ import annotations

import os
import re
import sys

# The operator program's name; zorvctl takes the same one.
NAME = "Protect ZorvApp"
LOCK_FOLDER = "/tmp/zorv-locks"
# As the temporary folder itself: anyone may add a file, nobody may remove another's.
_SHARED_FOLDER_MODE = 0o1777
_SHARED_FILE_MODE = 0o666
_ERROR_ALREADY_EXISTS = 183


class CardsInUse(RuntimeError):
    """Another program (ZorvApp, zorvctl or another Library) drives the cards."""


def lock_file_path(name: str = NAME, folder: str = LOCK_FOLDER) -> str:
    return os.path.join(folder, "zorv-" + re.sub(r"[^0-9A-Za-z]", "_", name) + ".lock")


class InstanceGuard:
    """Holds the name until release(); raises CardsInUse when another holder has it."""

    def __init__(self, name: str = NAME, folder: str = LOCK_FOLDER):
        self._release = _take_mutex(name) if sys.platform == "win32" else _take_lock(name, folder)

    def release(self) -> None:
        if self._release is not None:
            self._release()
            self._release = None


def _in_use(reason: str) -> CardsInUse:
    return CardsInUse(f"ZorvApp or zorvctl is driving the cards ({reason}); the cards are "
                      "left alone")


def _open_shared(path: str) -> int:
    """The lock file, created writable for all; read-only when another user made it without
    write permission for us (a lock needs no write access)."""
    flags = os.O_CREAT | os.O_CLOEXEC | os.O_NOFOLLOW
    try:
        fd = os.open(path, os.O_RDWR | flags, _SHARED_FILE_MODE)
    except PermissionError:
        return os.open(path, os.O_RDONLY | os.O_CLOEXEC | os.O_NOFOLLOW)
    os.fchmod(fd, _SHARED_FILE_MODE)  # the umask took the others' bits away
    return fd


def _take_lock(name: str, folder: str):
    import fcntl

    try:
        os.mkdir(folder, _SHARED_FOLDER_MODE)
        os.chmod(folder, _SHARED_FOLDER_MODE)
    except FileExistsError:
        pass
    path = lock_file_path(name, folder)
    try:
        fd = _open_shared(path)
    except OSError as error:
        raise _in_use(f"cannot tell: {path}: {error.strerror}") from error
    # Every holder keeps a shared lock; a newcomer that cannot take it exclusively knows that
    # someone holds it. A lock on another open file conflicts within one process too.
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        os.close(fd)
        raise _in_use(f"{path} is held") from None
    fcntl.flock(fd, fcntl.LOCK_SH)
    return lambda: os.close(fd)


def _take_mutex(name: str):
    import ctypes
    from ctypes import wintypes

    kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
    kernel32.CreateMutexW.restype = wintypes.HANDLE
    kernel32.CreateMutexW.argtypes = [ctypes.c_void_p, wintypes.BOOL, wintypes.LPCWSTR]
    kernel32.CloseHandle.argtypes = [wintypes.HANDLE]
    mutex = kernel32.CreateMutexW(None, False, name)
    error = ctypes.get_last_error()
    if not mutex:
        # A mutex of the name that this user may not open is another user's running program.
        raise _in_use(f"Windows error {error}")
    if error == _ERROR_ALREADY_EXISTS:
        kernel32.CloseHandle(mutex)
        raise _in_use(f"the mutex {name!r} exists")
    return lambda: kernel32.CloseHandle(mutex)
