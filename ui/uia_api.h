// The few UI Automation entry points and pattern interfaces the window's provider uses. MinGW-w64's
// uiautomationcoreapi.h does not compile as C++ (a parameter named "new"), and its uiautomationcore.h
// lacks the pattern interfaces, so they are declared here as the Windows SDK declares them.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <uiautomationcore.h>
#include <uiautomationclient.h>

extern "C" {
LRESULT WINAPI UiaReturnRawElementProvider(HWND hwnd, WPARAM wParam, LPARAM lParam,
                                           IRawElementProviderSimple* element);
HRESULT WINAPI UiaHostProviderFromHwnd(HWND hwnd, IRawElementProviderSimple** provider);
HRESULT WINAPI UiaRaiseAutomationEvent(IRawElementProviderSimple* provider, EVENTID id);
HRESULT WINAPI UiaRaiseAutomationPropertyChangedEvent(IRawElementProviderSimple* provider, PROPERTYID id,
                                                      VARIANT oldValue, VARIANT newValue);
BOOL WINAPI UiaClientsAreListening();
HRESULT WINAPI UiaDisconnectProvider(IRawElementProviderSimple* provider);
}

// Values from UIAutomationCoreApi.h and UIAutomationClient.h that the toolchain may lack.
inline constexpr int kUiaAppendRuntimeId = 3;
inline constexpr LONG kUiaRootObjectId = -25;
inline constexpr HRESULT kUiaElementNotEnabled = static_cast<HRESULT>(0x80040200);
inline constexpr HRESULT kUiaElementNotAvailable = static_cast<HRESULT>(0x80040201);
inline constexpr CONTROLTYPEID kUiaButtonControlType = 50000;
inline constexpr CONTROLTYPEID kUiaCheckBoxControlType = 50002;
inline constexpr CONTROLTYPEID kUiaProgressBarControlType = 50012;
inline constexpr CONTROLTYPEID kUiaTextControlType = 50020;
inline constexpr EVENTID kUiaFocusChangedEvent = 20005;
inline constexpr EVENTID kUiaLiveRegionChangedEvent = 20024;
inline constexpr PROPERTYID kUiaLiveSettingProperty = 30135;
inline constexpr int kUiaLiveSettingPolite = 1;

// The pattern interfaces (UIAutomationCore.idl), with their identifiers under names of our own.
inline constexpr IID kIidInvokeProvider = {
    0x54fcb24b, 0xe18e, 0x47a2, {0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2}};
inline constexpr IID kIidToggleProvider = {
    0x56d00bd0, 0xc4f4, 0x433c, {0xa8, 0x36, 0x1a, 0x52, 0xa5, 0x7e, 0x08, 0x92}};
inline constexpr IID kIidRangeValueProvider = {
    0x36dc7aef, 0x33e6, 0x4691, {0xaf, 0xe1, 0x2b, 0xe7, 0x27, 0x4b, 0x3d, 0x33}};

#ifndef __IInvokeProvider_INTERFACE_DEFINED__
#define __IInvokeProvider_INTERFACE_DEFINED__
struct IInvokeProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
#endif

#ifndef __IToggleProvider_INTERFACE_DEFINED__
#define __IToggleProvider_INTERFACE_DEFINED__
enum ToggleState { ToggleState_Off = 0, ToggleState_On = 1, ToggleState_Indeterminate = 2 };
struct IToggleProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Toggle() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ToggleState(enum ToggleState* state) = 0;
};
#endif

#ifndef __IRangeValueProvider_INTERFACE_DEFINED__
#define __IRangeValueProvider_INTERFACE_DEFINED__
struct IRangeValueProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetValue(double value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* readOnly) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Maximum(double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Minimum(double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LargeChange(double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SmallChange(double* value) = 0;
};
#endif
