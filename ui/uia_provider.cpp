#include "ui/uia_provider.h"

#include <oleauto.h>

#include <cmath>
#include <vector>

#include "ui/accessible_tree.h"
#include "ui/text_fit.h"
#include "ui/uia_api.h"

namespace {

constexpr HRESULT kUiaInvalidOperation = static_cast<HRESULT>(0x80131509);

// A stable identifier per element for test and automation tools, in the program's own words.
const wchar_t* automationId(int key) {
    switch (key) {
        case kHeadlineKey:
            return L"baslik";
        case kDetailKey:
            return L"ayrinti";
        case kProgressKey:
            return L"ilerleme";
    }
    static const wchar_t* const controls[] = {L"",
                                              L"kucult",
                                              L"kapat",
                                              L"onar",
                                              L"oyun_klasoru",
                                              L"dil",
                                              L"ana_dugme",
                                              L"kurulum_klasoru",
                                              L"klasor_degistir",
                                              L"masaustu_kisayolu",
                                              L"baslat_menusu",
                                              L"ekran_ayarlari",
                                              L"",
                                              L"ayar_kapat",
                                              L"boyut_1",
                                              L"boyut_2",
                                              L"boyut_3",
                                              L"boyut_4",
                                              L"boyut_5",
                                              L"ekrani_kapla",
                                              L"olcek_1",
                                              L"olcek_2",
                                              L"olcek_3",
                                              L"olcek_4",
                                              L"varsayilan",
                                              L"vazgec",
                                              L"kaydet"};
    return key > 0 && key < static_cast<int>(sizeof(controls) / sizeof(controls[0])) ? controls[key] : L"";
}

CONTROLTYPEID controlType(ElementKind kind) {
    switch (kind) {
        case ElementKind::CheckBox:
            return kUiaCheckBoxControlType;
        case ElementKind::Text:
            return kUiaTextControlType;
        case ElementKind::ProgressBar:
            return kUiaProgressBarControlType;
        case ElementKind::Button:
            break;
    }
    return kUiaButtonControlType;
}

void setBool(VARIANT* v, bool value) {
    V_VT(v) = VT_BOOL;
    V_BOOL(v) = value ? VARIANT_TRUE : VARIANT_FALSE;
}
void setInt(VARIANT* v, int value) {
    V_VT(v) = VT_I4;
    V_I4(v) = value;
}
void setText(VARIANT* v, const std::wstring& text) {
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
}
void setDouble(VARIANT* v, double value) {
    V_VT(v) = VT_R8;
    V_R8(v) = value;
}

struct AutomationElement;

}  // namespace

// The window itself. Its name, control type and position come from the host provider of the
// window handle; it adds the elements below it, hit-testing and focus.
struct AutomationRoot final : IRawElementProviderSimple,
                              IRawElementProviderFragment,
                              IRawElementProviderFragmentRoot {
    explicit AutomationRoot(LauncherUi* ui) : ui(ui) {}

    LauncherUi* ui;  // null once the window is gone
    LONG references = 1;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IRawElementProviderSimple)
            *out = static_cast<IRawElementProviderSimple*>(this);
        else if (iid == IID_IRawElementProviderFragment)
            *out = static_cast<IRawElementProviderFragment*>(this);
        else if (iid == IID_IRawElementProviderFragmentRoot)
            *out = static_cast<IRawElementProviderFragmentRoot*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* options) override {
        if (!options) return E_POINTER;
        *options = static_cast<ProviderOptions>(ProviderOptions_ServerSideProvider |
                                                ProviderOptions_UseComThreading);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID, IUnknown** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        if (!ui) return kUiaElementNotAvailable;
        if (property == UIA_AutomationIdPropertyId) setText(out, L"qorvane_launcher");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!ui) return kUiaElementNotAvailable;
        return UiaHostProviderFromHwnd(ui->window.handle, out);
    }

    // IRawElementProviderFragment
    HRESULT STDMETHODCALLTYPE Navigate(enum NavigateDirection direction,
                                       IRawElementProviderFragment** out) override;
    HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;  // the host provider gives the window's
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BoundingRectangle(struct UiaRect* out) override {
        if (!out) return E_POINTER;
        *out = UiaRect{0, 0, 0, 0};  // the host provider gives the window's
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFocus() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
        if (!out) return E_POINTER;
        AddRef();
        *out = this;
        return S_OK;
    }

    // IRawElementProviderFragmentRoot
    HRESULT STDMETHODCALLTYPE ElementProviderFromPoint(double x, double y,
                                                       IRawElementProviderFragment** out) override;
    HRESULT STDMETHODCALLTYPE GetFocus(IRawElementProviderFragment** out) override;
};

namespace {

// One element of the accessible tree, known by its key and looked up afresh on every question:
// a control that is no longer shown answers "not available".
struct AutomationElement final : IRawElementProviderSimple,
                                 IRawElementProviderFragment,
                                 IInvokeProvider,
                                 IToggleProvider,
                                 IRangeValueProvider {
    AutomationElement(AutomationRoot* root, int key) : root(root), key(key) { root->AddRef(); }
    ~AutomationElement() { root->Release(); }

    AutomationRoot* root;
    int key;
    LONG references = 1;

    bool current(AccessibleElement* out) const { return root->ui && findElement(*root->ui, key, out); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IRawElementProviderSimple)
            *out = static_cast<IRawElementProviderSimple*>(this);
        else if (iid == IID_IRawElementProviderFragment)
            *out = static_cast<IRawElementProviderFragment*>(this);
        else if (iid == kIidInvokeProvider || iid == kIidToggleProvider || iid == kIidRangeValueProvider)
            *out = pattern(iid);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // The pattern interface for iid when the element's kind has that pattern, else null.
    IUnknown* pattern(REFIID iid) {
        AccessibleElement e;
        if (!current(&e)) return nullptr;
        if (iid == kIidInvokeProvider && e.kind == ElementKind::Button)
            return static_cast<IInvokeProvider*>(this);
        if (iid == kIidToggleProvider && e.kind == ElementKind::CheckBox)
            return static_cast<IToggleProvider*>(this);
        if (iid == kIidRangeValueProvider && e.kind == ElementKind::ProgressBar)
            return static_cast<IRangeValueProvider*>(this);
        return nullptr;
    }

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* options) override {
        if (!options) return E_POINTER;
        *options = static_cast<ProviderOptions>(ProviderOptions_ServerSideProvider |
                                                ProviderOptions_UseComThreading);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID id, IUnknown** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!root->ui) return kUiaElementNotAvailable;
        const IID* iid = id == UIA_InvokePatternId       ? &kIidInvokeProvider
                         : id == UIA_TogglePatternId     ? &kIidToggleProvider
                         : id == UIA_RangeValuePatternId ? &kIidRangeValueProvider
                                                         : nullptr;
        if (iid && (*out = pattern(*iid))) (*out)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override {
        if (!out) return E_POINTER;
        VariantInit(out);
        AccessibleElement e;
        if (!current(&e)) return kUiaElementNotAvailable;
        switch (property) {
            case UIA_ControlTypePropertyId:
                setInt(out, controlType(e.kind));
                break;
            case UIA_NamePropertyId:
                setText(out, e.name);
                break;
            case UIA_AutomationIdPropertyId:
                setText(out, automationId(key));
                break;
            case UIA_IsEnabledPropertyId:
                setBool(out, e.enabled);
                break;
            case UIA_IsKeyboardFocusablePropertyId:
                setBool(out, e.focusable);
                break;
            case UIA_HasKeyboardFocusPropertyId:
                setBool(out, e.focusable && static_cast<int>(root->ui->window.focusId) == key);
                break;
            case kUiaLiveSettingProperty:
                if (key == kHeadlineKey) setInt(out, kUiaLiveSettingPolite);
                break;
            default:
                break;  // VT_EMPTY: UI Automation's own default
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }

    // IRawElementProviderFragment
    HRESULT STDMETHODCALLTYPE Navigate(enum NavigateDirection direction,
                                       IRawElementProviderFragment** out) override;
    HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!current(nullptr)) return kUiaElementNotAvailable;
        SAFEARRAY* ids = SafeArrayCreateVector(VT_I4, 0, 2);
        if (!ids) return E_OUTOFMEMORY;
        LONG values[2] = {kUiaAppendRuntimeId, key};
        for (LONG i = 0; i < 2; ++i)
            SafeArrayPutElement(ids, &i, &values[i]);
        *out = ids;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_BoundingRectangle(struct UiaRect* out) override {
        if (!out) return E_POINTER;
        *out = UiaRect{0, 0, 0, 0};
        AccessibleElement e;
        if (!current(&e)) return kUiaElementNotAvailable;
        POINT origin{0, 0};
        ClientToScreen(root->ui->window.handle, &origin);
        const double scale = root->ui->window.uiScale;
        out->left = origin.x + std::floor(e.box.x * scale + 0.5);
        out->top = origin.y + std::floor(e.box.y * scale + 0.5);
        out->width = std::floor(e.box.width * scale + 0.5);
        out->height = std::floor(e.box.height * scale + 0.5);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEmbeddedFragmentRoots(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFocus() override {
        AccessibleElement e;
        if (!current(&e)) return kUiaElementNotAvailable;
        if (!e.focusable) return kUiaInvalidOperation;
        LauncherUi& ui = *root->ui;
        ui.window.focusId = static_cast<ClickId>(key);
        SendMessageW(ui.window.handle, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        InvalidateRect(ui.window.handle, nullptr, FALSE);
        announceFocus(ui);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
        if (!out) return E_POINTER;
        root->AddRef();
        *out = root;
        return S_OK;
    }

    // Invoke and Toggle: what a click does, run by the window.
    HRESULT runAsClick() {
        AccessibleElement e;
        if (!current(&e)) return kUiaElementNotAvailable;
        if (!e.enabled) return kUiaElementNotEnabled;
        PostMessageW(root->ui->window.handle, kInvokeMessage, static_cast<WPARAM>(key), 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke() override { return runAsClick(); }
    HRESULT STDMETHODCALLTYPE Toggle() override { return runAsClick(); }
    HRESULT STDMETHODCALLTYPE get_ToggleState(enum ToggleState* state) override {
        if (!state) return E_POINTER;
        AccessibleElement e;
        if (!current(&e)) return kUiaElementNotAvailable;
        *state = e.checked ? ToggleState_On : ToggleState_Off;
        return S_OK;
    }

    // The progress bar: read-only, 0 to 100.
    HRESULT STDMETHODCALLTYPE SetValue(double) override { return kUiaInvalidOperation; }
    HRESULT STDMETHODCALLTYPE get_Value(double* value) override {
        if (!value) return E_POINTER;
        AccessibleElement e;
        if (!current(&e)) return kUiaElementNotAvailable;
        *value = e.value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* readOnly) override {
        if (!readOnly) return E_POINTER;
        *readOnly = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Maximum(double* value) override { return constant(value, 100); }
    HRESULT STDMETHODCALLTYPE get_Minimum(double* value) override { return constant(value, 0); }
    HRESULT STDMETHODCALLTYPE get_LargeChange(double* value) override { return constant(value, 0); }
    HRESULT STDMETHODCALLTYPE get_SmallChange(double* value) override { return constant(value, 0); }
    static HRESULT constant(double* out, double value) {
        if (!out) return E_POINTER;
        *out = value;
        return S_OK;
    }
};

// A new element for key as a fragment, or null when there is none.
IRawElementProviderFragment* fragmentFor(AutomationRoot* root, int key) {
    if (key == 0) return nullptr;
    return static_cast<IRawElementProviderFragment*>(new AutomationElement(root, key));
}

int keyAt(const std::vector<AccessibleElement>& elements, size_t index) {
    return index < elements.size() ? elements[index].key : 0;
}

}  // namespace

HRESULT AutomationRoot::Navigate(enum NavigateDirection direction, IRawElementProviderFragment** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!ui) return kUiaElementNotAvailable;
    const std::vector<AccessibleElement> elements = accessibleElements(*ui);
    if (direction == NavigateDirection_FirstChild) *out = fragmentFor(this, keyAt(elements, 0));
    if (direction == NavigateDirection_LastChild && !elements.empty())
        *out = fragmentFor(this, keyAt(elements, elements.size() - 1));
    return S_OK;
}

HRESULT AutomationRoot::ElementProviderFromPoint(double x, double y, IRawElementProviderFragment** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!ui) return kUiaElementNotAvailable;
    POINT point{static_cast<LONG>(std::floor(x)), static_cast<LONG>(std::floor(y))};
    ScreenToClient(ui->window.handle, &point);
    const float dx = (static_cast<float>(point.x) + 0.5f) / ui->window.uiScale;
    const float dy = (static_cast<float>(point.y) + 0.5f) / ui->window.uiScale;
    // The last element containing the point is the one on top, as with the hit regions.
    int found = 0;
    for (const AccessibleElement& e : accessibleElements(*ui)) {
        if (dx >= e.box.x && dx < e.box.x + e.box.width && dy >= e.box.y && dy < e.box.y + e.box.height)
            found = e.key;
    }
    *out = fragmentFor(this, found);
    return S_OK;
}

HRESULT AutomationRoot::GetFocus(IRawElementProviderFragment** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!ui) return kUiaElementNotAvailable;
    AccessibleElement e;
    const int key = static_cast<int>(ui->window.focusId);
    if (key != 0 && findElement(*ui, key, &e) && e.focusable) *out = fragmentFor(this, key);
    return S_OK;
}

namespace {

HRESULT AutomationElement::Navigate(enum NavigateDirection direction, IRawElementProviderFragment** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!root->ui) return kUiaElementNotAvailable;
    if (direction == NavigateDirection_Parent) {
        root->AddRef();
        *out = root;
        return S_OK;
    }
    const std::vector<AccessibleElement> elements = accessibleElements(*root->ui);
    size_t index = 0;
    while (index < elements.size() && elements[index].key != key)
        ++index;
    if (index == elements.size()) return kUiaElementNotAvailable;
    if (direction == NavigateDirection_NextSibling) *out = fragmentFor(root, keyAt(elements, index + 1));
    if (direction == NavigateDirection_PreviousSibling && index > 0)
        *out = fragmentFor(root, keyAt(elements, index - 1));
    return S_OK;
}

// A new element for key as a simple provider (the form events are raised with).
IRawElementProviderSimple* simpleFor(AutomationRoot* root, int key) {
    return static_cast<IRawElementProviderSimple*>(new AutomationElement(root, key));
}

VARIANT textVariant(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    setText(&v, text);
    return v;
}

}  // namespace

bool answerGetObject(LauncherUi& ui, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (static_cast<LONG>(lParam) != kUiaRootObjectId) return false;
    IRawElementProviderSimple* root = automationRoot(ui);
    *result = UiaReturnRawElementProvider(ui.window.handle, wParam, lParam, root);
    root->Release();
    return true;
}

IRawElementProviderSimple* automationRoot(LauncherUi& ui) {
    if (!ui.automation.root) ui.automation.root = new AutomationRoot(&ui);
    ui.automation.root->AddRef();
    return static_cast<IRawElementProviderSimple*>(ui.automation.root);
}

void announceFocus(LauncherUi& ui) {
    const int key = static_cast<int>(ui.window.focusId);
    if (!ui.automation.root || key == 0 || !UiaClientsAreListening()) return;
    IRawElementProviderSimple* element = simpleFor(ui.automation.root, key);
    UiaRaiseAutomationEvent(element, kUiaFocusChangedEvent);
    element->Release();
}

void announceChanges(LauncherUi& ui, uint32_t now) {
    if (!ui.automation.root || !UiaClientsAreListening()) return;
    AccessibleElement headline, progress;
    const bool hasHeadline = findElement(ui, kHeadlineKey, &headline);
    const bool hasProgress = findElement(ui, kProgressKey, &progress);
    const std::wstring oldHeadline = ui.automation.announcedHeadline;
    const int oldPercent = ui.automation.announcedPercent;
    const int percent = hasProgress ? static_cast<int>(std::floor(progress.value + 0.5)) : -1;
    const Announcements due =
        takeAnnouncements(ui.automation, hasHeadline ? headline.name : L"", percent, now);
    if (due.headline && hasHeadline) {
        IRawElementProviderSimple* element = simpleFor(ui.automation.root, kHeadlineKey);
        VARIANT before = textVariant(oldHeadline), after = textVariant(headline.name);
        UiaRaiseAutomationPropertyChangedEvent(element, UIA_NamePropertyId, before, after);
        UiaRaiseAutomationEvent(element, kUiaLiveRegionChangedEvent);
        VariantClear(&before);
        VariantClear(&after);
        element->Release();
    }
    if (due.progress && hasProgress) {
        IRawElementProviderSimple* element = simpleFor(ui.automation.root, kProgressKey);
        VARIANT before, after;
        VariantInit(&before);
        VariantInit(&after);
        setDouble(&before, oldPercent < 0 ? 0 : oldPercent);
        setDouble(&after, progress.value);
        UiaRaiseAutomationPropertyChangedEvent(element, UIA_RangeValueValuePropertyId, before, after);
        element->Release();
    }
}

void releaseAutomation(LauncherUi& ui) {
    AutomationRoot* root = ui.automation.root;
    if (!root) return;
    UiaReturnRawElementProvider(ui.window.handle, 0, 0, nullptr);
    UiaDisconnectProvider(static_cast<IRawElementProviderSimple*>(root));
    root->ui = nullptr;
    ui.automation.root = nullptr;
    root->Release();
}
