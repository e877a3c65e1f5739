// Placeholder: the game's icon.
#include "frontend/icon.h"

namespace farvane {

QIcon applicationIcon() { return QIcon(); }

} // namespace farvane
