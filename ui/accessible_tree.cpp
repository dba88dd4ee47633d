#include "ui/accessible_tree.h"

#include <cmath>

#include "ui/frame.h"
#include "ui/settings_panel.h"
#include "ui/text_fit.h"
#include "ui/text_table.h"

namespace {

std::wstring chipName(const LauncherUi& ui, ClickId id) {
    const int size = sizeChipIndex(id);
    if (size >= 0) {
        SizeChoice c = sizeChoice(ui.settings.draft, usableScreen(ui.settings.draft), size);
        return c.subLabel.empty() ? c.label : c.label + L" " + c.subLabel;
    }
    const int scale = scaleChipIndex(id);
    if (scale >= 0) {
        const int percent = static_cast<int>(kInterfaceScaleChoices[scale] * 100 + 0.5f);
        return formatText(texts()[TextId::PercentFormat], percent);
    }
    return L"";
}

AccessibleElement controlElement(const LauncherUi& ui, const HitRegion& region) {
    AccessibleElement e;
    e.key = static_cast<int>(region.id);
    e.name = controlName(ui, region.id);
    e.box = RectF{region.x, region.y, region.width, region.height};
    e.enabled = region.clickable;
    e.focusable = region.clickable;
    if (region.id == ClickId::DesktopShortcut || region.id == ClickId::StartMenuShortcut) {
        e.kind = ElementKind::CheckBox;
        e.checked = region.id == ClickId::DesktopShortcut ? ui.installForm.desktopShortcut
                                                          : ui.installForm.startMenuShortcut;
    }
    return e;
}

AccessibleElement textElement(int key, const std::wstring& text, const RectF& box) {
    AccessibleElement e;
    e.key = key;
    e.kind = ElementKind::Text;
    e.name = withoutEmphasisMarks(text);
    e.box = box;
    return e;
}

// The headline, the detail and the progress bar, as the bottom bar lays them out.
void addStatusElements(LauncherUi& ui, std::vector<AccessibleElement>& out) {
    const ScreenModel model = currentScreenModel(ui);
    const float barRight = installMode(ui) ? 660.0f : 600.0f;
    if (!model.headline.empty())
        out.push_back(textElement(kHeadlineKey, model.headline, {40, 428, barRight - 40, 22}));
    if (!model.detail.empty())
        out.push_back(textElement(kDetailKey, model.detail, {40, 451, barRight - 40, 18}));
    AccessibleElement bar;
    bar.key = kProgressKey;
    bar.kind = ElementKind::ProgressBar;
    bar.name = texts()[TextId::ProgressName];
    bar.box = RectF{40, 478, barRight - 40, 14};
    bar.value = std::round(std::min(std::max(model.progress, 0.0f), 1.0f) * 1000.0) / 10.0;
    out.push_back(bar);
}

}  // namespace

std::wstring controlName(const LauncherUi& ui, ClickId id) {
    const TextTable& t = texts();
    switch (id) {
        case ClickId::Minimise:
            return t[TextId::MinimiseName];
        case ClickId::Close:
        case ClickId::PanelClose:
            return t[TextId::CloseName];
        case ClickId::Repair:
            return t[TextId::RepairFiles];
        case ClickId::GameFolder:
            return t[TextId::GameFolder];
        case ClickId::Language:
            return t[TextId::LanguageName];
        case ClickId::Primary:
            return currentScreenModel(ui).buttonLabel;
        case ClickId::FolderBox:
            return formatText(t[TextId::InstallFolderName], ui.installForm.folder.c_str());
        case ClickId::ChangeFolder:
            return t[TextId::ChangeFolder];
        case ClickId::DesktopShortcut:
            return t[TextId::DesktopShortcut];
        case ClickId::StartMenuShortcut:
            return t[TextId::StartMenuShortcut];
        case ClickId::Settings:
            return t[TextId::SettingsButton];
        case ClickId::PanelDefault:
            return t[TextId::DefaultButton];
        case ClickId::PanelCancel:
            return t[TextId::CancelButton];
        case ClickId::PanelSave:
            return t[TextId::SaveButton];
        default:
            return chipName(ui, id);
    }
}

std::vector<AccessibleElement> accessibleElements(LauncherUi& ui) {
    const HitRegions& regions = ui.window.hitRegions;
    // A modal panel hides everything registered before its backdrop.
    size_t first = 0;
    for (size_t i = 0; i < regions.size(); ++i)
        if (regions[i].id == ClickId::PanelBackdrop) first = i + 1;
    const bool panel = first > 0;

    std::vector<AccessibleElement> out;
    bool statusAdded = panel;
    for (size_t i = first; i < regions.size(); ++i) {
        const HitRegion& r = regions[i];
        if (r.id == ClickId::None || r.id == ClickId::PanelBackdrop) continue;
        // The bottom bar reads left to right after the middle band: the status lines come first.
        if (!statusAdded && (r.id == ClickId::Repair || r.id == ClickId::Primary)) {
            addStatusElements(ui, out);
            statusAdded = true;
        }
        out.push_back(controlElement(ui, r));
    }
    if (!statusAdded && !regions.empty()) addStatusElements(ui, out);
    return out;
}

bool findElement(LauncherUi& ui, int key, AccessibleElement* out) {
    for (AccessibleElement& e : accessibleElements(ui)) {
        if (e.key != key) continue;
        if (out) *out = std::move(e);
        return true;
    }
    return false;
}
