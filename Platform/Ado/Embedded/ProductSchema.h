// The embedded database holds the product schema (Schema/LogSchema.h) and
// names its tables and columns as its own.
#pragma once
#include "Schema/LogSchema.h"

namespace Ado::Embedded {
using namespace ::Schema;
}  // namespace Ado::Embedded
