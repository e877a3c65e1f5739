// The menu table and its rule, shared by the window, the headless driver and the script reader.
#include "menu/menutable.h"

namespace farvane {

const MenuItem& menuItem(MenuName name) { return MenuItems[static_cast<std::size_t>(name)]; }

std::optional<MenuName> menuByName(std::string_view id)
{
    for (const MenuItem& item : MenuItems)
        if (item.id == id)
            return item.name;
    return std::nullopt;
}

std::string menuText(std::string_view caption)
{
    std::string text;
    for (const char c : caption) {
        if (c == '&')
            text += '&';
        text += c;
    }
    return text;
}

bool canChoose(const Scene& scene, MenuName name)
{
    const MenuItem& item = menuItem(name);
    return (scene.*item.entry).Enabled && (scene.*item.parentMenu).Enabled;
}

bool choose(Veskara& form, MenuName name)
{
    if (!canChoose(form, name))
        return false;
    (form.*menuItem(name).click)();
    return true;
}

} // namespace farvane
