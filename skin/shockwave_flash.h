// The player's automation interface as far as the movie panel uses it, and
// the identifiers of the player class. Shared with the stand-in player.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace qm::skin {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
inline constexpr CLSID kShockwaveFlashClsid = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {D27CDB6C-AE6D-11CF-96B8-444553540000}
inline constexpr IID kIShockwaveFlashIid = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// A dual interface: the methods below follow IDispatch's in this order.
struct IShockwaveFlash : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* playing) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL playing) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Quality2(BSTR quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* colour) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BackgroundColor(long colour) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Movie(BSTR* movie) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Movie(BSTR movie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Play() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WMode(BSTR* mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WMode(BSTR mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* align) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SAlign(BSTR align) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* menu) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL menu) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Scale(BSTR* scale) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Scale(BSTR scale) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* embed) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL embed) = 0;

  protected:
    ~IShockwaveFlash() = default;
};

}  // namespace qm::skin
