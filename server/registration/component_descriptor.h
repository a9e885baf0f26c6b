// File: server/registration/component_descriptor.h
//
// This component's ServerDescriptor: one class, MVComm, with one automation
// interface, IMVComm, and the identifiers of component_ids.h. The module
// keeps one instance for its lifetime.
#pragma once

#include <string>

#include "server/registration/server_descriptor.h"

namespace mvcomm::registration {

class ComponentDescriptor {
 public:
  // `modulePath` is the module's own file name; it must outlive this object
  // and may be filled after construction (it is read at each use).
  // `create` may be null until object creation exists.
  ComponentDescriptor(const std::string* modulePath, CreateRoutine create);
  ComponentDescriptor(const ComponentDescriptor&) = delete;  // the descriptor points into itself
  ComponentDescriptor& operator=(const ComponentDescriptor&) = delete;

  ServerDescriptor& descriptor() { return server_; }
  const ServerDescriptor& descriptor() const { return server_; }
  ClassEntry& mvcommClass() { return class_; }

 private:
  ClassEntry class_;
  ServerDescriptor server_;
};

}  // namespace mvcomm::registration
