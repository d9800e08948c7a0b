#pragma once
// Binds fake libraries copied under the library's own file name, loaded by file name exactly as
// the program loads ZorvDll, and lets the test steer them.

#include <filesystem>
#include <memory>
#include <vector>

#include "app/Progzorvunit.h"
#include "platform/dynamic_library.h"
#include "tests/app/AppTestFixture.h"
#include "tests/app/FakeZorvDll.h"

inline const std::string kLibraryFile = platform::SharedLibraryFileName("ZORVDLL");

// Copies a built fake to the path and loads it there; the caller frees the handle it adds once
// the binding has let go of the library. The state is shared with a binding of the same file.
inline FakeZorvDllState& InstallFakeLibrary(const char* built_fake, const std::string& path,
                                            std::vector<platform::LibraryHandle>& handles) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(built_fake, path);
  platform::LibraryHandle handle = platform::LoadLibraryByName(path);
  EXPECT_NE(handle, nullptr) << platform::LastLibraryError();
  handles.push_back(handle);
  auto control = reinterpret_cast<FakeZorvDllState* (*)()>(
      platform::LibrarySymbol(handle, "FakeZorvDllControl"));
  return *control();
}

class BindingTest : public AppTestFixture {
 protected:
  void TearDown() override {
    zorv_.reset();
    for (platform::LibraryHandle handle : handles_) platform::FreeLibraryHandle(handle);
    AppTestFixture::TearDown();
  }

  // Puts a fake library at the path and returns its state, shared with the binding that loads
  // the same file.
  FakeZorvDllState& InstallFake(const char* built_fake, const std::string& path) {
    return InstallFakeLibrary(built_fake, path, handles_);
  }

  FakeZorvDllState& InstallFullFake() { return InstallFake(FAKE_ZORVDLL, Path(kLibraryFile)); }

  DllLocations Locations() const { return {kLibraryFile, FallbackPath()}; }
  std::string FallbackPath() const { return Path("fallback/" + kLibraryFile); }

  progzorvclass& Bind() {
    zorv_ = std::make_unique<progzorvclass>(Locations());
    return *zorv_;
  }

  std::unique_ptr<progzorvclass> zorv_;
  std::vector<platform::LibraryHandle> handles_;
};
