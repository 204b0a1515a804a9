#include "toolkit/com/writebatch.h"

#include "toolkit/com/comconvert.h"

namespace corvid::toolkit::com {

bool WriteBatch::Take(DWORD index, const VARIANT& in, Variant* out) {
  if (!FromVariant(in, out) || out->IsEmpty()) {
    errors_[index] = kOpcEBadType;
    return false;
  }
  taken_.push_back(index);
  return true;
}

HRESULT WriteBatch::Finish(Result engine_result, const std::vector<Result>& engine_errors,
                           HRESULT** out_errors) {
  if (Failed(engine_result)) return engine_result;
  for (std::size_t k = 0; k < taken_.size(); ++k) {
    errors_[taken_[k]] = k < engine_errors.size() ? engine_errors[k] : kFail;
  }
  bool any_failed = false;
  for (Result e : errors_) any_failed = any_failed || Failed(e);
  *out_errors = TaskErrors(errors_, errors_.size());
  if (*out_errors == nullptr) return E_OUTOFMEMORY;
  return any_failed ? S_FALSE : engine_result;
}

}  // namespace corvid::toolkit::com
