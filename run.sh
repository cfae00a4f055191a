#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application on a simulated
# radio network (no hardware needed). Settings, archive and the simulated port
# live in ./demo; pass -ini=FILE to use your own settings file instead.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh --gui
# Qt wants a private runtime folder; a root shell or a bare container has none.
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime=$(mktemp -d /tmp/klov-runtime-XXXXXX)
  export XDG_RUNTIME_DIR="$runtime"
fi
trap '[ -z "$runtime" ] || rm -rf "$runtime"' EXIT
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target klov klov-netsim klov-mkvfw

demo="$PWD/demo"
scenario="$PWD/tools/netsim/demo.scn"
mkdir -p "$demo/ports" "$demo/archive"
export KLOV_PORTS_DIR="$demo/ports"
# The device list comes from the scenario, so the two never disagree. An existing
# settings file is kept (the application edits it); remove it to start afresh.
if [ ! -f "$demo/klov.ini" ]; then
  devices=$(./build/klov-netsim --scenario "$scenario" --devices-list)
  cat > "$demo/klov.ini" <<INI
[Archive]
ArchivePath=$demo/archive
[Devices]
DevicesList=$devices
[Communication]
RFMainPort=1
RFChannel=16
RFPowerLevel=2
INI
fi

# The simulated modem answers on COM1 of the demo ports folder while the application
# runs; device 1234 also hangs on its own USB serial port as COM6 (firmware update
# over USB in service mode).
./build/klov-netsim --ports "$demo/ports" --port 1 --scenario "$scenario" --usb-port 6 < /dev/null > "$demo/netsim.out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; [ -z "$runtime" ] || rm -rf "$runtime"' EXIT
for _ in $(seq 50); do [ -e "$demo/ports/COM1" ] && break; sleep 0.1; done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: starting under Xvfb (xvfb-run)."
  xvfb-run -a ./build/klov "-ini=$demo/klov.ini" "$@"
else
  ./build/klov "-ini=$demo/klov.ini" "$@"
fi
