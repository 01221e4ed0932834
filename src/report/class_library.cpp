#include "report/class_library.h"

#include <cwchar>

#include "platform/error.h"

namespace tavrel {

namespace {

// A key's default text value; empty where the key, the value or text is missing.
std::wstring readDefaultText(Registry& registry, const std::wstring& subKey) {
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
    return data.text;
}

// The form in which two names of one file compare equal, empty for a file not found. A
// registration may quote the name.
std::wstring comparableForm(RunContext& run, const std::wstring& path) {
    const bool quoted = path.size() >= 2 && path.front() == L'"' && path.back() == L'"';
    return run.os.system.toUpperInvariant(
        run.state.gFso->longPathName(quoted ? path.substr(1, path.size() - 2) : path));
}

bool namesTheLibrary(RunContext& run, const std::wstring& named, const std::wstring& libraryPath) {
    const std::wstring form = comparableForm(run, named);
    return !form.empty() && form == comparableForm(run, libraryPath);
}

}  // namespace

void requireClassLibrary(RunContext& run, const std::wstring& libraryPath) {
    std::wstring named = readDefaultText(run.os.registry, L"Mavlin.WebPost\\CLSID");
    if (!named.empty()) {
        named = readDefaultText(run.os.registry, L"CLSID\\" + named + L"\\InprocServer32");
    }
    if (named.empty() || !namesTheLibrary(run, named, libraryPath)) {
        throw Error(errnum::kCannotCreateObject, L"Mavlin.WebPost's InprocServer32 names " +
                                                     (named.empty() ? L"nothing" : named));
    }
}

}  // namespace tavrel
