#include "platform/child_automation.h"

#include <utility>

#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

namespace {

using Fields = std::vector<std::wstring>;

constexpr std::wstring_view kDuringCreation = L"the object's creation";
constexpr std::wstring_view kDuringCall = L"the call of PostXMLString";

void appendWord(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xFFu);
    }
}

class FieldReader {
  public:
    explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

    bool readWord(std::uint32_t& value) {
        if (bytes_.size() - position_ < 4) {
            return false;
        }
        value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[position_++]))
                     << shift;
        }
        return true;
    }
    // A count that more words than remain would need is no count at all.
    bool readCount(std::uint32_t& count) {
        return readWord(count) && count <= (bytes_.size() - position_) / 4;
    }
    bool atEnd() const { return position_ == bytes_.size(); }

  private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

// An error's number as the child wrote it: decimal, perhaps negative.
std::optional<std::int32_t> parseNumber(const std::wstring& text) {
    const bool negative = !text.empty() && text[0] == L'-';
    std::int64_t value = 0;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9' || value > 0x80000000LL) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - L'0');
    }
    value = negative ? -value : value;
    if (text.size() == (negative ? 1u : 0u) || value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

[[noreturn]] void throwChildError(const std::wstring& progId, std::wstring_view what,
                                  std::wstring_view during) {
    std::wstring description = L"The process of " + progId;
    description.append(what).append(L" during ").append(during) += L'.';
    throw Error(errnum::kAutomationError, std::move(description));
}

[[noreturn]] void throwUnreadable(ChildLine& line, const std::wstring& progId,
                                  std::wstring_view during) {
    line.endChild();
    throwChildError(progId, L" gave a reply that cannot be read, and was ended,", during);
}

[[noreturn]] void throwInvalidCall() {
    throw Error(errnum::kInvalidCall, L"Invalid procedure call or argument");
}

// One request and its reply: an error the child reports is the object's own; a child that
// ends, hangs up or answers what was not asked ends here, with how it ended.
Fields exchange(ChildLine& line, const std::wstring& progId, const std::string& request,
                std::wstring_view expected, std::size_t size, std::wstring_view during) {
    std::optional<std::string> reply;
    if (line.send(request)) {
        reply = line.receive();
    }
    if (!reply) {
        const std::optional<std::uint32_t> code = line.endChild();
        std::wstring what = L" stopped answering, and was ended,";
        if (code) {
            what = L" ended with code 0x";
            appendHex(what, *code, 8);
        }
        throwChildError(progId, what, during);
    }
    std::optional<Fields> fields = decodeFields(*reply);
    if (fields && fields->size() == 3 && (*fields)[0] == L"error") {
        if (const auto number = parseNumber((*fields)[1])) {
            throw Error(*number, std::move((*fields)[2]));
        }
    }
    if (!fields || fields->size() != size || (*fields)[0] != expected) {
        throwUnreadable(line, progId, during);
    }
    return std::move(*fields);
}

class ChildObject : public AutomationObject {
  public:
    ChildObject(ChildLine& line, const std::wstring& progId)
        : line_(line), progId_(progId), release_(encodeFields({L"release"})) {}
    ~ChildObject() override { line_.send(release_); }
    ChildObject(const ChildObject&) = delete;
    ChildObject& operator=(const ChildObject&) = delete;

    bool callPostXmlString(PostXmlArguments& args) override {
        Fields reply = exchange(line_, progId_,
                                encodeFields({L"call", args.report, args.flag ? L"1" : L"0",
                                              args.queryString, args.fourth, args.fifth}),
                                L"answer", 5, kDuringCall);
        if (reply[1] != L"1" && reply[1] != L"0") {
            throwUnreadable(line_, progId_, kDuringCall);
        }
        args.reply1 = std::move(reply[2]);
        args.reply3 = std::move(reply[3]);
        args.report = std::move(reply[4]);
        return reply[1] == L"1";
    }

  private:
    ChildLine& line_;
    std::wstring progId_;
    std::string release_;
};

}  // namespace

void ChildAutomation::prepareCreation() {
    if (!line_) {
        withTrap([&] { line_ = starter_.startChild(); }, [](const Error&) {});
    }
}

std::unique_ptr<AutomationObject> ChildAutomation::createObject(const std::wstring& progId) {
    if (progId != childProgId_) {
        return inProcess_.createObject(progId);
    }
    if (!line_) {
        line_ = starter_.startChild();
    }
    exchange(*line_, progId, encodeFields({L"create", progId}), L"created", 1, kDuringCreation);
    return std::make_unique<ChildObject>(*line_, progId);
}

void ChildAutomation::endChild() {
    if (line_) {
        line_->endChild();
        line_.reset();
    }
}

std::optional<std::string> ChildServer::answerFields(const std::optional<Fields>& request) {
    // What cannot be decoded, or names no verb, is as invalid a call as a wrong shape.
    if (!request || request->empty()) {
        throwInvalidCall();
    }
    const Fields& fields = *request;
    const std::wstring& verb = fields[0];
    if (verb == L"create" && fields.size() == 2) {
        object_ = objects_.createObject(fields[1]);
        args_ = PostXmlArguments{};
        return encodeFields({L"created"});
    }
    // The reply texts are the child's: each call hands in what the previous one left.
    if (verb == L"call" && fields.size() == 6 && object_) {
        args_.report = fields[1];
        args_.flag = fields[2] == L"1";
        args_.queryString = fields[3];
        args_.fourth = fields[4];
        args_.fifth = fields[5];
        const bool answer = object_->callPostXmlString(args_);
        return encodeFields(
            {L"answer", answer ? L"1" : L"0", args_.reply1, args_.reply3, args_.report});
    }
    if (verb == L"release" && fields.size() == 1) {
        object_.reset();
        return std::nullopt;
    }
    throwInvalidCall();
}

std::optional<std::string> ChildServer::answer(const std::string& request) {
    // COM's own error return goes back as the object's error; nothing else is caught.
    return withTrap(
        [&] { return answerFields(decodeFields(request)); },
        [&](const Error& error) -> std::optional<std::string> {
            return encodeFields({L"error", signedDecimalText(error.number()), error.description()});
        });
}

void serveParent(ChildLine& line, Automation& objects) {
    ChildServer server(objects);
    while (const std::optional<std::string> request = line.receive()) {
        const std::optional<std::string> reply = server.answer(*request);
        if (reply && !line.send(*reply)) {
            return;
        }
    }
}

std::string encodeFields(std::initializer_list<std::wstring_view> fields) {
    std::string bytes;
    appendWord(bytes, static_cast<std::uint32_t>(fields.size()));
    for (const std::wstring_view field : fields) {
        appendWord(bytes, static_cast<std::uint32_t>(field.size()));
        for (const wchar_t unit : field) {
            appendWord(bytes, static_cast<std::uint32_t>(unit));
        }
    }
    return bytes;
}

std::optional<std::vector<std::wstring>> decodeFields(std::string_view bytes) {
    FieldReader reader(bytes);
    std::uint32_t count = 0;
    if (!reader.readCount(count)) {
        return std::nullopt;
    }
    Fields fields(count);
    for (std::wstring& field : fields) {
        std::uint32_t length = 0;
        if (!reader.readCount(length)) {
            return std::nullopt;
        }
        field.resize(length);
        for (wchar_t& unit : field) {
            std::uint32_t value = 0;
            reader.readWord(value);
            unit = static_cast<wchar_t>(value);
            if (static_cast<std::uint32_t>(unit) != value) {
                return std::nullopt;
            }
        }
    }
    if (!reader.atEnd()) {
        return std::nullopt;
    }
    return fields;
}

}  // namespace tavrel
