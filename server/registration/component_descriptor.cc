// File: server/registration/component_descriptor.cc
#include "server/registration/component_descriptor.h"

#include "server/registration/component_ids.h"

namespace mvcomm::registration {

ComponentDescriptor::ComponentDescriptor(const std::string* modulePath, CreateRoutine create) {
  class_.classId = &kClsidMVComm;
  class_.interfaceCount = 1;
  class_.interfaces[0] = InterfaceEntry{&kIidIMVComm, "IMVComm", 1};
  class_.objectClassName = "n_cst_mvcomm";
  class_.versionIndependentProgId = "MVComm.MVComm";
  class_.progId = "MVComm.MVComm.1.0";
  class_.versionText = "1.0";
  class_.createRoutine = create;

  server_.classCount = 1;
  server_.libraryPath = modulePath;
  server_.serverKind = 0;
  server_.threadingModel = 0;
  server_.componentName = "MVComm";
  server_.serverPath = modulePath;
  server_.typeLibraryInServer = 1;
  server_.typeLibraryDescription = "Morvane Communication Component 1.0 TypeLib";
  server_.typeLibraryMajor = 1;
  server_.typeLibraryMinor = 0;
  server_.typeLibraryId = &kLibidMVComm;
  server_.classes = &class_;
  server_.appId = &kAppidMVComm;
}

}  // namespace mvcomm::registration
