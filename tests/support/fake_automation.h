// Scripted COM objects by ProgID: each answers PostXMLString from its queue and keeps
// the arguments of every call as they arrived.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation.h"
#include "platform/error.h"
#include "support/operations.h"

namespace tavrel::fake {

// One call's answer; texts left unset are not written back.
struct PostAnswer {
    bool result = false;
    std::optional<std::wstring> reply1;
    std::optional<std::wstring> reply3;
    std::optional<std::wstring> report;  // written back through argument 1
    std::optional<Error> error;          // thrown instead of answering
};

struct ScriptedObject {
    std::deque<PostAnswer> answers;  // one per call, then resultWhenUnscripted
    bool resultWhenUnscripted = false;
    std::vector<PostXmlArguments> calls;
    int trueAnswers = 0;
    bool loadsAnotherFile = false;  // COM loads another library than the one asked for
};

// Operations recorded: CreateObject (ProgID), PostXMLString (the report as it arrived).
class FakeAutomation : public Automation {
  public:
    explicit FakeAutomation(Operations& ops) : ops_(ops) {}

    /// An unknown ProgID throws 429, as an unregistered class does.
    std::unique_ptr<AutomationObject> createObject(const std::wstring& progId) override;
    /// Whether the last class created loads the file asked for (see loadsAnotherFile).
    bool hasLoaded(const FileIdentity& file) override;

    /// Registers a class (ProgIDs match without regard to case); every object created
    /// from it shares this script.
    ScriptedObject& addClass(const std::wstring& progId);
    void removeClass(const std::wstring& progId);

    int liveObjects = 0;

  private:
    Operations& ops_;
    std::map<std::wstring, std::shared_ptr<ScriptedObject>> classes_;
    bool loadedAnotherFile_ = false;
};

}  // namespace tavrel::fake
