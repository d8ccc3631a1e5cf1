// The wait for an earlier copy of the service before it is created anew, over a model of the
// service control manager: a copy marked for deletion goes once its process has stopped and
// no handle to it is open (on Wine, at the next close of a handle after that).
#include <gtest/gtest.h>

#include <chrono>

#include "service/Reinstallation.h"

namespace {

using namespace reinstallation;
using ms = std::chrono::milliseconds;
constexpr ms kNever = ms::max();

struct EarlierCopy {
  const char* story;
  bool exists;
  bool marked;
  ms stopsAt;          // running or stop pending until then
  ms handleHeldUntil;  // another program's handle to it
  bool wine;           // removed at the next close of a handle once free, not at once
  Step expected;
  ms decidedAt;
};

void PrintTo(const EarlierCopy& copy, std::ostream* out) { *out << copy.story; }

// What the service control manager shows at time t; each look closes its own handle after it.
class Manager {
 public:
  explicit Manager(const EarlierCopy& copy) : copy_(copy) {}

  Presence Look(ms t) {
    if (!copy_.exists || removed_) return Presence::Gone;
    if (!copy_.marked) return Presence::Installed;
    const bool free = t >= copy_.stopsAt && t >= copy_.handleHeldUntil;
    if (!free) return Presence::MarkedForDeletion;
    removed_ = true;
    return copy_.wine ? Presence::MarkedForDeletion : Presence::Gone;
  }

 private:
  const EarlierCopy& copy_;
  bool removed_ = false;
};

class Reinstallation : public testing::TestWithParam<EarlierCopy> {};

TEST_P(Reinstallation, WaitsForTheEarlierCopyWithinTheBound) {
  const EarlierCopy& copy = GetParam();
  Manager manager(copy);
  ms clock{0};
  const Step step = AwaitEarlierCopy([&] { return manager.Look(clock); }, [&] { return clock; },
                                     [&](ms interval) { clock += interval; });
  EXPECT_EQ(step, copy.expected);
  EXPECT_EQ(clock, copy.decidedAt);
}

INSTANTIATE_TEST_SUITE_P(
    EarlierCopies, Reinstallation,
    testing::Values(
        EarlierCopy{"no earlier copy", false, false, kNever, ms{0}, false, Step::Create, ms{0}},
        EarlierCopy{"a copy nobody deleted is updated in place", true, false, kNever, ms{0}, false,
                    Step::Update, ms{0}},
        EarlierCopy{"running when deleted, stopped after 1.5 s", true, true, ms{1500}, ms{0},
                    false, Step::Create, ms{1600}},
        EarlierCopy{"stop pending for 4 s", true, true, ms{4000}, ms{0}, false, Step::Create,
                    ms{4000}},
        EarlierCopy{"stopped, a handle held for 2.1 s", true, true, ms{0}, ms{2100}, false,
                    Step::Create, ms{2200}},
        EarlierCopy{"Wine: removed when a handle closes after the stop", true, true, ms{1000},
                    ms{0}, true, Step::Create, ms{1200}},
        EarlierCopy{"a handle never closed: the deletion never completes", true, true, ms{0},
                    kNever, false, Step::GiveUp, ms{30000}},
        EarlierCopy{"a process that never stops", true, true, kNever, ms{0}, false, Step::GiveUp,
                    ms{30000}},
        EarlierCopy{"gone at the last look", true, true, ms{30000}, ms{0}, false, Step::Create,
                    ms{30000}},
        EarlierCopy{"gone just after the bound", true, true, ms{30001}, ms{0}, false,
                    Step::GiveUp, ms{30000}}));

}  // namespace
