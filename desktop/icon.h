// The game's icon, drawn from the player's vehicle.
#pragma once

#include <QIcon>

namespace farvane {

QIcon applicationIcon();

} // namespace farvane
