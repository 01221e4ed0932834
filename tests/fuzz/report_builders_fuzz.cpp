// The report, query-string and spool-name builders with any identity texts and times.
// Input: six 4-byte time fields, flags, then texts separated by 0xFF bytes.
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "report/report_text.h"

namespace tavrel::fuzz {
namespace {

// Walks a built text: each literal and each input must come next, in the documented order.
class Expect {
  public:
    Expect(std::wstring_view text, const char* what) : text_(text), what_(what) {}
    Expect& then(std::initializer_list<std::wstring_view> parts) {
        for (std::wstring_view part : parts) {
            require(text_.substr(pos_, part.size()) == part, what_, "a part is not in its place");
            pos_ += part.size();
        }
        return *this;
    }
    // A zero-padded number of exactly the given width, when it fits.
    Expect& number(int value, std::size_t width) {
        const std::wstring_view digits = text_.substr(pos_, width);
        require(digits.size() == width &&
                    digits.find_first_not_of(L"0123456789") == std::wstring_view::npos,
                what_, "a field is not its digits");
        require(std::stoi(std::wstring(digits)) == value, what_, "a field has the wrong value");
        pos_ += width;
        return *this;
    }
    // The original text with "%XX" escapes: it must read back as the original and hold
    // nothing a file name cannot, nor a separator.
    Expect& escaped(std::wstring_view original) {
        constexpr std::wstring_view kHex = L"0123456789ABCDEF";
        for (wchar_t want : original) {
            require(pos_ < text_.size(), what_, "an escaped text is cut short");
            wchar_t got = text_[pos_++];
            if (got == L'%') {
                const std::wstring_view code = text_.substr(pos_, 2);
                require(code.size() == 2 && kHex.find(code[0]) != std::wstring_view::npos &&
                            kHex.find(code[1]) != std::wstring_view::npos,
                        what_, "a percent sign starts no escape");
                got = static_cast<wchar_t>(kHex.find(code[0]) * 16 + kHex.find(code[1]));
                pos_ += 2;
            } else {
                require(got >= 32 &&
                            std::wstring_view(L"\\/:*?\"<>|").find(got) == std::wstring_view::npos,
                        what_, "a character a file name cannot hold");
            }
            require(got == want, what_, "an escaped text does not read back");
        }
        return *this;
    }
    void end() const { require(pos_ == text_.size(), what_, "text after the last part"); }

  private:
    std::wstring_view text_;
    const char* what_;
    std::size_t pos_ = 0;
};

std::vector<std::wstring> textsOf(const std::string& bytes, std::size_t count) {
    std::vector<std::wstring> texts(count);
    std::size_t next = 0;
    for (char c : bytes) {
        if (c == '\xFF' && next + 1 < count) {
            ++next;
        } else {
            texts[next] += widen(std::string_view(&c, 1));
        }
    }
    return texts;
}

void checkInRangeTimes(LocalTime t) {
    const std::wstring stamp = reportTimestamp(t.month, t.day, t.year, t.hour, t.minute, t.second);
    int f[6] = {};
    wchar_t tail = 0;
    const int read = std::swscanf(stamp.c_str(), L"%d/%d/%d %d:%d:%d%lc", &f[0], &f[1], &f[2],
                                  &f[3], &f[4], &f[5], &tail);
    require(read == 6 && f[0] == t.month && f[1] == t.day && f[2] == t.year && f[3] == t.hour &&
                f[4] == t.minute && f[5] == t.second,
            "reportTimestamp", "does not read back as its fields");
    require(stamp.find(L' ') == stamp.find(L'/', stamp.find(L'/') + 1) + 5, "reportTimestamp",
            "the year is not four digits");
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    fuzz::Input in(data, size);
    auto field = [&] { return static_cast<int>(in.u32()); };
    LocalTime t{field(), field(), field(), field(), field(), field()};
    const bool inRange = (in.byte() & 1) != 0;
    if (inRange) {
        auto within = [](int v, unsigned span) { return static_cast<int>(unsigned(v) % span); };
        t = LocalTime{within(t.year, 10000), 1 + within(t.month, 12), 1 + within(t.day, 31),
                      within(t.hour, 24),    within(t.minute, 60),    within(t.second, 60)};
        fuzz::checkInRangeTimes(t);
    } else {
        reportTimestamp(t.month, t.day, t.year, t.hour, t.minute, t.second);
    }
    const auto texts = fuzz::textsOf(in.rest(), 8);
    const std::wstring &regId = texts[0], &upTime = texts[1], &stamp = texts[2],
                       &configured = texts[3], &host = texts[4], &member = texts[5],
                       &site = texts[6], &agentType = texts[7];

    fuzz::Expect(buildUptimeReport(regId, upTime, stamp), "buildUptimeReport")
        .then({L"<wpsysuptimedata><regid>", regId, L"</regid><uptime>", upTime,
               L"</uptime><mndtime>", stamp, L"</mndtime></wpsysuptimedata>"})
        .end();

    const std::wstring base = endpointBaseUrl(configured, host);
    const std::wstring start = configured.empty() ? L"https://" + host + L"/" : configured;
    fuzz::require(
        base.starts_with(start) && base.ends_with(L"/") && base.size() <= start.size() + 1,
        "endpointBaseUrl", "not the endpoint ending in one slash");

    fuzz::Expect(buildQueryString(base, member, site, regId, agentType), "buildQueryString")
        .then({base, L"tfr_wpsysuptimedata.asp?mmid=", member, L"&sid=", site, L"&rid=", regId,
               L"&rty=", agentType})
        .end();

    const std::wstring spool = spoolFileName(regId, t);
    fuzz::Expect name(spool, "spoolFileName");
    name.then({L"wpsysuptimedata_N_"}).escaped(regId).then({L"_"});
    if (inRange) {
        name.number(t.month, 2).number(t.day, 2).number(t.year, 4);
        name.number(t.hour, 2).number(t.minute, 2).number(t.second, 2).then({L".xml"}).end();
    } else {
        fuzz::require(spool.ends_with(L".xml"), "spoolFileName", "not an .xml name");
    }
    return 0;
}
