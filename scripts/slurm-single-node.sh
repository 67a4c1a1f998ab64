#!/usr/bin/env bash
# A one-node Slurm cluster for tests, kept whole in one temporary folder:
# its own munge key and munged (own socket), a generated slurm.conf (this
# host as the only node, its CPUs from nproc, free ports), slurmctld and
# slurmd. Needs root (slurmd starts the jobs as their users) and the Debian
# packages slurm-wlm and munge.
#
#   slurm-single-node.sh start [--owner PID] [--lifetime SECONDS]
#       Starts the cluster and waits until its node takes jobs. Prints
#       "SLURM_CONF=<folder>/slurm.conf" and "TABRIX_SLURM_DIR=<folder>":
#       run sbatch, squeue and scancel with SLURM_CONF set so. A watchdog
#       stops the cluster when the owner process (default: none) ends, or
#       after the lifetime (default 900 s), so a killed test leaves nothing.
#       On failure everything started is stopped and the exit code is 1.
#   slurm-single-node.sh stop FOLDER
#       Cancels the jobs, stops every process the start began (by the ids
#       it recorded) and removes the folder.
set -euo pipefail

marker=tabrix-single-node-slurm
self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")

die() {
  echo "slurm-single-node: $*" >&2
  exit 1
}

# Ends the process in pid file $1: TERM, then KILL after about 10 s.
stop_pid_file() {
  local file=$1 pid
  [ -s "$file" ] || return 0
  pid=$(cat "$file")
  [[ $pid =~ ^[0-9]+$ ]] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# Ids of the job processes still running: a job id and this cluster's
# slurm.conf in their environment.
job_processes() {
  local conf=$1 file
  grep -lsxzF "SLURM_CONF=$conf" /proc/[0-9]*/environ 2>/dev/null | while read -r file; do
    if grep -qsz '^SLURM_JOB_ID=' "$file"; then
      file=${file#/proc/}
      echo "${file%/environ}"
    fi
  done
}

stop_cluster() {
  local dir=$1
  [ -f "$dir/$marker" ] || die "$dir is not a folder made by $0 start"
  local conf=$dir/slurm.conf
  # The watchdog itself calls stop: then it is this process's parent.
  if [ -s "$dir/watchdog.pid" ] && [ "$(cat "$dir/watchdog.pid")" != "$PPID" ]; then
    stop_pid_file "$dir/watchdog.pid"
  fi
  if [ -s "$dir/slurmctld.pid" ] && kill -0 "$(cat "$dir/slurmctld.pid")" 2>/dev/null; then
    SLURM_CONF=$conf timeout 10 scancel --quiet --user=root 2>/dev/null || true
    SLURM_CONF=$conf timeout 10 scancel --quiet --state=PENDING 2>/dev/null || true
    for _ in $(seq 100); do
      [ -z "$(SLURM_CONF=$conf timeout 5 squeue -h -o %i 2>/dev/null)" ] && break
      sleep 0.1
    done
  fi
  stop_pid_file "$dir/slurmd.pid"
  stop_pid_file "$dir/slurmctld.pid"
  local pid
  for pid in $(job_processes "$conf"); do
    [ "$pid" = "$$" ] || [ "$pid" = "$PPID" ] || kill -KILL "$pid" 2>/dev/null || true
  done
  stop_pid_file "$dir/munged.pid"
  rm -rf -- "$dir"
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_cluster() {
  local owner="" lifetime=900
  while [ $# -gt 0 ]; do
    case $1 in
      --owner) owner=$2; shift 2 ;;
      --lifetime) lifetime=$2; shift 2 ;;
      *) die "unknown argument $1" ;;
    esac
  done
  [ "$(id -u)" -eq 0 ] || die "needs root (slurmd runs jobs as their users)"
  local tool
  for tool in munged mungekey slurmctld slurmd sinfo sbatch squeue scancel python3; do
    command -v "$tool" >/dev/null || die "$tool not found (scripts/packages.txt lists slurm-wlm and munge)"
  done

  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/tabrix-slurm.XXXXXX")
  chmod 755 "$dir"  # job steps of other users read slurm.conf
  touch "$dir/$marker"
  # From here on, a failure stops what was started.
  trap 'stop_cluster "$dir" >/dev/null 2>&1 || true' EXIT
  mkdir -m 700 "$dir/munge"
  mkdir -m 755 "$dir/socket"
  mkdir "$dir/state" "$dir/spool"

  # The system key belongs to the munge user; this munged runs as root with
  # a key of its own.
  mungekey --create --keyfile="$dir/munge/munge.key" --bits=1024 >/dev/null 2>&1 ||
    dd if=/dev/urandom of="$dir/munge/munge.key" bs=128 count=1 status=none
  chmod 600 "$dir/munge/munge.key"
  local socket=$dir/socket/munge.socket
  munged --socket="$socket" --key-file="$dir/munge/munge.key" --pid-file="$dir/munged.pid" \
    --log-file="$dir/munged.log" --seed-file="$dir/munge/munged.seed" --num-threads=2 \
    </dev/null >>"$dir/munged.log" 2>&1 || die "munged did not start: $(tail -3 "$dir/munged.log")"

  local host cpus ctld_port slurmd_port
  host=$(hostname -s)
  cpus=$(nproc)
  ctld_port=$(free_port)
  slurmd_port=$(free_port)
  while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done
  cat >"$dir/slurm.conf" <<EOF
ClusterName=tabrix-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
MailProg=/bin/true
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
ReturnToService=2
KillWait=5
MinJobAge=600
SlurmctldTimeout=30
SlurmdTimeout=30
InactiveLimit=0
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=main Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
  chmod 644 "$dir/slurm.conf"

  # -c: a clean start, no state of an earlier cluster.
  slurmctld -c -f "$dir/slurm.conf" </dev/null >>"$dir/slurmctld.log" 2>&1 ||
    die "slurmctld did not start: $(tail -3 "$dir/slurmctld.log")"
  slurmd -f "$dir/slurm.conf" -N "$host" </dev/null >>"$dir/slurmd.log" 2>&1 ||
    die "slurmd did not start: $(tail -3 "$dir/slurmd.log")"

  local state=""
  for _ in $(seq 300); do
    state=$(SLURM_CONF=$dir/slurm.conf timeout 5 sinfo -h -n "$host" -o %T 2>/dev/null || true)
    [ "$state" = idle ] && break
    sleep 0.1
  done
  if [ "$state" != idle ]; then
    echo "slurm-single-node: node $host is '${state:-unknown}', not idle; last log lines:" >&2
    tail -5 "$dir/slurmctld.log" "$dir/slurmd.log" >&2 || true
    exit 1  # the exit trap stops what was started
  fi

  # The watchdog: no stdio of the caller, so a reader of this script's output
  # sees its end at once.
  (
    trap - EXIT
    end=$((SECONDS + lifetime))
    while [ $SECONDS -lt $end ] && [ -f "$dir/$marker" ]; do
      if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then break; fi
      sleep 1
    done
    [ -f "$dir/$marker" ] && "$self" stop "$dir"
  ) </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/watchdog.pid"
  trap - EXIT

  echo "SLURM_CONF=$dir/slurm.conf"
  echo "TABRIX_SLURM_DIR=$dir"
}

case ${1:-} in
  start) shift; start_cluster "$@" ;;
  stop)
    [ $# -eq 2 ] || die "usage: $0 stop FOLDER"
    stop_cluster "$2" ;;
  *) die "usage: $0 start [--owner PID] [--lifetime SECONDS] | stop FOLDER" ;;
esac
