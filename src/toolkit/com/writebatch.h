// A write batch at the COM boundary: the items whose VARIANT the engine cannot hold are refused
// with OPC_E_BADTYPE here and never reach the engine (and the device); the others go to the
// engine in one call, and the per-item errors are merged back in the caller's order.
#pragma once

#include <objbase.h>

#include <vector>

#include "channels/variant.h"
#include "toolkit/opcdefs.h"

namespace corvid::toolkit::com {

class WriteBatch {
 public:
  explicit WriteBatch(DWORD count) : errors_(count, kOk) {}

  // Converts item `index`'s value; false (and the item refused) when it does not convert.
  bool Take(DWORD index, const VARIANT& in, Variant* out);
  bool Empty() const { return taken_.empty(); }

  // Merges the engine's result and per-item errors (for the taken items, in order) into a task
  // array of all items. A failed engine result is returned as it is, with no array.
  HRESULT Finish(Result engine_result, const std::vector<Result>& engine_errors,
                 HRESULT** out_errors);

 private:
  std::vector<Result> errors_;
  std::vector<DWORD> taken_;
};

}  // namespace corvid::toolkit::com
