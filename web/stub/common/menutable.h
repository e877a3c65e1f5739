// Stand-in for the shared menu table until it lands.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "common/script.h"
#include "game/form.h"

namespace farvane {

using replay::MenuName;

struct MenuItem {
    MenuName name;
    std::string_view id;
    MenuEntry Scene::*entry;
    MenuEntry Scene::*parentMenu;
    void (Veskara::*click)();
};

inline constexpr std::array<MenuItem, 5> MenuItems{{
    {MenuName::mnuStart, "mnuStart", &Scene::mnuStart, &Scene::mnuFile, &Veskara::mnuStart_Click},
    {MenuName::mnuRestart, "mnuRestart", &Scene::mnuRestart, &Scene::mnuFile, &Veskara::mnuRestart_Click},
    {MenuName::mnuQuit, "mnuQuit", &Scene::mnuQuit, &Scene::mnuFile, &Veskara::mnuQuit_Click},
    {MenuName::mnuHow, "mnuHow", &Scene::mnuHow, &Scene::mnuHelp, &Veskara::mnuHow_Click},
    {MenuName::mnuAbout, "mnuAbout", &Scene::mnuAbout, &Scene::mnuHelp, &Veskara::mnuAbout_Click},
}};

inline const MenuItem& menuItem(MenuName name) { return MenuItems[static_cast<std::size_t>(name)]; }

inline bool canChoose(const Scene& scene, MenuName name)
{
    const MenuItem& item = menuItem(name);
    return (scene.*item.entry).Enabled && (scene.*item.parentMenu).Enabled;
}

inline bool choose(Veskara& form, MenuName name)
{
    if (!canChoose(form, name))
        return false;
    (form.*menuItem(name).click)();
    return true;
}

} // namespace farvane
