#include "support/fake_automation.h"

#include <cwctype>
#include <utility>

namespace tavrel::fake {

namespace {

std::wstring keyOf(const std::wstring& progId) {
    std::wstring key;
    for (wchar_t c : progId) {
        key += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return key;
}

class FakeAutomationObject : public AutomationObject {
  public:
    FakeAutomationObject(std::shared_ptr<ScriptedObject> script, Operations& ops, int& live)
        : script_(std::move(script)), ops_(ops), live_(live) {
        ++live_;
    }
    ~FakeAutomationObject() override { --live_; }

    bool callPostXmlString(PostXmlArguments& args) override {
        script_->calls.push_back(args);
        ops_.enterOrThrow("PostXMLString", args.report);
        PostAnswer answer;
        answer.result = script_->resultWhenUnscripted;
        if (!script_->answers.empty()) {
            answer = std::move(script_->answers.front());
            script_->answers.pop_front();
        }
        if (answer.error) {
            throw *answer.error;
        }
        if (answer.report) {
            args.report = *answer.report;
        }
        if (answer.reply1) {
            args.reply1 = *answer.reply1;
        }
        if (answer.reply3) {
            args.reply3 = *answer.reply3;
        }
        script_->trueAnswers += answer.result ? 1 : 0;
        return answer.result;
    }

  private:
    std::shared_ptr<ScriptedObject> script_;
    Operations& ops_;
    int& live_;
};

}  // namespace

std::unique_ptr<AutomationObject> FakeAutomation::createObject(const std::wstring& progId) {
    ops_.enterOrThrow("CreateObject", progId);
    const auto found = classes_.find(keyOf(progId));
    if (found == classes_.end()) {
        throw Error(errnum::kCannotCreateObject, L"ActiveX component can't create object");
    }
    loadedAnotherFile_ = found->second->loadsAnotherFile;
    return std::make_unique<FakeAutomationObject>(found->second, ops_, liveObjects);
}

bool FakeAutomation::hasLoaded(const FileIdentity&) {
    ops_.enterOrThrow("HasLoaded");
    return !loadedAnotherFile_;
}

ScriptedObject& FakeAutomation::addClass(const std::wstring& progId) {
    auto& script = classes_[keyOf(progId)];
    if (!script) {
        script = std::make_shared<ScriptedObject>();
    }
    return *script;
}

void FakeAutomation::removeClass(const std::wstring& progId) {
    classes_.erase(keyOf(progId));
}

}  // namespace tavrel::fake
