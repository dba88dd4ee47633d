#include "ui/uia_provider.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/accessible_tree.h"
#include "ui/preview.h"
#include "ui/text_table.h"
#include "ui/uia_api.h"

namespace {

// Wine 8 has no IUIAutomation, so the tree is walked through the provider's own interfaces, as
// UI Automation itself walks it.
struct Element {
    std::wstring id, name;
    int type = 0;
    bool enabled = false;
};

template <typename T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
    T** put() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

VARIANT property(IUnknown* element, PROPERTYID id) {
    Ref<IRawElementProviderSimple> simple;
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(
            element->QueryInterface(IID_IRawElementProviderSimple, reinterpret_cast<void**>(simple.put()))))
        simple->GetPropertyValue(id, &v);
    return v;
}

std::wstring text(IUnknown* element, PROPERTYID id) {
    VARIANT v = property(element, id);
    std::wstring out = V_VT(&v) == VT_BSTR ? std::wstring(V_BSTR(&v)) : L"";
    VariantClear(&v);
    return out;
}

Element describe(IUnknown* element) {
    Element e;
    e.id = text(element, UIA_AutomationIdPropertyId);
    e.name = text(element, UIA_NamePropertyId);
    VARIANT v = property(element, UIA_ControlTypePropertyId);
    e.type = V_VT(&v) == VT_I4 ? V_I4(&v) : 0;
    v = property(element, UIA_IsEnabledPropertyId);
    e.enabled = V_VT(&v) == VT_BOOL && V_BOOL(&v) == VARIANT_TRUE;
    return e;
}

// The provider of the painted window, as WM_GETOBJECT hands it out.
struct Provider {
    explicit Provider(float scale = 1.0f) : app(scale), win(app) {}
    void show(const wchar_t* state) {
        ASSERT_TRUE(showPreviewState(app.ui, state));
        app.paint();
    }
    // The window's provider, made on first use.
    IRawElementProviderFragment* rootFragment() {
        if (!root) {
            IRawElementProviderSimple* simple = automationRoot(app.ui);
            simple->QueryInterface(IID_IRawElementProviderFragment, reinterpret_cast<void**>(root.put()));
            simple->Release();
        }
        return root.p;
    }
    // Every element below the root, walked forwards (or backwards from the last child).
    std::vector<Element> walk(bool backwards = false) {
        std::vector<Element> out;
        IRawElementProviderFragment* at = nullptr;
        rootFragment()->Navigate(backwards ? NavigateDirection_LastChild : NavigateDirection_FirstChild, &at);
        while (at) {
            out.push_back(describe(at));
            IRawElementProviderFragment* next = nullptr;
            at->Navigate(backwards ? NavigateDirection_PreviousSibling : NavigateDirection_NextSibling,
                         &next);
            at->Release();
            at = next;
        }
        return out;
    }
    // The element with that automation id; null when the window does not show it.
    IRawElementProviderFragment* find(const std::wstring& id) {
        IRawElementProviderFragment* at = nullptr;
        rootFragment()->Navigate(NavigateDirection_FirstChild, &at);
        while (at && describe(at).id != id) {
            IRawElementProviderFragment* next = nullptr;
            at->Navigate(NavigateDirection_NextSibling, &next);
            at->Release();
            at = next;
        }
        return at;
    }

    PaintedApp app;
    PaintedWindow win;
    Ref<IRawElementProviderFragment> root;
    UiLanguage saved = uiLanguage;
    ~Provider() { uiLanguage = saved; }
};

std::vector<std::wstring> ids(const std::vector<Element>& elements) {
    std::vector<std::wstring> out;
    for (const Element& e : elements)
        out.push_back(e.id);
    return out;
}

TEST(AutomationTree, ReadingOrderNamesAndTypesInBothLanguages) {
    Provider p;
    ASSERT_TRUE(p.app.ready);
    p.show(L"hazir");
    const std::vector<Element> tr = p.walk();
    const std::vector<std::wstring> order = {L"kucult",         L"kapat",    L"baslik",       L"ayrinti",
                                             L"ilerleme",       L"onar",     L"oyun_klasoru", L"dil",
                                             L"ekran_ayarlari", L"ana_dugme"};
    ASSERT_EQ(ids(tr), order);
    struct Expected {
        const wchar_t *turkish, *english;
        int type;
    } expected[] = {
        {L"Simge durumuna küçült", L"Minimise", kUiaButtonControlType},
        {L"Kapat", L"Close", kUiaButtonControlType},
        {L"Oyun hazır. İyi eğlenceler!", L"Game is ready. Have fun!", kUiaTextControlType},  // no asterisks
        {L"7 dosya güncellendi  ·  sürüm 1791945000", L"7 files updated  ·  version 1791945000",
         kUiaTextControlType},
        {L"İlerleme", L"Progress", kUiaProgressBarControlType},
        {L"Dosyaları Onar", L"Repair Files", kUiaButtonControlType},
        {L"Oyun Klasörü", L"Game Folder", kUiaButtonControlType},
        {L"Dili değiştir: English", L"Change language: Türkçe", kUiaButtonControlType},
        {L"Ekran Ayarları", L"Display Settings", kUiaButtonControlType},
        {L"OYNA", L"PLAY", kUiaButtonControlType},
    };
    uiLanguage = UiLanguage::English;
    p.app.paint();
    const std::vector<Element> en = p.walk();
    ASSERT_EQ(ids(en), order);
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(tr[i].name, expected[i].turkish) << i;
        EXPECT_EQ(en[i].name, expected[i].english) << i;
        EXPECT_EQ(tr[i].type, expected[i].type) << i;
    }
    // The same elements backwards, and each one's parent is the window's root.
    std::vector<std::wstring> backwards = ids(p.walk(true));
    EXPECT_EQ(std::vector<std::wstring>(backwards.rbegin(), backwards.rend()), order);
    Ref<IRawElementProviderFragment> primary;
    primary.p = p.find(L"ana_dugme");
    ASSERT_TRUE(primary);
    Ref<IRawElementProviderFragment> parent;
    primary->Navigate(NavigateDirection_Parent, parent.put());
    EXPECT_EQ(static_cast<void*>(parent.p), static_cast<void*>(p.rootFragment()));
}

TEST(AutomationTree, InstallFormAndTheModalSettingsPanel) {
    Provider p;
    ASSERT_TRUE(p.app.ready);
    p.show(L"kurulum");
    EXPECT_EQ(ids(p.walk()),
              (std::vector<std::wstring>{L"kucult", L"kapat", L"kurulum_klasoru", L"klasor_degistir",
                                         L"masaustu_kisayolu", L"baslat_menusu", L"baslik", L"ayrinti",
                                         L"ilerleme", L"ana_dugme"}));
    Ref<IRawElementProviderFragment> folder, desktop;
    folder.p = p.find(L"kurulum_klasoru");
    desktop.p = p.find(L"masaustu_kisayolu");
    EXPECT_EQ(text(folder.p, UIA_NamePropertyId), L"Kurulum klasörü: C:\\Qorvane");
    EXPECT_EQ(describe(desktop.p).type, kUiaCheckBoxControlType);

    // While the panel is open only its own controls are there.
    p.show(L"ayar_kucuk");
    const std::vector<Element> panel = p.walk();
    EXPECT_EQ(ids(panel),
              (std::vector<std::wstring>{L"ayar_kapat", L"boyut_1", L"boyut_2", L"boyut_3", L"boyut_4",
                                         L"boyut_5", L"ekrani_kapla", L"olcek_1", L"olcek_2", L"olcek_3",
                                         L"olcek_4", L"varsayilan", L"vazgec", L"kaydet"}));
    // A 1366 x 768 screen leaves 1366 x 705 for the game's window.
    EXPECT_EQ(panel[1].name, L"1280 × 720 sığmaz");
    EXPECT_FALSE(panel[1].enabled);
    EXPECT_EQ(panel[6].name, L"Ekranı kapla 1366×705");
    EXPECT_TRUE(panel[6].enabled);
    EXPECT_EQ(panel[8].name, L"%100");
}

TEST(AutomationTree, InvokeAndToggleRunTheClickFromTheWindowsQueue) {
    Provider p;
    ASSERT_TRUE(p.app.ready);
    p.show(L"kurulum");
    Ref<IRawElementProviderFragment> desktop;
    desktop.p = p.find(L"masaustu_kisayolu");
    Ref<IToggleProvider> toggle;
    ASSERT_EQ(desktop->QueryInterface(kIidToggleProvider, reinterpret_cast<void**>(toggle.put())), S_OK);
    Ref<IInvokeProvider> noInvoke;  // a check box toggles; it is not invoked
    EXPECT_EQ(desktop->QueryInterface(kIidInvokeProvider, reinterpret_cast<void**>(noInvoke.put())),
              E_NOINTERFACE);
    ToggleState state = ToggleState_Off;
    toggle->get_ToggleState(&state);
    EXPECT_EQ(state, ToggleState_On);
    EXPECT_EQ(toggle->Toggle(), S_OK);
    EXPECT_TRUE(p.app.ui.installForm.desktopShortcut);  // not yet: the window runs it from its queue
    p.win.pump();
    EXPECT_FALSE(p.app.ui.installForm.desktopShortcut);
    toggle->get_ToggleState(&state);
    EXPECT_EQ(state, ToggleState_Off);

    // A button's Invoke is its click: the close button closes.
    Ref<IRawElementProviderFragment> close;
    close.p = p.find(L"kapat");
    Ref<IInvokeProvider> invoke;
    ASSERT_EQ(close->QueryInterface(kIidInvokeProvider, reinterpret_cast<void**>(invoke.put())), S_OK);
    EXPECT_EQ(invoke->Invoke(), S_OK);
    EXPECT_TRUE(p.win.pump());

    // A disabled button refuses, and nothing is queued.
    p.show(L"baglaniyor");
    Ref<IRawElementProviderFragment> repair;
    repair.p = p.find(L"onar");
    EXPECT_FALSE(describe(repair.p).enabled);
    Ref<IInvokeProvider> disabled;
    ASSERT_EQ(repair->QueryInterface(kIidInvokeProvider, reinterpret_cast<void**>(disabled.put())), S_OK);
    EXPECT_EQ(disabled->Invoke(), kUiaElementNotEnabled);

    // The language toggle, invoked, switches the language and the window's title.
    Ref<IRawElementProviderFragment> language;
    language.p = p.find(L"dil");
    Ref<IInvokeProvider> languageInvoke;
    language->QueryInterface(kIidInvokeProvider, reinterpret_cast<void**>(languageInvoke.put()));
    uiLanguage = UiLanguage::Turkish;
    languageInvoke->Invoke();
    p.win.pump();
    EXPECT_EQ(uiLanguage, UiLanguage::English);

    // An element whose control is gone answers "not available" from then on.
    p.show(L"ayar");
    VARIANT gone;
    VariantInit(&gone);
    Ref<IRawElementProviderSimple> simple;
    repair->QueryInterface(IID_IRawElementProviderSimple, reinterpret_cast<void**>(simple.put()));
    EXPECT_EQ(simple->GetPropertyValue(UIA_NamePropertyId, &gone), kUiaElementNotAvailable);
    EXPECT_EQ(disabled->Invoke(), kUiaElementNotAvailable);
}

TEST(AutomationTree, BoundsProgressHitTestAndFocusFollowTheScreen) {
    for (float scale : {1.0f, 1.5f}) {
        Provider p(scale);
        ASSERT_TRUE(p.app.ready);
        p.show(L"tarama");
        Ref<IRawElementProviderFragment> primary;
        primary.p = p.find(L"ana_dugme");
        UiaRect r{};
        primary->get_BoundingRectangle(&r);
        // The window stands at (100, 80); the button is (690, 438, 230, 64) in design units.
        EXPECT_EQ(r.left, 100 + std::floor(690 * scale + 0.5)) << scale;
        EXPECT_EQ(r.top, 80 + std::floor(438 * scale + 0.5)) << scale;
        EXPECT_EQ(r.width, std::floor(230 * scale + 0.5)) << scale;
        EXPECT_EQ(r.height, std::floor(64 * scale + 0.5)) << scale;

        Ref<IRawElementProviderFragmentRoot> root;
        p.rootFragment()->QueryInterface(IID_IRawElementProviderFragmentRoot,
                                         reinterpret_cast<void**>(root.put()));
        Ref<IRawElementProviderFragment> hit;
        root->ElementProviderFromPoint(r.left + r.width / 2, r.top + r.height / 2, hit.put());
        ASSERT_TRUE(hit);
        EXPECT_EQ(describe(hit.p).id, L"ana_dugme");
    }

    Provider p;
    p.show(L"tarama");  // 62 of 100 bytes scanned
    Ref<IRawElementProviderFragment> bar;
    bar.p = p.find(L"ilerleme");
    Ref<IRangeValueProvider> range;
    ASSERT_EQ(bar->QueryInterface(kIidRangeValueProvider, reinterpret_cast<void**>(range.put())), S_OK);
    double value = 0, maximum = 0;
    BOOL readOnly = FALSE;
    range->get_Value(&value);
    range->get_Maximum(&maximum);
    range->get_IsReadOnly(&readOnly);
    EXPECT_DOUBLE_EQ(value, 62);
    EXPECT_DOUBLE_EQ(maximum, 100);
    EXPECT_TRUE(readOnly);

    // No focus until the keyboard moves it; then the root reports it and the element knows it.
    Ref<IRawElementProviderFragmentRoot> root;
    p.rootFragment()->QueryInterface(IID_IRawElementProviderFragmentRoot,
                                     reinterpret_cast<void**>(root.put()));
    Ref<IRawElementProviderFragment> none;
    root->GetFocus(none.put());
    EXPECT_FALSE(none);
    p.win.key(VK_TAB);
    Ref<IRawElementProviderFragment> focused;
    root->GetFocus(focused.put());
    ASSERT_TRUE(focused);
    EXPECT_EQ(describe(focused.p).id, L"kucult");
    VARIANT has = property(focused.p, UIA_HasKeyboardFocusPropertyId);
    EXPECT_EQ(V_BOOL(&has), VARIANT_TRUE);
    // A client may move focus itself.
    Ref<IRawElementProviderFragment> folder;
    folder.p = p.find(L"oyun_klasoru");
    EXPECT_EQ(folder->SetFocus(), S_OK);
    EXPECT_EQ(p.app.ui.window.focusId, ClickId::GameFolder);
}

TEST(AutomationTree, WindowAnswersGetObjectForUiAutomationOnly) {
    // The launcher's thread is a single-threaded apartment; the answer is a marshalled reference.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        Provider p;
        ASSERT_TRUE(p.app.ready);
        p.show(L"hazir");
        EXPECT_EQ(p.win.send(WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT)), 0);
        EXPECT_EQ(p.app.ui.automation.root, nullptr);
        EXPECT_NE(p.win.send(WM_GETOBJECT, 0, static_cast<LPARAM>(kUiaRootObjectId)), 0);
        EXPECT_NE(p.app.ui.automation.root, nullptr);
    }
    CoUninitialize();
}

// A client of UI Automation's own node interface in another thread, as a screen reader is: Wine 8
// offers no IUIAutomation, but its node functions reach the provider through WM_GETOBJECT and read
// names and control types through it.
TEST(AutomationTree, UiAutomationClientReachesTheProviderThroughTheWindow) {
    HMODULE core = LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(core, nullptr);
    using NodeFromHandle = HRESULT(WINAPI*)(HWND, void**);
    using NodeFromProvider = HRESULT(WINAPI*)(IRawElementProviderSimple*, void**);
    using GetProperty = HRESULT(WINAPI*)(void*, PROPERTYID, VARIANT*);
    using NodeRelease = BOOL(WINAPI*)(void*);
    auto address = [core](const char* name) { return reinterpret_cast<void*>(GetProcAddress(core, name)); };
    auto nodeFromHandle = reinterpret_cast<NodeFromHandle>(address("UiaNodeFromHandle"));
    auto nodeFromProvider = reinterpret_cast<NodeFromProvider>(address("UiaNodeFromProvider"));
    auto getProperty = reinterpret_cast<GetProperty>(address("UiaGetPropertyValue"));
    auto release = reinterpret_cast<NodeRelease>(address("UiaNodeRelease"));
    ASSERT_TRUE(nodeFromHandle && nodeFromProvider && getProperty && release);

    Provider p;
    ASSERT_TRUE(p.app.ready);
    p.show(L"hazir");
    // Runs work in a client thread while this, the window's thread, answers WM_GETOBJECT and the
    // calls UI Automation brings back to it.
    auto asClient = [&p](const std::function<void()>& work) {
        std::atomic<bool> done{false};
        std::thread client([&] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            work();
            CoUninitialize();
            done = true;
        });
        for (int i = 0; i < 600 && !done; ++i) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            p.win.pump();
        }
        if (!done) {
            client.detach();
            return false;
        }
        client.join();
        return true;
    };

    ASSERT_EQ(p.app.ui.automation.root, nullptr);
    HRESULT fromWindow = E_FAIL;
    HWND window = p.win.handle;
    ASSERT_TRUE(asClient([&] {
        void* node = nullptr;
        fromWindow = nodeFromHandle(window, &node);
        if (node) release(node);
    }));
    EXPECT_EQ(fromWindow, S_OK);
    EXPECT_NE(p.app.ui.automation.root, nullptr);  // made for the client's WM_GETOBJECT

    std::vector<IRawElementProviderSimple*> elements;
    for (const wchar_t* id : {L"kapat", L"baslik", L"ilerleme"}) {
        IRawElementProviderSimple* simple = nullptr;
        IRawElementProviderFragment* fragment = p.find(id);
        fragment->QueryInterface(IID_IRawElementProviderSimple, reinterpret_cast<void**>(&simple));
        fragment->Release();
        elements.push_back(simple);
    }
    std::vector<std::wstring> names;
    std::vector<int> types;
    ASSERT_TRUE(asClient([&] {
        for (IRawElementProviderSimple* element : elements) {
            void* child = nullptr;
            if (FAILED(nodeFromProvider(element, &child)) || !child) continue;
            VARIANT v;
            VariantInit(&v);
            getProperty(child, UIA_NamePropertyId, &v);
            names.push_back(V_VT(&v) == VT_BSTR ? V_BSTR(&v) : L"");
            VariantClear(&v);
            getProperty(child, UIA_ControlTypePropertyId, &v);
            types.push_back(V_VT(&v) == VT_I4 ? V_I4(&v) : 0);
            release(child);
        }
    }));
    for (IRawElementProviderSimple* element : elements)
        element->Release();
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Kapat", L"Oyun hazır. İyi eğlenceler!", L"İlerleme"}));
    EXPECT_EQ(types,
              (std::vector<int>{kUiaButtonControlType, kUiaTextControlType, kUiaProgressBarControlType}));
}

TEST(AutomationAnnouncements, EachChangeAtMostOnceASecond) {
    AutomationState state;
    struct Step {
        const wchar_t* headline;
        int percent;
        uint32_t now;
        bool headlineDue, progressDue;
    } steps[] = {
        {L"Bağlanılıyor", 0, 1000, true, true},    // the first of each goes out at once
        {L"Bağlanılıyor", 0, 1100, false, false},  // nothing new
        {L"Kontrol", 5, 1500, false, false},       // both changed, but within the second
        {L"Kontrol", 9, 2000, true, true},         // the latest values, a second after the last
        {L"Kontrol", 10, 2400, false, false},     {L"Kontrol", 10, 3000, false, true},
        {L"Hazır", 10, 3001, true, false},
    };
    for (const Step& s : steps) {
        Announcements due = takeAnnouncements(state, s.headline, s.percent, s.now);
        EXPECT_EQ(due.headline, s.headlineDue) << s.now;
        EXPECT_EQ(due.progress, s.progressDue) << s.now;
    }
    EXPECT_EQ(state.announcedHeadline, L"Hazır");
    EXPECT_EQ(state.announcedPercent, 10);
}

}  // namespace
