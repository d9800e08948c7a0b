#pragma once
// A card window that only records what the main window asks of it, and programs the card's
// setups through the operator core as a card window does, so that a test sees them reach the
// library.

#include <cstdint>
#include <memory>

#include "app/Progzorvunit.h"
#include "app/ZorvCardAccess.h"
#include "app/ZorvCardWindow.h"

// What every fake window of a test did; the test keeps it.
struct FakeCardWindowLog {
  int created = 0;
  int deleted = 0;
  int brought_to_front = 0;
};

class FakeCardWindow final : public ZorvCardWindow {
 public:
  FakeCardWindow(int32_t card, ZorvProgramState& state, FakeCardWindowLog& log)
      : card_(card), state_(state), log_(log) {
    ++log_.created;
  }
  ~FakeCardWindow() override { ++log_.deleted; }

  bool ClosedByOperator() const override { return closed; }
  void BringToFront() override { ++log_.brought_to_front; }
  void ReloadSetups() override {
    ++reloads;
    state_.zorv->LoadIrigSetup(card_, state_.zorv->cards[card_].irig_setup);
    ReloadBitsyncSetup(*state_.zorv, card_, state_.marker_file);
  }
  void Refresh() override {
    ++refreshes;
    edited = false;
  }
  void TakeColours(const ZorvColours& given) override { colours = given; }
  void Tick(bool fifth_tick) override {
    ++ticks;
    if (fifth_tick) ++fifth_ticks;
  }
  bool Edited() const override { return edited; }
  void MarkSaved() override { edited = false; }
  bool HoldCard(std::chrono::milliseconds) override {
    ++holds;
    return !busy;
  }
  void ReleaseCard() override { ++releases; }
  bool EndCardThreads(std::chrono::milliseconds) override { return !busy; }

  static CardWindowFactory Factory(FakeCardWindowLog& log) {
    return [&log](int32_t card, ZorvProgramState& state) -> std::unique_ptr<ZorvCardWindow> {
      return std::make_unique<FakeCardWindow>(card, state, log);
    };
  }

  bool closed = false;
  bool edited = false;
  // A call of the card's thread that does not return (a module that stays busy).
  bool busy = false;
  int holds = 0;
  int releases = 0;
  int reloads = 0;
  int refreshes = 0;
  int ticks = 0;
  int fifth_ticks = 0;
  ZorvColours colours{0, 0, 0};

 private:
  int32_t card_;
  ZorvProgramState& state_;
  FakeCardWindowLog& log_;
};
