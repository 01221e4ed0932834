// Scripted WMI: the instances every query answers with, each step failable through
// the operations record, and a count of sessions still alive.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/wmi.h"
#include "support/operations.h"

namespace tavrel::fake {

// Operations recorded, with their details: WmiOpenSession, WmiBindMoniker (moniker),
// WmiCreateLocator (ProgID), WmiSetImpersonationLevel (level), WmiConnectServer
// ("server|namespace|user|password"), WmiExecQuery (query), WmiNextResult,
// WmiReadProperty (name).
class FakeWmi : public Wmi {
  public:
    using Instance = std::map<std::wstring, std::wstring>;  // property -> text

    explicit FakeWmi(Operations& ops) : ops_(ops) {}

    std::unique_ptr<WmiSession> openSession() override;

    /// What every query answers with, in order of enumeration.
    std::vector<Instance> instances;
    int liveSessions = 0;

  private:
    Operations& ops_;
};

}  // namespace tavrel::fake
