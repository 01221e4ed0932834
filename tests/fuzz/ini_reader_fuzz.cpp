// The INI reader against any buffer the profile function leaves and any count it reports.
// Input: the count (4 bytes), flags, then the buffer's first characters.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "log/run_log.h"
#include "settings/endpoint.h"
#include "support/fake_platform.h"

namespace tavrel::fuzz {
namespace {

constexpr std::size_t kLongestValue = 4999;  // the reader's buffer holds 5000 with the NUL

// Hands back the fuzzer's characters in a buffer of the size asked for, with its count.
class ScriptedProfileReader : public ProfileReader {
  public:
    ScriptedProfileReader(std::wstring contents, std::uint32_t count, bool fill, bool obeying)
        : contents_(std::move(contents)), count_(count), fill_(fill), obeying_(obeying) {}

    ProfileString readString(const std::wstring&, const std::wstring&, const std::wstring&,
                             std::uint32_t bufferSize, const std::wstring&) override {
        ProfileString read;
        read.buffer.assign(bufferSize, L'\0');
        for (std::size_t i = 0; i < bufferSize && !contents_.empty(); ++i) {
            if (i >= contents_.size() && !fill_) {
                break;
            }
            read.buffer[i] = contents_[i % contents_.size()];
        }
        read.count = obeying_ && bufferSize != 0 ? count_ % bufferSize : count_;
        lastCount = read.count;
        lastSize = bufferSize;
        return read;
    }

    std::uint32_t lastCount = 0;
    std::uint32_t lastSize = 0;

  private:
    std::wstring contents_;
    std::uint32_t count_;
    bool fill_;
    bool obeying_;
};

void requireIniValue(const std::wstring& value, const ScriptedProfileReader& reader,
                     const char* what) {
    requireCleanText(value, what);
    require(value.size() <= reader.lastSize, what, "more characters than the buffer holds");
    if (reader.lastCount < reader.lastSize) {
        require(value.size() <= kLongestValue, what, "value longer than 4999 characters");
    }
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    fuzz::Input in(data, size);
    const std::uint32_t count = in.u32();
    const std::uint8_t flags = in.byte();
    const std::wstring contents = fuzz::widen(in.rest());
    fuzz::ScriptedProfileReader reader(contents, count, (flags & 1) != 0, (flags & 2) != 0);

    fake::FakePlatform os;
    const std::wstring iniPath =
        std::wstring(fake::FakePlatform::kInstallPath) + L"Configuration\\Norvick.ini";
    os.tree.addFolder(std::wstring(fake::FakePlatform::kInstallPath) + L"Configuration");
    os.tree.addFile(iniPath, contents);
    const Platform base = os.view();
    RunContext run(Platform{base.host, base.registry, base.fileSystems, base.clock, reader,
                            base.system, base.wmi, base.automation, base.eventLog});
    run.state.gFso = os.fileSystems.createFileSystem();
    createRunLog(run);
    run.state.gInstallPath = fake::FakePlatform::kInstallPath;

    fuzz::requireIniValue(readIniValue(run, L"wpsysuptimedata", L"URL", iniPath), reader,
                          "readIniValue");
    const std::wstring url = readNorvick(run, L"wpsysuptimedata");
    fuzz::requireIniValue(url, reader, "readNorvick");
    const std::wstring closing = L"\tMSG : URL is " + url + L"\r\n";
    const std::wstring log = os.tree.content(os.exeLogPath()).value_or(L"");
    fuzz::require(log.ends_with(closing), "readNorvick", "the URL is not logged as returned");

    // The same bytes as the file's text, read with the Windows parsing rules.
    RunContext parsed(os.view());
    parsed.state.gFso = os.fileSystems.createFileSystem();
    parsed.state.gInstallPath = fake::FakePlatform::kInstallPath;
    const std::wstring parsedUrl = readNorvick(parsed, L"wpsysuptimedata");
    fuzz::requireCleanText(parsedUrl, "readNorvick on the file");
    fuzz::require(parsedUrl.size() <= fuzz::kLongestValue, "readNorvick on the file",
                  "value longer than 4999 characters");
    return 0;
}
