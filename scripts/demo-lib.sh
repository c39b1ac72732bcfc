# Shared by scripts/demo and scripts/demo-walk: the demo's machine state in
# its prefix ($NORWIN_PREFIX) and, for a run with a server, the norwin-server
# that keeps its records. Sourced, not run.

# demo_configure BUILD_DIR RECORDS PROGRESS_FOLDER [GRADE_INBOX]: registers
# the record library and names, under HKCU\Software\Lumo Demo, where the
# course keeps its records (a folder, or a record server's address), the
# folder of its progress file and, for a class graded by a server, the grade
# inbox its live-exercise scores are posted to (removed when not given, so a
# local run after a run with a server posts nothing).
demo_configure() {
  local build=$1 records=$2 progress=$3 inbox=${4:-}
  local key='HKCU\Software\Lumo Demo'
  mkdir -p "$progress"
  "$build/bin/norwin-regsvr" /s libnorwin2003.so
  "$build/bin/norwin-reg" add "$key" /v Records /d "$records" /f >/dev/null
  "$build/bin/norwin-reg" add "$key" /v Path /d "$progress" /f >/dev/null
  if [ -n "$inbox" ]; then
    "$build/bin/norwin-reg" add "$key" /v GradeInbox /d "$inbox" /f >/dev/null
  else
    "$build/bin/norwin-reg" delete "$key" /v GradeInbox /f >/dev/null 2>&1 || true
  fi
}

# demo_start_server BUILD_DIR DATA_DIR: starts norwin-server on a free port of
# 127.0.0.1, its database in DATA_DIR (its log in DATA_DIR/server.log), and
# sets demo_server to its address (ending in "/") and demo_server_pid.
demo_start_server() {
  local build=$1 data=$2
  mkdir -p "$data"
  demo_server=
  "$build/bin/norwin-server" --listen 127.0.0.1:0 --data "$data" \
    >"$data/address.txt" 2>"$data/server.log" &
  demo_server_pid=$!
  for _ in $(seq 100); do
    demo_server=$(sed -n 's/^norwin-server listening on //p' "$data/address.txt")
    [ -n "$demo_server" ] && return 0
    kill -0 "$demo_server_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "norwin-server did not start (see $data/server.log):" >&2
  tail -5 "$data/server.log" >&2
  demo_stop_server
  return 1
}

# Stops the server demo_start_server started, if it still runs.
demo_stop_server() {
  [ -n "${demo_server_pid:-}" ] || return 0
  kill "$demo_server_pid" 2>/dev/null || true
  wait "$demo_server_pid" 2>/dev/null || true
  demo_server_pid=
}

# http METHOD ADDRESS: prints the body of the answer (nothing, and status 1,
# when the server cannot be reached or answers with an error).
demo_http() {
  /usr/bin/python3 - "$@" <<'PY'
import sys, urllib.request
method, address = sys.argv[1], sys.argv[2]
request = urllib.request.Request(address, method=method, data=b"" if method == "POST" else None)
try:
    sys.stdout.write(urllib.request.urlopen(request, timeout=10).read().decode("utf-8", "replace"))
except OSError:
    sys.exit(1)
PY
}
