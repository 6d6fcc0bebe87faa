// Sessions left behind by a client that logged in again from another port.
#include <vector>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_wire.h"
#include "tools/switch-sim/sim_state.h"

void SwitchSimState::ProbeOtherSessions(const SimEndpoint& peer) {
  BYTE abPing[kOmbixDwordSize];
  COmbixWriter w(abPing, sizeof(abPing));
  w.WriteDword(OMBIX_PING);
  const std::vector<BYTE> ping(abPing, abPing + sizeof(abPing));
  for (auto& [other, session] : sessions) {
    // A session with a datagram on its way is being resent already and ends by itself.
    if (other.dwAddr != peer.dwAddr || other == peer || session.outstanding) continue;
    if (!session.queue.empty()) continue;
    LogDetail("session " + std::to_string(session.dwSession) + " of " + FormatEndpoint(other) +
              " probed after a login from " + FormatEndpoint(peer));
    Queue(session, ping);
  }
}
