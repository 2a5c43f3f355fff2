#!/usr/bin/env bash
# The Slurm recipe of docs/scale-out.md on a one-node Slurm made for the test: munged, slurmctld
# and slurmd with their configuration, state and sockets in a temporary folder and ports of their
# own, so nothing of the machine's own setup is used or changed. A three-task array stamps the
# list of scaleout_fixture.sh; the merged task reports are checked like the GNU parallel run's.
# The daemons are stopped by their process ids at the end. Exits 77 (skipped) without root or
# without slurm-wlm and munge.
#   slurm_recipe_test.sh KELO_CLI SOURCE_DIR
set -euo pipefail
cli="$(readlink -f "$1")" src="$(readlink -f "$2")"
for p in munged slurmctld slurmd sbatch sinfo; do
  command -v "$p" >/dev/null || { echo "$p is not installed (slurm-wlm, munge)"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "a one-node Slurm needs root"; exit 77; }
[ -r /etc/munge/munge.key ] || { echo "no munge key in /etc/munge"; exit 77; }

dir="$(mktemp -d)"
chmod 755 "$dir"
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ -s "$dir/munge/munged.pid" ]; then
    pid="$(cat "$dir/munge/munged.pid")"
    kill "$pid" 2>/dev/null || true
  fi
  rm -rf "$dir"
}
trap stop EXIT
logs() { for f in "$dir"/*.log "$dir"/munge/*.log; do [ -f "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done; }

# A free TCP port at or above $1.
free_port() {
  local p="$1"
  while (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; do p=$((p + 1)); done
  echo "$p"
}

mkdir -p "$dir/munge"
chown munge: "$dir/munge"
chmod 711 "$dir/munge"
runuser -u munge -- munged --socket="$dir/munge/munge.socket" --pid-file="$dir/munge/munged.pid" \
  --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munged.seed" --key-file=/etc/munge/munge.key

host="$(hostname -s)"
ctld_port="$(free_port 26817)"
slurmd_port="$(free_port $((ctld_port + 1)))"
mkdir -p "$dir/state" "$dir/spool"
cat >"$dir/slurm.conf" <<CONF
ClusterName=kelotest
SlurmctldHost=$host
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
PlugStackConfig=$dir/plugstack.conf
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
MailProg=/bin/true
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=kelo Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
: >"$dir/plugstack.conf"
export SLURM_CONF="$dir/slurm.conf"
slurmctld -D -c >"$dir/slurmctld.out" 2>&1 &
pids+=("$!")
slurmd -D >"$dir/slurmd.out" 2>&1 &
pids+=("$!")

for _ in $(seq 120); do
  state="$(sinfo -h -n "$host" -o %t 2>/dev/null || true)"
  [ "$state" = "idle" ] && break
  sleep 0.5
done
[ "$state" = "idle" ] || { echo "the one-node Slurm did not come up (node state '$state')"; logs; exit 1; }

work="$dir/work"
"$src/tests/cli/scaleout_fixture.sh" "$cli" "$work"
mkdir -p "$work/reports"
status=0
(cd "$work" && timeout 300 sbatch --wait --array=0-2 \
  --export="ALL,KELO_LIST=$work/list,KELO_OUTPUT=$work/out,KELO_REPORTS=$work/reports,KELO_CLI=$cli" \
  "$src/docs/recipes/slurm-stamp.sbatch") || status=$?
# Tasks with bad lines end with status 1, so the array as a whole fails.
[ "$status" -eq 1 ] || { echo "sbatch --wait exit status $status, expected 1"; logs; cat "$work"/kelo-stamp-*.out; exit 1; }
for t in 0 1 2; do [ -f "$work/reports/task-$t.jsonl" ] || { echo "task $t wrote no report"; logs; exit 1; }; done
cat "$work"/reports/task-{0,1,2}.jsonl >"$work/run.jsonl"
"$src/tests/cli/scaleout_check.sh" "$cli" "$work" "$work/run.jsonl"
