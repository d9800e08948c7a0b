"""Where the package looks for the library, in order (the first file that exists is loaded):

1. the path given to Library(path=...);
2. the path in the environment variable ZORV_LIBRARY;
3. beside the package: the package's own folder, then ``lib`` and ``bin`` beside the folder that
   holds the package (an installed layout: <prefix>/<python folder>/zorv and <prefix>/lib), and
   in a package installed as Debian's are (<prefix>/lib/python3/dist-packages/zorv), <prefix>/lib;
4. in a source tree (the package in <tree>/python/zorv), the build folders <tree>/build/*/bin:
   build/default first, as ``make test`` builds it, then the others, the newest library first;
5. the bare file name, for the system's loader to look up in its own path.

A path given (1 or 2) that names no file is an error rather than a reason to look further, so
that a mistyped name never loads another library.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path

ENVIRONMENT_VARIABLE = "ZORV_LIBRARY"
# The build folder the README's commands use.
_DEFAULT_BUILD = "default"


class LibraryNotFound(FileNotFoundError):
    """No library file where the search looked."""


def library_file_name(platform: str = sys.platform) -> str:
    """The library's file name as the operator program names it."""
    return "ZORVDLL.DLL" if platform == "win32" else "libZORVDLL.so"


def _build_folders(tree: Path, file_name: str) -> list[Path]:
    """The source tree's build folders holding the library: build/default, then the newest."""
    found = [folder for folder in (tree / "build").glob("*/bin") if (folder / file_name).is_file()]
    found.sort(key=lambda folder: (folder.parent.name != _DEFAULT_BUILD,
                                   -(folder / file_name).stat().st_mtime))
    return found


def candidate_folders(package_folder: Path, file_name: str) -> list[Path]:
    """The folders of steps 3 and 4, in order."""
    holder = package_folder.parent
    folders = [package_folder, holder.parent / "lib", holder.parent / "bin"]
    if holder.name in ("dist-packages", "site-packages") and holder.parent.parent.name == "lib":
        folders.append(holder.parent.parent)
    tree = holder.parent
    if holder.name == "python" and (tree / "CMakeLists.txt").is_file():
        folders += _build_folders(tree, file_name)
    return folders


def find_library(path: str | os.PathLike | None = None,
                 environ: os._Environ | dict[str, str] = os.environ,
                 package_folder: Path = Path(__file__).resolve().parent,
                 platform: str = sys.platform) -> str:
    """The path to load: a file that exists, or the bare file name for the system's loader."""
    named = path if path is not None else environ.get(ENVIRONMENT_VARIABLE) or None
    if named is not None:
        if not Path(named).is_file():
            source = "the path given" if path is not None else ENVIRONMENT_VARIABLE
            raise LibraryNotFound(f"{source} names no library file: {named}")
        return str(Path(named).resolve())
    file_name = library_file_name(platform)
    for folder in candidate_folders(package_folder, file_name):
        if (folder / file_name).is_file():
            return str(folder / file_name)
    return file_name
