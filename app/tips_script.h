// The object that the tips page reaches as window.external: it answers
// "GetDownloadProgress" (dispatch id 1, the download's percent as VT_I4) and
// "GetPeerId" (id 2, the peer id as VT_BSTR), names looked up without regard
// to case. Everything else answers E_FAIL.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

// Where the answers come from; the download controller implements it.
class TipsSource {
  public:
    // The download's progress, 0 to 100.
    virtual int TipsPercent() = 0;
    // The peer id the beacons carry.
    virtual std::wstring TipsPeerId() = 0;

  protected:
    ~TipsSource() = default;
};

// The peer id as the download service gives it (dl_get_peer_id), converted
// from the ANSI code page; empty when the service has none.
std::wstring ServicePeerId();

class TipsScript : public IDispatch {
  public:
    enum : DISPID { kGetDownloadProgress = 1, kGetPeerId = 2 };

    // One reference for the caller. source is not owned and may be null
    // (every call then fails).
    static TipsScript* Create(TipsSource* source);

    // The source is going away: later calls answer E_FAIL, whoever still
    // holds this object.
    void Detach() { source_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;

  private:
    explicit TipsScript(TipsSource* source) : source_(source) {}
    virtual ~TipsScript() = default;

    LONG references_ = 1;
    TipsSource* source_;
};
