// The game's icon, drawn from the player's vehicle: the PNGs built into the program.
#include "desktop/icon.h"

#include <array>

#include <QString>

namespace farvane {

QIcon applicationIcon()
{
    // The same images the installed icon theme carries; embedded so an uninstalled build shows them.
    QIcon icon;
    for (const int size : std::array{48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/farvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace farvane
