# A throwaway PostgreSQL cluster for the intake's tests, to be sourced:
#   source scripts/pg-cluster.sh
#   pg_start DIR   # creates and starts a cluster in DIR, exports INTAKE_TEST_PG_URL
#   pg_pause DIR   # stops the server and keeps the cluster (tests of a lost store)
#   pg_resume DIR  # starts it again on the same socket
#   pg_stop DIR    # stops it and removes DIR (safe to call twice, or when it
#                  # never started)
# DIR is a fresh folder such as one from mktemp -d: it is made over to the
# postgres user, so its parent folders must let that user through.
# The server runs as the postgres user (initdb refuses root), listens on a
# socket in DIR only (no TCP port) and trusts local connections: it holds
# nothing but test data and lives as long as the test run.

pg_bindir() {
  local dir
  dir=$(pg_config --bindir 2>/dev/null)
  # pg_config comes with libpq-dev and may name the client's folder; the
  # server's programs are where the server package put them.
  if [ -z "$dir" ] || [ ! -x "$dir/initdb" ]; then
    dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
  fi
  echo "$dir"
}

# Runs a command as the postgres user, or as ourselves when we are that user
# already (or not root, where su would ask for a password).
pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    su postgres -s /bin/sh -c "$1"
  else
    sh -c "$1"
  fi
}

pg_start() {
  local dir=$1 bin port
  bin=$(pg_bindir)
  if [ ! -x "$bin/initdb" ]; then
    echo "pg_start: no PostgreSQL server programs (apt-get install postgresql-15)" >&2
    return 1
  fi
  mkdir -p "$dir"
  [ "$(id -u)" -ne 0 ] || chown postgres "$dir"
  # A port number is still needed: it names the socket file in DIR.
  port=${PG_TEST_PORT:-$((20000 + $$ % 20000))}
  pg_as_owner "'$bin/initdb' -D '$dir/data' -A trust -U intake -E UTF8 --locale=C -N" \
    >"$dir/initdb.log" 2>&1 || {
    echo "pg_start: initdb failed; see $dir/initdb.log" >&2
    return 1
  }
  echo "$port" >"$dir/port"
  pg_resume "$dir" || return 1
  pg_as_owner "'$bin/psql' -h '$dir' -p $port -U intake -d postgres -qAt \
    -c 'create database intake'" >/dev/null || return 1
  INTAKE_TEST_PG_URL="postgresql://intake@/intake?host=$dir&port=$port"
  export INTAKE_TEST_PG_URL
  echo "$INTAKE_TEST_PG_URL"
}

pg_resume() {
  local dir=$1 bin port
  bin=$(pg_bindir)
  port=$(cat "$dir/port")
  pg_as_owner "'$bin/pg_ctl' -D '$dir/data' -l '$dir/log' -w \
    -o \"-k '$dir' -c listen_addresses= -p $port -c max_connections=200\" start" \
    >/dev/null || {
    echo "pg_resume: the server did not start; see $dir/log" >&2
    return 1
  }
}

pg_pause() {
  local dir=$1 bin
  bin=$(pg_bindir)
  pg_as_owner "'$bin/pg_ctl' -D '$dir/data' -m fast -w stop" >/dev/null
}

pg_stop() {
  local dir=$1 bin
  bin=$(pg_bindir)
  if [ -f "$dir/data/postmaster.pid" ]; then
    pg_as_owner "'$bin/pg_ctl' -D '$dir/data' -m immediate -w stop" >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}
