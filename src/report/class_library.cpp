#include "report/class_library.h"

#include <cwchar>

#include "context/web_post_names.h"
#include "platform/error.h"
#include "settings/registry_settings.h"

namespace tavrel {

namespace {

struct RegisteredText {
    std::wstring text;  // empty where the key, the value or text is missing
    bool expandable = false;
};

// A key's default text value.
RegisteredText readDefaultText(Registry& registry, const std::wstring& subKey) {
    const RegistryOpenResult opened =
        registry.openKey(RegistryRoot::ClassesRoot, subKey, 0, kKeyRead);
    if (opened.resultCode != 0 || opened.key.isNull()) {
        return {};
    }
    const RegistryValueSize size = registry.queryValueSize(opened.key.handle(), L"");
    if (size.resultCode != 0 || (size.type != kRegSz && size.type != kRegExpandSz)) {
        return {};
    }
    RegistryValueData data = registry.queryValueData(opened.key.handle(), L"", size.byteCount);
    data.text.resize(data.resultCode != 0 ? 0 : std::wcslen(data.text.c_str()));
    return {data.text, size.type == kRegExpandSz};
}

bool keyExists(Registry& registry, const std::wstring& subKey) {
    const RegistryOpenResult opened =
        registry.openKey(RegistryRoot::ClassesRoot, subKey, 0, kKeyRead);
    return opened.resultCode == 0 && !opened.key.isNull();
}

[[noreturn]] void refuse(const std::wstring& why) {
    throw Error(errnum::kCannotCreateObject, std::wstring(kWebPostProgId) + L"'s " + why);
}

}  // namespace

FileIdentity requireClassLibrary(RunContext& run, const std::wstring& libraryPath) {
    Registry& registry = run.os.registry;
    const std::wstring classId =
        readDefaultText(registry, std::wstring(kWebPostProgId) + L"\\CLSID").text;
    // COM would create whatever class TreatAs names instead.
    if (!classId.empty() && keyExists(registry, L"CLSID\\" + classId + L"\\TreatAs")) {
        refuse(L"class is treated as another (TreatAs)");
    }
    RegisteredText named;
    if (!classId.empty()) {
        named = readDefaultText(registry, L"CLSID\\" + classId + L"\\InprocServer32");
    }
    if (named.text.empty()) {
        refuse(L"InprocServer32 names nothing");
    }
    // COM expands only an expandable value, and takes a quoted name without its quotes.
    std::wstring path =
        named.expandable ? run.os.system.expandEnvironmentStrings(named.text) : named.text;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        path = path.substr(1, path.size() - 2);
    }
    // COM searches for a relative name: only a full one names one file.
    if (!isAbsoluteFolderPath(path)) {
        refuse(L"InprocServer32 names " + named.text + L", which is not a full path");
    }
    // Files, not names, are compared: links and short names reach one file by many.
    const FileIdentity judged = run.state.gFso->fileIdentity(libraryPath);
    bool same = false;
    ignoreFailure([&] { same = run.state.gFso->fileIdentity(path) == judged; });
    if (!same) {
        refuse(L"InprocServer32 names " + named.text);
    }
    return judged;
}

}  // namespace tavrel
