#include "platform/child_automation.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

namespace {

using Fields = std::vector<std::wstring>;

constexpr std::wstring_view kDuringCreation = L"the object's creation";
constexpr std::wstring_view kDuringCall = L"the call of PostXMLString";

// A decimal the other side wrote; nothing for any other text.
std::optional<std::uint64_t> parseDecimal(std::wstring_view text) {
    std::uint64_t value = 0;
    for (const wchar_t digit : text) {
        if (digit < L'0' || digit > L'9' || value > (UINT64_MAX - 9) / 10) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(digit - L'0');
    }
    return text.empty() ? std::nullopt : std::optional<std::uint64_t>(value);
}

// An error's number as the child wrote it: decimal, perhaps negative.
std::optional<std::int32_t> parseNumber(std::wstring_view text) {
    const bool negative = !text.empty() && text[0] == L'-';
    const auto magnitude = parseDecimal(text.substr(negative ? 1 : 0));
    if (!magnitude || *magnitude > (negative ? 0x80000000ULL : 0x7FFFFFFFULL)) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

// The library's call. COM's error return goes back as the object's error; anything else
// that comes out of it, an allocation failure too, ends the child, and the run learns
// its code.
bool callLibrary(AutomationObject& object, PostXmlArguments& args) {
    try {
        return object.callPostXmlString(args);
    } catch (const std::bad_alloc&) {
        std::terminate();
    } catch (const std::length_error&) {
        std::terminate();
    }
}

[[noreturn]] void throwChildError(const std::wstring& progId, std::wstring_view what,
                                  std::wstring_view during) {
    std::wstring description = L"The process of " + progId;
    description.append(what).append(L" during ").append(during) += L'.';
    throw Error(errnum::kAutomationError, std::move(description));
}

[[noreturn]] void throwUnreadable(RunningChild& child, const std::wstring& progId,
                                  std::wstring_view during) {
    child.stop();
    throwChildError(progId, L" gave a reply that cannot be read, and was ended,", during);
}

[[noreturn]] void throwInvalidCall() {
    throw Error(errnum::kInvalidCall, L"Invalid procedure call or argument");
}

// One request and its reply: an error the child reports is the object's own; a child that
// ends, hangs up or answers what was not asked ends here, with how it ended.
Fields exchange(RunningChild& child, const std::wstring& progId, const std::string& request,
                std::wstring_view expected, std::size_t size, std::wstring_view during) {
    std::optional<std::string> reply;
    if (child.line().send(request)) {
        reply = child.line().receive();
    }
    if (!reply) {
        const std::optional<std::uint32_t> code = child.stop();
        std::wstring what = L" stopped answering, and was ended,";
        if (code) {
            what = L" ended with code 0x";
            appendHex(what, *code, 8);
        }
        throwChildError(progId, what, during);
    }
    std::optional<Fields> fields = decodeFields(*reply, kMostReplyFields);
    if (fields && fields->size() == 3 && (*fields)[0] == L"error") {
        if (const auto number = parseNumber((*fields)[1])) {
            throw Error(*number, std::move((*fields)[2]));
        }
    }
    if (!fields || fields->size() != size || (*fields)[0] != expected) {
        throwUnreadable(child, progId, during);
    }
    return std::move(*fields);
}

class ChildObject : public AutomationObject {
  public:
    ChildObject(RunningChild& child, const std::wstring& progId)
        : child_(child), progId_(progId), release_(encodeFields({L"release"})) {}
    ~ChildObject() override { child_.line().send(release_); }
    ChildObject(const ChildObject&) = delete;
    ChildObject& operator=(const ChildObject&) = delete;

    bool callPostXmlString(PostXmlArguments& args) override {
        Fields reply = exchange(child_, progId_,
                                encodeFields({L"call", args.report, args.flag ? L"1" : L"0",
                                              args.queryString, args.fourth, args.fifth}),
                                L"answer", 5, kDuringCall);
        if (reply[1] != L"1" && reply[1] != L"0") {
            throwUnreadable(child_, progId_, kDuringCall);
        }
        args.reply1 = std::move(reply[2]);
        args.reply3 = std::move(reply[3]);
        args.report = std::move(reply[4]);
        return reply[1] == L"1";
    }

  private:
    RunningChild& child_;
    std::wstring progId_;
    std::string release_;
};

}  // namespace

void ChildAutomation::prepareCreation() {
    if (!child_) {
        withTrap([&] { child_ = starter_.startChild(); }, [](const Error&) {});
    }
}

std::unique_ptr<AutomationObject> ChildAutomation::createObject(const std::wstring& progId) {
    if (progId == childProgId_) {
        throw Error(errnum::kCannotCreateObject, progId + L" is created only from a judged file");
    }
    return inProcess_.createObject(progId);
}

std::unique_ptr<AutomationObject> ChildAutomation::createObjectFrom(const std::wstring& progId,
                                                                    const FileIdentity& library) {
    if (progId != childProgId_) {
        return inProcess_.createObjectFrom(progId, library);
    }
    if (!child_) {
        child_ = starter_.startChild();
    }
    exchange(*child_, progId,
             encodeFields({L"create", progId, decimalText(library.volumeSerial),
                           decimalText(library.fileIndex)}),
             L"created", 1, kDuringCreation);
    return std::make_unique<ChildObject>(*child_, progId);
}

void ChildAutomation::letChildGo() {
    if (child_) {
        child_->stop();
        child_.reset();
    }
}

std::optional<std::string> ChildServer::answerFields(const Fields& request) {
    const std::wstring& verb = request[0];
    if (verb == L"create" && request.size() == 4) {
        const auto volumeSerial = parseDecimal(request[2]);
        const auto fileIndex = parseDecimal(request[3]);
        if (volumeSerial && fileIndex && *volumeSerial <= UINT32_MAX) {
            object_ = objects_.createObjectFrom(
                request[1], FileIdentity{static_cast<std::uint32_t>(*volumeSerial), *fileIndex});
            args_ = PostXmlArguments{};
            return encodeFields({L"created"});
        }
    }
    // The reply texts are the child's: each call hands in what the previous one left.
    if (verb == L"call" && request.size() == 6 && object_) {
        args_.report = request[1];
        args_.flag = request[2] == L"1";
        args_.queryString = request[3];
        args_.fourth = request[4];
        args_.fifth = request[5];
        const bool answer = callLibrary(*object_, args_);
        return encodeFields(
            {L"answer", answer ? L"1" : L"0", args_.reply1, args_.reply3, args_.report});
    }
    if (verb == L"release" && request.size() == 1) {
        object_.reset();
        return std::nullopt;
    }
    throwInvalidCall();
}

std::optional<std::string> ChildServer::answer(const std::string& request) {
    return withTrap(
        [&] {
            const std::optional<Fields> fields = decodeFields(request, kMostRequestFields);
            if (!fields || fields->empty()) {
                throwInvalidCall();
            }
            return answerFields(*fields);
        },
        [&](const Error& error) -> std::optional<std::string> {
            return encodeFields({L"error", signedDecimalText(error.number()), error.description()});
        });
}

void serveParent(MessageLine& line, Automation& objects) {
    ChildServer server(objects);
    while (const std::optional<std::string> request = line.receive()) {
        const std::optional<std::string> reply = server.answer(*request);
        if (reply && !line.send(*reply)) {
            return;
        }
    }
}

}  // namespace tavrel
