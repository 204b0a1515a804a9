// OwnSessionId: the process-wide id under which this program works at the Corvid server, the low
// 16 bits of the session id of the last registration, -1 before the first one. Channels and
// attributes that this program creates carry it as creator and owner. Any thread may read it.
#pragma once

#include <cstdint>

namespace corvid {

std::int16_t OwnSessionId() noexcept;
// Called by the session after each registration with the low 16 bits of the server's id.
void SetOwnSessionId(std::int16_t id) noexcept;

}  // namespace corvid
