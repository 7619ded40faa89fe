#!/bin/sh
# A throw-away PostgreSQL cluster for the ledger tests and benchmarks.
#   pg-cluster.sh start LINK [OPTION...]
#                              creates and starts a cluster (server options such
#                              as "-c fsync=off" added); LINK becomes a link to
#                              its folder, which holds the socket
#   pg-cluster.sh stop LINK    stops it and removes the folder and LINK
# The cluster lives in a short folder under /tmp (a Unix socket path has at
# most 107 bytes, and the postgres user may not reach the build folder). It
# listens on its socket only; the superuser is "postgres", trusted; the
# tests work in the database ledger_tests, one schema each.
set -eu
action=$1
link=$2
shift 2
bindir=$(pg_config --bindir)

# The cluster folder LINK names, if it is one this script made.
cluster_of() {
  target=$(readlink "$1") || return 1
  case $target in /tmp/qel-pg.*) echo "$target" ;; *) return 1 ;; esac
}

as_owner() {
  # initdb refuses to run as root: the server then runs as postgres.
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case $action in
start)
  if [ -L "$link" ] && [ -d "$link" ] && as_owner "$bindir/pg_ctl" -D "$link/data" status >/dev/null 2>&1; then
    exit 0
  fi
  if [ -L "$link" ]; then  # left by a run that was killed: its server is gone
    old=$(cluster_of "$link") && rm -rf "$old"
    rm -f "$link"
  fi
  dir=$(mktemp -d /tmp/qel-pg.XXXXXX)
  [ "$(id -u)" = 0 ] && chown postgres: "$dir"
  as_owner "$bindir/initdb" -N --auth=trust -U postgres -E UTF8 --locale=C -D "$dir/data" >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1; }
  as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-k $dir -c listen_addresses= -c max_connections=200 $*" start >/dev/null ||
    { cat "$dir/server.log" >&2; rm -rf "$dir"; exit 1; }
  "$bindir/createdb" -h "$dir" -U postgres ledger_tests
  ln -s "$dir" "$link"
  ;;
stop)
  [ -L "$link" ] || exit 0
  dir=$(cluster_of "$link") || { rm -f "$link"; exit 0; }
  as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$dir" "$link"
  ;;
*)
  echo "usage: $0 start|stop LINK" >&2
  exit 2
  ;;
esac
