#pragma once
// Puts a built fake library under the library's own file name and loads it, so that a binding
// of the same file shares the state the test steers. Free of any test framework, for the
// GoogleTest and the Qt tests alike.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tests/app/FakeZorvDll.h"

inline const std::string kLibraryFile = platform::SharedLibraryFileName("ZORVDLL");

// Copies the built fake to the path and loads it there; nothing when it does not load. The
// caller frees the handle it adds once the binding has let go of the library.
inline FakeZorvDllState* LoadFakeLibraryCopy(const char* built_fake, const std::string& path,
                                             std::vector<platform::LibraryHandle>& handles) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(built_fake, path);
  platform::LibraryHandle handle = platform::LoadLibraryByName(path);
  if (!handle) return nullptr;
  handles.push_back(handle);
  auto control = reinterpret_cast<FakeZorvDllState* (*)()>(
      platform::LibrarySymbol(handle, "FakeZorvDllControl"));
  return control ? control() : nullptr;
}
