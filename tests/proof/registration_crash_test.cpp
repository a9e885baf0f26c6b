// File: tests/proof/registration_crash_test.cpp
//
// Registration and unregistration killed with SIGKILL at random points, 200
// times each: every time the registry database must pass its integrity
// check, and a rerun must complete and leave the exact layout (registration)
// or no trace of it (unregistration).
//
// The child reports ready over a pipe just before it starts, and the kill
// lands a random delay later, spread over one measured run's length.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "platform/ole/winerror.h"
#include "testing/temp_registry.h"
#include "server/registration/component_descriptor.h"
#include "server/registration/registration.h"
#include "tests/registration/registry_dump.h"

namespace mvcomm::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKills = 200;
const std::string kModule = "/opt/mvcomm/lib/libMVComm.so";

// A fresh MVCOMM_REGISTRY for one test, in memory-backed /dev/shm where there
// is one: a SIGKILL loses no page-cache writes, and sparing the disk syncs
// keeps 400 runs to seconds.
// The registry lives in memory when it can: a kill loses nothing there, and
// 400 runs need no disk syncs.
std::string scratchParent() { return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp"; }

enum class Step { kRegister, kUnregister };

struct Child {
  pid_t pid = -1;
  Clock::time_point started{};
};

// Forks a child that runs `step` once and exits; returns once it is about to
// start.
Child startChild(registration::ComponentDescriptor& component, Step step) {
  int ready[2];
  if (pipe(ready) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(3);
    const HRESULT hr = step == Step::kRegister ? registration::registerServer(component.descriptor())
                                               : registration::unregisterServer(component.descriptor());
    _exit(hr == S_OK ? 0 : 1);
  }
  close(ready[1]);
  char byte = 0;
  const bool started = pid > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  return started ? Child{pid, Clock::now()} : Child{pid, {}};
}

// Exit status as waitpid gives it; -1 when waiting fails.
int reap(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid ? status : -1;
}

// How long one uninterrupted run of `step` takes in a child, from ready to
// exit (the longest of a few).
Clock::duration measure(registration::ComponentDescriptor& component, Step step, const RegistryDump& before) {
  Clock::duration longest{};
  for (int i = 0; i < 5; ++i) {
    if (step == Step::kUnregister) {
      EXPECT_EQ(registration::registerServer(component.descriptor()), S_OK);
    } else if (dumpRegistry() != before) {
      EXPECT_EQ(registration::unregisterServer(component.descriptor()), S_OK);
    }
    const Child child = startChild(component, step);
    EXPECT_GT(child.pid, 0);
    const int status = reap(child.pid);
    longest = std::max(longest, Clock::now() - child.started);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  return longest;
}

class RegistrationCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(registration::registerServer(component_.descriptor()), S_OK);
    complete_ = dumpRegistry();
    ASSERT_EQ(registration::unregisterServer(component_.descriptor()), S_OK);
    empty_ = dumpRegistry();  // the bare AppID, CLSID, Interface and TypeLib parents stay
  }

  // Kills `step` kKills times, each from the state it normally starts from.
  // Returns how many kills left a state that was neither the start nor the
  // end; counts in killed_ the kills that landed before the step finished.
  int killRepeatedly(Step step) {
    const Clock::duration span = measure(component_, step, empty_);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<long> delayNs(0, std::chrono::nanoseconds(span).count());
    int midway = 0;
    for (int i = 0; i < kKills; ++i) {
      SCOPED_TRACE("kill " + std::to_string(i));
      const HRESULT prepared = step == Step::kRegister ? registration::unregisterServer(component_.descriptor())
                                                       : registration::registerServer(component_.descriptor());
      (void)prepared;  // unregistering an empty registry reports the missing AppID
      const RegistryDump start = step == Step::kRegister ? empty_ : complete_;
      EXPECT_EQ(dumpRegistry(), start);

      const Child child = startChild(component_, step);
      EXPECT_GT(child.pid, 0);
      if (child.pid <= 0) return midway;
      const timespec pause{0, delayNs(random)};
      nanosleep(&pause, nullptr);
      kill(child.pid, SIGKILL);
      const int status = reap(child.pid);
      EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
      if (WIFSIGNALED(status)) ++killed_;

      EXPECT_EQ(registry_.integrityCheck(), "ok");
      const RegistryDump left = dumpRegistry();
      if (left != empty_ && left != complete_) ++midway;
      if (step == Step::kRegister) {
        EXPECT_EQ(registration::registerServer(component_.descriptor()), S_OK);
        EXPECT_EQ(dumpRegistry(), complete_);
      } else {
        const HRESULT hr = registration::unregisterServer(component_.descriptor());
        if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) && left != empty_) {
          // The kill fell after the AppID key went: unregistration stops at
          // the missing AppID and leaves the rest. Registering again and
          // unregistering clears it.
          ++stranded_;
          EXPECT_EQ(registration::registerServer(component_.descriptor()), S_OK);
          EXPECT_EQ(registration::unregisterServer(component_.descriptor()), S_OK);
        } else if (left != empty_) {
          EXPECT_EQ(hr, S_OK);
        }
        EXPECT_EQ(dumpRegistry(), empty_);
      }
    }
    return midway;
  }

  TempRegistry registry_{scratchParent()};
  registration::ComponentDescriptor component_{&kModule, nullptr};
  RegistryDump empty_;
  RegistryDump complete_;
  int stranded_ = 0;  // unregistration reruns that stopped at the missing AppID
  int killed_ = 0;    // kills that landed before the child finished
};

// Each sequence is one registry transaction, so a kill leaves the layout as
// it was before or after, never in between, and a rerun always completes.
TEST_F(RegistrationCrash, RegistrationKilledAnywhereLeavesTheOldOrTheNewLayout) {
  const int midway = killRepeatedly(Step::kRegister);
  EXPECT_GT(killed_, 0) << "no kill landed inside a registration";
  EXPECT_EQ(midway, 0);
  std::printf("registration: %d of %d kills landed inside; %d left a partial layout\n", killed_, kKills, midway);
}

TEST_F(RegistrationCrash, UnregistrationKilledAnywhereLeavesTheOldOrTheNewLayout) {
  const int midway = killRepeatedly(Step::kUnregister);
  EXPECT_GT(killed_, 0) << "no kill landed inside an unregistration";
  EXPECT_EQ(midway, 0);
  EXPECT_EQ(stranded_, 0);
  std::printf("unregistration: %d of %d kills landed inside; %d left a partial layout\n", killed_, kKills, midway);
}

}  // namespace
}  // namespace mvcomm::testing
