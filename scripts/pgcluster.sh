#!/usr/bin/env bash
# A private PostgreSQL cluster for the tests.
#
#   pgcluster.sh start DIR   makes a new cluster (one that DIR names already
#                            is stopped and removed first), listening only on
#                            127.0.0.1 on a free port, with a superuser role
#                            and a database for the tests; writes their libpq
#                            connection string to DIR/conninfo
#   pgcluster.sh stop DIR    stops it (fast shutdown) and removes it and DIR
#
# The cluster itself (data, logs, unix sockets) lives in a new temporary
# folder that DIR/cluster names: the server's user may be unable to reach DIR
# (a build folder under /root), and a socket's path must stay short.
#
# No system service is started or needed. The server refuses to run as root,
# so under root the cluster belongs to the `postgres` system user. Local
# connections are trusted: the cluster holds nothing but test data and is
# reachable only from this machine, for as long as the tests run.
set -euo pipefail

ROLE=tarvik
DBNAME=tarvik_tests

die() {
  echo "pgcluster: $*" >&2
  exit 1
}

[ $# -eq 2 ] || die "usage: pgcluster.sh start|stop DIR"
COMMAND=$1
DIR=$2

# Nothing to stop: no server programs needed.
[ "$COMMAND" = stop ] && [ ! -d "$DIR" ] && exit 0

BINDIR=${PG_BINDIR:-}
if [ -z "$BINDIR" ]; then
  for candidate in /usr/lib/postgresql/*/bin; do
    [ -x "$candidate/initdb" ] && BINDIR=$candidate
  done
fi
if [ -z "$BINDIR" ] && command -v pg_config >/dev/null; then
  BINDIR=$(pg_config --bindir)
fi
[ -n "$BINDIR" ] && [ -x "$BINDIR/initdb" ] || die "no PostgreSQL server binaries found (install postgresql, or set PG_BINDIR)"

# Runs a server program as the cluster's owner.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# Stops the cluster DIR names, and removes it and DIR.
remove_cluster() {
  local home
  home=$(cat "$1/cluster" 2>/dev/null || true)
  if [ -n "$home" ] && [ -f "$home/data/postmaster.pid" ]; then
    as_owner "$BINDIR/pg_ctl" -D "$home/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  case "$home" in
  */tarvik-pg.*) rm -rf "$home" ;;
  esac
  rm -rf "$1"
}

# Whether something accepts connections on 127.0.0.1:$1.
port_taken() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

case "$COMMAND" in
start)
  [ -d "$DIR" ] && remove_cluster "$DIR"
  mkdir -p "$DIR"
  HOME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tarvik-pg.XXXXXX")
  echo "$HOME_DIR" >"$DIR/cluster"
  chmod 755 "$HOME_DIR"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$HOME_DIR"
  as_owner "$BINDIR/initdb" -D "$HOME_DIR/data" -U "$ROLE" -A trust -E UTF8 --locale=C.UTF-8 --no-sync \
    >"$DIR/initdb.log" 2>&1 || { cat "$DIR/initdb.log" >&2; die "initdb failed"; }
  started=""
  for _ in 1 2 3 4 5 6 7 8; do
    port=$((20000 + RANDOM % 40000))
    port_taken "$port" && continue
    # fsync and friends off: the cluster holds throw-away test data.
    if as_owner "$BINDIR/pg_ctl" -D "$HOME_DIR/data" -l "$HOME_DIR/server.log" -w -t 60 \
      -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories='$HOME_DIR' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=60" \
      start >/dev/null; then
      started=$port
      break
    fi
  done
  [ -n "$started" ] || { cat "$HOME_DIR/server.log" >&2 2>/dev/null || true; die "the server did not start"; }
  as_owner "$BINDIR/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$started" -U "$ROLE" -d postgres \
    -c "CREATE DATABASE $DBNAME" || die "cannot create the test database"
  echo "host=127.0.0.1 port=$started user=$ROLE dbname=$DBNAME" >"$DIR/conninfo"
  echo "pgcluster: started on 127.0.0.1:$started in $HOME_DIR"
  ;;
stop)
  remove_cluster "$DIR"
  ;;
*)
  die "usage: pgcluster.sh start|stop DIR"
  ;;
esac
