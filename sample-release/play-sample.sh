#!/bin/sh
# Starts the installed sample game from the folder it was installed into, whatever the current
# folder, passing every argument on. The build installs the program as <exe>.exe everywhere.
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd) || exit 1
cd "$here" || exit 1
exec ./sample.exe "$@"
