#!/usr/bin/env bash
# Runs the README's recipe for spreading a collection over a scheduler, exactly as the README gives it but for
# its paths: the Slurm job array on a one-node cluster started here (munged, slurmctld and slurmd run directly,
# no systemd), or GNU parallel's job slots on this machine. The collection is the MIDI test files and the
# bench's songs; the shards are merged as the README says and the result is compared byte for byte with one
# plain --batch run.
#
# Usage: shards_test.sh slurm|parallel SONIVEX_CLI REPO
# Exit status: 0 the merged shards are the plain run's output; 1 they differ or a step failed; 77 the
# scheduler is not installed (the test is skipped).

set -u

mode=${1:?slurm or parallel}
cli=$(cd "$(dirname "${2:?sonivex-cli}")" && pwd)/$(basename "$2")
repo=$(cd "${3:?repo}" && pwd)
readme=$repo/README.md
python=/usr/bin/python3
[[ -x $python ]] || python=python3

skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

case $mode in
    slurm)
        for tool in munged slurmctld slurmd sbatch sinfo; do
            command -v "$tool" >/dev/null || [[ -x /usr/sbin/$tool ]] || skip "$tool is not installed"
        done
        export PATH=$PATH:/usr/sbin
        (($(id -u) == 0)) || skip "the Slurm daemons of this test run as root"
        ;;
    parallel) command -v parallel >/dev/null || skip "GNU parallel is not installed" ;;
    *) fail "unknown mode $mode" ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-shards.XXXXXX") || fail "mktemp"
daemons=()
cleanup() {
    local pid
    for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${daemons[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# The indented block that follows the README line that ends with `marker` (blank lines before it skipped), its indent removed,
# the collection's and the outputs' folders replaced by this run's.
recipe() {
    awk -v marker="$1" '
        found == 0 { if (substr($0, length($0) - length(marker) + 1) == marker) found = 1; next }
        found == 1 && /^$/ && taken == 0 { next }
        found == 1 && /^    / { print substr($0, 5); taken = 1; next }
        found == 1 { exit }
    ' "$readme" | sed -e "s|/shared/midi|$work/midi|g" -e "s|/shared/out|$work/out|g"
}

# The collection, and a home of this run's own (the runs keep their working files and logs under it).
mkdir -p "$work/midi/suite" "$work/midi/bench" "$work/out" "$work/home"
cp "$repo"/tests/data/midi/*.mid "$work/midi/suite/" || fail "cannot copy the MIDI test files"
"$python" "$repo/bench/make_songs.py" "$work/midi/bench" >/dev/null 2>&1 || fail "bench/make_songs.py failed"
export HOME=$work/home
unset XDG_STATE_HOME XDG_CONFIG_HOME
export PATH=$(dirname "$cli"):$PATH

# A free TCP port of the loopback interface.
free_port() { "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# Starts munged and the two Slurm daemons with a configuration of this run's own: one node of 8 CPUs (more
# than the machine has, so that two array tasks of 4 run side by side), root as the Slurm user.
start_slurm() {
    local node conf
    node=$(hostname -s)
    mkdir -p "$work/munge" "$work/slurm/state" "$work/slurm/spool"
    chmod 700 "$work/munge"
    head -c 1024 /dev/urandom >"$work/munge/munge.key"
    chmod 600 "$work/munge/munge.key"
    munged --foreground --force --key-file="$work/munge/munge.key" --socket="$work/munge/socket" \
        --pid-file="$work/munge/munged.pid" --seed-file="$work/munge/seed" --log-file="$work/munge/munged.log" >"$work/munge/stderr" 2>&1 &
    daemons+=($!)
    conf=$work/slurm/slurm.conf
    cat >"$conf" <<EOF
ClusterName=sonivex-test
SlurmctldHost=$node(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
StateSaveLocation=$work/slurm/state
SlurmdSpoolDir=$work/slurm/spool
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmctldLogFile=$work/slurm/slurmctld.log
SlurmdLogFile=$work/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
MpiDefault=none
MailProg=/bin/true
NodeName=$node NodeAddr=127.0.0.1 CPUs=8 RealMemory=1000 State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
    export SLURM_CONF=$conf
    local i
    for ((i = 0; i < 50; i++)); do [[ -S $work/munge/socket ]] && break; sleep 0.1; done
    [[ -S $work/munge/socket ]] || fail "munged did not start: $(cat "$work/munge/munged.log" 2>/dev/null)"
    slurmctld -D -i -f "$conf" >"$work/slurm/slurmctld.stderr" 2>&1 &
    daemons+=($!)
    slurmd -D -f "$conf" -N "$node" >"$work/slurm/slurmd.stderr" 2>&1 &
    daemons+=($!)
    for ((i = 0; i < 300; i++)); do
        [[ $(sinfo -h -o %t 2>/dev/null) == idle ]] && return 0
        sleep 0.1
    done
    tail -n 20 "$work"/slurm/*.log "$work"/slurm/*.stderr >&2
    fail "the Slurm node did not become idle"
}

run_shards() {
    cd "$work" || fail "cd"
    case $mode in
        slurm)
            start_slurm
            recipe 'As a Slurm job array (`sbatch analyse.sh`):' >analyse.sh
            grep -q '^#SBATCH --array' analyse.sh || fail "no job-array script in the README"
            sbatch --wait analyse.sh >sbatch.out 2>&1 || { cat sbatch.out slurm-*.out >&2; fail "the job array failed"; }
            ;;
        parallel)
            recipe 'With GNU parallel, eight shards on the job slots of this machine:' >shards.sh
            grep -q '^parallel ' shards.sh || fail "no GNU parallel recipe in the README"
            bash shards.sh </dev/null >parallel.out 2>&1 || { cat parallel.out >&2; fail "GNU parallel failed"; }
            ;;
    esac
    recipe 'join the shards in shard order (for CSV, keep the first header only):' |
        grep '\.jsonl' >merge.sh
    [[ -s merge.sh ]] || fail "no merge recipe in the README"
    bash merge.sh || fail "the merge failed"
}

run_shards
sonivex-cli --batch --out "$work/plain.jsonl" "$work/midi" 2>/dev/null || fail "the plain batch run failed"
songs=$(wc -l <"$work/plain.jsonl")
((songs > 50)) || fail "the plain run has only $songs lines"
if ! cmp -s "$work/songs.jsonl" "$work/plain.jsonl"; then
    diff <(cut -c1-200 "$work/plain.jsonl") <(cut -c1-200 "$work/songs.jsonl") | head -n 20 >&2
    fail "the merged shards differ from the plain run"
fi
echo "$mode: the merged shards of $(ls "$work"/out/shard-*.jsonl | wc -l) runs are the plain run's $songs lines"
