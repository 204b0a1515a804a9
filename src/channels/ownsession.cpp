// The process-wide OwnSessionId.
#include "channels/ownsession.h"

#include <atomic>

namespace corvid {
namespace {

std::atomic<std::int16_t> g_own_session_id{-1};

}  // namespace

std::int16_t OwnSessionId() noexcept {
  return g_own_session_id.load(std::memory_order_relaxed);
}

void SetOwnSessionId(std::int16_t id) noexcept {
  g_own_session_id.store(id, std::memory_order_relaxed);
}

}  // namespace corvid
