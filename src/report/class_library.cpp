#include "report/class_library.h"

#include <optional>

#include "platform/error.h"

namespace tavrel {

namespace {

// A key's default text value; nothing where the key, the value or text is missing.
std::optional<std::wstring> readDefaultText(Registry& registry, const std::wstring& subKey) {
    const RegistryOpenResult opened =
        registry.openKey(RegistryRoot::ClassesRoot, subKey, 0, kKeyRead);
    if (opened.resultCode != 0 || opened.key.isNull()) {
        return std::nullopt;
    }
    const RegistryValueSize size = registry.queryValueSize(opened.key.handle(), L"");
    if (size.resultCode != 0 || (size.type != kRegSz && size.type != kRegExpandSz)) {
        return std::nullopt;
    }
    RegistryValueData data = registry.queryValueData(opened.key.handle(), L"", size.byteCount);
    if (data.resultCode != 0) {
        return std::nullopt;
    }
    data.text.resize(data.text.find(L'\0') == std::wstring::npos ? data.text.size()
                                                                 : data.text.find(L'\0'));
    return data.text;
}

// A registration may quote the path; the file named is the same.
std::wstring withoutQuotes(std::wstring path) {
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        return path.substr(1, path.size() - 2);
    }
    return path;
}

// The form in which two names of one file compare equal.
std::wstring comparableForm(RunContext& run, const std::wstring& path) {
    std::wstring form;
    for (const wchar_t c : run.state.gFso->longPathName(path)) {
        const wchar_t separatorOrChar = c == L'/' ? L'\\' : c;
        if (separatorOrChar != L'\\' || form.empty() || form.back() != L'\\') {
            form += separatorOrChar;
        }
    }
    return run.os.system.toUpperInvariant(form);
}

}  // namespace

void requireClassLibrary(RunContext& run, std::wstring_view progId,
                         const std::wstring& libraryPath) {
    const std::wstring name(progId);
    const std::optional<std::wstring> clsid = readDefaultText(run.os.registry, name + L"\\CLSID");
    const std::wstring named = withoutQuotes(
        clsid ? readDefaultText(run.os.registry, L"CLSID\\" + *clsid + L"\\InprocServer32")
                    .value_or(L"")
              : L"");
    if (named.empty()) {
        throw Error(errnum::kCannotCreateObject, name + L"'s InprocServer32 names nothing");
    }
    const bool same =
        withTrap([&] { return comparableForm(run, named) == comparableForm(run, libraryPath); },
                 [](const Error&) { return false; });
    if (!same) {
        throw Error(errnum::kCannotCreateObject,
                    name + L"'s InprocServer32 names " + named + L", not " + libraryPath);
    }
}

}  // namespace tavrel
