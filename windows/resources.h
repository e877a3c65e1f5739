// Resource ids of the Windows program (windows/farvane.rc).
#pragma once

#define IconResource 1
