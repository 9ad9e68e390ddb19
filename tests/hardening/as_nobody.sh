#!/bin/sh
# Runs a test as "nobody" when root starts it, so that permission bits count; otherwise as is.
test_binary="$1"
shift
drop="setpriv --reuid=65534 --regid=65534 --clear-groups"
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null 2>&1 && $drop test -x "$test_binary"; then
  exec $drop env HOME=/nonexistent TMPDIR=/tmp "$test_binary" "$@"
fi
exec "$test_binary" "$@"
