// The menu entries every host offers, and the one rule for choosing them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "game/form.h"

namespace farvane {

enum class MenuName : std::uint8_t { mnuStart, mnuRestart, mnuQuit, mnuHow, mnuAbout };

struct MenuItem {
    MenuName name;
    std::string_view id;          // "mnuStart" ...
    MenuEntry Scene::*entry;      // the entry's own Enabled and Caption
    MenuEntry Scene::*parentMenu; // &Scene::mnuFile or &Scene::mnuHelp
    void (Veskara::*click)();
};

// In menu-bar order, indexed by MenuName.
inline constexpr std::array<MenuItem, 5> MenuItems{{
    {MenuName::mnuStart, "mnuStart", &Scene::mnuStart, &Scene::mnuFile, &Veskara::mnuStart_Click},
    {MenuName::mnuRestart, "mnuRestart", &Scene::mnuRestart, &Scene::mnuFile, &Veskara::mnuRestart_Click},
    {MenuName::mnuQuit, "mnuQuit", &Scene::mnuQuit, &Scene::mnuFile, &Veskara::mnuQuit_Click},
    {MenuName::mnuHow, "mnuHow", &Scene::mnuHow, &Scene::mnuHelp, &Veskara::mnuHow_Click},
    {MenuName::mnuAbout, "mnuAbout", &Scene::mnuAbout, &Scene::mnuHelp, &Veskara::mnuAbout_Click},
}};

const MenuItem& menuItem(MenuName name);
std::optional<MenuName> menuByName(std::string_view id);

// A caption as a menu shows it, as it stands: each '&' doubled, so that none becomes an access key.
std::string menuText(std::string_view caption);

// The rule: an entry works only when it and its menu are enabled.
bool canChoose(const Scene& scene, MenuName name);
// Runs the entry's Click when canChoose; returns whether it ran.
bool choose(Veskara& form, MenuName name);

} // namespace farvane
