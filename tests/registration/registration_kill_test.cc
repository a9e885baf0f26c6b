// A registering process killed at any moment leaves a sound database, and
// the next registration completes the layout.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>


#include "platform/ole/winerror.h"
#include "server/registration/component_descriptor.h"
#include "server/registration/registration.h"
#include "tests/registration/registry_dump.h"
#include "testing/temp_registry.h"

namespace mvcomm::testing {
namespace {

const std::string kModule = "/opt/mvcomm/lib/libMVComm.so";

TEST(RegistrationKill, WriterKilledMidRegistrationLeavesASoundDatabase) {
  TempRegistry registry;
  registration::ComponentDescriptor component(&kModule, nullptr);
  ASSERT_EQ(registration::registerServer(component.descriptor()), S_OK);
  const RegistryDump complete = dumpRegistry();
  ASSERT_EQ(registration::unregisterServer(component.descriptor()), S_OK);

  // Kill points spread over a registration's length (a few ms each).
  for (long delayUs : {300L, 1700L, 4100L, 9300L, 15700L}) {
    SCOPED_TRACE(delayUs);
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
      for (;;) {
        registration::registerServer(component.descriptor());
        registration::unregisterServer(component.descriptor());
      }
    }
    timespec pause{0, delayUs * 1000};
    nanosleep(&pause, nullptr);
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(registry.integrityCheck(), "ok");
    EXPECT_EQ(registration::registerServer(component.descriptor()), S_OK);
    EXPECT_EQ(dumpRegistry(), complete);
    EXPECT_EQ(registration::unregisterServer(component.descriptor()), S_OK);
  }
}

}  // namespace
}  // namespace mvcomm::testing
