# Sourced by the download benchmarks. Starts the local quote service (its
# request log in $work/requests.log), makes a list of $count symbols S1..SN
# in $work/list.mdb and a private settings file pointing every service at
# it. Needs bin, build, work, count, delay, source and jobs; sets token,
# sim_pid, host, symbols, and floor_jobs and token_header (what
# kestrion-http-floor needs to ask as kestrion-cli does), and exports
# XDG_CONFIG_HOME and KESTRION_TIINGO_TOKEN.
token=sim-tiingo-token
floor_jobs=${jobs:-4} token_header=''
if [[ $source == tiingo ]]; then floor_jobs=${jobs:-1} token_header="Authorization: Token $token"; fi
"$bin/kestrion-quote-sim" --port 0 --delay-ms "$delay" --log "$work/requests.log" \
    --tiingo-token "$token" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do grep -q listening "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
host=127.0.0.1:$(head -n1 "$work/sim.out" | sed 's/.*://')

symbols=()
for i in $(seq 1 "$count"); do symbols+=("S$i"); done
"$build/data/kestrion-make-list" "$work/list.mdb" "${symbols[@]}"

export XDG_CONFIG_HOME=$work/config KESTRION_TIINGO_TOKEN=$token
mkdir -p "$XDG_CONFIG_HOME/Kestrion"
cat >"$XDG_CONFIG_HOME/Kestrion/Kestrion.conf" <<CONF
[Services]
Yahoo%20History%20Host=$host
WSC%20Query%20Host=$host
WSC%20File%20Host=$host
Yahoo%20Chart%20Host=http://$host
Tiingo%20Host=http://$host
Fetch%20Timeout=60
CONF
