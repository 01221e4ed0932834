// The registry reader against any value: its type, the byte count the size query
// reports, the bytes the data query writes, and a value that changes in between.
// Input: flags, type, count (2 bytes), split, then the value's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "log/run_log.h"
#include "settings/registry_settings.h"
#include "support/fake_platform.h"

namespace tavrel::fuzz {
namespace {

constexpr std::size_t kGuardSize = 16;
constexpr char kGuardByte = '\xA5';
constexpr std::uint32_t kLargestBuffer = 16u << 20;

struct Value {
    bool absent = false;
    std::uint32_t type = kRegSz;
    std::uint32_t reportedCount = 0;
    std::string atSizeQuery;
    std::string atDataQuery;  // differs from the above when the value changed in between
};

// One value under every name, written into buffers with guard bytes past their end, as
// RegQueryValueExA fills the caller's buffer; the guards are checked when the reader is done.
class GuardedRegistry : public Registry {
  public:
    explicit GuardedRegistry(Value value) : value_(std::move(value)) {}

    RegistryOpenResult openKey(RegistryRoot, const std::wstring&, std::uint32_t,
                               std::uint32_t) override {
        return RegistryOpenResult{0, RegistryKey(this, 1)};
    }
    long closeKey(std::uintptr_t) override { return 0; }

    RegistryValueSize queryValueSize(std::uintptr_t, const std::wstring&) override {
        if (value_.absent) {
            return RegistryValueSize{2, 0, 0};  // ERROR_FILE_NOT_FOUND
        }
        return RegistryValueSize{0, value_.type, value_.reportedCount};
    }

    RegistryValueData queryValueData(std::uintptr_t, const std::wstring&,
                                     std::uint32_t byteCount) override {
        if (byteCount > kLargestBuffer) {
            throw std::bad_alloc();  // as the real buffer would
        }
        std::vector<char>& buffer = buffers_.emplace_back(byteCount + kGuardSize, kGuardByte);
        std::fill_n(buffer.begin(), byteCount, '\0');
        const std::string& bytes = value_.atDataQuery;
        std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), byteCount), buffer.begin());
        RegistryValueData data;
        if (bytes.size() > byteCount) {
            data.resultCode = kErrorMoreData;
            return data;
        }
        data.text = widen(std::string_view(buffer.data(), byteCount));
        return data;
    }

    void checkGuards() const {
        for (const auto& buffer : buffers_) {
            require(std::all_of(buffer.end() - kGuardSize, buffer.end(),
                                [](char c) { return c == kGuardByte; }),
                    "registry data query", "wrote past the buffer");
        }
    }

  private:
    Value value_;
    std::vector<std::vector<char>> buffers_;
};

Value valueOf(Input& in) {
    const std::uint8_t flags = in.byte();
    const std::uint8_t type = in.byte();
    const std::uint32_t count = in.u16();
    const std::uint8_t split = in.byte();
    const std::string bytes = in.rest();
    Value value;
    value.absent = (flags & 1) != 0;
    value.type = type % 4 == 0 ? type / 4u : kRegSz;  // mostly REG_SZ, any type now and then
    value.atSizeQuery = value.atDataQuery = bytes;
    if ((flags & 2) != 0) {
        const std::size_t at = split % (bytes.size() + 1);
        value.atSizeQuery = bytes.substr(0, at);
        value.atDataQuery = bytes.substr(at);
    }
    // The size the value had, any size at all, or one no buffer can be had for.
    value.reportedCount = (flags & 8) != 0   ? 0x80000000u
                          : (flags & 4) != 0 ? count
                                             : static_cast<std::uint32_t>(value.atSizeQuery.size());
    return value;
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    using fuzz::require;
    fuzz::Input in(data, size);
    const fuzz::Value value = fuzz::valueOf(in);
    fake::FakePlatform os;
    fuzz::GuardedRegistry registry(value);
    const Platform base = os.view();
    RunContext run(Platform{base.host, registry, base.fileSystems, base.clock, base.profiles,
                            base.system, base.wmi, base.automation, base.eventLog});
    run.state.gFso = os.fileSystems.createFileSystem();
    createRunLog(run);
    const RegistryKey key(&registry, 1);
    try {
        const std::wstring text = readRegistryValue(run, key, L"REGID");
        fuzz::requireCleanText(text, "readRegistryValue");
        const std::wstring written = fuzz::widen(value.atDataQuery);
        require(written.substr(0, written.find(L'\0')).find(text) != std::wstring::npos,
                "readRegistryValue", "text that the data query did not write");
        require(text.empty() ||
                    (value.type == kRegSz && value.atDataQuery.size() <= value.reportedCount),
                "readRegistryValue", "text from a value that is not REG_SZ or did not fit");

        const bool found = getMemberID(run, key);
        const std::wstring& member = run.state.gMemberID;
        fuzz::requireCleanText(member, "getMemberID");
        require(found == !member.empty(), "getMemberID", "answer disagrees with gMemberID");
        require(std::none_of(member.begin(), member.end(),
                             [](wchar_t c) { return c >= L'a' && c <= L'z'; }),
                "getMemberID", "lower-case letter left");

        const std::wstring path = getInstallationPath(run, key);
        fuzz::requireCleanText(path, "getInstallationPath");
        require(path.empty() || path.back() == L'\\', "getInstallationPath",
                "no trailing backslash");
        require(!value.absent, "readRegistryValue", "an absent value did not end the process");
    } catch (const fake::ProcessEnded&) {
        require(value.absent, "readRegistryValue", "the process ended for a present value");
        const auto lines = os.exeLogMessages();
        require(!lines.empty() && lines.back() == L"MSG : Application finished.",
                "readRegistryValue", "the process ended without its closing line");
    }
    registry.checkGuards();
    return 0;
}
