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
#include "tests/app/FakeZorvDllInstall.h"

// The fake at the path, its state shared with the binding that loads the same file.
inline FakeZorvDllState& InstallFakeLibrary(const char* built_fake, const std::string& path,
                                            std::vector<platform::LibraryHandle>& handles) {
  FakeZorvDllState* state = LoadFakeLibraryCopy(built_fake, path, handles);
  EXPECT_NE(state, nullptr) << platform::LastLibraryError();
  return *state;
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
