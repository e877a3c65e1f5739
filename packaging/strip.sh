#!/bin/sh
# SPDX-License-Identifier: MIT
# The strip CPack runs on the packaged program: as Debian's own packages are stripped, without the
# compiler's .comment and .note sections. scripts/package.sh passes it as CMAKE_STRIP.
exec strip --remove-section=.comment --remove-section=.note --strip-unneeded "$@"
