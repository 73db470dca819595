// A streamable sub-object that can take another's values.
#pragma once

#include <string>

#include "forms/Exception.h"

namespace vornex {

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual std::string ClassName() const = 0;
  // Takes the values of source; a source of another kind is refused.
  virtual void Assign(const TPersistent& source) {
    throw EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
  }
};

}  // namespace vornex
