"""Where Library() looks for the library."""

from __future__ import annotations

import os

import pytest

from zorv import search

FILE_NAME = "libZORVDLL.so"


@pytest.fixture
def tree(tmp_path):
    """A source tree with the package in python/zorv and a root CMakeLists.txt."""
    (tmp_path / "python" / "zorv").mkdir(parents=True)
    (tmp_path / "CMakeLists.txt").write_text("")
    return tmp_path


def put_library(folder, age_seconds: float = 0):
    folder.mkdir(parents=True, exist_ok=True)
    path = folder / FILE_NAME
    path.write_bytes(b"")
    stamp = path.stat().st_mtime - age_seconds
    os.utime(path, (stamp, stamp))
    return str(path)


def find(tree, path=None, environ=None):
    return search.find_library(path, environ or {}, tree / "python" / "zorv", "linux")


@pytest.mark.parametrize("platform, name", [("linux", "libZORVDLL.so"), ("win32", "ZORVDLL.DLL")])
def test_file_name_is_the_operator_programs(platform, name):
    assert search.library_file_name(platform) == name


def test_the_default_build_comes_before_newer_ones(tree):
    put_library(tree / "build" / "asan" / "bin")
    default = put_library(tree / "build" / "default" / "bin", age_seconds=100)
    assert find(tree) == default


def test_among_other_builds_the_newest_library_comes_first(tree):
    put_library(tree / "build" / "older" / "bin", age_seconds=100)
    newer = put_library(tree / "build" / "newer" / "bin")
    assert find(tree) == newer


def test_an_installed_library_comes_before_the_build_folders(tree):
    put_library(tree / "build" / "default" / "bin")
    installed = put_library(tree / "lib")
    assert find(tree) == installed


def test_a_package_installed_under_lib_finds_the_library_in_that_lib(tmp_path):
    package = tmp_path / "usr" / "lib" / "python3" / "dist-packages" / "zorv"
    package.mkdir(parents=True)
    installed = put_library(tmp_path / "usr" / "lib")
    assert search.find_library(None, {}, package, "linux") == installed


def test_beside_the_package_comes_first(tree):
    put_library(tree / "lib")
    beside = put_library(tree / "python" / "zorv")
    assert find(tree) == beside


def test_build_folders_count_only_in_a_source_tree(tmp_path):
    (tmp_path / "python" / "zorv").mkdir(parents=True)
    put_library(tmp_path / "build" / "default" / "bin")
    assert find(tmp_path) == FILE_NAME


def test_without_a_file_the_system_loader_looks_the_name_up(tree):
    assert find(tree) == FILE_NAME


def test_the_environment_names_the_library_before_any_folder(tree):
    put_library(tree / "python" / "zorv")
    named = put_library(tree / "elsewhere")
    assert find(tree, environ={"ZORV_LIBRARY": named}) == named


def test_a_path_given_wins_over_the_environment(tree):
    given = put_library(tree / "given")
    assert find(tree, given, {"ZORV_LIBRARY": put_library(tree / "elsewhere")}) == given


@pytest.mark.parametrize("how", ["path", "environment"])
def test_a_named_file_that_is_missing_is_an_error_not_a_fallback(tree, how):
    put_library(tree / "build" / "default" / "bin")
    missing = str(tree / "missing" / FILE_NAME)
    with pytest.raises(search.LibraryNotFound, match="missing"):
        if how == "path":
            find(tree, missing)
        else:
            find(tree, environ={"ZORV_LIBRARY": missing})
