#pragma once
// What every test of the operator program's windows runs in: a fresh folder that is the current
// and start directory, dialogs answered from a script, the virtual clock, and the fake library
// when the test installs it. A test creates one per test function and lets it go after its
// windows.

#include <QtGlobal>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "tests/app/FakeZorvDllInstall.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/ScriptedDialogs.h"

class WindowTestEnvironment {
 public:
  explicit WindowTestEnvironment(const std::string& prefix) : folder(prefix) {}
  ~WindowTestEnvironment() {
    if (fake) fake->stalled_card = -1;
    for (platform::LibraryHandle handle : fake_handles_) platform::FreeLibraryHandle(handle);
    platform::SetEnvironmentVariable("ZORV_EMULATE", "");
  }
  WindowTestEnvironment(const WindowTestEnvironment&) = delete;
  WindowTestEnvironment& operator=(const WindowTestEnvironment&) = delete;

  std::string Path(const std::string& name) const { return folder.Path(name); }

  // The fake library under the library's file name in the folder, for a binding of that name.
  FakeZorvDllState& InstallFake(int32_t card_count) {
    fake = LoadFakeLibraryCopy(FAKE_ZORVDLL, Path(kLibraryFile), fake_handles_);
    if (!fake) qFatal("the fake library did not load: %s", platform::LastLibraryError().c_str());
    fake->card_count = card_count;
    return *fake;
  }
  // Lets the fake go, so that the next InstallFake starts from a fresh copy.
  void RemoveFake() {
    for (platform::LibraryHandle handle : fake_handles_) platform::FreeLibraryHandle(handle);
    fake_handles_.clear();
    fake = nullptr;
    std::filesystem::remove(Path(kLibraryFile));
  }

  zorv_test::ScratchFolder folder;
  zorv_test::ScriptedDialogs dialogs;
  platform::VirtualClock clock;
  FakeZorvDllState* fake = nullptr;

 private:
  platform::ScopedClock scoped_clock_{clock};
  std::vector<platform::LibraryHandle> fake_handles_;
};
