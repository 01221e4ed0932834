// The Mavlin.WebPost object: a hand-written IDispatch with the one method the program calls.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "script_line.h"

namespace tavrel::webpost {

constexpr DISPID kPostXMLStringId = 1;

class WebPost final : public IDispatch {
  public:
    explicit WebPost(std::wstring folder);
    ~WebPost();
    WebPost(const WebPost&) = delete;
    WebPost& operator=(const WebPost&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

  private:
    HRESULT postXMLString(DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception);
    /// The step for this call: the script's line for it, or "true" when there is none.
    std::optional<ScriptStep> readStep(unsigned call, std::wstring& problem) const;
    /// Rewrites the by-reference texts the step names, noting each change in the record.
    static void writeBack(DISPPARAMS& params, const ScriptStep& step,
                          std::vector<std::wstring>& record);

    std::atomic<ULONG> references_{1};
    std::wstring folder_;
};

}  // namespace tavrel::webpost
