#include "app/tips_script.h"

#include <string>

#include "host/strings.h"
#include "service/dl_api.h"

std::wstring ServicePeerId() {
    std::string peer_id;
    if (!dl_get_peer_id(peer_id)) {
        return std::wstring();
    }
    return ansi_to_utf16(peer_id);
}

TipsScript* TipsScript::Create(TipsSource* source) {
    return new TipsScript(source);
}

STDMETHODIMP TipsScript::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == __uuidof(IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TipsScript::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) TipsScript::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP TipsScript::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

STDMETHODIMP TipsScript::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP TipsScript::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) {
        return E_FAIL;
    }
    // Only the method's own name is looked up; argument names are not.
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    const wchar_t* name = names[0];
    if (!name) {
        return E_FAIL;
    }
    if (CompareStringOrdinal(name, -1, L"GetDownloadProgress", -1, TRUE) == CSTR_EQUAL) {
        ids[0] = kGetDownloadProgress;
    } else if (CompareStringOrdinal(name, -1, L"GetPeerId", -1, TRUE) == CSTR_EQUAL) {
        ids[0] = kGetPeerId;
    } else {
        return E_FAIL;
    }
    return count == 1 ? S_OK : E_FAIL;
}

STDMETHODIMP TipsScript::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                EXCEPINFO*, UINT*) {
    if (!source_ || (id != kGetDownloadProgress && id != kGetPeerId)) {
        return E_FAIL;
    }
    if (!result) {
        return S_OK;
    }
    VariantInit(result);
    if (id == kGetDownloadProgress) {
        V_VT(result) = VT_I4;
        V_I4(result) = source_->TipsPercent();
        return S_OK;
    }
    const std::wstring peer_id = source_->TipsPeerId();
    BSTR text = SysAllocStringLen(peer_id.data(), static_cast<UINT>(peer_id.size()));
    if (!text) {
        return E_OUTOFMEMORY;
    }
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = text;
    return S_OK;
}
