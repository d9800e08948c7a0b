#pragma once
// What the main window does with a card window: it owns one per card in use and drives it
// from its timer, and reaches it only through these operations.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/Zorvglobunit.h"

class ZorvCardWindow {
 public:
  virtual ~ZorvCardWindow() = default;

  // Closed with its own close button; the main window deletes it on its next tick or when the
  // card's menu item is chosen again.
  virtual bool ClosedByOperator() const = 0;
  virtual void BringToFront() = 0;
  // Programs the card with its IRIG setup, then its bit synchronizer setup.
  virtual void ReloadSetups() = 0;
  // After new setups: clears the edited flag, resets the title and rebuilds the tabs.
  virtual void Refresh() = 0;
  virtual void TakeColours(const ZorvColours& colours) = 0;
  // The timer's work: the IRIG time and status, the polling thread, and on the fifth tick of a
  // second the FSP count.
  virtual void Tick(bool fifth_tick) = 0;
  // The operator changed the card's setups since they were last saved or recalled.
  virtual bool Edited() const = 0;
  // After a save: clears the edited flag and sets the title.
  virtual void MarkSaved() = 0;
  // Keeps the card's threads from starting another call (the library is about to be reopened),
  // waiting at most the bound for the calls in progress; false when one is still running.
  virtual bool HoldCard(std::chrono::milliseconds bound) = 0;
  virtual void ReleaseCard() = 0;
  // Ends the card's threads, waiting at most the bound for the calls in progress; false when
  // one is still inside the library (it ends on its own when the call returns).
  virtual bool EndCardThreads(std::chrono::milliseconds bound) = 0;
};

// Creates the window of a card index (0 to 3).
using CardWindowFactory =
    std::function<std::unique_ptr<ZorvCardWindow>(int32_t card, ZorvProgramState& state)>;
